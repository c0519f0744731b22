// The whole program on a sandbox, under Xvfb on the real X11 platform: the
// window built as main builds it, in the plastique style, started from its
// show; the credential dialog of the kivrel repository answered by typing;
// the table filled; filtering by state and by pattern; Refresh; Search by a
// file and by a word of a change log; Clean All; and Quit from its shortcut,
// after which the event loop ends with status 0 and yum's lock is free.
//
// It writes a screenshot of the filled table to KUV_E2E_SCREENSHOT (default
// kuv-e2e-screenshot.png in the working folder).
#include "tests/app/mainwindow_test.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QStyle>
#include <QTest>

#include "common/enginelog.h"
#include "engine/configroot.h"
#include "engine/globals.h"
#include "foundation/defaultstyle.h"
#include "foundation/share.h"
#include "repos/repoauthdialog.h"

using A = MainWindowTestAccess;
using MainWindowTesting::shownNames;
using MainWindowTesting::waitFor;
using MainWindowTesting::yumLockFree;

namespace
{

RepoAuth::Dialog* visibleCredentialDialog()
{
    for (QWidget* widget : QApplication::allWidgets()) {
        auto* dialog = qobject_cast<RepoAuth::Dialog*>(widget);
        if (dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

QPushButton* buttonNamed(QWidget* parent, const QString& text)
{
    for (QPushButton* button : parent->findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// Types a pattern into the pattern field and presses Return.
void enterPattern(MainWindow& window, const QString& pattern)
{
    QLineEdit* edit = A::regexpEdit(window);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, pattern);
    QTest::keyClick(edit, Qt::Key_Return);
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

}

TEST(EndToEnd, TheProgramOnTheSandboxFromStartToQuit)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under Xvfb with KUV_TEST_PLATFORM=xcb";
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ConfigRoot::setRoot(sandbox.root());
    qputenv("HOME", sandbox.home().toUtf8());

    // What main does around the window.
    char program[] = "kuv";
    char* arguments[] = {program, nullptr};
    DefaultStyle defaultStyle(1, arguments);
    defaultStyle.set(*application, "plastique");
    EXPECT_EQ(QApplication::style()->objectName().toLower(), "plastique");
    QApplication::setWindowIcon(QIcon(Share::absolute("pixmaps/kuv.icon.png")));
    MainWindow* window = new MainWindow;

    // The credential dialog asks about the kivrel repository inside the
    // start-up, in a loop of its own: a timer answers it there, typing as a
    // user would.
    bool asked = false;
    QString dialogText;
    bool passwordShown = false;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        RepoAuth::Dialog* dialog = visibleCredentialDialog();
        QPushButton* ok = dialog ? buttonNamed(dialog, "OK") : nullptr;
        if (asked || !ok || !ok->isEnabled())
            return;
        asked = true;
        QStringList texts;
        for (QLabel* label : dialog->findChildren<QLabel*>())
            texts << label->text();
        dialogText = texts.join('\n');
        QList<QLineEdit*> edits = dialog->findChildren<QLineEdit*>();
        if (edits.size() != 2)
            return;
        QLineEdit* userEdit = edits[0]->echoMode() == QLineEdit::Password ? edits[1] : edits[0];
        QLineEdit* passwordEdit = userEdit == edits[0] ? edits[1] : edits[0];
        QTest::keyClicks(userEdit, sandbox.kivrelUser());
        QTest::keyClicks(passwordEdit, sandbox.kivrelPassword());
        for (QLabel* label : dialog->findChildren<QLabel*>())
            passwordShown = passwordShown || label->text().contains(sandbox.kivrelPassword());
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    answerer.start(20);
    window->show();

    // The table fills and the window becomes ready.
    ASSERT_TRUE(waitFor([window] { return window->isReady(); }));
    answerer.stop();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(dialogText.contains(TestSandbox::kivrelRepoId())) << dialogText.toStdString();
    // The password never shows in the dialog's texts.
    EXPECT_FALSE(passwordShown);
    YumIO* engine = A::yumIO(*window);
    ASSERT_NE(engine, nullptr);
    EXPECT_TRUE(A::mainArea(*window)->isVisible());
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-kernel", "kuv-lib"}));

    // Every package, coloured by state, for the screenshot.
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewAll);
    QStringList all = shownNames(*window);
    for (const char* name : {"kuv-lib", "kuv-app", "kuv-remote", "kuv-notes", "kuv-local"})
        EXPECT_TRUE(all.contains(name)) << name;
    window->raise();
    QTest::qWait(300);
    const QString shotPath = qEnvironmentVariableIsSet("KUV_E2E_SCREENSHOT")
                                 ? qEnvironmentVariable("KUV_E2E_SCREENSHOT")
                                 : QStringLiteral("kuv-e2e-screenshot.png");
    QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(shotPath, "PNG")) << shotPath.toStdString();

    // Filtering by state, by groups and by a pattern of the visible texts.
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewRemovable);
    const QStringList removable = sorted(shownNames(*window));
    EXPECT_EQ(removable,
              QStringList({"kuv-kernel", "kuv-lib", "kuv-local", "kuv-notes", "kuv-oldtool"}));
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewInstallable);
    EXPECT_FALSE(shownNames(*window).contains("kuv-lib"));
    EXPECT_TRUE(shownNames(*window).contains("kuv-remote"));
    A::groupsCheck(*window)->click();
    EXPECT_TRUE(shownNames(*window).contains("KUV Applications")) << shownNames(*window).join(' ').toStdString();
    A::groupsCheck(*window)->click();
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewAll);
    enterPattern(*window, "tool");
    EXPECT_EQ(sorted(shownNames(*window)), QStringList({"kuv-newtool", "kuv-oldtool"}));
    enterPattern(*window, ".*");
    EXPECT_EQ(shownNames(*window).size(), all.size());

    // Refresh collects anew.
    const int collections = logCount(*engine, "Initialization");
    QTest::mouseClick(MainWindowTesting::buttonRow(*window)[2], Qt::LeftButton);
    EXPECT_TRUE(window->isReady());
    EXPECT_EQ(logCount(*engine, "Initialization"), collections + 1);
    EXPECT_EQ(sorted(shownNames(*window)), sorted(all));

    // Search: by a file an available package contains, and by a word of a
    // change log of the kivrel repository's package.
    A::modeCombo(*window)->setCurrentIndex(PackageTable::Search);
    enterPattern(*window, "kuv-newtool/tool\\.txt");
    EXPECT_TRUE(window->isReady());
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-newtool"}));
    enterPattern(*window, "Served over");
    EXPECT_EQ(shownNames(*window), QStringList({"kuv-remote"}));
    EXPECT_EQ(logCount(*engine, "Collecting File Lists"), 1);
    A::modeCombo(*window)->setCurrentIndex(PackageTable::Filter);
    enterPattern(*window, ".*");

    // Clean All cleans and collects anew.
    const int beforeClean = logCount(*engine, "Initialization");
    QAction* cleanAll = A::cleanAllAction(*window);
    ASSERT_TRUE(cleanAll->isEnabled());
    cleanAll->trigger();
    EXPECT_TRUE(window->isReady());
    EXPECT_EQ(logCount(*engine, "Cleaning All"), 1);
    EXPECT_EQ(logCount(*engine, "Initialization"), beforeClean + 1);
    EXPECT_EQ(sorted(shownNames(*window)), sorted(all));

    // Quit from its shortcut ends the event loop with status 0. Shortcuts
    // reach the active window only.
    EXPECT_FALSE(yumLockFree(sandbox));
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window, 10000));
    QTimer::singleShot(0, window, [window] {
        QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
    });
    // A watchdog, so that a quit that never comes fails instead of hanging.
    QTimer::singleShot(120000, [] { QApplication::exit(99); });
    const int status = QApplication::exec();
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(A::yumIO(*window), nullptr);
    EXPECT_TRUE(yumLockFree(sandbox));

    delete window;
    ConfigRoot::setRoot(QString());
}
