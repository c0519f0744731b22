// The main window's operations: the start-up road, re-collection after every
// change, applying the marks, cache cleaning, filter and search, the bulk
// marks, the windows and manuals, and quitting.
#include "app/mainwindow.h"

#include <vector>

#include <QAction>
#include <QByteArray>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include "app/logwindow.h"
#include "app/packagetable/model.h"
#include "app/packagetable/sortfilterproxymodel.h"
#include "app/packagetable/view.h"
#include "engine/package.h"
#include "engine/yumio.h"
#include "foundation/execute.h"
#include "foundation/share.h"
#include "repos/repoauthchecker.h"
#include "repos/repoeditor/dialog.h"
#include "repos/yumconfio.h"

namespace
{

// Where the manuals are installed (doc/CMakeLists.txt puts them there).
const char* const docDir = "/usr/share/doc/packages/kuv";

// A file below the manuals' directory.
QString docFile(const char* name)
{
    return QLatin1String(docDir) + QLatin1Char('/') + QLatin1String(name);
}

// Keeps the window busy for its scope, when asked to be.
class BusyGuard
{
public:
    explicit BusyGuard(MainWindow* window, bool busy = true) : window(busy ? window : nullptr)
    {
        if (this->window)
            this->window->setReady(false);
    }

    ~BusyGuard()
    {
        if (window)
            window->setReady(true);
    }

private:
    Q_DISABLE_COPY_MOVE(BusyGuard)

    MainWindow* const window;
};

}

void MainWindow::recollect()
{
    // The model stops reading entries before the engine deletes them, and
    // reads them again only once the new ones are complete.
    model->beginEntriesChange();
    yumIO->clear();
    collect();
    model->reset();
    // The new entries carry no marks.
    stateChanged();
}

void MainWindow::collect()
{
    yumIO->collect(used);
    // A search in force decides every new row by its file list and change
    // log as soon as the model is reset. They are loaded now, while the
    // table has no rows to decide: the filter never loads them itself, as
    // the wait for a worker would run events in the middle of its mapping.
    if (searchMode() && view->sortFilterProxyModel()->hasPattern())
        loadExtraData();
    collectedExtraData();
}

void MainWindow::loadExtraData()
{
    yumIO->collectFileLists();
    yumIO->collectOtherData();
}

bool MainWindow::checkCredentials(bool* changed)
{
    RepoAuth::Checker checker(this, yumConfIO);
    if (checker.quit) {
        // The window stays busy: nothing is collected after this.
        quit();
        return false;
    }
    if (changed)
        *changed = checker.changed;
    return true;
}

void MainWindow::initialize()
{
    yumConfIO = new YumConfIO(repoEnabled, used);
    // Lives as long as the window, which the program never deletes.
    yumConfIO->setParent(this);
    // Files that a write makes private are named in the engine's log.
    yumConfIO->setLog(&yumIO->logList);
    connect(yumConfIO, &YumConfIO::changed, this, &MainWindow::yumConfIOChanged);
    model->setYumConfIO(yumConfIO);

    if (startWithLog)
        displayLog();

    if (!yumIO->initialize()) {
        quit();
        return;
    }

    if (startWithRepoEditor) {
        model->reset();
        setReady(true);
        editRepositories(true);
        return;
    }

    bool changed = false;
    if (!checkCredentials(&changed))
        return;
    model->beginEntriesChange();
    if (changed)
        yumIO->clear();
    collect();
    model->reset();
    stateChanged();
    mainArea->show();
    view->resizeColumnsToContents();
    setReady(true);
}

void MainWindow::refresh()
{
    BusyGuard busy(this);
    recollect();
}

void MainWindow::reposChanged()
{
    setReady(false);
    if (!checkCredentials())
        return;
    recollect();
    if (mainArea->isHidden()) {
        mainArea->show();
        view->resizeColumnsToContents();
    }
    setReady(true);
}

void MainWindow::apply()
{
    setReady(false);
    if (yumIO->apply()) {
        if (!checkCredentials())
            return;
        recollect();
    }
    // Not applied: the entries and their marks stay as they were.
    setReady(true);
}

void MainWindow::clean(bool (YumIO::*cleaning)())
{
    BusyGuard busy(this);
    // A failed cleaning has logged its warning; what is left is collected
    // anew all the same.
    (yumIO->*cleaning)();
    recollect();
}

void MainWindow::cleanHeaders()
{
    clean(&YumIO::cleanHeaders);
}

void MainWindow::cleanPackages()
{
    // Downloaded packages are not part of the lists: nothing to collect.
    BusyGuard busy(this);
    yumIO->cleanPackages();
}

void MainWindow::cleanXmlMetadata()
{
    clean(&YumIO::cleanXmlMetadata);
}

void MainWindow::cleanPickledCache()
{
    clean(&YumIO::cleanPickledCache);
}

void MainWindow::cleanSqliteCache()
{
    clean(&YumIO::cleanSqliteCache);
}

void MainWindow::cleanAll()
{
    clean(&YumIO::cleanAll);
}

void MainWindow::yumConfIOChanged()
{
    const QString cachedir = yumConfIO->cachedir;
    cleanHeadersAction->setToolTip(tr("Clean RPM package headers cached locally in %1").arg(cachedir));
    cleanPackagesAction->setToolTip(
        tr("Clean RPM packages cached locally in %1\n(useful for recovering disk space)")
            .arg(cachedir));
    cleanXmlAction->setToolTip(
        tr("Clean XML metadata cached locally in %1\n(useful along with Clean Pickled Data for\n"
           " forcing download of new available package lists)")
            .arg(cachedir));
    cleanPickledAction->setToolTip(
        tr("Clean pickled data cached locally in %1\n(useful along with Clean XML Metadata for\n"
           " forcing download of new available package lists)")
            .arg(cachedir));
    cleanSqliteAction->setToolTip(
        tr("Clean sqlite data cached locally in %1\n(useful along with Clean XML Metadata for\n"
           " forcing download of new available package lists)")
            .arg(cachedir));
    cleanAllAction->setToolTip(tr("Clean all data cached locally in %1").arg(cachedir));
}

void MainWindow::quit()
{
    if (quitting)
        return;
    quitting = true;
    // The entries go while the interpreter still runs; the table must not
    // paint one of them meanwhile.
    model->beginEntriesChange();
    yumIO->clearEntriesBeforeQuit();
    if (logWindow && logWindow->isVisible())
        logWindow->hide();
    close();
    // The log goes with the engine.
    if (yumConfIO)
        yumConfIO->setLog(nullptr);
    delete yumIO;
    yumIO = nullptr;
}

void MainWindow::displayLog()
{
    // After quit the engine and its log are gone.
    if (!yumIO)
        return;
    if (!logWindow)
        logWindow = new Log::Window(yumIO->logList, this);
    logWindow->show();
}

void MainWindow::editRepositories(bool forceReposChanged)
{
    // The editor re-reads the configuration at each opening and, on
    // closing, reports a change (always when forced) through reposChanged(),
    // which runs the credential check and collects anew before exec()
    // returns. An opening whose read failed returns at once.
    if (!repoEditor) {
        repoEditor = new RepoEditor::Dialog(yumIO, yumConfIO, this);
        connect(repoEditor, &RepoEditor::Dialog::reposChanged, this, &MainWindow::reposChanged);
    }
    repoEditor->forceReposChanged = forceReposChanged;
    repoEditor->exec();
}

void MainWindow::editRepositories()
{
    editRepositories(false);
}

void MainWindow::launch(const QStringList& arguments)
{
    std::vector<QByteArray> texts;
    for (const QString& argument : arguments)
        texts.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    Execute::execute(this, argv.data());
}

void MainWindow::manualHtml()
{
    launch({Share::absolute("webbrowser"), docFile("html/index.html")});
}

void MainWindow::manualPdf()
{
    launch({Share::absolute("mimeviewer"), QStringLiteral("application/pdf"),
            docFile("manual.pdf")});
}

void MainWindow::about()
{
    const QString text =
        tr("<h3>KUV %1</h3><hr><p>KUV, Kuvarin, is a graphical user interface which allows a "
           "user to make modifications to the installed rpm packages on a system.</p>"
           "<p>Capabilities:<p><ul>"
           "<li>Install new packages or update existing packages by downloading them from a "
           "yum package repository</li><li>Remove existing packages.</li><li>Configure sets "
           "of repositories from which to obtain new and updated packages.</li>"
           "<li>Examine installed packages or packages available for installation or "
           "update</li><li>Install, update, or remove groups of packages</li><li>Install or "
           "update suites of packages</li></ul>"
           "<p>For more information see %2.</p>")
            .arg(QStringLiteral(KUV_VERSION), QLatin1String("file://") + docFile("html/index.html"));
    QMessageBox::about(this, tr("About"), text);
}

bool MainWindow::searchMode() const
{
    return modeCombo->currentIndex() == PackageTable::Search;
}

void MainWindow::prepareFilterSearch()
{
    if (!searchMode())
        return;
    // The field's pattern is about to be applied (the Search button); the
    // pattern in force is what a change of mode filters by.
    const QString pattern = regexpEdit->text();
    if ((pattern.isEmpty() || pattern == QLatin1String(".*"))
        && !view->sortFilterProxyModel()->hasPattern())
        return;
    // No row is evaluated while the data loads.
    view->setFilter(false);
    loadExtraData();
    view->setFilter(true);
}

void MainWindow::filtersearch()
{
    // A search may load extra data and decides every row by all its fields.
    BusyGuard busy(this, searchMode());
    prepareFilterSearch();
    view->filtersearch(regexpEdit->text());
}

void MainWindow::modeChanged(int index)
{
    const bool search = index == PackageTable::Search;
    BusyGuard busy(this, search);
    if (search) {
        filterButton->setText(tr("Search"));
        regexpEdit->setToolTip(tr("Regular expression to compare to all fields of a package"));
        filterButton->setToolTip(
            tr("Perform the search for the regular expression specified to the left"));
    } else {
        filterButton->setText(tr("Filter"));
        regexpEdit->setToolTip(
            tr("Regular expression filter matching textual fields visible in the table"));
        filterButton->setToolTip(tr("Apply the filter specified to the left"));
    }
    prepareFilterSearch();
    view->setMode(PackageTable::Mode(index));
}

void MainWindow::collectedExtraData()
{
    QString text = tr("Specify the method for using a regular expression to select packages in "
                      "the table:\n\tFilter uses the textual fields visible in the table, as if "
                      "they were separated by spaces.\n\tSearch uses all fields in packages, "
                      "including list of Files, Change Log, Requires, etc.,\n\tindependently.  "
                      "It is considerably slower.");
    if (!yumIO || !yumIO->fileListsCollected || !yumIO->otherDataCollected)
        text = tr("%1 (Must load extra data.)").arg(text);
    modeCombo->setToolTip(text);
}

void MainWindow::stateFilterChanged(int index)
{
    BusyGuard busy(this, searchMode());
    view->stateFilterChanged(PackageTable::StateFilter(index));
}

void MainWindow::groupsFilterChanged(int checked)
{
    BusyGuard busy(this, searchMode());
    view->groupsFilterChanged(checked != 0);
}

void MainWindow::currentChanged(int currentRow, int previousRow)
{
    describeButton->setEnabled(currentRow != -1);
}

void MainWindow::stateChanged(int row)
{
    // The reported row decides when it has an action; otherwise every head
    // is looked at. Versions chained behind a head are never marked.
    if (row >= 0 && row < yumIO->count()) {
        const Package::Entry* entry = (*yumIO)[row];
        if (entry && entry->action != Package::NoAction) {
            applyButton->setEnabled(true);
            return;
        }
    }
    bool marked = false;
    for (const Package::Entry* entry : *yumIO) {
        if (entry && entry->action != Package::NoAction) {
            marked = true;
            break;
        }
    }
    applyButton->setEnabled(marked);
}

void MainWindow::clearActions()
{
    model->clearActions();
    stateChanged();
}

void MainWindow::setUpdateAll()
{
    model->setUpdateAll();
    stateChanged();
}

void MainWindow::setSelected()
{
    model->setSelected(view->selectedRows());
    stateChanged();
}

void MainWindow::resize()
{
    view->resizeColumnsToContents();
}
