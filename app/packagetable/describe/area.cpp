// One version's area of the package description: the rows each kind of
// entry shows, read from the engine when the area is built, and the buttons
// that show the repository, the file list and the change log.
#include "app/packagetable/describe/area.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "app/packagetable/describe/dialog.h"
#include "app/packagetable/describe/repodialog.h"
#include "engine/package.h"
#include "engine/yumio.h"
#include "foundation/fonts.h"
#include "foundation/hscrollarea.h"
#include "foundation/textdialog.h"
#include "repos/yumconfio.h"

namespace PackageTable
{
namespace Describe
{
namespace Instance
{

namespace
{

const Qt::Alignment labelAlignment = Qt::AlignRight | Qt::AlignTop;
const Qt::Alignment valueAlignment = Qt::AlignLeft | Qt::AlignTop;

}

Area::Area(PackageTable::Describe::Dialog* dialog, QVBoxLayout* layout, YumIO* yumIO,
           const Package::Entry& entry, YumConfIO* yumConfIO, bool first)
    : dialog(dialog),
      yumIO(yumIO),
      entry(&entry),
      yumConfIO(yumConfIO),
      parent(nullptr)
{
    scrollArea = new HScrollArea(80, 24, parent);
    widget = new QWidget(scrollArea);
    QHBoxLayout* box = new QHBoxLayout;
    grid = new QGridLayout;
    // No frame: the separators between the areas are frame enough.
    scrollArea->setFrameStyle(QFrame::NoFrame | QFrame::Plain);

    int row = 0;
    addHeader(row, yumIO->getState(entry));
    switch (entry.kind) {
    case Package::Group:
        addGroupRows(row);
        break;
    case Package::Suite:
    case Package::Ordinary:
        if (first)
            addFirstVersionRows(row);
        else
            addOtherVersionRows(row);
        files = addButton(row, tr("Files"), tr("Show"));
        connect(files.button, &QPushButton::clicked, this, &Area::handleFiles);
        changeLog = addButton(row, tr("Change Log"), tr("Show"));
        connect(changeLog.button, &QPushButton::clicked, this, &Area::handleChangeLog);
        break;
    }
    updateButtons();

    box->addLayout(grid);
    box->addStretch(0);
    widget->setLayout(box);
    scrollArea->setWidget(widget);
    layout->addWidget(scrollArea);
}

Area::~Area()
{
    delete repoDialog;
    delete textDialog;
}

void Area::addGroupRows(int& row)
{
    const Package::Entry& e = *entry;
    addPair(row, tr("Kind"), yumIO->getKind(e));
    addPair(row, tr("Required Groups"), yumIO->getRequiredGroups(e));
    addPair(row, tr("Default MetaPkgs"), yumIO->getDefaultMetaPkgs(e));
    addPair(row, tr("Optional MetaPkgs"), yumIO->getOptionalMetaPkgs(e));
    addPair(row, tr("Mandatory Packages"), yumIO->getMandatoryPkgs(e));
    addPair(row, tr("Default Packages"), yumIO->getDefaultPkgs(e));
    addPair(row, tr("Optional Packages"), yumIO->getOptionalPkgs(e));
    addPair(row, tr("Conditional Packages"), yumIO->getConditionalPkgs(e));
}

void Area::addFirstVersionRows(int& row)
{
    const Package::Entry& e = *entry;
    addPair(row, tr("Kind"), yumIO->getKind(e));
    addPair(row, tr("Version"), yumIO->getVerRel(e));
    // An installed package's repository is the rpm database, which has no
    // section to describe.
    const QString repo = yumIO->getRepo(e);
    if (repo != QLatin1String("installed")) {
        details = addPairButton(row, tr("Repository"), repo, tr("Details"));
        if (details.button)
            connect(details.button, &QPushButton::clicked, this, &Area::handleRepo);
    }
    addPair(row, tr("Architecture"), yumIO->getArch(e));
    addPair(row, tr("Size"), yumIO->getSize(e));
    addPair(row, tr("Summary"), yumIO->getSummary(e));
    addPair(row, tr("Description"), yumIO->getDescription(e));
    addPair(row, tr("Group"), yumIO->getGroup(e));
    addPair(row, tr("Vendor"), yumIO->getVendor(e));
    addPair(row, tr("Build Time"), yumIO->getBuildTime(e));
    addPair(row, tr("Build Host"), yumIO->getBuildHost(e));
    addPair(row, tr("Install Time"), yumIO->getInstallTime(e));
    addPair(row, tr("Binary RPM"), yumIO->getBinaryRpm(e));
    addPair(row, tr("Source RPM"), yumIO->getSourceRpm(e));
    addPair(row, tr("License"), yumIO->getLicense(e));
    addPair(row, tr("Packager"), yumIO->getPackager(e));
    addPair(row, tr("URL"), yumIO->getUrl(e));
    addPair(row, tr("Relocations"), yumIO->getRelocations(e));
    addPair(row, tr("Provides"), yumIO->getProvides(e));
    addPair(row, tr("Requires"), yumIO->getRequires(e));
    addPair(row, tr("Conflicts"), yumIO->getConflicts(e));
    addPair(row, tr("Obsoletes"), yumIO->getObsoletes(e));
}

void Area::addOtherVersionRows(int& row)
{
    const Package::Entry& e = *entry;
    addPair(row, tr("Version"), yumIO->getVerRel(e));
    addPair(row, tr("Size"), yumIO->getSize(e));
    addPair(row, tr("Build Time"), yumIO->getBuildTime(e));
    addPair(row, tr("Packager"), yumIO->getPackager(e));
}

QLabel* Area::rowLabel(const QString& label)
{
    return new QLabel(tr("%1:").arg(label), widget);
}

// Values are data, never markup: a description or a packager's address
// with "<" in it shows as written.
QLabel* Area::valueLabel(const QString& value)
{
    QLabel* label = new QLabel(value, widget);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void Area::addHeader(int& row, QString text)
{
    QLabel* label = new QLabel(text, widget);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Fonts::makeHeader(label->font()));
    grid->addWidget(label, row, 0, 1, 2);
    ++row;
}

void Area::addPair(int& row, QString label, QString value)
{
    if (value.isEmpty())
        return;
    grid->addWidget(rowLabel(label), row, 0, labelAlignment);
    grid->addWidget(valueLabel(value), row, 1, valueAlignment);
    ++row;
}

Area::Button Area::addPairButton(int& row, QString label, QString value, QString text)
{
    Button b;
    if (value.isEmpty())
        return b;
    grid->addWidget(rowLabel(label), row, 0, labelAlignment);
    QHBoxLayout* box = new QHBoxLayout;
    box->addWidget(valueLabel(value), 0, Qt::AlignTop);
    b.text = text;
    b.button = new QPushButton(text, widget);
    b.row = row;
    box->addWidget(b.button, 0, Qt::AlignTop);
    grid->addLayout(box, row, 1, valueAlignment);
    ++row;
    return b;
}

Area::Button Area::addButton(int& row, QString label, QString text)
{
    Button b;
    grid->addWidget(rowLabel(label), row, 0, labelAlignment);
    b.text = text;
    b.button = new QPushButton(text, widget);
    b.row = row;
    grid->addWidget(b.button, row, 1, valueAlignment);
    ++row;
    return b;
}

void Area::setButtonsEnabled(bool enabled)
{
    for (Button* b : {&files, &changeLog, &details}) {
        if (b->button)
            b->button->setEnabled(enabled);
    }
}

void Area::updateButtons()
{
    if (entry->kind != Package::Suite && entry->kind != Package::Ordinary)
        return;
    updateButton(files, yumIO->fileListsCollected);
    updateButton(changeLog, yumIO->otherDataCollected);
}

void Area::updateButton(Button& b, bool loaded)
{
    if (!b.button)
        return;
    // Installed packages answer from their own header and never load.
    if (entry->state == Package::Installed || loaded)
        b.button->setText(b.text);
    else
        b.button->setText(tr("%1 (must load extra data)").arg(b.text));
}

void Area::handleFiles()
{
    showText(Text::FileList);
}

void Area::handleChangeLog()
{
    showText(Text::ChangeLog);
}

void Area::showText(Text which)
{
    // A press that arrived while another load runs (the buttons are off
    // then) must not start a second one inside the first one's wait.
    if (!dialog->isReady())
        return;
    dialog->setReady(false);
    // May wait for a worker in a local event loop that handles user input.
    const QString text = which == Text::FileList ? yumIO->getFiles(*entry)
                                                 : yumIO->getChangeLog(*entry);
    updateButtons();
    if (!textDialog)
        textDialog = new TextDialog(parent);
    const QString name = yumIO->getName(*entry);
    const QString version = yumIO->getVerRel(*entry);
    textDialog->setWindowTitle(which == Text::FileList ? tr("%1 %2 File List").arg(name, version)
                                                       : tr("%1 %2 Change Log").arg(name, version));
    textDialog->setText(text);
    textDialog->exec();
    dialog->setReady(true);
}

void Area::handleRepo()
{
    if (!dialog->isReady())
        return;
    const QString id = yumIO->getRepo(*entry);
    const Repo::Entry* section = nullptr;
    if (yumConfIO) {
        for (const Repo::Entry& candidate : yumConfIO->entries) {
            if (candidate.id == id) {
                section = &candidate;
                break;
            }
        }
    }
    if (!section) {
        QMessageBox::critical(dialog, tr("Error"),
                              tr("No configured repository has the identifier \"%1\".").arg(id),
                              QMessageBox::Ok);
        return;
    }
    if (!repoDialog)
        repoDialog = new RepoDialog(yumIO, parent);
    repoDialog->config(*section);
    repoDialog->exec();
}

}
}
}
