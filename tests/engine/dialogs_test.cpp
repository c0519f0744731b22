// The dialog relay: a worker asks the GUI thread and waits for the answer;
// in the GUI thread the dialog runs at once; a worker operation's requester
// is removed afterwards and its minion deleted by the GUI thread.
#include "tests/engine/engine_test.h"

#include <QPointer>
#include <QThread>

namespace {

// Asks from a worker thread of its own while the GUI thread waits in a
// local loop, as the engine's GUI thread does.
template <typename Ask>
int askFromWorker(QWidget* parent, Ask ask)
{
    int answer = -100;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        YumIODialogs dialogs(parent);
        answer = ask(dialogs);
    }));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    worker->start();
    if (!worker->isFinished())
        loop.exec();
    worker->wait();
    return answer;
}

}

TEST(DialogRelay, AConfirmationFromAWorkerComesBackWithTheUsersAnswer)
{
    QWidget window;
    DialogAnswerer answerer(DialogAnswerer::Accept);
    auto confirm = [](YumIODialogs& dialogs) {
        return dialogs.confirm(QStringLiteral("Apply"), QStringLiteral("Transaction to be performed:\n\tInstall: x"));
    };
    EXPECT_EQ(askFromWorker(&window, confirm), 1);
    answerer.setAnswer(DialogAnswerer::Reject);
    EXPECT_EQ(askFromWorker(&window, confirm), 0);
    answerer.setAnswer(DialogAnswerer::Close);
    EXPECT_EQ(askFromWorker(&window, confirm), 0);

    ASSERT_EQ(answerer.seen.size(), 3);
    EXPECT_EQ(answerer.seen[0].className.toStdString(), "ScrollableConfirmDialog");
    EXPECT_EQ(answerer.seen[0].title.toStdString(), "Apply");
    EXPECT_EQ(answerer.seen[0].text.toStdString(), "Transaction to be performed:\n\tInstall: x");
}

TEST(DialogRelay, MessageBoxesAnswerWithTheButtonNumber)
{
    QWidget window;
    DialogAnswerer answerer(DialogAnswerer::Accept);
    EXPECT_EQ(askFromWorker(&window, [](YumIODialogs& dialogs) {
        return dialogs.critical(QStringLiteral("KUV Yum Error"), QStringLiteral("broken"), QString(),
                                QString(), QString(), 0, -1);
    }), 0);
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_EQ(answerer.seen[0].buttons.size(), 1);
    EXPECT_EQ(answerer.seen[0].text.toStdString(), "broken");

    answerer.setAnswer(DialogAnswerer::Escape);
    EXPECT_EQ(askFromWorker(&window, [](YumIODialogs& dialogs) {
        return dialogs.warning(QStringLiteral("Group conflict"), QStringLiteral("which?"),
                               QStringLiteral("&Group"), QStringLiteral("&Package"),
                               QStringLiteral("&Cancel"), 2, 2);
    }), 2);
    ASSERT_EQ(answerer.seen.size(), 2);
    EXPECT_EQ(answerer.seen[1].buttons.size(), 3);
    EXPECT_EQ(answerer.seen[1].title.toStdString(), "Group conflict");
}

TEST(DialogRelay, InTheGuiThreadTheDialogRunsDirectly)
{
    QWidget window;
    DialogAnswerer answerer(DialogAnswerer::Accept);
    YumIODialogs dialogs(&window);
    // Answered inside the emission: waiting afterwards would never end.
    EXPECT_EQ(dialogs.confirm(QStringLiteral("Apply"), QStringLiteral("go?")), 1);
    dialogs.scrollable(QStringLiteral("KUV Yum Error"), QStringLiteral("long text"));
    answerer.setAnswer(DialogAnswerer::Reject);
    EXPECT_EQ(dialogs.confirm(QStringLiteral("Apply"), QStringLiteral("go?")), 0);
    ASSERT_EQ(answerer.seen.size(), 3);
    EXPECT_EQ(answerer.seen[1].className.toStdString(), "ScrollableErrorDialog");
    EXPECT_EQ(answerer.seen[1].text.toStdString(), "long text");
}

TEST_F(EngineTest, AWorkerOperationsRequesterAnswersAndIsRemovedAfterwards)
{
    makeEngine();
    YumIODialogs* longLived = YumIOTestAccess::dialogs(*io);
    ASSERT_NE(longLived, nullptr);
    DialogAnswerer answerer(DialogAnswerer::Accept);
    QPointer<YumIODialogsMinion> minion;
    bool ownRequester = false;
    int answer = -1;
    EXPECT_TRUE(runWorker(*io, [&] {
        YumIODialogsUser user(YumIOTestAccess::dialogs(*io), YumIOTestAccess::parent(*io));
        YumIODialogs* requester = YumIOTestAccess::dialogs(*io);
        ownRequester = requester != longLived && requester->thread() == QThread::currentThread();
        minion = YumIOTestAccess::minion(*requester);
        answer = requester->confirm(QStringLiteral("Apply"), QStringLiteral("install kuv-app?"));
        return true;
    }));
    EXPECT_TRUE(ownRequester);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(YumIOTestAccess::dialogs(*io), longLived);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(minion.isNull());
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_EQ(answerer.seen[0].text.toStdString(), "install kuv-app?");
}

TEST_F(EngineTest, AnErrorReportedFromAWorkerWithoutItsOwnRequesterStillReachesTheUser)
{
    makeEngine();
    DialogAnswerer answerer(DialogAnswerer::Accept);
    EXPECT_TRUE(runWorker(*io, [&] {
        io->error(QStringLiteral("reported from the worker"));
        return true;
    }));
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_EQ(answerer.seen[0].text.toStdString(), "reported from the worker");
    EXPECT_EQ(logLines(), QStringList({"3/0:reported from the worker"}));
}
