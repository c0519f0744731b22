// Repository browsing: which address of a configured section reaches the
// share directory's "webbrowser", byte for byte; the boxes for a section
// without one and for an identifier no section carries; and yum's variables
// filled in by a running engine, which browsing never waits for.
//
// The interpreter's header (through the engine's) comes before the C++
// library's.
#include "engine/yumio.h"
#include "engine/yumiothreads.h"

#include <atomic>
#include <functional>
#include <utility>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>

#include "common/browserrecorder.h"
#include "common/sandbox.h"
#include "engine/configroot.h"
#include "repos/entry.h"
#include "repos/repobrowse.h"
#include "tests/foundation/envguard.h"
#include "tests/repos/conftree.h"

// The engine's friend for tests; this executable's own.
class YumIOTestAccess
{
public:
    static bool execWorkThread(YumIO& io, QEventLoop& loop, QThread& thread)
    {
        return io.execWorkThread(loop, thread);
    }
};

namespace
{

class TestThread : public YumIOThread
{
public:
    TestThread(YumIO* io, QEventLoop* loop, std::function<bool()> work)
        : YumIOThread(io, loop), work(std::move(work))
    {
    }

protected:
    bool body() override { return work(); }

private:
    std::function<bool()> work;
};

class RepoBrowsing : public ConfIOTest
{
protected:
    BrowserRecorder browser;
};

TEST_F(RepoBrowsing, OpensTheFirstAddressInUtf8OrSaysThereIsNone)
{
    ASSERT_TRUE(browser.ok());
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/kuv.repo",
               "[two]\nbaseurl=file:///a\n  file:///b\nmirrorlist=http://mirrors.example.com/two\n"
               "[mirror]\nmirrorlist=http://mirrors.example.com/list?repo=kuv\n"
               "[intl]\nbaseurl=http://example.com/d\xc3\xa9p\xc3\xb4t/\xe4\xbb\x93\xe5\xba\x93/\n"
               "[none]\nname=No address\n");
    ASSERT_TRUE(conf.read(nullptr));
    // Base URLs of white space alone count as none.
    Repo::Entry blank;
    blank.id = "blank";
    blank.baseurl = " \n\t\n";
    blank.mirrorlist = "http://mirrors.example.com/blank";
    conf.entries << blank;
    // Typed in the editor and not saved: characters no byte stands for.
    Repo::Entry typed;
    typed.id = "typed";
    typed.baseurl = QString::fromUtf8("http://example.com/\xe4\xbb\x93\xe5\xba\x93/");
    conf.entries << typed;
    BoxWatcher boxes;

    RepoBrowse::browse(nullptr, QStringLiteral("two"), nullptr, &conf);
    EXPECT_EQ(browser.next(), QByteArray("file:///a"));
    RepoBrowse::browse(nullptr, QStringLiteral("mirror"), nullptr, &conf);
    EXPECT_EQ(browser.next(), QByteArray("http://mirrors.example.com/list?repo=kuv"));
    RepoBrowse::browse(nullptr, QStringLiteral("blank"), nullptr, &conf);
    EXPECT_EQ(browser.next(), QByteArray("http://mirrors.example.com/blank"));
    RepoBrowse::browse(nullptr, QStringLiteral("intl"), nullptr, &conf);
    EXPECT_EQ(browser.next(),
              QByteArray("http://example.com/d\xc3\xa9p\xc3\xb4t/\xe4\xbb\x93\xe5\xba\x93/"));
    RepoBrowse::browse(nullptr, QStringLiteral("typed"), nullptr, &conf);
    EXPECT_EQ(browser.next(), QByteArray("http://example.com/\xe4\xbb\x93\xe5\xba\x93/"));
    EXPECT_TRUE(boxes.boxes.isEmpty());

    RepoBrowse::browse(nullptr, QStringLiteral("none"), nullptr, &conf);
    RepoBrowse::browse(nullptr, QStringLiteral("gone"), nullptr, &conf);
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[0].title, "Error");
    EXPECT_EQ(boxes.boxes[0].text, "Repository configuration has no URL");
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.boxes[1].title, "Error");
    EXPECT_EQ(boxes.boxes[1].text, "No configured repository has the identifier \"gone\".");
    // Neither box started a browser: the next start is the next browse's.
    RepoBrowse::browse(nullptr, QStringLiteral("two"), nullptr, &conf);
    EXPECT_EQ(browser.next(), QByteArray("file:///a"));
    EXPECT_EQ(browser.count(), 6);
}

// Starts the interpreter, which cannot start again in this process: ctest
// runs each test in a process of its own.
TEST(RepoBrowsingWithEngine, FillsInTheEngineVariablesAndNeverWaitsForItsLock)
{
    BrowserRecorder browser;
    ASSERT_TRUE(browser.ok());
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    ASSERT_TRUE(QDir().mkpath(sandbox.root() + "/etc/yum/vars"));
    QFile releasever(sandbox.root() + "/etc/yum/vars/releasever");
    ASSERT_TRUE(releasever.open(QIODevice::WriteOnly));
    releasever.write("kuv-\xc3\xa9t\xc3\xa9\n");
    releasever.close();
    EnvGuard home("HOME");
    qputenv("HOME", sandbox.home().toUtf8());
    ConfigRoot::setRoot(sandbox.root());
    auto io = std::make_unique<YumIO>();
    ASSERT_TRUE(io->initialize());
    const QString basearch = io->getYumVar("basearch");
    const QString arch = io->getYumVar("arch");
    ASSERT_FALSE(basearch.isEmpty());
    ASSERT_FALSE(arch.isEmpty());

    // As read from a file: its UTF-8 bytes one per character.
    Repo::Entry entry;
    entry.id = "vars";
    entry.baseurl =
        QString::fromLatin1("file:///srv/d\xc3\xa9p\xc3\xb4t/$releasever/$basearch/$arch/");
    RepoBrowse::browse(nullptr, entry, io.get());
    EXPECT_EQ(browser.next(), "file:///srv/d\xc3\xa9p\xc3\xb4t/kuv-\xc3\xa9t\xc3\xa9/"
                                  + (basearch + "/" + arch + "/").toUtf8());

    // A worker holds the interpreter lock and waits for the GUI thread,
    // which browses meanwhile: the engine cannot be asked then, and the
    // variables stay as written rather than the program hanging.
    std::atomic<bool> browsed{false};
    QEventLoop loop;
    TestThread worker(io.get(), &loop, [&] {
        Python::PyGILStateWrapper guard(true);
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                RepoBrowse::browse(nullptr, entry, io.get());
                browsed = true;
            },
            Qt::QueuedConnection);
        QElapsedTimer waited;
        waited.start();
        while (!browsed && waited.elapsed() < 5000)
            QThread::msleep(10);
        return browsed.load();
    });
    ASSERT_TRUE(YumIOTestAccess::execWorkThread(*io, loop, worker));
    EXPECT_TRUE(worker.result) << "browsing waited for the worker's interpreter lock";
    EXPECT_EQ(browser.next(),
              QByteArray("file:///srv/d\xc3\xa9p\xc3\xb4t/$releasever/$basearch/$arch/"));

    io->clearEntriesBeforeQuit();
    io.reset();
    ConfigRoot::setRoot(QString());
}

}
