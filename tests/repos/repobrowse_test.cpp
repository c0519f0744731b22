// Repository browsing: which address of a configured section reaches the
// share directory's "webbrowser", byte for byte; the boxes for a section
// without one and for an unknown identifier; yum's variables filled in by a
// running engine, which browsing never waits for.
//
// The interpreter's header (through the engine's) comes before the C++
// library's.
#include "engine/yumio.h"

#include <atomic>
#include <memory>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
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

class RepoBrowsing : public ConfIOTest
{
protected:
    // Browses the section with this identifier, with no engine.
    void browse(const char* id) { RepoBrowse::browse(nullptr, QString(id), nullptr, &conf); }

    BrowserRecorder browser;
};

TEST_F(RepoBrowsing, OpensTheFirstAddressAsTheFileHoldsItOrSaysThereIsNone)
{
    ASSERT_TRUE(browser.ok());
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/kuv.repo",
               "[two]\nbaseurl=file:///a\n  file:///b\nmirrorlist=http://mirrors.example.com/two\n"
               "[mirror]\nmirrorlist=http://mirrors.example.com/list?repo=kuv\n"
               "[intl]\nbaseurl=http://example.com/d\xc3\xa9p\xc3\xb4t/\xe4\xbb\x93\xe5\xba\x93/\n"
               "[none]\nname=No address\n");
    ASSERT_TRUE(conf.read(nullptr));
    ASSERT_EQ(conf.entries.size(), 4);
    // Made in the editor and not saved: base URLs of white space alone, and
    // characters no byte stands for.
    conf.entries << Repo::Entry() << Repo::Entry();
    conf.entries[4].id = "blank";
    conf.entries[4].baseurl = " \n\t\n";
    conf.entries[4].mirrorlist = "http://mirrors.example.com/blank";
    conf.entries[5].id = "typed";
    conf.entries[5].baseurl = QString::fromUtf8("http://example.com/\xe4\xbb\x93/");
    BoxWatcher boxes;

    const QList<QPair<const char*, QByteArray>> opened{
        {"two", "file:///a"},
        {"mirror", "http://mirrors.example.com/list?repo=kuv"},
        {"blank", "http://mirrors.example.com/blank"},
        {"intl", "http://example.com/d\xc3\xa9p\xc3\xb4t/\xe4\xbb\x93\xe5\xba\x93/"},
        {"typed", "http://example.com/\xe4\xbb\x93/"},
    };
    for (const auto& c : opened) {
        browse(c.first);
        EXPECT_EQ(browser.next(), c.second) << c.first;
    }
    EXPECT_TRUE(boxes.boxes.isEmpty());

    browse("none");
    browse("gone");
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[0].title + ": " + boxes.boxes[0].text,
              "Error: Repository configuration has no URL");
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.boxes[1].title + ": " + boxes.boxes[1].text,
              "Error: No configured repository has the identifier \"gone\".");
    // Neither box started a browser: the next start is the next browse's.
    browse("two");
    EXPECT_EQ(browser.next(), QByteArray("file:///a"));
    EXPECT_EQ(browser.count(), 6);
}

// Starts the interpreter, which cannot start again in this process: ctest
// runs each test in a process of its own.
TEST(RepoBrowsingWithEngine, FillsInTheEngineVariablesAndNeverWaitsForItsLock)
{
    BrowserRecorder browser;
    TestSandbox sandbox;
    ASSERT_TRUE(browser.ok() && sandbox.ok());
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
    const QByteArray archs = (io->getYumVar("basearch") + "/" + io->getYumVar("arch")).toUtf8();
    ASSERT_GT(archs.size(), 3);

    // As read from a file: its UTF-8 bytes, one per character.
    Repo::Entry entry;
    entry.baseurl = QString::fromLatin1("file:///d\xc3\xa9p\xc3\xb4t/$releasever/$basearch/$arch");
    RepoBrowse::browse(nullptr, entry, io.get());
    EXPECT_EQ(browser.next(), "file:///d\xc3\xa9p\xc3\xb4t/kuv-\xc3\xa9t\xc3\xa9/" + archs);

    // A worker holds the interpreter lock and waits for the GUI thread,
    // which browses meanwhile: the variables stay as written.
    std::atomic<bool> browsed{false};
    bool browsedWhileHeld = false;
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        Python::PyGILStateWrapper guard(true);
        QMetaObject::invokeMethod(
            qApp, [&] { RepoBrowse::browse(nullptr, entry, io.get()); browsed = true; },
            Qt::QueuedConnection);
        QElapsedTimer waited;
        waited.start();
        while (!browsed && waited.elapsed() < 5000)
            QThread::msleep(10);
        browsedWhileHeld = browsed;
    }));
    ASSERT_TRUE(YumIOTestAccess::execWorkThread(*io, loop, *worker));
    EXPECT_TRUE(browsedWhileHeld) << "browsing waited for the worker's interpreter lock";
    EXPECT_EQ(browser.next(),
              QByteArray("file:///d\xc3\xa9p\xc3\xb4t/$releasever/$basearch/$arch"));

    io->clearEntriesBeforeQuit();
    io.reset();
    ConfigRoot::setRoot(QString());
}

}
