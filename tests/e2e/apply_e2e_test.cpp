// Applying marks through the whole program on a sandbox, under Xvfb on the
// real X11 platform, driven as a user drives it: clicks in the Action column
// mark an update, an install that pulls in a dependency and a removal;
// "&Apply Actions" shows the transaction, Cancel changes nothing, a second
// click on the update turns it into a removal that cannot be resolved and
// reports yum's error with the marks kept, and OK on the original marks
// changes the installroot's rpm database to exactly the new state, which the
// table shows after the re-collection. In a root of their own, packages of
// two architectures show and install as this machine's, and updates dnf
// cannot do are named with its reasons before anything changes.
//
// The engine ends the interpreter for good when the window quits, and the
// other end-to-end scenario of this executable starts one of its own: this
// scenario runs in a child process of the same executable, which the test
// starts and judges by its outcome.
#include "tests/app/mainwindow_test.h"

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMutexLocker>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include "engine/configroot.h"
#include "foundation/htextedit.h"
#include "foundation/scrollableconfirmdialog.h"
#include "foundation/scrollableerrordialog.h"
#include "tests/e2e/childscenario.h"

using A = MainWindowTestAccess;
using MainWindowTesting::waitFor;
using PackageTable::Model;

namespace
{

// Set in the child process that runs the scenario itself.
const char* const inChildVariable = "KUV_E2E_APPLY_CHILD";
const char* const talkativeChildVariable = "KUV_E2E_TALKATIVE_CHILD";
const char* const refusedChildVariable = "KUV_E2E_REFUSED_CHILD";
const char* const architecturesChildVariable = "KUV_E2E_ARCHITECTURES_CHILD";

// What one modal dialog showed: its class, title and the texts of its labels.
struct ShownDialog
{
    QString kind;
    QString title;
    QString text;
};

// Answers each modal dialog the program shows while applying, with its own
// buttons: the transaction confirmation with OK or Cancel as told, an error
// with Close; anything else is noted and closed, so the test sees it.
class DialogAnswerer : public QObject
{
public:
    DialogAnswerer()
    {
        connect(&timer, &QTimer::timeout, this, &DialogAnswerer::poll);
        timer.start(20);
    }

    QString confirmButton = QStringLiteral("OK");
    QList<ShownDialog> shown;

private:
    void poll()
    {
        QWidget* widget = QApplication::activeModalWidget();
        if (!widget || !widget->isVisible() || widget == answering)
            return;
        ShownDialog seen;
        seen.title = widget->windowTitle();
        QStringList texts;
        for (QLabel* label : widget->findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                texts << label->text();
        }
        seen.text = texts.join('\n');
        QString buttonText;
        if (dynamic_cast<ScrollableConfirmDialog*>(widget)) {
            seen.kind = QStringLiteral("confirm");
            buttonText = confirmButton;
        } else if (dynamic_cast<ScrollableErrorDialog*>(widget)) {
            seen.kind = QStringLiteral("error");
            buttonText = QStringLiteral("Close");
        } else if (auto* box = qobject_cast<QMessageBox*>(widget)) {
            seen.kind = QStringLiteral("message box");
            seen.text = box->text();
        } else {
            seen.kind = QStringLiteral("other");
        }
        shown << seen;
        QPushButton* chosen = nullptr;
        for (QPushButton* button : widget->findChildren<QPushButton*>()) {
            if (button->text() == buttonText || (buttonText.isEmpty() && !chosen))
                chosen = button;
        }
        // A dialog is answered once; the click may return only after the
        // program's next dialog, so the poll must not answer it twice.
        answering = widget;
        if (chosen)
            QTest::mouseClick(chosen, Qt::LeftButton);
        else if (auto* dialog = qobject_cast<QDialog*>(widget))
            dialog->reject();
        answering = nullptr;
    }

    QTimer timer;
    QWidget* answering = nullptr;
};

// The table's row of an ordinary package, as an index of the view's model.
QModelIndex shownRow(MainWindow& window, const QString& name, int column)
{
    QAbstractItemModel* proxy = A::view(window)->sortFilterProxyModel();
    for (int row = 0; row < proxy->rowCount(); ++row) {
        const QModelIndex nameCell = proxy->index(row, Model::NameColumn);
        auto* entry = nameCell.data(Qt::UserRole).value<Package::Entry*>();
        if (nameCell.data().toString() == name && entry && entry->kind == Package::Ordinary)
            return proxy->index(row, column);
    }
    return QModelIndex();
}

// A user's click on the package's Action cell.
bool clickAction(MainWindow& window, const QString& name)
{
    const QModelIndex cell = shownRow(window, name, Model::ActionColumn);
    if (!cell.isValid()) {
        ADD_FAILURE() << name.toStdString() << " is not in the table";
        return false;
    }
    PackageTable::View* view = A::view(window);
    view->scrollTo(cell);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(cell).center());
    return true;
}

// The action the table shows for a package, or -1 when it shows no such row.
int shownAction(MainWindow& window, const QString& name)
{
    const QModelIndex cell = shownRow(window, name, Model::ActionColumn);
    return cell.isValid() ? cell.data(Qt::UserRole).toInt() : -1;
}

int shownState(MainWindow& window, const QString& name)
{
    const QModelIndex cell = shownRow(window, name, Model::StateColumn);
    return cell.isValid() ? cell.data(Qt::UserRole).toInt() : -1;
}

QString shownVersion(MainWindow& window, const QString& name)
{
    return shownRow(window, name, Model::VersionColumn).data().toString();
}

// The marks of the scenario, as the table shows them.
QList<int> shownMarks(MainWindow& window)
{
    return {shownAction(window, "kuv-lib"), shownAction(window, "kuv-app"),
            shownAction(window, "kuv-local")};
}

// Makes the sandbox with its credentials and server, and points the engine
// and rpm at it.
void enterSandbox(TestSandbox& sandbox)
{
    ASSERT_TRUE(sandbox.ok());
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ConfigRoot::setRoot(sandbox.root());
    qputenv("HOME", sandbox.home().toUtf8());
}

// A new main window, shown, ready, and showing every package.
void showReadyWindow(std::unique_ptr<MainWindow>& window)
{
    window = std::make_unique<MainWindow>();
    window->show();
    ASSERT_TRUE(waitFor([&] { return window->isReady() || !window->isVisible(); }));
    ASSERT_TRUE(window->isReady());
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewAll);
}

void clickApply(MainWindow& window)
{
    // The click returns once the whole apply, confirmation and any
    // re-collection included, is over.
    QTest::mouseClick(A::applyButton(window), Qt::LeftButton);
}

// The scenario itself, in a process whose interpreter nothing else uses.
void applyThroughTheWindow()
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under Xvfb with KUV_TEST_PLATFORM=xcb";
    TestSandbox sandbox;
    ASSERT_NO_FATAL_FAILURE(enterSandbox(sandbox));
    ASSERT_EQ(sandbox.installedPackages(), TestSandbox::installedAtStart());

    std::unique_ptr<MainWindow> window;
    ASSERT_NO_FATAL_FAILURE(showReadyWindow(window));
    EXPECT_FALSE(A::applyButton(*window)->isEnabled());

    // One click each: update the out-of-date library, install the program
    // that needs it, remove the package of no repository.
    ASSERT_TRUE(clickAction(*window, "kuv-lib"));
    ASSERT_TRUE(clickAction(*window, "kuv-app"));
    ASSERT_TRUE(clickAction(*window, "kuv-local"));
    ASSERT_EQ(shownMarks(*window), QList<int>({Package::Update, Package::Install, Package::Remove}));
    ASSERT_TRUE(A::applyButton(*window)->isEnabled());

    DialogAnswerer answerer;

    // Cancel: the listing was shown, nothing changed, the marks stay.
    answerer.confirmButton = QStringLiteral("Cancel");
    clickApply(*window);
    ASSERT_TRUE(window->isReady());
    ASSERT_EQ(answerer.shown.size(), 1);
    EXPECT_EQ(answerer.shown[0].kind, "confirm");
    EXPECT_EQ(answerer.shown[0].title, "Apply");
    EXPECT_EQ(answerer.shown[0].text, TestSandbox::appLibLocalTransaction());
    EXPECT_EQ(sandbox.installedPackages(), TestSandbox::installedAtStart());
    EXPECT_EQ(shownMarks(*window), QList<int>({Package::Update, Package::Install, Package::Remove}));
    EXPECT_EQ(shownVersion(*window, "kuv-lib"), "1.1-1");
    EXPECT_TRUE(A::applyButton(*window)->isEnabled());

    // A second click turns the update into a removal of the library the
    // program needs: yum cannot resolve that, says why, and the marks stay.
    answerer.shown.clear();
    answerer.confirmButton = QStringLiteral("OK");
    ASSERT_TRUE(clickAction(*window, "kuv-lib"));
    ASSERT_EQ(shownMarks(*window), QList<int>({Package::Remove, Package::Install, Package::Remove}));
    clickApply(*window);
    ASSERT_TRUE(window->isReady());
    ASSERT_EQ(answerer.shown.size(), 1);
    EXPECT_EQ(answerer.shown[0].kind, "error");
    EXPECT_EQ(answerer.shown[0].title, "KUV Yum Error");
    EXPECT_TRUE(answerer.shown[0].text.contains("kuv-app")) << answerer.shown[0].text.toStdString();
    EXPECT_TRUE(answerer.shown[0].text.endsWith("\nError applying changes"))
        << answerer.shown[0].text.toStdString();
    EXPECT_EQ(sandbox.installedPackages(), TestSandbox::installedAtStart());
    EXPECT_EQ(shownMarks(*window), QList<int>({Package::Remove, Package::Install, Package::Remove}));
    EXPECT_TRUE(A::applyButton(*window)->isEnabled());

    // Two more clicks go round the cycle back to the update; OK applies it.
    answerer.shown.clear();
    ASSERT_TRUE(clickAction(*window, "kuv-lib"));
    EXPECT_EQ(shownAction(*window, "kuv-lib"), Package::NoAction);
    ASSERT_TRUE(clickAction(*window, "kuv-lib"));
    ASSERT_EQ(shownMarks(*window), QList<int>({Package::Update, Package::Install, Package::Remove}));
    clickApply(*window);
    ASSERT_TRUE(window->isReady());
    ASSERT_EQ(answerer.shown.size(), 1);
    EXPECT_EQ(answerer.shown[0].kind, "confirm");
    EXPECT_EQ(answerer.shown[0].text, TestSandbox::appLibLocalTransaction());

    // Exactly the new state in the root's database, and in the table, which
    // was collected anew: no marks left, the removed package gone.
    EXPECT_EQ(sandbox.installedPackages(),
              QStringList({"kuv-app-2.0-1", "kuv-docs-1.0-1", "kuv-kernel-1.0-1",
                           "kuv-kernel-1.1-1", "kuv-lib-1.1-1", "kuv-notes-1.0-1",
                           "kuv-oldtool-1.0-1"}));
    EXPECT_EQ(A::stateCombo(*window)->currentIndex(), PackageTable::ViewAll);
    for (const char* name : {"kuv-app", "kuv-docs", "kuv-lib", "kuv-notes", "kuv-oldtool"}) {
        EXPECT_EQ(shownState(*window, name), Package::Installed) << name;
        EXPECT_EQ(shownAction(*window, name), Package::NoAction) << name;
    }
    EXPECT_EQ(shownVersion(*window, "kuv-lib"), "1.1-1");
    EXPECT_EQ(shownVersion(*window, "kuv-app"), "2.0-1");
    EXPECT_FALSE(shownRow(*window, "kuv-local", Model::NameColumn).isValid());
    EXPECT_EQ(shownState(*window, "kuv-newtool"), Package::Available);
    EXPECT_FALSE(A::applyButton(*window)->isEnabled());
    // The kernel was left unmarked and still has its update.
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewUpdatable);
    EXPECT_EQ(MainWindowTesting::shownNames(*window), QStringList({"kuv-kernel"}));

    A::quitAction(*window)->trigger();
    EXPECT_EQ(A::yumIO(*window), nullptr);
    window.reset();
    ConfigRoot::setRoot(QString());
}


// The log's texts of one kind from the given index on.
QStringList loggedTexts(YumIO& io, Log::Kind kind, int from)
{
    QStringList texts;
    QMutexLocker locker(&io.logList);
    for (int i = from; i < io.logList.count(); ++i) {
        if (io.logList.at(i).kind == kind)
            texts << io.logList.at(i).text;
    }
    return texts;
}

// Notes the longest time the GUI thread went without serving its timers.
class GapWatch : public QObject
{
public:
    GapWatch()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            longest = std::max(longest, clock.restart());
        });
        clock.start();
        timer.start(10);
    }

    qint64 longest = 0;

private:
    QTimer timer;
    QElapsedTimer clock;
};

// Installs and removes the talkative package again and again with the log
// window shown: with a burst far larger than a pipe holds on standard output
// and standard error, and without one, where the capture once raced with
// the window's drawing. Every apply must end, and every line reach the log
// in order with its stream's kind, and the window.
void talkativeScriptletsWithTheLogWindowShown()
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under Xvfb with KUV_TEST_PLATFORM=xcb";
    TestSandbox sandbox;
    ASSERT_NO_FATAL_FAILURE(enterSandbox(sandbox));

    std::unique_ptr<MainWindow> window;
    ASSERT_NO_FATAL_FAILURE(showReadyWindow(window));
    QAction* logAction = nullptr;
    for (QMenu* menu : MainWindowTesting::menus(*window)) {
        if (QAction* action = MainWindowTesting::entry(menu, "&Log"))
            logAction = action;
    }
    ASSERT_NE(logAction, nullptr);
    logAction->trigger();
    Log::Window* logWindow = A::logWindow(*window);
    ASSERT_NE(logWindow, nullptr);
    ASSERT_TRUE(logWindow->isVisible());
    auto* drawn = logWindow->findChild<HTextEdit*>();
    ASSERT_NE(drawn, nullptr);

    DialogAnswerer answerer;
    GapWatch gaps;
    const int burst = 20000;
    // A line of ten megabytes in the first round: the log keeps it whole,
    // the window draws its start and says how much more there is.
    const int longLine = 10000000;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        const bool bursting = round % 2 == 0;
        if (bursting) {
            qputenv("KUV_VERBOSE_BURST", QByteArray::number(burst));
            qputenv("KUV_VERBOSE_ERROR_BURST", QByteArray::number(burst / 4));
        } else {
            qunsetenv("KUV_VERBOSE_BURST");
            qunsetenv("KUV_VERBOSE_ERROR_BURST");
        }
        if (round == 0)
            qputenv("KUV_VERBOSE_LONG_LINE", QByteArray::number(longLine));
        else
            qunsetenv("KUV_VERBOSE_LONG_LINE");
        YumIO& io = *A::yumIO(*window);
        const int start = io.logList.lockedCount();
        ASSERT_TRUE(clickAction(*window, "kuv-verbose"));
        ASSERT_EQ(shownAction(*window, "kuv-verbose"), Package::Install);
        clickApply(*window);
        ASSERT_TRUE(window->isReady());
        ASSERT_TRUE(sandbox.installedPackages().contains("kuv-verbose-1.0-1"));

        const QStringList output = loggedTexts(io, Log::Output, start);
        const QStringList errors = loggedTexts(io, Log::Error, start);
        EXPECT_TRUE(output.contains("kuv-verbose: pre-install scriptlet on standard output"));
        EXPECT_TRUE(errors.contains("kuv-verbose: pre-install scriptlet on standard error"));
        EXPECT_TRUE(errors.contains("kuv-verbose: post-install scriptlet on standard error"));
        const QStringList longLines = output.filter(QRegularExpression("^x+$"));
        ASSERT_EQ(longLines.size(), round == 0 ? 1 : 0);
        if (round == 0) {
            EXPECT_EQ(longLines.first().size(), longLine);
            const QString mark =
                QString(" [%L1 more characters not shown]").arg(longLine - Log::Window::maxLineCharacters);
            EXPECT_TRUE(waitFor([&] { return !drawn->document()->find(mark).isNull(); }, 60000))
                << "the window did not draw the long line's start and mark";
        }
        const QStringList outBurst = output.filter("kuv-verbose: burst line ");
        const QStringList errBurst = errors.filter("kuv-verbose: error burst line ");
        ASSERT_EQ(outBurst.size(), bursting ? burst : 0);
        ASSERT_EQ(errBurst.size(), bursting ? burst / 4 : 0);
        for (int i = 0; i < outBurst.size(); ++i) {
            const QString number = QString("%1").arg(i + 1, 6, 10, QChar('0'));
            ASSERT_EQ(outBurst[i], "kuv-verbose: burst line " + number + " " + QString(40, '='));
        }
        for (int i = 0; i < errBurst.size(); ++i) {
            const QString number = QString("%1").arg(i + 1, 6, 10, QChar('0'));
            ASSERT_EQ(errBurst[i], "kuv-verbose: error burst line " + number + " " + QString(40, '-'));
        }
        // The window draws the lines too, up to the last.
        if (bursting) {
            const QString last = outBurst.last();
            EXPECT_TRUE(waitFor([&] { return !drawn->document()->find(last).isNull(); }, 60000))
                << "the window did not draw the burst's last line";
        }

        // Removed again for the next round; no scriptlet of its talks then.
        ASSERT_TRUE(clickAction(*window, "kuv-verbose"));
        ASSERT_EQ(shownAction(*window, "kuv-verbose"), Package::Remove);
        clickApply(*window);
        ASSERT_TRUE(window->isReady());
        ASSERT_FALSE(sandbox.installedPackages().contains("kuv-verbose-1.0-1"));
    }
    for (const ShownDialog& dialog : answerer.shown)
        EXPECT_EQ(dialog.kind, "confirm") << dialog.title.toStdString() << ": " << dialog.text.toStdString();
    EXPECT_EQ(answerer.shown.size(), 8);
    // Seen, not judged: a loaded machine stalls any thread now and then.
    std::printf("longest gap between the GUI thread's timer ticks: %lld ms\n", gaps.longest);

    A::quitAction(*window)->trigger();
    window.reset();
    qunsetenv("KUV_VERBOSE_BURST");
    qunsetenv("KUV_VERBOSE_ERROR_BURST");
    qunsetenv("KUV_VERBOSE_LONG_LINE");
    ConfigRoot::setRoot(QString());
}

int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

// Whether a process could take yum's lock of the sandbox now.
bool yumLockIsFree(const TestSandbox& sandbox)
{
    const QByteArray path = (sandbox.installRoot() + "/var/run/yum.pid").toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    const bool free = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type == F_UNLCK;
    ::close(fd);
    return free;
}

// A package whose %pre fails is refused ten times in a row, each time with
// rpm's error, the marks kept and no descriptor more than after the first;
// then other marks, and the same package once its scriptlet lets it, are
// applied by the same program.
void refusedPackageAppliedAgain()
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under Xvfb with KUV_TEST_PLATFORM=xcb";
    TestSandbox sandbox;
    ASSERT_NO_FATAL_FAILURE(enterSandbox(sandbox));

    std::unique_ptr<MainWindow> window;
    ASSERT_NO_FATAL_FAILURE(showReadyWindow(window));

    DialogAnswerer answerer;
    qputenv("KUV_VERBOSE_REFUSE", "1");
    ASSERT_TRUE(clickAction(*window, "kuv-verbose"));
    ASSERT_EQ(shownAction(*window, "kuv-verbose"), Package::Install);
    int afterFirst = -1;
    for (int attempt = 0; attempt < 10; ++attempt) {
        SCOPED_TRACE(attempt);
        answerer.shown.clear();
        clickApply(*window);
        ASSERT_TRUE(window->isReady());
        ASSERT_EQ(answerer.shown.size(), 2);
        EXPECT_EQ(answerer.shown[0].kind, "confirm");
        EXPECT_EQ(answerer.shown[1].kind, "error");
        EXPECT_EQ(answerer.shown[1].title, "KUV Yum Error");
        EXPECT_TRUE(answerer.shown[1].text.contains("Error in PREIN scriptlet in rpm package kuv-verbose"))
            << answerer.shown[1].text.toStdString();
        EXPECT_EQ(shownAction(*window, "kuv-verbose"), Package::Install);
        EXPECT_FALSE(sandbox.installedPackages().contains("kuv-verbose-1.0-1"));
        if (attempt == 0)
            afterFirst = openDescriptors();
        EXPECT_LE(openDescriptors(), afterFirst);
    }
    qunsetenv("KUV_VERBOSE_REFUSE");

    // Other marks apply after the failures.
    answerer.shown.clear();
    ASSERT_TRUE(clickAction(*window, "kuv-verbose"));
    ASSERT_EQ(shownAction(*window, "kuv-verbose"), Package::NoAction);
    ASSERT_TRUE(clickAction(*window, "kuv-newtool"));
    clickApply(*window);
    ASSERT_TRUE(window->isReady());
    ASSERT_EQ(answerer.shown.size(), 1);
    EXPECT_EQ(answerer.shown[0].kind, "confirm");
    EXPECT_TRUE(sandbox.installedPackages().contains("kuv-newtool-2.0-1"));
    EXPECT_EQ(shownState(*window, "kuv-newtool"), Package::Installed);

    // And the refused package, now that its scriptlet lets it.
    answerer.shown.clear();
    ASSERT_TRUE(clickAction(*window, "kuv-verbose"));
    clickApply(*window);
    ASSERT_TRUE(window->isReady());
    ASSERT_EQ(answerer.shown.size(), 1);
    EXPECT_EQ(answerer.shown[0].kind, "confirm");
    EXPECT_TRUE(sandbox.installedPackages().contains("kuv-verbose-1.0-1"));
    EXPECT_EQ(shownState(*window, "kuv-verbose"), Package::Installed);
    EXPECT_LE(openDescriptors(), afterFirst);

    A::quitAction(*window)->trigger();
    window.reset();
    EXPECT_TRUE(yumLockIsFree(sandbox));
    QProcess verify;
    verify.setProcessEnvironment(sandbox.environment());
    verify.setProcessChannelMode(QProcess::MergedChannels);
    verify.start("rpm", {"--root", sandbox.installRoot(), "--verifydb"});
    ASSERT_TRUE(verify.waitForFinished(60000));
    EXPECT_EQ(verify.exitCode(), 0) << verify.readAll().toStdString();
    ConfigRoot::setRoot(QString());
}

// A configuration root of its own with packages of two architectures
// (tests/share/multiarchroot.py); false after reporting the script's output.
bool makeArchitecturesRoot(const QString& target)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start("/usr/bin/python3",
                 {TestSandbox::sourceDir() + "/tests/share/multiarchroot.py", target});
    const bool finished = script.waitForFinished(120000);
    if (!finished || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0) {
        ADD_FAILURE() << "multiarchroot.py failed:\n" << script.readAll().toStdString();
        return false;
    }
    return true;
}

// name-version-release.arch of every package in the root's database, sorted.
QStringList installedArchitectures(const QString& target)
{
    QProcess rpm;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", target + "/home");
    rpm.setProcessEnvironment(environment);
    rpm.start("rpm", {"--root", target + "/root", "-qa", "--qf", "%{NVRA}\\n"});
    if (!rpm.waitForFinished(60000) || rpm.exitCode() != 0) {
        ADD_FAILURE() << "rpm -qa failed: " << rpm.readAllStandardError().toStdString();
        return {};
    }
    QStringList packages = QString::fromUtf8(rpm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    packages.sort();
    return packages;
}

QString shownArchitecture(MainWindow& window, const QString& name)
{
    return shownRow(window, name, Model::ArchitectureColumn).data().toString();
}

// On an x86_64 machine with i686 packages beside the x86_64 ones: each row
// shows the name's package for this machine, and Install installs that one.
// Updates that dnf cannot do (a missing dependency; one architecture of an
// installed pair) are named with dnf's reason in the error box before
// anything changes, alone and among good ones, and their marks stay; once
// the user takes them away the rest applies.
void architecturesAndUpdatesDnfCannotDo()
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under Xvfb with KUV_TEST_PLATFORM=xcb";
    QTemporaryDir dir(QDir::tempPath() + "/kuv-architectures-XXXXXX");
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.path();
    ASSERT_TRUE(makeArchitecturesRoot(target));
    const QStringList before = {"bar-1.0-1.i686",   "bar-1.0-1.x86_64", "brk-1.0-1.noarch",
                                "foo-1.0-1.i686",   "foo-1.0-1.x86_64", "mlb-1.0-1.i686",
                                "mlb-1.0-1.x86_64", "ok-1.0-1.noarch"};
    ASSERT_EQ(installedArchitectures(target), before);
    ConfigRoot::setRoot(target);
    qputenv("HOME", (target + "/home").toUtf8());

    std::unique_ptr<MainWindow> window;
    ASSERT_NO_FATAL_FAILURE(showReadyWindow(window));
    EXPECT_EQ(MainWindowTesting::shownNames(*window),
              QStringList({"bar", "brk", "foo", "ma", "mlb", "mv", "ok"}));
    for (const char* name : {"ma", "mv", "foo", "bar", "mlb"})
        EXPECT_EQ(shownArchitecture(*window, name), "x86_64") << name;
    EXPECT_EQ(shownVersion(*window, "mv"), "1.0-1");
    EXPECT_EQ(shownState(*window, "bar"), Package::Installed);
    EXPECT_EQ(shownState(*window, "mlb"), Package::Updatable);
    EXPECT_EQ(shownVersion(*window, "mlb"), "1.1-1");

    DialogAnswerer answerer;
    const QString brkReason = QStringLiteral(
        "Cannot update brk 1.1-1 (noarch):\n"
        " - cannot install the best update candidate for package brk-1.0-1.noarch\n"
        " - nothing provides nothere needed by brk-1.1-1.noarch");
    const QString mlbReason = QStringLiteral(
        "Cannot update mlb 1.1-1 (x86_64):\n"
        " - cannot install both mlb-1.1-1.x86_64 and mlb-1.0-1.x86_64\n");

    // The broken update alone.
    ASSERT_TRUE(clickAction(*window, "brk"));
    ASSERT_EQ(shownAction(*window, "brk"), Package::Update);
    clickApply(*window);
    ASSERT_TRUE(window->isReady());
    ASSERT_EQ(answerer.shown.size(), 1);
    EXPECT_EQ(answerer.shown[0].kind, "error");
    EXPECT_EQ(answerer.shown[0].title, "KUV Yum Error");
    EXPECT_TRUE(answerer.shown[0].text.startsWith(brkReason)) << answerer.shown[0].text.toStdString();
    EXPECT_TRUE(answerer.shown[0].text.endsWith("\nError applying changes"));
    EXPECT_EQ(installedArchitectures(target), before);
    EXPECT_EQ(shownAction(*window, "brk"), Package::Update);

    // Every out-of-date package: the two that cannot be done are named, the
    // others are not, and nothing is applied.
    answerer.shown.clear();
    MainWindowTesting::buttonRow(*window)[4]->click();  // Set Update of All Out-of-Date
    for (const char* name : {"brk", "foo", "mlb", "ok"})
        ASSERT_EQ(shownAction(*window, name), Package::Update) << name;
    clickApply(*window);
    ASSERT_TRUE(window->isReady());
    ASSERT_EQ(answerer.shown.size(), 1);
    EXPECT_EQ(answerer.shown[0].kind, "error");
    const QString told = answerer.shown[0].text;
    EXPECT_TRUE(told.contains(brkReason)) << told.toStdString();
    EXPECT_TRUE(told.contains(mlbReason)) << told.toStdString();
    EXPECT_FALSE(told.contains("Cannot update ok")) << told.toStdString();
    EXPECT_FALSE(told.contains("Cannot update foo")) << told.toStdString();
    EXPECT_EQ(installedArchitectures(target), before);
    for (const char* name : {"brk", "foo", "mlb", "ok"})
        EXPECT_EQ(shownAction(*window, name), Package::Update) << name;

    // Without them, and with an install of a name of two architectures.
    answerer.shown.clear();
    for (const char* name : {"brk", "mlb"}) {
        ASSERT_TRUE(clickAction(*window, name));
        ASSERT_TRUE(clickAction(*window, name));
        ASSERT_EQ(shownAction(*window, name), Package::NoAction) << name;
    }
    ASSERT_TRUE(clickAction(*window, "ma"));
    ASSERT_EQ(shownAction(*window, "ma"), Package::Install);
    clickApply(*window);
    ASSERT_TRUE(window->isReady());
    ASSERT_EQ(answerer.shown.size(), 1);
    EXPECT_EQ(answerer.shown[0].kind, "confirm");
    EXPECT_EQ(answerer.shown[0].text, QStringLiteral("Transaction to be performed:\n"
                                                     "\tInstall: ma 1.0-1 (x86_64) [kuv-multi]\n"
                                                     "\tUpdate: foo 1.1-1 (x86_64) [kuv-multi]\n"
                                                     "\tUpdate: ok 1.1-1 (noarch) [kuv-multi]\n"
                                                     "Performing the following to resolve dependencies:\n"
                                                     "\tUpdate: foo 1.1-1 (i686) [kuv-multi]\n"
                                                     "Total download size: 0b\n"));
    EXPECT_EQ(installedArchitectures(target),
              QStringList({"bar-1.0-1.i686", "bar-1.0-1.x86_64", "brk-1.0-1.noarch", "foo-1.1-1.i686",
                           "foo-1.1-1.x86_64", "ma-1.0-1.x86_64", "mlb-1.0-1.i686", "mlb-1.0-1.x86_64",
                           "ok-1.1-1.noarch"}));
    EXPECT_EQ(shownState(*window, "ma"), Package::Installed);
    EXPECT_EQ(shownArchitecture(*window, "ma"), "x86_64");
    EXPECT_EQ(shownState(*window, "brk"), Package::Updatable);
    EXPECT_EQ(shownState(*window, "mlb"), Package::Updatable);

    A::quitAction(*window)->trigger();
    window.reset();
    ConfigRoot::setRoot(QString());
}
}

TEST(ApplyEndToEnd, MarksClickedInTheTableApplyAfterCancelAndAnUnresolvableTry)
{
    if (qEnvironmentVariableIsSet(inChildVariable)) {
        applyThroughTheWindow();
        return;
    }
    expectScenarioPassesInChild(inChildVariable,
                                "ApplyEndToEnd.MarksClickedInTheTableApplyAfterCancelAndAnUnresolvableTry");
}

TEST(ApplyEndToEnd, TalkativeScriptletsFinishWithTheLogWindowShown)
{
    if (qEnvironmentVariableIsSet(talkativeChildVariable)) {
        talkativeScriptletsWithTheLogWindowShown();
        return;
    }
    expectScenarioPassesInChild(talkativeChildVariable,
                                "ApplyEndToEnd.TalkativeScriptletsFinishWithTheLogWindowShown");
}

TEST(ApplyEndToEnd, ARefusedPackageLeavesTheNextApplyWorking)
{
    if (qEnvironmentVariableIsSet(refusedChildVariable)) {
        refusedPackageAppliedAgain();
        return;
    }
    expectScenarioPassesInChild(refusedChildVariable, "ApplyEndToEnd.ARefusedPackageLeavesTheNextApplyWorking");
}

TEST(ApplyEndToEnd, TheMachinesArchitectureIsShownAndUpdatesDnfCannotDoAreToldBeforeAnyChange)
{
    if (qEnvironmentVariableIsSet(architecturesChildVariable)) {
        architecturesAndUpdatesDnfCannotDo();
        return;
    }
    expectScenarioPassesInChild(
        architecturesChildVariable,
        "ApplyEndToEnd.TheMachinesArchitectureIsShownAndUpdatesDnfCannotDoAreToldBeforeAnyChange");
}
