// The main window as built: its title, menus with their shortcuts and
// tooltips, the filter row, the button row, the progress bars, and the busy
// state; and the marks, filters and buttons over entries of the test's own.
#include "tests/app/mainwindow_test.h"

#include <QApplication>
#include <QKeySequence>
#include <QLayout>
#include <QMessageBox>
#include <QTemporaryDir>

#include "foundation/hprogressbar.h"
#include "tests/app/packagetable/contextmenu_test.h"
#include "tests/app/packagetable/packagetable_test.h"

using MainWindowTesting::buttonRow;
using MainWindowTesting::entry;
using MainWindowTesting::entryTexts;
using MainWindowTesting::menus;
using A = MainWindowTestAccess;

// The window as built -----------------------------------------------------------

TEST(MainWindowMenus, StandOnTheBarInOrderAsTearOffMenus)
{
    MainWindow window;
    QList<QMenu*> list = menus(window);
    QStringList titles;
    for (QMenu* menu : list) {
        titles << menu->title();
        EXPECT_NE(dynamic_cast<HMenu*>(menu), nullptr) << menu->title().toStdString();
        EXPECT_TRUE(menu->isTearOffEnabled()) << menu->title().toStdString();
    }
    EXPECT_EQ(titles, QStringList({"&Program", "&Windows", "&Repositories", "&Cache", "&Help"}));
}

TEST(MainWindowMenus, HoldTheirEntriesWithTheirShortcuts)
{
    MainWindow window;
    QList<QMenu*> list = menus(window);
    ASSERT_EQ(list.size(), 5);
    EXPECT_EQ(entryTexts(list[0]), QStringList({"&Quit"}));
    EXPECT_EQ(entryTexts(list[1]), QStringList({"&Log"}));
    EXPECT_EQ(entryTexts(list[2]), QStringList({"&Edit Configuration"}));
    EXPECT_EQ(entryTexts(list[3]),
              QStringList({"Clean Headers", "Clean Packages", "Clean XML Metadata",
                           "Clean Pickled Data", "Clean Sqlite Data", "-", "Clean All"}));
    EXPECT_EQ(entryTexts(list[4]), QStringList({"Manual (html)", "Manual (PDF)", "-", "&About"}));

    EXPECT_EQ(entry(list[0], "&Quit")->shortcut(), QKeySequence(Qt::CTRL + Qt::Key_Q));
    EXPECT_EQ(entry(list[1], "&Log")->shortcut(), QKeySequence(Qt::CTRL + Qt::Key_L));
    EXPECT_EQ(entry(list[2], "&Edit Configuration")->shortcut(),
              QKeySequence(Qt::CTRL + Qt::Key_E));
    EXPECT_EQ(entry(list[4], "Manual (html)")->shortcut(), QKeySequence(Qt::Key_F1));
    for (QAction* action : list[3]->actions())
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
    EXPECT_TRUE(entry(list[4], "Manual (PDF)")->shortcut().isEmpty());
    EXPECT_TRUE(entry(list[4], "&About")->shortcut().isEmpty());

    // The fields are the menus' own entries.
    EXPECT_EQ(A::quitAction(window), entry(list[0], "&Quit"));
    EXPECT_EQ(A::editConfAction(window), entry(list[2], "&Edit Configuration"));
    EXPECT_EQ(A::cleanAllAction(window), entry(list[3], "Clean All"));
    EXPECT_EQ(A::cleanPickledAction(window), entry(list[3], "Clean Pickled Data"));
}

TEST(MainWindowMenus, CacheTooltipsNameTheConfiguredCacheDirectory)
{
    MainWindow window;
    QList<YumRepoEnabled> none;
    QHash<QString, bool> used;
    YumConfIO conf(none, used);
    conf.cachedir = QStringLiteral("/var/cache/kuvtest/$basearch");
    A::yumConfIO(window) = &conf;
    A::yumConfIOChanged(window);
    A::yumConfIO(window) = nullptr;

    EXPECT_EQ(A::cleanHeadersAction(window)->toolTip(),
              "Clean RPM package headers cached locally in /var/cache/kuvtest/$basearch");
    EXPECT_EQ(A::cleanPackagesAction(window)->toolTip(),
              "Clean RPM packages cached locally in /var/cache/kuvtest/$basearch\n"
              "(useful for recovering disk space)");
    EXPECT_EQ(A::cleanXmlAction(window)->toolTip(),
              "Clean XML metadata cached locally in /var/cache/kuvtest/$basearch\n"
              "(useful along with Clean Pickled Data for\n forcing download of new available "
              "package lists)");
    EXPECT_EQ(A::cleanPickledAction(window)->toolTip(),
              "Clean pickled data cached locally in /var/cache/kuvtest/$basearch\n"
              "(useful along with Clean XML Metadata for\n forcing download of new available "
              "package lists)");
    EXPECT_EQ(A::cleanSqliteAction(window)->toolTip(),
              "Clean sqlite data cached locally in /var/cache/kuvtest/$basearch\n"
              "(useful along with Clean XML Metadata for\n forcing download of new available "
              "package lists)");
    EXPECT_EQ(A::cleanAllAction(window)->toolTip(),
              "Clean all data cached locally in /var/cache/kuvtest/$basearch");
}

TEST(MainWindowLayout, FilterRowOffersModesPatternAndStates)
{
    MainWindow window;
    QComboBox* mode = A::modeCombo(window);
    ASSERT_EQ(mode->count(), 2);
    EXPECT_EQ(mode->itemText(0), "Filter");
    EXPECT_EQ(mode->itemData(0).toInt(), int(PackageTable::Filter));
    EXPECT_EQ(mode->itemText(1), "Search");
    EXPECT_EQ(mode->itemData(1).toInt(), int(PackageTable::Search));
    EXPECT_EQ(mode->currentIndex(), 0);

    EXPECT_EQ(A::regexpEdit(window)->text(), ".*");
    EXPECT_TRUE(A::filterButton(window)->isDefault());
    EXPECT_EQ(A::filterButton(window)->text(), "Filter");
    EXPECT_EQ(A::regexpEdit(window)->toolTip(),
              "Regular expression filter matching textual fields visible in the table");
    EXPECT_EQ(A::filterButton(window)->toolTip(), "Apply the filter specified to the left");

    QComboBox* state = A::stateCombo(window);
    ASSERT_EQ(state->count(), 4);
    const QStringList stateTexts{"View Updatable", "View Installable", "View Removable",
                                 "View All"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(state->itemText(i), stateTexts[i]);
        EXPECT_EQ(state->itemData(i).toInt(), i);
    }
    EXPECT_EQ(state->currentIndex(), int(PackageTable::ViewUpdatable));
    EXPECT_EQ(state->toolTip(), "Filter for those packages which are eligible for updating,\n"
                                "for installing, or for removing; or show all packages");

    EXPECT_EQ(A::groupsCheck(window)->text(), "Include Groups");
    EXPECT_FALSE(A::groupsCheck(window)->isChecked());
    EXPECT_EQ(A::groupsCheck(window)->toolTip(),
              "Whether or not filter should include package groups");

    // Left to right in one row, above the table.
    QLayout* row = A::mainArea(window)->layout()->itemAt(0)->layout();
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->count(), 5);
    EXPECT_EQ(row->itemAt(0)->widget(), mode);
    EXPECT_EQ(row->itemAt(1)->widget(), A::regexpEdit(window));
    EXPECT_EQ(row->itemAt(2)->widget(), A::filterButton(window));
    EXPECT_EQ(row->itemAt(3)->widget(), state);
    EXPECT_EQ(row->itemAt(4)->widget(), A::groupsCheck(window));
    EXPECT_EQ(A::mainArea(window)->layout()->itemAt(1)->widget(), A::view(window));
}

TEST(MainWindowLayout, ModeTooltipAsksForExtraDataUntilItIsLoaded)
{
    MainWindow window;
    const QString plain =
        "Specify the method for using a regular expression to select packages in the table:\n"
        "\tFilter uses the textual fields visible in the table, as if they were separated by "
        "spaces.\n\tSearch uses all fields in packages, including list of Files, Change Log, "
        "Requires, etc.,\n\tindependently.  It is considerably slower.";
    EXPECT_EQ(A::modeCombo(window)->toolTip(), plain + " (Must load extra data.)");
}

TEST(MainWindowLayout, ButtonRowTextsTooltipsAndStartState)
{
    MainWindow window;
    QList<QPushButton*> buttons = buttonRow(window);
    QStringList texts;
    for (QPushButton* button : buttons)
        texts << button->text();
    ASSERT_EQ(texts, QStringList({"&Describe", "Re&size", "Re&fresh",
                                  "Set &Install/Update of Selected",
                                  "Set &Update of All Out-of-Date", "&Clear Actions",
                                  "&Apply Actions"}));
    EXPECT_EQ(buttons[0], A::describeButton(window));
    EXPECT_EQ(buttons[6], A::applyButton(window));
    EXPECT_EQ(buttons[0]->toolTip(),
              "Pop up a window with a detailed description of the currently selected package");
    EXPECT_EQ(buttons[1]->toolTip(), "Resize the columns and window to optimal values");
    EXPECT_EQ(buttons[2]->toolTip(),
              "Refresh the list of installed packages and packages available for update.\n"
              "Use this to check for new updates in repositories, or if any packages were "
              "installed manually.");
    EXPECT_EQ(buttons[3]->toolTip(),
              "Sets the Action for all selected packages which are Not Installed to Install, "
              "and\nsets the Action for all selected packages which are Installed but "
              "Out-of-date to Update.\nDoes not Apply Actions automatically.");
    EXPECT_EQ(buttons[4]->toolTip(),
              "Sets the Action for all packages which are Installed but Out-of-date to "
              "Update.\nDoes not Apply Actions automatically.");
    EXPECT_EQ(buttons[5]->toolTip(),
              "Clears all specified Actions (Updates, Installs, and Removals)");
    EXPECT_EQ(buttons[6]->toolTip(),
              "Applies the specified Actions (Updates, Installs, and Removals)");
    EXPECT_FALSE(buttons[4]->icon().isNull());
    EXPECT_TRUE(buttons[5]->icon().isNull());
    EXPECT_FALSE(buttons[6]->icon().isNull());

    // The main area is disabled while busy; the buttons' own states:
    QWidget* area = A::mainArea(window);
    EXPECT_FALSE(A::describeButton(window)->isEnabledTo(area));
    EXPECT_FALSE(A::applyButton(window)->isEnabledTo(area));
    for (int i = 1; i < 6; ++i)
        EXPECT_TRUE(buttons[i]->isEnabledTo(area)) << texts[i].toStdString();

    // A stretch keeps Describe apart from the rest.
    QLayout* areaLayout = area->layout();
    QLayout* row = areaLayout->itemAt(areaLayout->count() - 1)->layout();
    ASSERT_NE(row, nullptr);
    EXPECT_NE(row->itemAt(1)->spacerItem(), nullptr);
}

TEST(MainWindowConstruction, StartsBusyWithTheMainAreaHidden)
{
    MainWindow window;
    EXPECT_FALSE(window.isReady());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    EXPECT_TRUE(A::mainArea(window)->isHidden());
    EXPECT_FALSE(A::mainArea(window)->isEnabled());
    EXPECT_FALSE(A::programMenu(window)->isEnabled());
    EXPECT_FALSE(A::reposMenu(window)->isEnabled());
    EXPECT_FALSE(A::cacheMenu(window)->isEnabled());
    EXPECT_FALSE(A::quitAction(window)->isEnabled());
    // Windows and Help stay usable while busy.
    QList<QMenu*> list = menus(window);
    ASSERT_EQ(list.size(), 5);
    EXPECT_TRUE(list[1]->isEnabled());
    EXPECT_TRUE(list[4]->isEnabled());
    EXPECT_TRUE(list[1]->actions().first()->isEnabled());
    EXPECT_EQ(A::filterButton(window)->text(), "Filter");

    // Two progress bars below the main area.
    QLayout* central = window.centralWidget()->layout();
    ASSERT_EQ(central->count(), 3);
    EXPECT_EQ(central->itemAt(0)->widget(), A::mainArea(window));
    EXPECT_NE(dynamic_cast<HProgressBar*>(central->itemAt(1)->widget()), nullptr);
    EXPECT_NE(dynamic_cast<HProgressBar*>(central->itemAt(2)->widget()), nullptr);
}

TEST(MainWindowConstruction, IsAtLeast768PixelsWideByHint)
{
    MainWindow window;
    EXPECT_GE(window.sizeHint().width(), 768);
    EXPECT_EQ(window.sizeHint().height(),
              static_cast<QMainWindow&>(window).QMainWindow::sizeHint().height());
}

TEST(MainWindowConstruction, DeletingABusyWindowGivesItsCursorBack)
{
    const int before = QApplication::overrideCursor() ? 1 : 0;
    {
        MainWindow window;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(QApplication::overrideCursor() ? 1 : 0, before);
}

TEST(MainWindowBusyState, ReadyEnablesWhatBusyDisabled)
{
    MainWindow window;
    window.setReady(true);
    EXPECT_TRUE(window.isReady());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    for (QWidget* widget : std::initializer_list<QWidget*>{
             A::programMenu(window), A::reposMenu(window), A::cacheMenu(window),
             A::mainArea(window), A::view(window)})
        EXPECT_TRUE(widget->isEnabled()) << widget->metaObject()->className();
    for (QAction* action : {A::quitAction(window), A::editConfAction(window),
                            A::cleanHeadersAction(window), A::cleanPackagesAction(window),
                            A::cleanXmlAction(window), A::cleanAllAction(window)})
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    // Without a running engine nobody can tell which caches exist.
    EXPECT_FALSE(A::cleanPickledAction(window)->isEnabled());
    EXPECT_FALSE(A::cleanSqliteAction(window)->isEnabled());

    window.setReady(false);
    EXPECT_FALSE(window.isReady());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    for (QWidget* widget : std::initializer_list<QWidget*>{
             A::programMenu(window), A::reposMenu(window), A::cacheMenu(window),
             A::mainArea(window), A::view(window)})
        EXPECT_FALSE(widget->isEnabled()) << widget->metaObject()->className();
    for (QAction* action : {A::quitAction(window), A::editConfAction(window),
                            A::cleanHeadersAction(window), A::cleanPackagesAction(window),
                            A::cleanXmlAction(window), A::cleanAllAction(window)})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    EXPECT_TRUE(menus(window)[1]->isEnabled());
    EXPECT_TRUE(menus(window)[4]->isEnabled());
}

TEST(MainWindowBusyState, CloseWhileBusyIsRefusedAndWhileReadyQuits)
{
    MainWindow window;
    A::skipInitialize(window);
    window.show();
    ASSERT_TRUE(window.isVisible());

    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(A::yumIO(window), nullptr);

    window.setReady(true);
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    // The quit road ran: the engine is gone.
    EXPECT_EQ(A::yumIO(window), nullptr);
}

// Marks and the two buttons they enable -------------------------------------------

class MainWindowMarks : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<MainWindow>();
        window->setReady(true);
    }

    void TearDown() override
    {
        window.reset();
    }

    Package::Entry* add(const PackageTableTesting::EntrySpec& spec)
    {
        Package::Entry* e = PackageTableTesting::makeEntry(spec);
        YumIOTestAccess::entries(*A::yumIO(*window)).append(e);
        return e;
    }

    // One package in each state and a group, shown afresh.
    void addOneOfEach()
    {
        using PackageTableTesting::EntrySpec;
        add(EntrySpec("kuv-up", "1.1-1", Package::Updatable));
        add(EntrySpec("kuv-new", "1.0-1", Package::Available));
        add(EntrySpec("kuv-old", "1.0-1", Package::Installed));
        add(EntrySpec("kuv-group", "", Package::Available, Package::Group));
        A::model(*window)->reset();
    }

    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowMarks, ApplyIsEnabledExactlyWhileAnEntryHasAnAction)
{
    using PackageTableTesting::EntrySpec;
    add(EntrySpec("kuv-a", "1.1-1", Package::Updatable));
    add(EntrySpec("kuv-b", "1.0-1", Package::Available));
    add(EntrySpec("kuv-c", "1.0-1", Package::Installed));
    A::model(*window)->reset();
    QPushButton* apply = A::applyButton(*window);

    buttonRow(*window)[4]->click();  // Set Update of All Out-of-Date
    EXPECT_EQ((*A::yumIO(*window))[0]->action, Package::Update);
    EXPECT_TRUE(apply->isEnabled());

    buttonRow(*window)[5]->click();  // Clear Actions
    EXPECT_EQ((*A::yumIO(*window))[0]->action, Package::NoAction);
    EXPECT_FALSE(apply->isEnabled());

    // The reported row decides at once; any other marked head as well.
    (*A::yumIO(*window))[2]->action = Package::Remove;
    A::stateChanged(*window, 2);
    EXPECT_TRUE(apply->isEnabled());
    A::stateChanged(*window, 0);
    EXPECT_TRUE(apply->isEnabled());
    (*A::yumIO(*window))[2]->action = Package::NoAction;
    A::stateChanged(*window, 2);
    EXPECT_FALSE(apply->isEnabled());
}

TEST_F(MainWindowMarks, ApplyFollowsAMarkFromTheActionMenu)
{
    using PackageTableTesting::EntrySpec;
    using PackageTableTesting::rightClickCell;
    add(EntrySpec("kuv-b", "1.0-1", Package::Available));
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewAll);
    A::model(*window)->reset();
    A::skipInitialize(*window);
    window->show();
    A::mainArea(*window)->show();
    QPushButton* apply = A::applyButton(*window);
    ASSERT_FALSE(apply->isEnabled());

    const int column = PackageTable::Model::ActionColumn;
    ASSERT_TRUE(rightClickCell(A::view(*window), 0, column, "&Install").menu);
    EXPECT_EQ((*A::yumIO(*window))[0]->action, Package::Install);
    EXPECT_TRUE(apply->isEnabled());
    ASSERT_TRUE(rightClickCell(A::view(*window), 0, column, "&No Action").menu);
    EXPECT_EQ((*A::yumIO(*window))[0]->action, Package::NoAction);
    EXPECT_FALSE(apply->isEnabled());
}

TEST_F(MainWindowMarks, VersionsChainedBehindAHeadDoNotCount)
{
    using PackageTableTesting::EntrySpec;
    Package::Entry* head = add(EntrySpec("kuv-a", "1.1-1", Package::Updatable));
    head->next = PackageTableTesting::makeEntry(EntrySpec("kuv-a", "1.0-1", Package::Installed));
    head->next->action = Package::Remove;
    A::model(*window)->reset();
    A::stateChanged(*window, -1);
    EXPECT_FALSE(A::applyButton(*window)->isEnabled());
}

TEST_F(MainWindowMarks, SelectedRowsGetInstallOrUpdate)
{
    using PackageTableTesting::EntrySpec;
    add(EntrySpec("kuv-a", "1.1-1", Package::Updatable));
    add(EntrySpec("kuv-b", "1.0-1", Package::Available));
    add(EntrySpec("kuv-c", "1.0-1", Package::Installed));
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewAll);
    A::model(*window)->reset();
    PackageTable::View* view = A::view(*window);
    view->selectAll();
    buttonRow(*window)[3]->click();  // Set Install/Update of Selected
    YumIO& io = *A::yumIO(*window);
    EXPECT_EQ(io[0]->action, Package::Update);
    EXPECT_EQ(io[1]->action, Package::Install);
    EXPECT_EQ(io[2]->action, Package::NoAction);
    EXPECT_TRUE(A::applyButton(*window)->isEnabled());
}

TEST_F(MainWindowMarks, DescribeFollowsTheCurrentRow)
{
    using PackageTableTesting::EntrySpec;
    add(EntrySpec("kuv-a", "1.1-1", Package::Updatable));
    A::model(*window)->reset();
    PackageTable::View* view = A::view(*window);
    view->setCurrentIndex(view->sortFilterProxyModel()->index(0, PackageTable::Model::NameColumn));
    EXPECT_TRUE(A::describeButton(*window)->isEnabled());
    A::currentChanged(*window, -1, 0);
    EXPECT_FALSE(A::describeButton(*window)->isEnabled());
}

TEST_F(MainWindowMarks, FilterModeTextsFollowTheModeCombo)
{
    // ".*" needs no extra data, so no engine is asked.
    A::modeCombo(*window)->setCurrentIndex(PackageTable::Search);
    EXPECT_EQ(A::filterButton(*window)->text(), "Search");
    EXPECT_EQ(A::regexpEdit(*window)->toolTip(),
              "Regular expression to compare to all fields of a package");
    EXPECT_EQ(A::filterButton(*window)->toolTip(),
              "Perform the search for the regular expression specified to the left");
    EXPECT_TRUE(window->isReady());
    A::modeCombo(*window)->setCurrentIndex(PackageTable::Filter);
    EXPECT_EQ(A::filterButton(*window)->text(), "Filter");
    EXPECT_EQ(A::regexpEdit(*window)->toolTip(),
              "Regular expression filter matching textual fields visible in the table");
}

TEST_F(MainWindowMarks, StateComboAndGroupsCheckFilterTheTable)
{
    addOneOfEach();
    EXPECT_EQ(MainWindowTesting::shownNames(*window), QStringList({"kuv-up"}));
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewInstallable);
    EXPECT_EQ(MainWindowTesting::shownNames(*window), QStringList({"kuv-new"}));
    A::groupsCheck(*window)->setChecked(true);
    QStringList names = MainWindowTesting::shownNames(*window);
    names.sort();
    EXPECT_EQ(names, QStringList({"kuv-group", "kuv-new"}));

    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewAll);
    A::regexpEdit(*window)->setText("old");
    A::filterButton(*window)->click();
    EXPECT_EQ(MainWindowTesting::shownNames(*window), QStringList({"kuv-old"}));
}

// A filter change in Search mode decides every row by all its fields, so the
// window is busy while the rows change; in Filter mode it stays ready.
TEST_F(MainWindowMarks, FilterChangesAreBusyOnlyInSearchMode)
{
    addOneOfEach();

    QList<bool> readyWhileRowsChanged;
    const QAbstractItemModel* proxy = A::view(*window)->sortFilterProxyModel();
    const auto sample = [&] { readyWhileRowsChanged << window->isReady(); };
    QObject::connect(proxy, &QAbstractItemModel::rowsInserted, sample);
    QObject::connect(proxy, &QAbstractItemModel::rowsRemoved, sample);
    QObject::connect(proxy, &QAbstractItemModel::layoutChanged, sample);
    QObject::connect(proxy, &QAbstractItemModel::modelReset, sample);

    const struct
    {
        PackageTable::Mode mode;
        PackageTable::StateFilter state;
        bool groups;
    } roads[] = {
        {PackageTable::Filter, PackageTable::ViewInstallable, true},
        {PackageTable::Search, PackageTable::ViewAll, false},
        {PackageTable::Filter, PackageTable::ViewRemovable, true},
    };
    for (const auto& road : roads) {
        const bool search = road.mode == PackageTable::Search;
        SCOPED_TRACE(search ? "Search" : "Filter");
        A::modeCombo(*window)->setCurrentIndex(road.mode);

        readyWhileRowsChanged.clear();
        A::stateCombo(*window)->setCurrentIndex(road.state);
        EXPECT_FALSE(readyWhileRowsChanged.isEmpty());
        EXPECT_EQ(readyWhileRowsChanged.count(!search), readyWhileRowsChanged.size());

        readyWhileRowsChanged.clear();
        A::groupsCheck(*window)->setChecked(road.groups);
        EXPECT_FALSE(readyWhileRowsChanged.isEmpty());
        EXPECT_EQ(readyWhileRowsChanged.count(!search), readyWhileRowsChanged.size());
        EXPECT_TRUE(window->isReady());
    }
}

// The Help menu --------------------------------------------------------------------

TEST(MainWindowHelp, ManualsOpenThroughTheShareDirectoryLaunchers)
{
    MainWindow window;
    QTemporaryDir share;
    ASSERT_TRUE(share.isValid());
    // Each launcher writes its arguments next to itself, one a line.
    for (const char* name : {"webbrowser", "mimeviewer"}) {
        QFile script(share.filePath(name));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.tmp\" && mv \"$0.args.tmp\" \"$0.args\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray savedShare = qgetenv("KUVSHARE");
    qputenv("KUVSHARE", share.path().toUtf8());

    QList<QMenu*> list = menus(window);
    ASSERT_EQ(list.size(), 5);
    entry(list[4], "Manual (html)")->trigger();
    entry(list[4], "Manual (PDF)")->trigger();
    qputenv("KUVSHARE", savedShare);

    auto argsOf = [&share](const char* name) {
        QFile file(share.filePath(QString(name) + ".args"));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll());
    };
    ASSERT_TRUE(MainWindowTesting::waitFor(
        [&] { return !argsOf("webbrowser").isEmpty() && !argsOf("mimeviewer").isEmpty(); },
        10000));
    EXPECT_EQ(argsOf("webbrowser"), "/usr/share/doc/packages/kuv/html/index.html\n");
    EXPECT_EQ(argsOf("mimeviewer"), "application/pdf\n/usr/share/doc/packages/kuv/manual.pdf\n");
}

TEST(MainWindowHelp, AboutNamesTheVersionAndTheCapabilities)
{
    MainWindow window;
    QString title;
    QString text;
    QTimer::singleShot(0, [&] {
        MainWindowTesting::waitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            box->accept();
        }
    });
    entry(menus(window)[4], "&About")->trigger();
    EXPECT_EQ(title, "About");
    EXPECT_TRUE(text.startsWith("<h3>KUV 1.8</h3><hr><p>KUV, Kuvarin, is a graphical user "
                                "interface which allows a user to make modifications to the "
                                "installed rpm packages on a system.</p><p>Capabilities:<p><ul>"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("<li>Remove existing packages.</li>"));
    EXPECT_TRUE(text.contains("<li>Install or update suites of packages</li></ul><p>For more "
                              "information see "));
    EXPECT_TRUE(text.endsWith(".</p>"));
    // The manual's path, not a translated text.
    EXPECT_TRUE(text.endsWith("<p>For more information see "
                              "file:///usr/share/doc/packages/kuv/html/index.html.</p>"))
        << text.toStdString();
}
