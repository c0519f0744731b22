// The repository form: building its fields, filling them from an entry and
// reading them back, the credential fields kept in step with the URLs, and
// the status rules.
#include "repos/repoeditor/config.h"

#include <cmath>
#include <limits>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "engine/passwordmask.h"
#include "foundation/colors.h"
#include "foundation/fonts.h"
#include "foundation/passwdlineedit.h"
#include "foundation/passwdtextedit.h"
#include "repos/kivrel.h"
#include "repos/valuecheck.h"
#include "repos/yumconfio.h"

namespace RepoEditor
{

namespace
{

// Labels that show key names out of a repository file: never rich text.
QLabel* plainLabel(const QString& text, QWidget* parent)
{
    QLabel* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The three items of a tri-state combo; the indexes are Repo::Entry's
// TriState values.
QComboBox* triStateCombo(QWidget* parent)
{
    QComboBox* combo = new QComboBox(parent);
    combo->addItem(Config::tr("No"), int(Repo::Entry::No));
    combo->addItem(Config::tr("Default"), int(Repo::Entry::Default));
    combo->addItem(Config::tr("Yes"), int(Repo::Entry::Yes));
    return combo;
}

// A line edit that holds every value a file can give it: the default
// maximum of 32767 characters would cut a longer one.
QLineEdit* unlimitedLineEdit(QWidget* parent)
{
    QLineEdit* edit = new QLineEdit(parent);
    edit->setMaxLength(std::numeric_limits<int>::max());
    return edit;
}

Repo::Entry::TriState triState(const QComboBox* combo)
{
    const int index = combo->currentIndex();
    return index == Repo::Entry::No || index == Repo::Entry::Yes ? Repo::Entry::TriState(index)
                                                                  : Repo::Entry::Default;
}

}

Config::Config(QGridLayout* grid)
{
    QWidget* parent = grid->parentWidget();

    identifier = unlimitedLineEdit(parent);
    identifier->setPalette(Colors::makeRequired(identifier->palette()));
    identifier->setToolTip(tr("Unique identifier for the repository"));
    grid->addWidget(new QLabel(tr("Identifier"), parent), 0, 0);
    grid->addWidget(identifier, 0, 1);

    name = unlimitedLineEdit(parent);
    name->setToolTip(tr("Description of the repository"));
    grid->addWidget(new QLabel(tr("Name"), parent), 1, 0);
    grid->addWidget(name, 1, 1);

    urls = new PasswdTextEdit(Repo::Kivrel::urlsRegExp(), parent);
    urls->setPasswordFinder(&PasswordMask::editingSpans);
    urls->setToolTip(tr("List of URLs to the repository.\n"
                        "If more than one is specified, they all should be identical mirrors,\n"
                        "and will provide redundancy if some URLs are unreachable."));
    grid->addWidget(new QLabel(tr("URLs"), parent), 2, 0);
    grid->addWidget(urls, 2, 1);

    // Every segment of the line is masked, not only one that spans it.
    mirrorList = new PasswdLineEdit(Repo::Kivrel::urlsRegExp(), parent);
    mirrorList->setPasswordFinder(&PasswordMask::editingSpans);
    mirrorList->setToolTip(tr("URL to a file containing a list of URLs to the repository."));
    grid->addWidget(new QLabel(tr("Mirror list URL"), parent), 3, 0);
    grid->addWidget(mirrorList, 3, 1);

    grid->addWidget(createAuth(parent), 4, 0, 1, 2);
    grid->addWidget(createOptions(parent), 5, 0, 1, 2);
    grid->addWidget(createFileInfo(parent), 6, 0, 1, 2);

    // Named so that tests and accessibility tools can find them.
    identifier->setObjectName(QStringLiteral("identifier"));
    name->setObjectName(QStringLiteral("name"));
    urls->setObjectName(QStringLiteral("urls"));
    mirrorList->setObjectName(QStringLiteral("mirrorList"));
    authNameLabel->setObjectName(QStringLiteral("authNameLabel"));
    authName->setObjectName(QStringLiteral("authName"));
    authPasswordLabel->setObjectName(QStringLiteral("authPasswordLabel"));
    authPassword->setObjectName(QStringLiteral("authPassword"));
    enabled->setObjectName(QStringLiteral("enabled"));
    gpgcheck->setObjectName(QStringLiteral("gpgcheck"));
    other->setObjectName(QStringLiteral("other"));
    file->setObjectName(QStringLiteral("file"));
    sortPosition->setObjectName(QStringLiteral("sortPosition"));

    connect(identifier, &QLineEdit::textChanged, this,
            qOverload<QString>(&Config::valueChanged));
    connect(name, &QLineEdit::textChanged, this, qOverload<QString>(&Config::valueChanged));
    connect(file, &QLineEdit::textChanged, this, qOverload<QString>(&Config::valueChanged));
    // The real texts' signals, not the shown ones: replacing one password
    // character by another leaves the masked copy as it was, and the
    // credential fields would then miss the change.
    connect(urls, &PasswdTextEdit::realTextChanged, this, qOverload<>(&Config::urlChanged));
    connect(mirrorList, &PasswdLineEdit::realTextChanged, this,
            qOverload<QString>(&Config::urlChanged));
    // Only the user's edits: the form's own filling must not rewrite URLs.
    connect(authName, &QLineEdit::textEdited, this, &Config::authChanged);
    connect(authPassword, &QLineEdit::textEdited, this, &Config::authChanged);
    connect(enabled, qOverload<int>(&QComboBox::currentIndexChanged), this,
            qOverload<int>(&Config::valueChanged));
    connect(gpgcheck, qOverload<int>(&QComboBox::currentIndexChanged), this,
            qOverload<int>(&Config::valueChanged));
    connect(other, &PasswdTextEdit::realTextChanged, this, qOverload<>(&Config::valueChanged));
    connect(sortPosition, &QDoubleSpinBox::textChanged, this,
            qOverload<QString>(&Config::valueChanged));
}

QGroupBox* Config::createAuth(QWidget* parent)
{
    QGroupBox* box = new QGroupBox(tr("Kivrel Authentication"), parent);
    QGridLayout* grid = new QGridLayout(box);
    authNameLabel = plainLabel(tr("Name"), box);
    authName = new QLineEdit(box);
    authName->setToolTip(
        tr("Authentication name for a repository using the kivrel authentication method"));
    authPasswordLabel = plainLabel(tr("Password"), box);
    authPassword = new QLineEdit(box);
    authPassword->setEchoMode(QLineEdit::Password);
    authPassword->setToolTip(
        tr("Authentication password for a repository using the kivrel authentication method"));
    grid->addWidget(authNameLabel, 0, 0);
    grid->addWidget(authName, 0, 1);
    grid->addWidget(authPasswordLabel, 1, 0);
    grid->addWidget(authPassword, 1, 1);
    return box;
}

QGroupBox* Config::createOptions(QWidget* parent)
{
    QGroupBox* box = new QGroupBox(tr("Repository Options"), parent);
    QVBoxLayout* layout = new QVBoxLayout(box);
    QHBoxLayout* row = new QHBoxLayout;
    layout->addLayout(row);
    row->addLayout(createSimpleOptions(box));
    row->addStretch();
    layout->addWidget(new QLabel(tr("Other Options:"), box));
    // Option lines may set a password, or hold a URL with one.
    other = new PasswdTextEdit(Repo::Kivrel::urlsRegExp(), 80, 3, box);
    other->setPasswordFinder(&PasswordMask::editingSpans);
    other->setFont(Fonts::makeBold(Fonts::makeFixed(other->font())));
    other->setToolTip(tr("Any other yum options for this repository.  See yum.conf(5)"));
    layout->addWidget(other);
    return box;
}

QGridLayout* Config::createSimpleOptions(QWidget* parent)
{
    QGridLayout* grid = new QGridLayout;
    enabled = triStateCombo(parent);
    enabled->setToolTip(tr("Whether or not the repository is enabled for use"));
    gpgcheck = triStateCombo(parent);
    gpgcheck->setToolTip(tr("Whether or not GPG key signatures of packages from the repository "
                            "are checked to ensure authenticity"));
    grid->addWidget(new QLabel(tr("Enabled"), parent), 0, 0);
    grid->addWidget(enabled, 0, 1);
    grid->addWidget(new QLabel(tr("Check GPG Keys"), parent), 1, 0);
    grid->addWidget(gpgcheck, 1, 1);
    return grid;
}

QGroupBox* Config::createFileInfo(QWidget* parent)
{
    QGroupBox* box = new QGroupBox(tr("Configuration File (expert)"), parent);
    QHBoxLayout* row = new QHBoxLayout(box);
    file = unlimitedLineEdit(box);
    file->setToolTip(tr("Name of the yum configuration file into which to place this "
                        "repository configuration.\n"
                        "If left blank, defaults to the repository's identifier"));
    sortPosition = new QDoubleSpinBox(box);
    sortPosition->setDecimals(1);
    sortPosition->setSingleStep(1.0);
    // Wide enough for every position a file can have: a position the field
    // cannot hold would otherwise be clamped on display and written back
    // clamped.
    sortPosition->setRange(0.0, maxSortPosition);
    sortPosition->setValue(0.0);
    sortPosition->setToolTip(tr("A numeric sort key which determines the order of this "
                                "repository configuration\n"
                                "in a configuration file which contains multiple configurations"));
    row->addWidget(new QLabel(tr("File"), box));
    row->addWidget(file);
    row->addWidget(new QLabel(tr("Sort Position"), box));
    row->addWidget(sortPosition);
    return box;
}

void Config::setEntry(const Repo::Entry& entry)
{
    updating = true;
    identifier->setText(entry.id);
    name->setText(entry.name);
    urls->setRealPlainText(entry.baseurl);
    mirrorList->setRealText(entry.mirrorlist);
    enabled->setCurrentIndex(entry.enabled);
    gpgcheck->setCurrentIndex(entry.gpgcheck);
    other->setRealPlainText(entry.other);
    file->setText(entry.file);
    kept.clear();
    keep(identifier, entry.id, identifier->text());
    keep(name, entry.name, name->text());
    keep(urls, entry.baseurl, urls->realPlainText());
    keep(mirrorList, entry.mirrorlist, mirrorList->realText());
    keep(other, entry.other, other->realPlainText());
    keep(file, entry.file, file->text());
    // The field rounds to one decimal and keeps to its range; a position it
    // changes is kept aside and refused until the user picks one.
    entrySortPosition = entry.sortPosition;
    sortPosition->setValue(std::isfinite(entry.sortPosition) ? entry.sortPosition : 0.0);
    refusedSortPosition = sortPosition->value() != entry.sortPosition;
    updating = false;

    for (QWidget* field : {static_cast<QWidget*>(identifier), static_cast<QWidget*>(name),
                           static_cast<QWidget*>(urls), static_cast<QWidget*>(mirrorList),
                           static_cast<QWidget*>(enabled), static_cast<QWidget*>(gpgcheck),
                           static_cast<QWidget*>(other), static_cast<QWidget*>(file),
                           static_cast<QWidget*>(sortPosition)})
        field->setEnabled(true);
    showAuth(entry);
}

void Config::showAuth(const Repo::Entry& entry)
{
    QString key1, value1, key2, value2;
    const bool found = Repo::Kivrel::getAuth(entry, key1, value1, key2, value2);
    authNameLabel->setText(key1.isEmpty() ? QStringLiteral("Name") : key1);
    authName->setText(value1);
    authPasswordLabel->setText(key2.isEmpty() ? QStringLiteral("Password") : key2);
    authPassword->setText(value2);
    authName->setEnabled(found);
    authPassword->setEnabled(found);
}

Repo::Entry Config::toEntry() const
{
    Repo::Entry entry;
    entry.id = valueOf(identifier, identifier->text());
    entry.name = valueOf(name, name->text());
    entry.baseurl = valueOf(urls, urls->realPlainText());
    entry.mirrorlist = valueOf(mirrorList, mirrorList->realText());
    entry.enabled = triState(enabled);
    entry.gpgcheck = triState(gpgcheck);
    entry.other = valueOf(other, other->realPlainText());
    entry.file = valueOf(file, file->text());
    entry.sortPosition = refusedSortPosition ? entrySortPosition : sortPosition->value();
    return entry;
}

void Config::keep(const QObject* field, const QString& value, const QString& taken)
{
    if (taken == value)
        kept.remove(field);
    else
        kept.insert(field, {value, taken});
}

QString Config::valueOf(const QObject* field, const QString& text) const
{
    const auto it = kept.constFind(field);
    return it != kept.constEnd() && it->second == text ? it->first : text;
}

bool Config::sortPositionRefused() const
{
    return refusedSortPosition;
}

void Config::disable()
{
    updating = true;
    identifier->clear();
    name->clear();
    urls->setRealPlainText(QString());
    mirrorList->setRealText(QString());
    authName->clear();
    authPassword->clear();
    other->setRealPlainText(QString());
    file->clear();
    kept.clear();
    authNameLabel->setText(QStringLiteral("Name"));
    authPasswordLabel->setText(QStringLiteral("Password"));
    enabled->setCurrentIndex(Repo::Entry::Default);
    gpgcheck->setCurrentIndex(Repo::Entry::Default);
    sortPosition->setValue(0.0);
    entrySortPosition = 0.0;
    refusedSortPosition = false;
    updating = false;

    for (QWidget* field :
         {static_cast<QWidget*>(identifier), static_cast<QWidget*>(name),
          static_cast<QWidget*>(urls), static_cast<QWidget*>(mirrorList),
          static_cast<QWidget*>(authName), static_cast<QWidget*>(authPassword),
          static_cast<QWidget*>(enabled), static_cast<QWidget*>(gpgcheck),
          static_cast<QWidget*>(other), static_cast<QWidget*>(file),
          static_cast<QWidget*>(sortPosition)})
        field->setEnabled(false);
}

void Config::setDefaults(bool enabledDefault, bool gpgcheckDefault)
{
    const QString yes = tr("(Yes)");
    const QString no = tr("(No)");
    enabled->setItemText(Repo::Entry::Default,
                         tr("%1 %2").arg(tr("Default"), enabledDefault ? yes : no));
    gpgcheck->setItemText(Repo::Entry::Default,
                          tr("%1 %2").arg(tr("Default"), gpgcheckDefault ? yes : no));
}

void Config::authChanged(QString)
{
    updating = true;
    // From the values the URL fields stand for, which they may not hold
    // whole.
    const QString newUrls = Repo::Kivrel::replaceAuth(valueOf(urls, urls->realPlainText()),
                                                      authName->text(), authPassword->text());
    urls->setRealPlainText(newUrls);
    keep(urls, newUrls, urls->realPlainText());
    const QString newMirrorList = Repo::Kivrel::replaceAuth(
        valueOf(mirrorList, mirrorList->realText()), authName->text(), authPassword->text());
    mirrorList->setRealText(newMirrorList);
    keep(mirrorList, newMirrorList, mirrorList->realText());
    updating = false;
    emit changed();
}

void Config::urlChanged()
{
    if (updating)
        return;
    showAuth(toEntry());
    emit changed();
}

void Config::urlChanged(QString)
{
    urlChanged();
}

void Config::valueChanged()
{
    if (!updating)
        emit changed();
}

void Config::valueChanged(int)
{
    valueChanged();
}

void Config::valueChanged(QString)
{
    // Any position the user sets replaces the one the field could not hold.
    if (!updating && sender() == sortPosition)
        refusedSortPosition = false;
    valueChanged();
}

QString Config::fileError(YumConfIO* yumConfIO) const
{
    // Judged as the writer judges it, on the path it would write.
    const QString path = yumConfIO->placedFile(file->text(), identifier->text());
    if (yumConfIO->holdsRepositories(path))
        return QString();
    const bool inReposdir = yumConfIO->reposdirs.contains(QFileInfo(path).path())
                            && path.startsWith(QLatin1Char('/'));
    return inReposdir ? tr("File lacks .repo suffix") : tr("File is not in any reposdir directory");
}

QList<Repo::ValueCheck::Problem> Config::refusedProblems(YumConfIO* yumConfIO,
                                                         const Repo::Entry& shown,
                                                         QList<Repo::ValueCheck::Problem>* held)
{
    QList<Repo::ValueCheck::Problem> refused;
    for (const Repo::ValueCheck::Problem& problem : Repo::ValueCheck::problems(shown)) {
        if (!yumConfIO->holdsProblem(shown, problem))
            refused.append(problem);
        else if (held)
            held->append(problem);
    }
    return refused;
}

bool Config::acceptable(YumConfIO* yumConfIO) const
{
    return !refusedSortPosition && refusedProblems(yumConfIO, toEntry()).isEmpty()
           && fileError(yumConfIO).isEmpty();
}

bool Config::setStatus(YumConfIO* yumConfIO, QLabel* status)
{
    enum Kind { Error, Warning, Note };
    auto show = [status](Kind kind, const QString& text) {
        status->setPalette(kind == Error     ? Colors::makeError(status->palette())
                           : kind == Warning ? Colors::makeWarning(status->palette())
                                             : Colors::makeOK(status->palette()));
        status->setText(text);
        return true;
    };

    // Errors first: OK waits while one holds, and a warning must not hide
    // why.
    if (refusedSortPosition)
        return show(Error, tr("Sort Position %1 does not fit the field: choose one from 0.0 to %2")
                               .arg(QString::number(entrySortPosition, 'g', 17),
                                    QString::number(maxSortPosition, 'f', 1)));
    if (identifier->text().isEmpty())
        return show(Error, tr("No Identifier specified"));
    const Repo::Entry shown = toEntry();
    QList<Repo::ValueCheck::Problem> held;
    const QList<Repo::ValueCheck::Problem> refused = refusedProblems(yumConfIO, shown, &held);
    if (!refused.isEmpty())
        return show(Error, refused.first().text);
    const QString placement = fileError(yumConfIO);
    if (!placement.isEmpty())
        return show(Error, placement);

    if (shown.baseurl.isEmpty() && shown.mirrorlist.isEmpty())
        return show(Warning, tr("No URLs or Mirror list URL specified"));
    QString key1, value1, key2, value2;
    const bool found = Repo::Kivrel::getAuth(shown.baseurl, key1, value1, key2, value2)
                       || Repo::Kivrel::getAuth(shown.mirrorlist, key1, value1, key2, value2);
    if (found && value1.isEmpty())
        return show(Warning, tr("No Kivrel Authentication Name specified"));
    if (found && value2.isEmpty())
        return show(Warning, tr("No Kivrel Authentication Password specified"));
    if (!held.isEmpty())
        return show(Warning, tr("%1 (kept as the file holds it; dnf reads it otherwise)")
                                 .arg(held.first().text));

    // A relative name is no mistake, but the user should see where it goes.
    const QString path = file->text();
    if (!path.isEmpty() && !path.startsWith(QLatin1Char('/')))
        return show(Note, tr("File will be %1").arg(yumConfIO->placedFile(path, shown.id)));
    return false;
}

}
