// The credential dialog: layout, the preview of the URLs while typing, and
// the answers.
#include "repos/repoauthdialog.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "foundation/fonts.h"
#include "foundation/hseparator.h"
#include "repos/entry.h"
#include "repos/kivrel.h"

namespace RepoAuth
{

namespace
{

// Repository names and URLs come from files anyone may have edited: they
// are shown as they are, never as rich text.
QLabel* plainLabel(const QString& text, QWidget* parent)
{
    QLabel* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}

Dialog::Dialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("KUV Authentication"));
    setAttribute(Qt::WA_ShowModal);

    QVBoxLayout* layout = new QVBoxLayout(this);

    QLabel* header = new QLabel(tr("Some configured repositories require authentication"), this);
    header->setFont(Fonts::makeHeader(header->font()));
    layout->addWidget(header, 0, Qt::AlignHCenter);
    layout->addWidget(new HSeparator(this));

    QGridLayout* grid = new QGridLayout;
    layout->addLayout(grid);
    idValue = plainLabel(QString(), this);
    nameValue = plainLabel(QString(), this);
    urlsValue = plainLabel(QString(), this);
    mirrorlistValue = plainLabel(QString(), this);
    grid->addWidget(new QLabel(tr("Identifier"), this), 0, 0);
    grid->addWidget(idValue, 0, 1);
    grid->addWidget(new QLabel(tr("Name"), this), 1, 0);
    grid->addWidget(nameValue, 1, 1);
    grid->addWidget(new QLabel(tr("URLs"), this), 2, 0);
    grid->addWidget(urlsValue, 2, 1);
    grid->addWidget(new QLabel(tr("Mirror list URL"), this), 3, 0);
    grid->addWidget(mirrorlistValue, 3, 1);
    grid->addWidget(new HSeparator(this), 4, 0, 1, 2);

    userLabel = plainLabel(tr("Name"), this);
    userEdit = new QLineEdit(this);
    userEdit->setToolTip(
        tr("Authentication name for a repository using the kivrel authentication method"));
    passwordLabel = plainLabel(tr("Password"), this);
    passwordEdit = new QLineEdit(this);
    passwordEdit->setEchoMode(QLineEdit::Password);
    passwordEdit->setToolTip(
        tr("Authentication password for a repository using the kivrel authentication method"));
    grid->addWidget(userLabel, 5, 0);
    grid->addWidget(userEdit, 5, 1);
    grid->addWidget(passwordLabel, 6, 0);
    grid->addWidget(passwordEdit, 6, 1);

    QHBoxLayout* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    buttons->addStretch();
    quitButton = new QPushButton(tr("Quit"), this);
    disableButton = new QPushButton(tr("Disable for Session"), this);
    skipAllButton = new QPushButton(tr("Skip All"), this);
    applyAllButton = new QPushButton(tr("Apply to All"), this);
    applyHostButton = new QPushButton(tr("Apply to All with this Host"), this);
    okButton = new QPushButton(tr("OK"), this);
    okButton->setDefault(true);
    for (QPushButton* button :
         {quitButton, disableButton, skipAllButton, applyAllButton, applyHostButton, okButton})
        buttons->addWidget(button);

    // Named so that tests and accessibility tools can find them.
    idValue->setObjectName(QStringLiteral("idValue"));
    nameValue->setObjectName(QStringLiteral("nameValue"));
    urlsValue->setObjectName(QStringLiteral("urlsValue"));
    mirrorlistValue->setObjectName(QStringLiteral("mirrorlistValue"));
    userLabel->setObjectName(QStringLiteral("userLabel"));
    userEdit->setObjectName(QStringLiteral("userEdit"));
    passwordLabel->setObjectName(QStringLiteral("passwordLabel"));
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));

    connect(userEdit, &QLineEdit::textEdited, this, &Dialog::authChanged);
    connect(passwordEdit, &QLineEdit::textEdited, this, &Dialog::authChanged);
    connect(quitButton, &QPushButton::clicked, this, &Dialog::handleQuit);
    connect(disableButton, &QPushButton::clicked, this, &Dialog::handleDisable);
    connect(skipAllButton, &QPushButton::clicked, this, &Dialog::handleSkipAll);
    connect(applyAllButton, &QPushButton::clicked, this, &Dialog::handleApplyAll);
    connect(applyHostButton, &QPushButton::clicked, this, &Dialog::handleApplyHost);
    connect(okButton, &QPushButton::clicked, this, &Dialog::handleOK);
}

int Dialog::exec(Repo::Entry* entry)
{
    this->entry = entry;
    idValue->setText(entry->id);
    nameValue->setText(entry->name);
    // Only the first segment is known to be empty; another URL line may
    // carry a password of its own.
    urlsValue->setText(shown(entry->baseurl));
    mirrorlistValue->setText(shown(entry->mirrorlist));

    QString key1, user, key2, password;
    Repo::Kivrel::getAuth(*entry, key1, user, key2, password);
    userLabel->setText(key1);
    userEdit->setText(user);
    passwordLabel->setText(key2);
    passwordEdit->setText(password);

    for (QPushButton* button : {skipAllButton, quitButton, disableButton, okButton})
        button->setEnabled(true);
    userEdit->setFocus();
    show();
    loop.exec();
    return result();
}

void Dialog::setVisible(bool visible)
{
    // The caller shows a busy cursor while it works; the user gets the
    // normal one over the dialog.
    if (visible)
        QApplication::restoreOverrideCursor();
    else if (isVisible())
        QApplication::setOverrideCursor(Qt::BusyCursor);
    QDialog::setVisible(visible);
}

QSize Dialog::sizeHint() const
{
    QSize size = QDialog::sizeHint();
    size.rwidth() += 40 * QFontMetrics(font()).horizontalAdvance(QLatin1Char('n'));
    return size;
}

void Dialog::done(int r)
{
    // An answer that arrives after the question was answered (a second
    // click delivered in the same pass of the event loop, Escape between
    // questions) must not overwrite the first.
    if (!loop.isRunning())
        return;
    for (QPushButton* button : {skipAllButton, quitButton, disableButton, okButton})
        button->setEnabled(false);
    // Escape and the window's close button end the question here, without
    // passing through a handler.
    entry = nullptr;
    setResult(r);
    loop.exit();
    emit finished(r);
    if (r == OK)
        emit accepted();
    else if (r == SkipAll)
        emit rejected();
}

void Dialog::authChanged(const QString&)
{
    if (!entry)
        return;
    const QString user = userEdit->text();
    // One ASCII placeholder per character typed (a surrogate pair counts
    // once), which encoding keeps as it is; shown() then turns it into the
    // style's password character, which, often beyond ASCII, would itself
    // be encoded into several.
    const QString masked(passwordEdit->text().toUcs4().size(), QLatin1Char('*'));
    const QString key1 = userLabel->text();
    const QString key2 = passwordLabel->text();
    urlsValue->setText(
        shown(Repo::Kivrel::replaceAuth(entry->baseurl, key1, user, key2, masked)));
    mirrorlistValue->setText(
        shown(Repo::Kivrel::replaceAuth(entry->mirrorlist, key1, user, key2, masked)));
}

void Dialog::handleQuit()
{
    answer(Quit, false);
}

void Dialog::handleDisable()
{
    answer(Disable, false);
}

void Dialog::handleSkipAll()
{
    answer(SkipAll, false);
}

void Dialog::handleApplyAll()
{
    answer(ApplyAll, true);
}

void Dialog::handleApplyHost()
{
    answer(ApplyHost, true);
}

void Dialog::handleOK()
{
    answer(OK, true);
}

void Dialog::answer(int result, bool takeCredentials)
{
    // The "Apply to All" buttons stay enabled between questions.
    if (!entry || !loop.isRunning())
        return;
    if (takeCredentials)
        setUrls();
    entry = nullptr;
    done(result);
}

void Dialog::setUrls()
{
    // Built from the entry's own URLs, not from the labels: those show
    // every password masked, and the masks must never reach the file.
    const QString key1 = userLabel->text();
    const QString key2 = passwordLabel->text();
    const QString user = userEdit->text();
    const QString password = passwordEdit->text();
    entry->baseurl = Repo::Kivrel::replaceAuth(entry->baseurl, key1, user, key2, password);
    entry->mirrorlist = Repo::Kivrel::replaceAuth(entry->mirrorlist, key1, user, key2, password);
}

QString Dialog::shown(const QString& urls) const
{
    return Repo::Kivrel::maskPasswords(urls, passwordCharacter());
}

QChar Dialog::passwordCharacter() const
{
    return QChar(style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, passwordEdit));
}

}
