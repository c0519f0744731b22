// Test support for the main window: access to its parts, waiting for the
// event loop, and a fixture that runs the real window, engine and companion
// script on a sandbox of its own.
//
// The window's engine ends the interpreter, which cannot start again in the
// same process: every test that starts it needs a process of its own, which
// ctest gives it. Run whole, the executable skips such tests after the first.
#pragma once

// The interpreter's header (through the engine's) comes before the C++
// library's.
#include "engine/yumio.h"

#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "app/logwindow.h"
#include "app/mainwindow.h"
#include "app/packagetable/model.h"
#include "app/packagetable/sortfilterproxymodel.h"
#include "app/packagetable/view.h"
#include "common/sandbox.h"
#include "foundation/hmenu.h"
#include "repos/yumconfio.h"
#include "tests/foundation/qtprinters.h"

class MainWindowTestAccess
{
public:
    static YumIO* yumIO(MainWindow& w) { return w.yumIO; }
    static YumConfIO*& yumConfIO(MainWindow& w) { return w.yumConfIO; }
    static HMenu* programMenu(MainWindow& w) { return w.programMenu; }
    static HMenu* reposMenu(MainWindow& w) { return w.reposMenu; }
    static HMenu* cacheMenu(MainWindow& w) { return w.cacheMenu; }
    static QAction* quitAction(MainWindow& w) { return w.quitAction; }
    static QAction* editConfAction(MainWindow& w) { return w.editConfAction; }
    static QAction* cleanHeadersAction(MainWindow& w) { return w.cleanHeadersAction; }
    static QAction* cleanPackagesAction(MainWindow& w) { return w.cleanPackagesAction; }
    static QAction* cleanXmlAction(MainWindow& w) { return w.cleanXmlAction; }
    static QAction* cleanPickledAction(MainWindow& w) { return w.cleanPickledAction; }
    static QAction* cleanSqliteAction(MainWindow& w) { return w.cleanSqliteAction; }
    static QAction* cleanAllAction(MainWindow& w) { return w.cleanAllAction; }
    static QWidget* mainArea(MainWindow& w) { return w.mainArea; }
    static QComboBox* modeCombo(MainWindow& w) { return w.modeCombo; }
    static QLineEdit* regexpEdit(MainWindow& w) { return w.regexpEdit; }
    static QPushButton* filterButton(MainWindow& w) { return w.filterButton; }
    static QComboBox* stateCombo(MainWindow& w) { return w.stateCombo; }
    static QCheckBox* groupsCheck(MainWindow& w) { return w.groupsCheck; }
    static PackageTable::Model* model(MainWindow& w) { return w.model; }
    static PackageTable::View* view(MainWindow& w) { return w.view; }
    static QPushButton* describeButton(MainWindow& w) { return w.describeButton; }
    static QPushButton* applyButton(MainWindow& w) { return w.applyButton; }
    static Log::Window* logWindow(MainWindow& w) { return w.logWindow; }

    // Keeps a show from starting the engine, for tests without one.
    static void skipInitialize(MainWindow& w) { w.initializeScheduled = true; }

    static void yumConfIOChanged(MainWindow& w) { w.yumConfIOChanged(); }
    static void stateChanged(MainWindow& w, int row) { w.stateChanged(row); }
    static void currentChanged(MainWindow& w, int current, int previous)
    {
        w.currentChanged(current, previous);
    }
    static void quit(MainWindow& w) { w.quit(); }
    static void refresh(MainWindow& w) { w.refresh(); }
    static void cleanPackages(MainWindow& w) { w.cleanPackages(); }
    static void cleanAll(MainWindow& w) { w.cleanAll(); }
    static void filtersearch(MainWindow& w) { w.filtersearch(); }
};

namespace MainWindowTesting
{

// Processes events until the condition holds or the time is up; whether it
// holds.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 60000);

// The menu bar's menus, in order.
QList<QMenu*> menus(MainWindow& window);
// A menu's entries as texts, separators as "-".
QStringList entryTexts(QMenu* menu);
QAction* entry(QMenu* menu, const QString& text);
// The main area's push buttons in layout order.
QList<QPushButton*> buttonRow(MainWindow& window);

// The names of the rows the table shows, in their order.
QStringList shownNames(MainWindow& window);

// Whether another process could take yum's lock on the sandbox now.
bool yumLockFree(const TestSandbox& sandbox);

// Answers the credential dialog whenever it asks: types the user name and
// password and chooses OK, or chooses another button by its text.
class CredentialAnswerer : public QObject
{
public:
    CredentialAnswerer();

    void answerWith(const QString& user, const QString& password);
    void answerButton(const QString& buttonText);

    // How many questions were answered.
    int answered = 0;

private:
    void poll();

    QString user;
    QString password;
    QString button;
    QTimer timer;
};

}

// The window built as main builds it, on a sandbox whose configuration
// root the engine reads.
class MainWindowSandboxTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Shows the window and waits until the start-up has made it ready; false
    // after reporting why not.
    bool start();
    YumIO* engine() { return MainWindowTestAccess::yumIO(*window); }

    TestSandbox sandbox;
    std::unique_ptr<MainWindow> window;
    MainWindowTesting::CredentialAnswerer answerer;

private:
    static bool interpreterUsed;
};
