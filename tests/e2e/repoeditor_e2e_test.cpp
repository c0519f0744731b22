// The repository editor through the whole program on a sandbox, under Xvfb
// on the real X11 platform. The program starts with -r while the kivrel
// repository holds a wrong password. In the editor opened at the start a
// session flag is toggled and a repository added, and Cancel undoes both;
// the collection then fails on the kivrel repository. Switched off for the
// session, it no longer keeps the other repositories' packages out. Then the
// disabled repository is used for the session, the kivrel repository gets a
// name and credentials typed in other languages, a repository holding a
// password is added in a new file, one is removed, and Apply writes them;
// the next collection shows the kivrel repository's packages again, without
// a restart.
//
// Like the apply scenario, it runs in a child process of this executable,
// since the engine ends the interpreter for good. It writes screenshots of
// the table and of the form with its masked password to
// KUV_E2E_REPOEDITOR_SHOTS (a folder; default the working folder).
#include "tests/app/mainwindow_test.h"

#include <functional>

#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>

#include "common/repoeditordriver.h"
#include "engine/configroot.h"
#include "foundation/passwdtextedit.h"
#include "foundation/scrollableerrordialog.h"
#include "repos/repoeditor/dialog.h"
#include "repos/repoeditor/model.h"
#include "repos/repoeditor/view.h"
#include "tests/e2e/childscenario.h"

using A = MainWindowTestAccess;
using MainWindowTesting::shownNames;
using MainWindowTesting::waitFor;
using RepoEditor::Model;
using RepoEditorDriving::button;
using RepoEditorDriving::Table;
using RepoEditorDriving::type;
using RepoEditorDriving::whenFormShows;

namespace
{

const char* const inChildVariable = "KUV_E2E_REPOEDITOR_CHILD";

void saveShot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariableIsSet("KUV_E2E_REPOEDITOR_SHOTS")
                            ? qEnvironmentVariable("KUV_E2E_REPOEDITOR_SHOTS")
                            : QDir::currentPath();
    QTest::qWait(200);
    EXPECT_TRUE(widget->grab().save(dir + "/" + name, "PNG")) << name.toStdString();
}

// Runs the next step whenever the repository editor shows, and answers and
// notes every error the program shows meanwhile.
class Driver : public QObject
{
public:
    Driver()
    {
        // Two timers: Qt never fires a timer again while its own timeout is
        // still running, and a step runs the program's loops (the form, a
        // collection with its errors) from inside its timeout.
        connect(&stepTimer, &QTimer::timeout, this, &Driver::step);
        connect(&answerTimer, &QTimer::timeout, this, &Driver::answer);
        stepTimer.start(20);
        answerTimer.start(20);
    }

    QList<std::function<void(RepoEditor::Dialog*)>> steps;
    QStringList errors;

private:
    void step()
    {
        auto* editor = qobject_cast<RepoEditor::Dialog*>(QApplication::activeModalWidget());
        if (editor && editor->isVisible() && !steps.isEmpty())
            steps.takeFirst()(editor);
    }

    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        QStringList texts;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            texts << box->text();
        } else if (dynamic_cast<ScrollableErrorDialog*>(modal)) {
            for (QLabel* label : modal->findChildren<QLabel*>())
                texts << label->text();
        } else {
            return;
        }
        errors << texts.join('\n');
        static_cast<QDialog*>(modal)->reject();
    }

    QTimer stepTimer;
    QTimer answerTimer;
};

QStringList sortedAll(MainWindow& window)
{
    A::stateCombo(window)->setCurrentIndex(PackageTable::ViewAll);
    QStringList names = shownNames(window);
    names.sort();
    names.removeDuplicates();
    return names;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void editRepositoriesOnTheSandbox()
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under Xvfb with KUV_TEST_PLATFORM=xcb";
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    const QString user = QString::fromUtf8("Bj\xc3\xb6rk");
    const QString password = QString::fromUtf8("\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c&\xe5\xaf\x86");
    ASSERT_TRUE(sandbox.setKivrelServerCredentials(user, password));
    ASSERT_TRUE(sandbox.fillKivrelCredentials(user, "wrong"));
    ASSERT_TRUE(sandbox.startKivrelServer());
    ConfigRoot::setRoot(sandbox.root());
    qputenv("HOME", sandbox.home().toUtf8());

    auto window = std::make_unique<MainWindow>();
    window->startWithRepoEditor = true;
    Driver driver;

    // At the start, before any collection: the flag of the disabled
    // repository toggled, then Cancel.
    driver.steps << [&](RepoEditor::Dialog* editor) {
        Table table(editor);
        EXPECT_EQ(table.ids(), QStringList({"kuv-extra", "kuv-main", "kuv-remote"}));
        EXPECT_EQ(A::yumIO(*window)->count(), 0);
        EXPECT_EQ(table.toolTip("kuv-extra", Model::UseColumn),
                  "Repository is not enabled for this session");
        table.click("kuv-extra", Model::UseColumn);
        EXPECT_TRUE(window->used.value("kuv-extra"));
        whenFormShows([](QWidget* form) { form->findChild<QLineEdit*>("identifier")->setText("temp"); });
        button(editor, "Add")->click();
        EXPECT_TRUE(window->used.contains("temp"));
        button(editor, "Cancel")->click();
    };
    window->show();
    ASSERT_TRUE(waitFor([&] { return window->isReady() && A::mainArea(*window)->isVisible(); }));
    // Cancel put back the flags and dropped the addition.
    EXPECT_FALSE(window->used.value("kuv-extra"));
    EXPECT_FALSE(window->used.contains("temp"));
    EXPECT_FALSE(QFile::exists(sandbox.repoDir() + "/temp.repo"));
    EXPECT_TRUE(driver.errors.join('\n').contains("refused the kivrel user name or password"))
        << driver.errors.join('\n').toStdString();
    EXPECT_FALSE(driver.errors.join('\n').contains("wrong"));

    // The failing repository switched off for the session: the others'
    // packages are collected.
    driver.errors.clear();
    driver.steps << [](RepoEditor::Dialog* editor) {
        Table(editor).click("kuv-remote", Model::UseColumn);
        button(editor, "OK")->click();
    };
    A::editConfAction(*window)->trigger();
    EXPECT_TRUE(driver.steps.isEmpty());
    EXPECT_EQ(driver.errors, QStringList());
    QStringList names = sortedAll(*window);
    EXPECT_TRUE(names.contains("kuv-app")) << names.join(' ').toStdString();
    EXPECT_FALSE(names.contains("kuv-remote"));
    EXPECT_FALSE(names.contains("kuv-extra"));

    // Both used again, the kivrel repository mended and renamed, one added,
    // one removed, applied.
    const QString name = QString::fromUtf8("Fj\xc3\xa4rrf\xc3\xb6rr\xc3\xa5" "d \xe2\x80\x93 "
                                           "\xd0\xa3\xd0\xb4\xd0\xb0\xd0\xbb\xd1\x91\xd0\xbd\xd0\xbd\xd1\x8b\xd0\xb9");
    const QString added = QString("http://127.0.0.1:%1/kivrel?user=a&password=secret&path=none")
                              .arg(sandbox.kivrelPort());
    driver.steps << [&](RepoEditor::Dialog* editor) {
        Table table(editor);
        table.click("kuv-extra", Model::UseColumn);
        table.click("kuv-remote", Model::UseColumn);
        saveShot(editor, "repoeditor-table.png");
        whenFormShows([&](QWidget* form) {
            form->findChild<QLineEdit*>("name")->setText(name);
            type(form, "authName", user);
            type(form, "authPassword", password);
            const QString shown = form->findChild<PasswdTextEdit*>("urls")->toPlainText();
            EXPECT_FALSE(shown.contains("%d0%bf")) << shown.toStdString();
            saveShot(form, "repoeditor-form.png");
        });
        table.doubleClick("kuv-remote", Model::NameColumn);
        whenFormShows([&](QWidget* form) {
            form->findChild<QLineEdit*>("identifier")->setText("kuv-added");
            form->findChild<PasswdTextEdit*>("urls")->setRealPlainText(added);
            form->findChild<QLineEdit*>("file")->setText("kuv-added.repo");
            form->findChild<QComboBox*>("enabled")->setCurrentIndex(Repo::Entry::No);
        });
        button(editor, "Add")->click();
        table.click("kuv-main", Model::IdColumn);
        button(editor, "Remove")->click();
        EXPECT_EQ(table.ids(), QStringList({"kuv-added", "kuv-extra", "kuv-remote"}));
        button(editor, "Apply")->click();

        const QString repos = sandbox.repoDir();
        const QByteArray remote = fileBytes(sandbox.kivrelRepoFile());
        EXPECT_TRUE(remote.contains("\nname=" + name.toUtf8() + "\n")) << remote.toStdString();
        EXPECT_TRUE(remote.contains("kivrel?user=Bj%c3%b6rk&password=%d0%bf%d0%b0%d1%80%d0%be%d0%bb"
                                    "%d1%8c%26%e5%af%86&path=remote"))
            << remote.toStdString();
        EXPECT_FALSE(fileBytes(repos + "/kuv.repo").contains("[kuv-main]"));
        struct stat info;
        ASSERT_EQ(::stat(QFile::encodeName(repos + "/kuv-added.repo"), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        button(editor, "OK")->click();
    };
    A::editConfAction(*window)->trigger();
    EXPECT_TRUE(driver.steps.isEmpty());
    EXPECT_EQ(driver.errors, QStringList());
    names = sortedAll(*window);
    for (const char* shown : {"kuv-extra", "kuv-remote", "kuv-verbose", "kuv-lib"})
        EXPECT_TRUE(names.contains(shown)) << shown << ": " << names.join(' ').toStdString();
    EXPECT_FALSE(names.contains("kuv-app"));
    EXPECT_TRUE(window->isReady());

    A::quitAction(*window)->trigger();
    window.reset();
    ConfigRoot::setRoot(QString());
}

}

TEST(RepoEditorEndToEnd, SessionFlagsEditsAndAMendedPasswordReachTheCollection)
{
    if (qEnvironmentVariableIsSet(inChildVariable)) {
        editRepositoriesOnTheSandbox();
        return;
    }
    expectScenarioPassesInChild(inChildVariable,
                                "RepoEditorEndToEnd.SessionFlagsEditsAndAMendedPasswordReachTheCollection");
}
