// The main window's construction: title, menus, the package browser, the
// progress bars and the engine they belong to; and the busy state.
#include "app/mainwindow.h"

#include <sys/utsname.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/packagetable/model.h"
#include "app/packagetable/sortfilterproxymodel.h"
#include "app/packagetable/view.h"
#include "engine/python.h"
#include "engine/yumio.h"
#include "foundation/hmenu.h"
#include "foundation/hprogressbar.h"
#include "foundation/share.h"

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent, Qt::WindowFlags()),
      updateIcon(Share::absolute("icons/update.png")),
      noIcon(),
      checkIcon(Share::absolute("icons/check.png")),
      startWithRepoEditor(false),
      startWithLog(false)
{
    setWindowTitle(tr("KUV - %1").arg(nodeName(), 0, QLatin1Char(' ')));
    buildMenus();
    buildMainArea();
}

MainWindow::~MainWindow()
{
    // A window that ends busy takes its busy cursor back.
    if (!ready)
        QApplication::restoreOverrideCursor();
    if (yumIO) {
        model->beginEntriesChange();
        yumIO->clearEntriesBeforeQuit();
        delete yumIO;
        yumIO = nullptr;
    }
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = new QMenuBar(this);
    setMenuBar(bar);

    programMenu = new HMenu(tr("&Program"), bar);
    bar->addMenu(programMenu);
    quitAction = new QAction(tr("&Quit"), programMenu);
    quitAction->setShortcut(QKeySequence(tr("Ctrl+Q")));
    programMenu->addAction(quitAction);
    connect(quitAction, &QAction::triggered, this, &MainWindow::quit);

    HMenu* windowsMenu = new HMenu(tr("&Windows"), bar);
    bar->addMenu(windowsMenu);
    QAction* logAction = new QAction(tr("&Log"), windowsMenu);
    logAction->setShortcut(QKeySequence(tr("Ctrl+L")));
    windowsMenu->addAction(logAction);
    connect(logAction, &QAction::triggered, this, &MainWindow::displayLog);

    reposMenu = new HMenu(tr("&Repositories"), bar);
    bar->addMenu(reposMenu);
    editConfAction = new QAction(tr("&Edit Configuration"), reposMenu);
    editConfAction->setShortcut(QKeySequence(tr("Ctrl+E")));
    reposMenu->addAction(editConfAction);
    connect(editConfAction, &QAction::triggered, this,
            qOverload<>(&MainWindow::editRepositories));

    cacheMenu = new HMenu(tr("&Cache"), bar);
    bar->addMenu(cacheMenu);
    auto cacheEntry = [this](const QString& text, void (MainWindow::*slot)()) {
        QAction* action = new QAction(text, cacheMenu);
        cacheMenu->addAction(action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    cleanHeadersAction = cacheEntry(tr("Clean Headers"), &MainWindow::cleanHeaders);
    cleanPackagesAction = cacheEntry(tr("Clean Packages"), &MainWindow::cleanPackages);
    cleanXmlAction = cacheEntry(tr("Clean XML Metadata"), &MainWindow::cleanXmlMetadata);
    cleanPickledAction = cacheEntry(tr("Clean Pickled Data"), &MainWindow::cleanPickledCache);
    cleanSqliteAction = cacheEntry(tr("Clean Sqlite Data"), &MainWindow::cleanSqliteCache);
    cacheMenu->addSeparator();
    cleanAllAction = cacheEntry(tr("Clean All"), &MainWindow::cleanAll);

    HMenu* helpMenu = new HMenu(tr("&Help"), bar);
    bar->addMenu(helpMenu);
    QAction* htmlAction = new QAction(tr("Manual (html)"), helpMenu);
    htmlAction->setShortcut(QKeySequence(Qt::Key_F1));
    helpMenu->addAction(htmlAction);
    connect(htmlAction, &QAction::triggered, this, &MainWindow::manualHtml);
    QAction* pdfAction = new QAction(tr("Manual (PDF)"), helpMenu);
    helpMenu->addAction(pdfAction);
    connect(pdfAction, &QAction::triggered, this, &MainWindow::manualPdf);
    helpMenu->addSeparator();
    QAction* aboutAction = new QAction(tr("&About"), helpMenu);
    helpMenu->addAction(aboutAction);
    connect(aboutAction, &QAction::triggered, this, &MainWindow::about);
}

void MainWindow::buildMainArea()
{
    QWidget* central = new QWidget(this);
    QVBoxLayout* centralLayout = new QVBoxLayout(central);
    mainArea = new QWidget(central);
    QVBoxLayout* areaLayout = new QVBoxLayout(mainArea);

    // The filter row. The combos are filled before they are connected: the
    // first item added would otherwise reach the slots before the view exists.
    QHBoxLayout* filterRow = new QHBoxLayout;
    modeCombo = new QComboBox(mainArea);
    modeCombo->addItem(tr("Filter"), int(PackageTable::Filter));
    modeCombo->addItem(tr("Search"), int(PackageTable::Search));
    filterRow->addWidget(modeCombo);
    regexpEdit = new QLineEdit(QStringLiteral(".*"), mainArea);
    filterRow->addWidget(regexpEdit);
    filterButton = new QPushButton(mainArea);
    filterButton->setDefault(true);
    filterRow->addWidget(filterButton);
    stateCombo = new QComboBox(mainArea);
    stateCombo->addItem(tr("View Updatable"), int(PackageTable::ViewUpdatable));
    stateCombo->addItem(tr("View Installable"), int(PackageTable::ViewInstallable));
    stateCombo->addItem(tr("View Removable"), int(PackageTable::ViewRemovable));
    stateCombo->addItem(tr("View All"), int(PackageTable::ViewAll));
    stateCombo->setToolTip(tr("Filter for those packages which are eligible for updating,\n"
                              "for installing, or for removing; or show all packages"));
    filterRow->addWidget(stateCombo);
    groupsCheck = new QCheckBox(tr("Include Groups"), mainArea);
    groupsCheck->setToolTip(tr("Whether or not filter should include package groups"));
    filterRow->addWidget(groupsCheck);
    connect(modeCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &MainWindow::modeChanged);
    connect(regexpEdit, &QLineEdit::returnPressed, this, &MainWindow::filtersearch);
    connect(filterButton, &QPushButton::clicked, this, &MainWindow::filtersearch);
    connect(stateCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &MainWindow::stateFilterChanged);
    connect(groupsCheck, &QCheckBox::stateChanged, this, &MainWindow::groupsFilterChanged);
    areaLayout->addLayout(filterRow);

    yumIO = new YumIO;
    connect(yumIO, &YumIO::collectedExtraData, this, &MainWindow::collectedExtraData);

    model = new PackageTable::Model(yumIO, mainArea);
    view = new PackageTable::View(model, PackageTable::ViewUpdatable, false, yumIO, mainArea);
    connect(view, qOverload<int, int>(&PackageTable::View::currentChanged), this,
            &MainWindow::currentChanged);
    connect(view, &PackageTable::View::stateChanged, this, &MainWindow::stateChanged);
    areaLayout->addWidget(view);

    QHBoxLayout* buttonRow = new QHBoxLayout;
    auto button = [this, buttonRow](const QString& text, const QString& toolTip,
                                    const QIcon& icon) {
        QPushButton* b = new QPushButton(icon, text, mainArea);
        b->setToolTip(toolTip);
        buttonRow->addWidget(b);
        return b;
    };
    describeButton = button(
        tr("&Describe"),
        tr("Pop up a window with a detailed description of the currently selected package"),
        QIcon());
    connect(describeButton, &QPushButton::clicked, view, &PackageTable::View::describe);
    buttonRow->addStretch(1);
    QPushButton* resizeButton =
        button(tr("Re&size"), tr("Resize the columns and window to optimal values"), QIcon());
    connect(resizeButton, &QPushButton::clicked, this, qOverload<>(&MainWindow::resize));
    QPushButton* refreshButton = button(
        tr("Re&fresh"),
        tr("Refresh the list of installed packages and packages available for update.\n"
           "Use this to check for new updates in repositories, or if any packages were "
           "installed manually."),
        QIcon());
    connect(refreshButton, &QPushButton::clicked, this, &MainWindow::refresh);
    QPushButton* selectedButton = button(
        tr("Set &Install/Update of Selected"),
        tr("Sets the Action for all selected packages which are Not Installed to Install, and\n"
           "sets the Action for all selected packages which are Installed but Out-of-date to "
           "Update.\nDoes not Apply Actions automatically."),
        QIcon());
    connect(selectedButton, &QPushButton::clicked, this, &MainWindow::setSelected);
    QPushButton* updateAllButton = button(
        tr("Set &Update of All Out-of-Date"),
        tr("Sets the Action for all packages which are Installed but Out-of-date to Update.\n"
           "Does not Apply Actions automatically."),
        updateIcon);
    connect(updateAllButton, &QPushButton::clicked, this, &MainWindow::setUpdateAll);
    QPushButton* clearButton =
        button(tr("&Clear Actions"),
               tr("Clears all specified Actions (Updates, Installs, and Removals)"), noIcon);
    connect(clearButton, &QPushButton::clicked, this, &MainWindow::clearActions);
    applyButton =
        button(tr("&Apply Actions"),
               tr("Applies the specified Actions (Updates, Installs, and Removals)"), checkIcon);
    connect(applyButton, &QPushButton::clicked, this, &MainWindow::apply);
    describeButton->setEnabled(false);
    applyButton->setEnabled(false);
    areaLayout->addLayout(buttonRow);

    mainArea->hide();
    centralLayout->addWidget(mainArea);

    HProgressBar* upperBar = new HProgressBar(central);
    HProgressBar* lowerBar = new HProgressBar(central);
    centralLayout->addWidget(upperBar);
    centralLayout->addWidget(lowerBar);
    // The lower bar shows the whole operation, the upper one its current item.
    yumIO->setup(this, lowerBar, upperBar);

    setCentralWidget(central);

    collectedExtraData();
    modeChanged(PackageTable::Filter);
    setReady(false);
}

void MainWindow::setVisible(bool visible)
{
    QMainWindow::setVisible(visible);
    if (visible && !initializeScheduled) {
        initializeScheduled = true;
        QTimer::singleShot(0, this, &MainWindow::initialize);
    }
}

QSize MainWindow::sizeHint() const
{
    return QMainWindow::sizeHint().expandedTo(QSize(768, 0));
}

void MainWindow::setReady(bool ready)
{
    // First, so that a close arriving while events are processed below
    // already sees the new state.
    this->ready = ready;
    {
        // The cache queries need the running interpreter; before the engine
        // has started (or after it has ended) there is none to ask.
        const bool askEngine = ready && yumIO && Py_IsInitialized();
        Python::PyGILStateWrapper guard(askEngine);
        programMenu->setEnabled(ready);
        quitAction->setEnabled(ready);
        reposMenu->setEnabled(ready);
        editConfAction->setEnabled(ready);
        cacheMenu->setEnabled(ready);
        cleanHeadersAction->setEnabled(ready);
        cleanPackagesAction->setEnabled(ready);
        cleanXmlAction->setEnabled(ready);
        cleanPickledAction->setEnabled(askEngine && yumIO->hasPickledCache());
        cleanSqliteAction->setEnabled(askEngine && yumIO->hasSqliteCache());
        cleanAllAction->setEnabled(ready);
        mainArea->setEnabled(ready);
    }
    if (!ready)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
    QEventLoop loop;
    loop.processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (quitting) {
        event->accept();
        return;
    }
    if (!ready) {
        event->ignore();
        return;
    }
    // quit() closes the window itself; inside this close its close() is a
    // no-op, and accepting here finishes it.
    quit();
    event->accept();
}

QString MainWindow::nodeName()
{
    struct utsname name;
    if (uname(&name) != 0)
        return QString();
    return QString::fromLocal8Bit(name.nodename);
}
