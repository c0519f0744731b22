// The support of the main-window tests: waiting, reading the menus and the
// table, probing yum's lock, answering the credential dialog, and the
// fixture on a sandbox. Also built into the end-to-end test.
#include "tests/app/mainwindow_test.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLayout>
#include <QMenuBar>
#include <QProcess>
#include <QTest>

#include "engine/configroot.h"
#include "repos/repoauthdialog.h"

using A = MainWindowTestAccess;

namespace MainWindowTesting
{

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

QList<QMenu*> menus(MainWindow& window)
{
    QList<QMenu*> result;
    for (QAction* action : window.menuBar()->actions()) {
        if (action->menu())
            result << action->menu();
    }
    return result;
}

QStringList entryTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

QAction* entry(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QList<QPushButton*> buttonRow(MainWindow& window)
{
    QList<QPushButton*> buttons;
    QLayout* area = A::mainArea(window)->layout();
    // The last item of the main area's layout is the button row.
    QLayout* row = area->itemAt(area->count() - 1)->layout();
    for (int i = 0; row && i < row->count(); ++i) {
        if (auto* button = qobject_cast<QPushButton*>(row->itemAt(i)->widget()))
            buttons << button;
    }
    return buttons;
}

QStringList shownNames(MainWindow& window)
{
    QStringList names;
    QAbstractItemModel* proxy = A::view(window)->sortFilterProxyModel();
    for (int row = 0; row < proxy->rowCount(); ++row)
        names << proxy->index(row, PackageTable::Model::NameColumn).data().toString();
    return names;
}

bool yumLockFree(const TestSandbox& sandbox)
{
    // Record locks do not conflict within one process: ask another one.
    static const char* const probe =
        "import fcntl, os, sys\n"
        "path = sys.argv[1]\n"
        "if not os.path.exists(path):\n"
        "    sys.exit(0)\n"
        "f = open(path, 'r+')\n"
        "try:\n"
        "    fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)\n"
        "except OSError:\n"
        "    sys.exit(1)\n"
        "sys.exit(0)\n";
    QProcess process;
    process.start("/usr/bin/python3",
                  {"-c", probe, sandbox.installRoot() + "/var/run/yum.pid"});
    if (!process.waitForFinished(20000)) {
        ADD_FAILURE() << "the lock probe did not finish";
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

CredentialAnswerer::CredentialAnswerer()
{
    connect(&timer, &QTimer::timeout, this, &CredentialAnswerer::poll);
    timer.start(20);
}

void CredentialAnswerer::answerWith(const QString& newUser, const QString& newPassword)
{
    user = newUser;
    password = newPassword;
    button = QStringLiteral("OK");
}

void CredentialAnswerer::answerButton(const QString& buttonText)
{
    button = buttonText;
}

void CredentialAnswerer::poll()
{
    if (button.isEmpty())
        return;
    for (QWidget* widget : QApplication::allWidgets()) {
        auto* dialog = qobject_cast<RepoAuth::Dialog*>(widget);
        if (!dialog || !dialog->isVisible())
            continue;
        QPushButton* chosen = nullptr;
        for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
            if (b->text() == button && b->isEnabled())
                chosen = b;
        }
        // Between two questions the buttons are disabled.
        if (!chosen)
            return;
        if (button == QLatin1String("OK")) {
            QList<QLineEdit*> edits = dialog->findChildren<QLineEdit*>();
            for (QLineEdit* edit : edits) {
                const QString text = edit->echoMode() == QLineEdit::Password ? password : user;
                edit->setText(text);
                emit edit->textEdited(text);
            }
        }
        ++answered;
        chosen->click();
        return;
    }
}

}

bool MainWindowSandboxTest::interpreterUsed = false;

void MainWindowSandboxTest::SetUp()
{
    if (interpreterUsed)
        GTEST_SKIP() << "the interpreter has ended in this process; run each test on its own";
    ASSERT_TRUE(sandbox.ok());
    ConfigRoot::setRoot(sandbox.root());
    qputenv("HOME", sandbox.home().toUtf8());
    window = std::make_unique<MainWindow>();
}

void MainWindowSandboxTest::TearDown()
{
    if (window) {
        if (A::yumIO(*window))
            interpreterUsed = interpreterUsed || Py_IsInitialized();
        else
            interpreterUsed = true;
        window.reset();
    }
    ConfigRoot::setRoot(QString());
}

bool MainWindowSandboxTest::start()
{
    window->show();
    const bool ready = MainWindowTesting::waitFor([this] {
        return window->isReady() || !window->isVisible();
    });
    if (!ready) {
        ADD_FAILURE() << "the window did not become ready";
        return false;
    }
    if (!window->isReady()) {
        ADD_FAILURE() << "the window closed during the start-up";
        return false;
    }
    return true;
}
