// The main window's operations on a real sandbox, through the real engine
// and companion script: the start-up road with the credential check, quitting
// from the credential dialog, Refresh, the cache cleanings, Search with its
// extra data, the start with the repository editor or the log, applying
// marks, and closing from the window manager.
#include "tests/app/mainwindow_test.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSet>
#include <QTextEdit>

#include "app/packagetable/searchtexts.h"
#include "common/enginelog.h"
#include "foundation/scrollableconfirmdialog.h"
#include "repos/repoeditor/dialog.h"

using A = MainWindowTestAccess;
using MainWindowTesting::shownNames;
using MainWindowTesting::waitFor;
using MainWindowTesting::yumLockFree;

namespace
{

QSet<Package::Entry*> entrySet(YumIO& io)
{
    QSet<Package::Entry*> set;
    for (Package::Entry* entry : io)
        set.insert(entry);
    return set;
}

Package::Entry* entryNamed(YumIO& io, const QString& name)
{
    for (Package::Entry* entry : io) {
        if (entry->name == name && entry->kind != Package::Group)
            return entry;
    }
    return nullptr;
}

QString fileText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// The engine's search texts, counting the reads of a file list or change log
// made before that extra data was loaded: the filter would either load it
// inside its own mapping (a worker and its event loop in the middle of it)
// or decide the row by an empty text.
class WatchedSearchTexts : public PackageTable::EngineSearchTexts
{
public:
    explicit WatchedSearchTexts(YumIO& io) : EngineSearchTexts(&io), io(io) {}

    QString text(const Package::Entry& entry, Field field) override
    {
        ++reads;
        if ((field == Files && !io.fileListsCollected) || (field == ChangeLog && !io.otherDataCollected))
            ++readsBeforeLoad;
        return EngineSearchTexts::text(entry, field);
    }

    int reads = 0;
    int readsBeforeLoad = 0;

private:
    YumIO& io;
};

// Accepts every other modal dialog (message boxes, the engine's error and
// confirm dialogs) and notes its class and text.
class ModalAnswerer : public QObject
{
public:
    ModalAnswerer()
    {
        connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
        timer.start(20);
    }

    bool acceptConfirm = true;
    QStringList seen;

private:
    void poll()
    {
        QWidget* widget = QApplication::activeModalWidget();
        if (!widget || widget->inherits("RepoAuth::Dialog"))
            return;
        if (auto* box = qobject_cast<QMessageBox*>(widget)) {
            seen << "QMessageBox: " + box->text();
            box->buttons().first()->click();
        } else if (auto* dialog = qobject_cast<QDialog*>(widget)) {
            const bool confirm = dynamic_cast<ScrollableConfirmDialog*>(widget) != nullptr;
            seen << (confirm ? QStringLiteral("confirm") : QStringLiteral("dialog"));
            if (confirm && !acceptConfirm)
                dialog->reject();
            else
                dialog->accept();
        }
    }

    QTimer timer;
};

}

TEST_F(MainWindowSandboxTest, StartUpAsksForCredentialsCollectsAndBecomesReady)
{
    ASSERT_TRUE(sandbox.startKivrelServer());
    answerer.answerWith(sandbox.kivrelUser(), sandbox.kivrelPassword());
    ASSERT_TRUE(start());

    EXPECT_EQ(answerer.answered, 1);
    // The answer went into the repository file.
    EXPECT_TRUE(fileText(sandbox.kivrelRepoFile()).contains("user=" + sandbox.kivrelUser()));
    EXPECT_TRUE(A::mainArea(*window)->isVisible());
    EXPECT_TRUE(A::mainArea(*window)->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The table shows what the engine collected, the updates first.
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-kernel", "kuv-lib"}));
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewInstallable);
    QStringList installable = shownNames(*window);
    EXPECT_TRUE(installable.contains("kuv-remote")) << installable.join(' ').toStdString();
    EXPECT_TRUE(installable.contains("kuv-app"));
    EXPECT_FALSE(installable.contains("kuv-extra"));

    // This yum keeps a sqlite cache and no pickled one.
    EXPECT_FALSE(A::cleanPickledAction(*window)->isEnabled());
    EXPECT_TRUE(A::cleanSqliteAction(*window)->isEnabled());
    EXPECT_TRUE(A::cleanAllAction(*window)->toolTip().endsWith(sandbox.cacheDir()))
        << A::cleanAllAction(*window)->toolTip().toStdString();

    EXPECT_FALSE(yumLockFree(sandbox));
    A::quitAction(*window)->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(engine(), nullptr);
    EXPECT_TRUE(yumLockFree(sandbox));
}

TEST_F(MainWindowSandboxTest, QuitInTheCredentialDialogEndsWithoutCollecting)
{
    answerer.answerButton("Quit");
    window->show();
    ASSERT_TRUE(waitFor([this] { return !window->isVisible(); }));
    EXPECT_EQ(answerer.answered, 1);
    EXPECT_EQ(engine(), nullptr);
    EXPECT_TRUE(A::mainArea(*window)->isHidden());
    EXPECT_FALSE(window->isReady());
    EXPECT_TRUE(yumLockFree(sandbox));
}

TEST_F(MainWindowSandboxTest, QuitInTheCredentialDialogAfterAChangeOfRepositoriesEnds)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(start());
    EXPECT_EQ(answerer.answered, 0);

    ASSERT_TRUE(sandbox.fillKivrelCredentials(QString(), QString()));
    answerer.answerButton("Quit");
    window->reposChanged();
    EXPECT_EQ(answerer.answered, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(engine(), nullptr);
    // Nothing is collected after a quit: the window stays busy.
    EXPECT_FALSE(window->isReady());
    EXPECT_TRUE(yumLockFree(sandbox));
}

TEST_F(MainWindowSandboxTest, RefreshCollectsAnewAndDropsTheMarks)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(start());
    EXPECT_EQ(answerer.answered, 0);
    const int rows = engine()->count();
    ASSERT_GT(rows, 0);

    A::model(*window)->setUpdateAll();
    A::stateChanged(*window, -1);
    ASSERT_TRUE(A::applyButton(*window)->isEnabled());

    A::refresh(*window);
    EXPECT_TRUE(window->isReady());
    EXPECT_EQ(engine()->count(), rows);
    // The entries are made anew (the allocator may hand out the old
    // addresses again, so they are told apart by their marks, not by where
    // they live).
    for (Package::Entry* entry : *engine())
        EXPECT_EQ(entry->action, Package::NoAction) << entry->name.toStdString();
    EXPECT_FALSE(A::applyButton(*window)->isEnabled());
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-kernel", "kuv-lib"}));
    EXPECT_EQ(logCount(*engine(), "Initialization"), 2);
}

TEST_F(MainWindowSandboxTest, WhileTheEntriesAreReplacedTheTableHasNoRowsAndCloseIsRefused)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(start());
    PackageTable::Model* model = A::model(*window);
    const QAbstractItemModel* proxy = A::view(*window)->sortFilterProxyModel();

    // Sampled from inside the engine's waits, which handle every event.
    int changingSamples = 0;
    int rowsWhileChanging = 0;
    int cellsReadWhileChanging = 0;
    bool closeRefused = false;
    bool closeTried = false;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (window->isReady())
            return;
        if (model->entriesChanging()) {
            ++changingSamples;
            // What a paint meanwhile would read: the model has no rows, and
            // the rows the proxy still maps until the reset ends read no
            // entry.
            rowsWhileChanging += model->rowCount();
            for (int row = 0; row < proxy->rowCount(); ++row) {
                for (int column = 0; column < PackageTable::Model::ColumnCount; ++column) {
                    if (proxy->index(row, column).data().isValid())
                        ++cellsReadWhileChanging;
                }
            }
        }
        if (!closeTried) {
            closeTried = true;
            // As the window manager's close button would.
            closeRefused = !window->close() && window->isVisible();
        }
    });
    sampler.start(1);
    A::refresh(*window);
    sampler.stop();

    EXPECT_GT(changingSamples, 0);
    EXPECT_EQ(rowsWhileChanging, 0);
    EXPECT_EQ(cellsReadWhileChanging, 0);
    EXPECT_TRUE(closeTried);
    EXPECT_TRUE(closeRefused);
    EXPECT_TRUE(window->isReady());
    EXPECT_NE(engine(), nullptr);
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-kernel", "kuv-lib"}));
}

TEST_F(MainWindowSandboxTest, CleanPackagesKeepsTheEntriesCleanAllCollectsAnew)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(start());
    const QSet<Package::Entry*> first = entrySet(*engine());

    A::cleanPackages(*window);
    EXPECT_TRUE(window->isReady());
    EXPECT_EQ(entrySet(*engine()), first);
    EXPECT_EQ(logCount(*engine(), "Initialization"), 1);

    const int oldEntry = -7;
    for (Package::Entry* entry : *engine())
        entry->groupAction = oldEntry;
    A::cleanAll(*window);
    EXPECT_TRUE(window->isReady());
    EXPECT_EQ(logCount(*engine(), "Cleaning All"), 1);
    EXPECT_EQ(logCount(*engine(), "Initialization"), 2);
    // New entries, told apart from the old by a mark the old ones carry
    // (the allocator may hand out the old addresses again).
    for (Package::Entry* entry : *engine())
        EXPECT_NE(entry->groupAction, oldEntry) << entry->name.toStdString();
    EXPECT_EQ(engine()->count(), first.size());
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-kernel", "kuv-lib"}));
}

TEST_F(MainWindowSandboxTest, EachCacheCleaningRunsItsOwnCleaningAndCollectsAnew)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(start());

    const struct
    {
        const char* slot;
        const char* headline;
    } cleanings[] = {
        {"cleanHeaders", "Cleaning Headers"},
        {"cleanXmlMetadata", "Cleaning Xml Metadata"},
        {"cleanPickledCache", "Cleaning Pickled Cache"},
        {"cleanSqliteCache", "Cleaning Sqlite Cache"},
    };
    int collections = 1;
    for (const auto& cleaning : cleanings) {
        ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), cleaning.slot, Qt::DirectConnection));
        EXPECT_TRUE(window->isReady()) << cleaning.slot;
        EXPECT_EQ(logCount(*engine(), cleaning.headline), 1) << cleaning.slot;
        EXPECT_EQ(logCount(*engine(), "Initialization"), ++collections) << cleaning.slot;
    }
    EXPECT_EQ(logCount(*engine(), "Cleaning All"), 0);
    EXPECT_EQ(logCount(*engine(), "Cleaning Packages"), 0);
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-kernel", "kuv-lib"}));
}

TEST_F(MainWindowSandboxTest, SearchLoadsTheExtraDataOnceAndMatchesFilesAndChangeLogs)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(start());
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewAll);
    QComboBox* mode = A::modeCombo(*window);

    // The match-all pattern needs nothing beyond the table.
    mode->setCurrentIndex(PackageTable::Search);
    EXPECT_TRUE(window->isReady());
    EXPECT_TRUE(mode->toolTip().endsWith("(Must load extra data.)"));
    EXPECT_EQ(logCount(*engine(), "Collecting File Lists"), 0);

    // A file of an available package.
    A::regexpEdit(*window)->setText("kuv-newtool/tool\\.txt");
    A::filtersearch(*window);
    EXPECT_TRUE(window->isReady());
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-newtool"}));
    EXPECT_FALSE(mode->toolTip().contains("Must load extra data"));
    EXPECT_EQ(logCount(*engine(), "Collecting File Lists"), 1);
    EXPECT_EQ(logCount(*engine(), "Collecting Miscellaneous data"), 1);

    // Words of change logs, from the main and from the kivrel repository.
    A::regexpEdit(*window)->setText("Require the newer");
    A::filtersearch(*window);
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-app"}));
    A::regexpEdit(*window)->setText("Served over");
    A::filtersearch(*window);
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-remote"}));
    EXPECT_EQ(logCount(*engine(), "Collecting File Lists"), 1);
    EXPECT_EQ(logCount(*engine(), "Collecting Miscellaneous data"), 1);

    // Back to Filter: the same pattern against the visible texts only.
    mode->setCurrentIndex(PackageTable::Filter);
    EXPECT_TRUE(shownNames(*window).isEmpty());

    // A new collection needs the extra data again.
    A::refresh(*window);
    EXPECT_TRUE(mode->toolTip().endsWith("(Must load extra data.)"));
}

// After each re-collection with a search in force the rows are decided
// again by the pattern in force, with the extra data loaded beforehand.
TEST_F(MainWindowSandboxTest, SearchInForceLoadsTheExtraDataBeforeFilteringAfterReCollection)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(start());
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewAll);
    QComboBox* mode = A::modeCombo(*window);
    mode->setCurrentIndex(PackageTable::Search);
    WatchedSearchTexts texts(*engine());
    A::view(*window)->sortFilterProxyModel()->setSearchTexts(&texts);
    const auto searchedAfter = [&](const char* road, const std::function<void()>& reCollect,
                                   const char* shown) {
        SCOPED_TRACE(road);
        texts.reads = 0;
        reCollect();
        EXPECT_TRUE(window->isReady());
        EXPECT_EQ(shownNames(*window), QStringList({shown}));
        EXPECT_GT(texts.reads, 0);
        EXPECT_EQ(texts.readsBeforeLoad, 0);
    };

    // A file of an available package; Refresh.
    A::regexpEdit(*window)->setText("kuv-newtool/tool\\.txt");
    A::filtersearch(*window);
    searchedAfter("Refresh", [&] { A::refresh(*window); }, "kuv-newtool");
    EXPECT_EQ(logCount(*engine(), "Collecting File Lists"), 2);
    EXPECT_FALSE(mode->toolTip().contains("Must load extra data"));

    // A change-log word; a change of repositories while the field holds a
    // pattern not applied yet.
    A::regexpEdit(*window)->setText("Served over");
    A::filtersearch(*window);
    A::regexpEdit(*window)->setText(".*");
    searchedAfter("repositories changed", [&] { window->reposChanged(); }, "kuv-remote");
    EXPECT_EQ(logCount(*engine(), "Collecting Miscellaneous data"), 3);

    // Back to Search after a collection in Filter mode.
    mode->setCurrentIndex(PackageTable::Filter);
    A::refresh(*window);
    ASSERT_TRUE(mode->toolTip().endsWith("(Must load extra data.)"));
    searchedAfter("back to Search", [&] { mode->setCurrentIndex(PackageTable::Search); }, "kuv-remote");
    A::view(*window)->sortFilterProxyModel()->setSearchTexts(nullptr);
}

TEST_F(MainWindowSandboxTest, StartWithTheRepositoryEditorCollectsWhenItCloses)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    window->startWithRepoEditor = true;
    // The editor opens before anything is collected; OK without a change
    // closes it, and the forced close collects.
    bool opened = false;
    int entriesWhileOpen = -1;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* editor = qobject_cast<RepoEditor::Dialog*>(QApplication::activeModalWidget());
        if (!editor || opened)
            return;
        opened = true;
        entriesWhileOpen = engine()->count();
        for (QPushButton* button : editor->findChildren<QPushButton*>()) {
            if (button->text() == "OK")
                button->click();
        }
    });
    closer.start(20);
    ASSERT_TRUE(start());
    ASSERT_TRUE(waitFor([this] { return A::mainArea(*window)->isVisible(); }));
    EXPECT_TRUE(opened);
    EXPECT_EQ(entriesWhileOpen, 0);
    EXPECT_TRUE(window->isReady());
    EXPECT_GT(engine()->count(), 0);
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-kernel", "kuv-lib"}));
}

TEST_F(MainWindowSandboxTest, StartWithTheLogStartsAsUsual)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    window->startWithLog = true;
    ASSERT_TRUE(start());
    EXPECT_TRUE(A::mainArea(*window)->isVisible());
    EXPECT_GT(engine()->count(), 0);

    // The log window opened before the engine started and followed the
    // collection.
    Log::Window* logWindow = A::logWindow(*window);
    ASSERT_NE(logWindow, nullptr);
    EXPECT_TRUE(logWindow->isVisible());
    QApplication::processEvents();
    const QString drawn = logWindow->findChild<QTextEdit*>()->toPlainText();
    EXPECT_TRUE(drawn.split('\n').contains("Initialization")) << drawn.toStdString();
    A::quit(*window);
    EXPECT_FALSE(logWindow->isVisible());
    delete logWindow;
}

TEST_F(MainWindowSandboxTest, ACollectionErrorLeavesTheWindowUsable)
{
    // Credentials, but no server: the kivrel repository cannot be read.
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ModalAnswerer boxes;
    ASSERT_TRUE(start());
    EXPECT_FALSE(boxes.seen.isEmpty());
    EXPECT_TRUE(A::mainArea(*window)->isVisible());
    EXPECT_TRUE(A::mainArea(*window)->isEnabled());
    EXPECT_TRUE(A::quitAction(*window)->isEnabled());

    // Once the repository answers, Refresh fills the table.
    ASSERT_TRUE(sandbox.startKivrelServer());
    A::refresh(*window);
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-kernel", "kuv-lib"}));
}

TEST_F(MainWindowSandboxTest, AppliedMarksChangeTheSystemAndAreCollectedAnew)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(start());
    ModalAnswerer boxes;

    // Declined: nothing changes and the mark stays.
    boxes.acceptConfirm = false;
    A::model(*window)->setUpdateAll();
    A::stateChanged(*window, -1);
    A::applyButton(*window)->click();
    EXPECT_TRUE(window->isReady());
    EXPECT_TRUE(boxes.seen.contains("confirm"));
    Package::Entry* lib = entryNamed(*engine(), "kuv-lib");
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->state, Package::Updatable);
    EXPECT_EQ(lib->action, Package::Update);
    EXPECT_TRUE(A::applyButton(*window)->isEnabled());

    // Confirmed: the update is installed and the lists are read again.
    boxes.acceptConfirm = true;
    A::applyButton(*window)->click();
    EXPECT_TRUE(window->isReady());
    lib = entryNamed(*engine(), "kuv-lib");
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->state, Package::Installed);
    EXPECT_EQ(lib->verRel, "1.1-1");
    EXPECT_EQ(lib->action, Package::NoAction);
    EXPECT_FALSE(A::applyButton(*window)->isEnabled());
    EXPECT_TRUE(shownNames(*window).isEmpty());
}

TEST_F(MainWindowSandboxTest, CloseFromTheWindowManagerWhenReadyQuitsAndFreesTheLock)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(start());
    EXPECT_FALSE(yumLockFree(sandbox));
    EXPECT_TRUE(window->close());
    EXPECT_EQ(engine(), nullptr);
    EXPECT_TRUE(yumLockFree(sandbox));
}
