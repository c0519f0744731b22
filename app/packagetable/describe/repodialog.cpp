// The repository description dialog: filling it from one section with the
// kivrel passwords masked, emptying it on hide, and browsing.
#include "app/packagetable/describe/repodialog.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "engine/passwordmask.h"
#include "foundation/fonts.h"
#include "foundation/hseparator.h"
#include "foundation/sizing.h"
#include "repos/entry.h"
#include "repos/kivrel.h"
#include "repos/repobrowse.h"

namespace PackageTable
{
namespace Describe
{
namespace Instance
{

RepoDialog::RepoDialog(YumIO* yumIO, QWidget* parent)
    : QDialog(parent), yumIO(yumIO)
{
    setWindowTitle(tr("KUV Repository Description"));
    setAttribute(Qt::WA_ShowModal);
    QVBoxLayout* layout = new QVBoxLayout;
    contentLayout = new QHBoxLayout;
    layout->addLayout(contentLayout);

    // Return dismisses the dialog. Browse, which starts a program, has the
    // focus first, so it must not become the default when focused either.
    QHBoxLayout* buttons = new QHBoxLayout;
    QPushButton* browseButton = new QPushButton(tr("&Browse Repository"), this);
    browseButton->setToolTip(tr("Browse the first URL specified for the selected repository "
                                "using an external web browser"));
    browseButton->setAutoDefault(false);
    connect(browseButton, &QPushButton::clicked, this, &RepoDialog::browse);
    buttons->addWidget(browseButton);
    buttons->addStretch(1);
    QPushButton* closeButton = new QPushButton(tr("Close"), this);
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    setLayout(layout);
}

RepoDialog::~RepoDialog() = default;

void RepoDialog::config(const Repo::Entry& entry)
{
    content = new QWidget(this);
    QVBoxLayout* column = new QVBoxLayout;

    QLabel* id = new QLabel(entry.id, content);
    id->setTextFormat(Qt::PlainText);
    id->setFont(Fonts::makeHeader(id->font()));
    id->setAlignment(Qt::AlignHCenter);
    column->addWidget(id);
    column->addWidget(new HSeparator(content));

    grid = new QGridLayout;
    // The mirror list is masked with the base URLs' parts unless it has a
    // segment of its own.
    QString key1, user, key2, password;
    const QString baseurl = masked(entry.baseurl, key1, user, key2, password);
    const QString mirrorlist = masked(entry.mirrorlist, key1, user, key2, password);
    int row = 0;
    addPair(row, tr("Name"), entry.name);
    addPair(row, tr("URLs"), baseurl);
    addPair(row, tr("Mirror list URL"), mirrorlist);

    column->addLayout(grid);
    content->setLayout(column);
    contentLayout->addWidget(content);
    this->entry = &entry;
    // Reused for every Details press: sized from its content each time, up
    // to nine tenths of the screen, once the outer layout has let go of the
    // hint of the last content.
    layout()->invalidate();
    resize(sizeHint().boundedTo(Sizing::screenCap(this)));
}

QString RepoDialog::masked(const QString& urls, QString& key1, QString& user, QString& key2,
                           QString& password) const
{
    // Without a segment the parts stay, and the rebuild below finds nothing
    // to replace.
    Repo::Kivrel::getAuth(urls, key1, user, key2, password);
    const QChar mask(style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, this));
    // The segments are rebuilt with a run of '*', which encoding leaves as
    // it is, as long as the password in characters; the style's character
    // may lie beyond ASCII and would go in as escaped bytes. The masking
    // then turns each run into the style's character, and also hides a
    // segment that the rebuild did not match (one in the downloader's form,
    // or with an unencoded character in it).
    // A password in a URL's user information ("user:password@host") is
    // hidden first, at a fixed length; the kivrel segments are rebuilt
    // whatever that left in them.
    const int length = password.toUcs4().size();
    const QString rebuilt = Repo::Kivrel::replaceAuth(PasswordMask::mask(urls), key1, user, key2,
                                                      QString(length, QLatin1Char('*')));
    return Repo::Kivrel::maskPasswords(rebuilt, mask);
}

void RepoDialog::addPair(int& row, QString label, QString value)
{
    if (value.isEmpty())
        return;
    grid->addWidget(new QLabel(tr("%1:").arg(label), content), row, 0, Qt::AlignRight | Qt::AlignTop);
    QLabel* valueLabel = new QLabel(value, content);
    valueLabel->setTextFormat(Qt::PlainText);
    grid->addWidget(valueLabel, row, 1, Qt::AlignLeft | Qt::AlignTop);
    ++row;
}

void RepoDialog::setVisible(bool visible)
{
    if (!visible && content) {
        contentLayout->removeWidget(content);
        delete content;
        content = nullptr;
        grid = nullptr;
    }
    QDialog::setVisible(visible);
}

void RepoDialog::browse()
{
    if (entry)
        RepoBrowse::browse(this, *entry, yumIO);
}

}
}
}
