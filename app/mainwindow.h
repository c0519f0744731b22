// The application window: the menu bar, the package browser (filter row,
// package table, button row) and the two progress bars the engine drives,
// the busy state, and the slots of every operation the user starts from it.
// Construction, menus and the busy state live in mainwindow.cpp, the
// operations in mainwindowoperations.cpp.
#pragma once

#include <QHash>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include "repos/yumrepoenabled.h"

class HMenu;
class QAction;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QLineEdit;
class QPushButton;
class QWidget;
class YumConfIO;
class YumIO;

namespace PackageTable
{
class Model;
class View;
}

namespace Log
{
class Window;
}

namespace RepoEditor
{
class Dialog;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

    friend class MainWindowTestAccess;

public:
    // Ends busy, with the main area hidden until the first collection.
    explicit MainWindow(QWidget* parent = nullptr);
    // The program never deletes its window; a window that was never quit
    // (in tests) still ends its engine here.
    ~MainWindow() override;

    // Every show schedules initialize(); only the first one runs it.
    void setVisible(bool visible) override;
    QSize sizeHint() const override;

    // The busy state: menus that start engine work and the main area are
    // disabled and the cursor is busy while not ready.
    void setReady(bool ready);
    bool isReady() const { return ready; }

    // QWidget's own resize stays usable beside the Re&size slot.
    using QMainWindow::resize;

    const QIcon updateIcon;
    const QIcon noIcon;
    const QIcon checkIcon;

    // Filled by the command line before the window is shown.
    bool startWithRepoEditor;
    bool startWithLog;
    // --enablerepo/--disablerepo in command-line order; YumConfIO keeps a
    // reference.
    QList<YumRepoEnabled> repoEnabled;

    // Session use flag per repository identifier; YumConfIO keeps a
    // reference, every collection reads it.
    QHash<QString, bool> used;

public slots:
    void resize();
    void refresh();
    void reposChanged();

protected slots:
    void initialize();
    void yumConfIOChanged();
    void quit();
    void displayLog();
    void editRepositories(bool forceReposChanged);
    void editRepositories();
    void cleanHeaders();
    void cleanPackages();
    void cleanXmlMetadata();
    void cleanPickledCache();
    void cleanSqliteCache();
    void cleanAll();
    void manualHtml();
    void manualPdf();
    void about();
    void filtersearch();
    void currentChanged(int currentRow, int previousRow);
    void stateChanged(int row = -1);
    void modeChanged(int index);
    void collectedExtraData();
    void stateFilterChanged(int index);
    void groupsFilterChanged(int checked);
    void setSelected();
    void setUpdateAll();
    void clearActions();
    void apply();

protected:
    // A close from the window manager: ignored while busy, because closing
    // the last window would end every event loop, the engine's wait for its
    // worker included; when ready it quits as Program/Quit does.
    void closeEvent(QCloseEvent* event) override;

    // Loads the extra data a Search needs before the pattern is applied.
    void prepareFilterSearch();

private:
    void buildMenus();
    void buildMainArea();
    // The common tail of every road that changed the system or the
    // configuration: drop the entries, collect them anew, show them.
    void recollect();
    // Collects with the session flags, and loads the extra data again where
    // a search in force needs it. Called while the model has no rows.
    void collect();
    // The file lists and change logs of the collection, where not loaded
    // yet; the engine waits for its worker in a local event loop.
    void loadExtraData();
    // True while the mode combo is on Search.
    bool searchMode() const;
    // The credential check before a collection. When the user chose Quit
    // there, quits and answers false; otherwise *changed (where asked) tells
    // whether credentials were written.
    bool checkCredentials(bool* changed = nullptr);
    // One cache cleaning of the engine, then the lists collected anew.
    void clean(bool (YumIO::*cleaning)());
    // Starts one of the share directory's launcher scripts, detached.
    void launch(const QStringList& arguments);
    static QString nodeName();

    YumIO* yumIO = nullptr;
    YumConfIO* yumConfIO = nullptr;

    HMenu* programMenu = nullptr;
    QAction* quitAction = nullptr;
    HMenu* reposMenu = nullptr;
    QAction* editConfAction = nullptr;
    HMenu* cacheMenu = nullptr;
    QAction* cleanHeadersAction = nullptr;
    QAction* cleanPackagesAction = nullptr;
    QAction* cleanXmlAction = nullptr;
    QAction* cleanPickledAction = nullptr;
    QAction* cleanSqliteAction = nullptr;
    QAction* cleanAllAction = nullptr;

    QWidget* mainArea = nullptr;
    QComboBox* modeCombo = nullptr;
    QLineEdit* regexpEdit = nullptr;
    QPushButton* filterButton = nullptr;
    QComboBox* stateCombo = nullptr;
    QCheckBox* groupsCheck = nullptr;
    PackageTable::Model* model = nullptr;
    PackageTable::View* view = nullptr;
    QPushButton* describeButton = nullptr;
    QPushButton* applyButton = nullptr;

    RepoEditor::Dialog* repoEditor = nullptr;
    // A top-level window of its own, made on first use and never deleted.
    Log::Window* logWindow = nullptr;

    bool ready = false;
    // initialize() has been scheduled: a second show must not start the
    // engine and collect again.
    bool initializeScheduled = false;
    // quit() has begun: the close it makes must pass.
    bool quitting = false;
};
