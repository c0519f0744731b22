// The credential check over real configuration files: which repositories
// are asked about, how answers are reused for later repositories, what is
// written and what is left alone, and in a full sandbox that typed
// credentials reach the file encoded and never the program's output, and
// that credentials beyond ASCII open the repository through dnf.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "common/sandbox.h"
#include "engine/configroot.h"
#include "repos/kivrel.h"
#include "repos/repoauthchecker.h"
#include "repos/repoauthdialog.h"
#include "repos/yumconfio.h"
#include "tests/repos/conftree.h"

using RepoAuth::Checker;

namespace
{

// One scripted answer to a question of the check.
struct Reply
{
    enum Way { Click, Escape, Close };

    static Reply click(const QString& button, const QString& user = {},
                       const QString& password = {})
    {
        return {Click, button, user, password};
    }
    static Reply escape() { return {Escape, {}, {}, {}}; }
    static Reply close() { return {Close, {}, {}, {}}; }

    Way way;
    QString button;
    QString user;
    QString password;
};

// Answers the credential dialog's questions from a script while it lives,
// and records what each question showed. A question beyond the script
// fails the test and is answered with "Skip All", so nothing hangs.
class Answerer : public QObject
{
public:
    explicit Answerer(QList<Reply> replies)
        : replies(std::move(replies))
    {
        connect(&timer, &QTimer::timeout, this, &Answerer::poll);
        timer.start(10);
    }

    ~Answerer() override
    {
        EXPECT_TRUE(replies.isEmpty()) << replies.size() << " scripted answers were not used";
    }

    // The identifier shown by each question.
    QStringList asked;
    // The URL and mirror list labels of each question, before and after
    // typing.
    QStringList shownUrls;
    // Whether the application had no override cursor during every question.
    bool normalCursor = true;

private:
    static QPushButton* button(QWidget* dialog, const QString& text)
    {
        for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
            if (b->text() == text)
                return b;
        }
        ADD_FAILURE() << "no button " << text.toStdString();
        return nullptr;
    }

    // Key by key where QTest can send the characters (ASCII), else as an
    // input method commits text.
    static void type(QLineEdit* edit, const QString& text)
    {
        if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
            QTest::keyClicks(edit, text);
            return;
        }
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(edit, &event);
    }

    void poll()
    {
        auto* dialog = qobject_cast<RepoAuth::Dialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        QPushButton* skip = button(dialog, "Skip All");
        if (!skip || !skip->isEnabled())
            return;

        auto* urls = dialog->findChild<QLabel*>("urlsValue");
        auto* mirror = dialog->findChild<QLabel*>("mirrorlistValue");
        asked << dialog->findChild<QLabel*>("idValue")->text();
        shownUrls << urls->text() << mirror->text();
        normalCursor = normalCursor && QApplication::overrideCursor() == nullptr;
        if (replies.isEmpty()) {
            ADD_FAILURE() << "unexpected question about " << asked.last().toStdString();
            skip->click();
            return;
        }
        const Reply reply = replies.takeFirst();
        type(dialog->findChild<QLineEdit*>("userEdit"), reply.user);
        type(dialog->findChild<QLineEdit*>("passwordEdit"), reply.password);
        shownUrls << urls->text() << mirror->text();
        switch (reply.way) {
        case Reply::Click:
            if (QPushButton* b = button(dialog, reply.button))
                QTest::mouseClick(b, Qt::LeftButton);
            else
                skip->click();
            break;
        case Reply::Escape:
            QTest::keyClick(dialog, Qt::Key_Escape);
            break;
        case Reply::Close:
            dialog->close();
            break;
        }
    }

    QList<Reply> replies;
    QTimer timer;
};

QString kivrel(const QString& host, const QString& path, const QString& user = {},
               const QString& password = {})
{
    return "http://" + host + "/kivrel?user=" + Repo::Kivrel::percentEncode(user)
           + "&password=" + Repo::Kivrel::percentEncode(password) + "&path=" + path;
}

QString section(const QString& id, const QString& baseurl, const QString& extra = {})
{
    QString text = "[" + id + "]\nname=Repository " + id + "\n";
    if (!baseurl.isEmpty())
        text += "baseurl=" + baseurl + "\n";
    return text + extra;
}

struct Credentials
{
    bool found = false;
    QString user;
    QString password;
};

// Hands the busy cursor that the check leaves behind back, so tests do not
// see each other's.
void clearOverrideCursors()
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

class RepoAuthCheckerTest : public ConfIOTest
{
protected:
    ~RepoAuthCheckerTest() override { clearOverrideCursors(); }

    void writeRepo(const QString& name, const QString& text)
    {
        tree.write("etc/yum.repos.d/" + name, text.toLatin1());
    }

    QByteArray repoFile(const QString& name) const
    {
        return tree.read("etc/yum.repos.d/" + name);
    }

    // Runs the check with the scripted answers; error boxes are answered
    // and recorded in `boxes`.
    void check(QList<Reply> replies)
    {
        BoxWatcher watcher;
        {
            Answerer answerer(std::move(replies));
            Checker checker(nullptr, &conf);
            quit = checker.quit;
            changed = checker.changed;
            dialogMade = checker.dialog != nullptr;
            asked = answerer.asked;
            shownUrls = answerer.shownUrls;
            normalCursor = answerer.normalCursor;
        }
        boxes = watcher.boxes;
    }

    // The credentials of a repository as a fresh read of the files gives
    // them.
    Credentials stored(const QString& id) const
    {
        QList<YumRepoEnabled> noOptions;
        QHash<QString, bool> freshUsed;
        YumConfIO fresh(noOptions, freshUsed);
        Credentials result;
        if (!fresh.read(nullptr)) {
            ADD_FAILURE() << "the configuration cannot be read again";
            return result;
        }
        for (const Repo::Entry& e : fresh.entries) {
            if (e.id == id) {
                QString key1, key2;
                result.found = Repo::Kivrel::getAuth(e, key1, result.user, key2, result.password);
                return result;
            }
        }
        ADD_FAILURE() << "no repository " << id.toStdString() << " in the files";
        return result;
    }

    bool quit = false;
    bool changed = false;
    bool dialogMade = false;
    QStringList asked;
    QStringList shownUrls;
    bool normalCursor = false;
    QList<BoxWatcher::Box> boxes;
};

void setUpConf(ConfTree& tree)
{
    tree.write("etc/yum.conf", "[main]\ngpgcheck=0\n");
}

}

TEST_F(RepoAuthCheckerTest, AsksNothingWhenNoRepositoryInUseHasAnEmptySegment)
{
    setUpConf(tree);
    writeRepo("a.repo", section("plain", "file:///srv/plain") + "\n"
                            + section("user-only", kivrel("h", "r", "bob")) + "\n"
                            + section("password-only", kivrel("h", "r", "", "pw")) + "\n"
                            + section("not-in-use", kivrel("h", "r"), "enabled=0\n"));
    const auto before = tree.snapshot();

    check({});

    EXPECT_TRUE(asked.isEmpty());
    EXPECT_FALSE(dialogMade);
    EXPECT_FALSE(quit);
    EXPECT_FALSE(changed);
    EXPECT_EQ(tree.snapshot(), before);
    EXPECT_TRUE(boxes.isEmpty());
    // The check read the configuration: every repository has its flag.
    EXPECT_EQ(used.value("plain"), true);
    EXPECT_EQ(used.value("not-in-use"), false);
}

TEST_F(RepoAuthCheckerTest, ApplyToAllAsksOnceAndWritesEveryLaterRepository)
{
    setUpConf(tree);
    writeRepo("a.repo", section("r1", kivrel("one", "a")) + "\n" + section("r2", kivrel("two", "b")));
    writeRepo("b.repo", section("r3", kivrel("three", "c")));

    check({Reply::click("Apply to All", "all user", "all&pw")});

    EXPECT_EQ(asked, QStringList{"r1"});
    EXPECT_FALSE(quit);
    EXPECT_TRUE(changed);
    EXPECT_TRUE(boxes.isEmpty());
    for (const QString id : {"r1", "r2", "r3"}) {
        const Credentials c = stored(id);
        EXPECT_TRUE(c.found) << id.toStdString();
        EXPECT_EQ(c.user, "all user") << id.toStdString();
        EXPECT_EQ(c.password, "all&pw") << id.toStdString();
    }
    EXPECT_TRUE(repoFile("b.repo").contains("/kivrel?user=all%20user&password=all%26pw&path=c"));
}

TEST_F(RepoAuthCheckerTest, ApplyToHostReusesTheAnswerOnlyForThatHost)
{
    setUpConf(tree);
    writeRepo("a.repo", section("a1", kivrel("host-a", "1")) + "\n"
                            + section("b1", kivrel("host-b", "1")) + "\n"
                            + section("a2", kivrel("host-a", "2")) + "\n"
                            + section("b2", kivrel("host-b", "2")));

    check({Reply::click("Apply to All with this Host", "ua", "pa"),
           Reply::click("OK", "ub", "pb"), Reply::click("Skip All")});

    EXPECT_EQ(asked, (QStringList{"a1", "b1", "b2"}));
    EXPECT_TRUE(changed);
    const Credentials a2 = stored("a2");
    EXPECT_EQ(a2.user, "ua");
    EXPECT_EQ(a2.password, "pa");
    EXPECT_EQ(stored("b1").user, "ub");
    // OK answers this repository only.
    const Credentials b2 = stored("b2");
    EXPECT_TRUE(b2.found);
    EXPECT_EQ(b2.user, "");
    EXPECT_EQ(b2.password, "");
}

TEST_F(RepoAuthCheckerTest, TakesTheHostFromTheMirrorListWhenThereAreNoBaseUrls)
{
    setUpConf(tree);
    writeRepo("m.repo", section("m1", "", "mirrorlist=" + kivrel("mirror-host", "list") + "\n")
                            + "\n" + section("m2", kivrel("mirror-host", "repo")));

    check({Reply::click("Apply to All with this Host", "mu", "mp")});

    EXPECT_EQ(asked, QStringList{"m1"});
    EXPECT_TRUE(changed);
    for (const QString id : {"m1", "m2"}) {
        const Credentials c = stored(id);
        EXPECT_EQ(c.user, "mu") << id.toStdString();
        EXPECT_EQ(c.password, "mp") << id.toStdString();
    }
    EXPECT_TRUE(repoFile("m.repo").contains(
        "mirrorlist=http://mirror-host/kivrel?user=mu&password=mp&path=list\n"));
}

TEST_F(RepoAuthCheckerTest, ReusedCredentialsKeepEachUrlsKeyNames)
{
    setUpConf(tree);
    writeRepo("k.repo", section("k1", "http://h/kivrel?login=&secret=&path=1") + "\n"
                            + section("k2", "http://h/kivrel?name=&pass=&path=2",
                                      "mirrorlist=http://h/kivrel?u=&p=&path=list\n"));

    check({Reply::click("Apply to All", "x", "y")});

    EXPECT_EQ(entry("k1")->baseurl, "http://h/kivrel?login=x&secret=y&path=1");
    EXPECT_EQ(entry("k2")->baseurl, "http://h/kivrel?name=x&pass=y&path=2");
    EXPECT_EQ(entry("k2")->mirrorlist, "http://h/kivrel?u=x&p=y&path=list");
    EXPECT_TRUE(repoFile("k.repo").contains("baseurl=http://h/kivrel?name=x&pass=y&path=2\n"));
}

TEST_F(RepoAuthCheckerTest, DisableForSessionClearsTheFlagInMemoryOnly)
{
    setUpConf(tree);
    writeRepo("d.repo", section("d1", kivrel("h", "1"), "enabled=1\n") + "\n"
                            + section("d2", kivrel("h", "2")));
    const auto before = tree.snapshot();

    check({Reply::click("Disable for Session"), Reply::click("OK")});

    EXPECT_EQ(asked, (QStringList{"d1", "d2"}));
    EXPECT_EQ(used.value("d1", true), false);
    EXPECT_EQ(used.value("d2"), true);
    EXPECT_FALSE(changed);
    EXPECT_EQ(tree.snapshot(), before);
}

TEST_F(RepoAuthCheckerTest, DisabledRepositoryKeepsItsEnabledKeyWhenOthersAreWritten)
{
    setUpConf(tree);
    writeRepo("d.repo", section("d1", kivrel("h", "1"), "enabled=1\n") + "\n"
                            + section("d2", kivrel("h", "2")));

    check({Reply::click("Disable for Session"), Reply::click("OK", "u", "p")});

    EXPECT_TRUE(changed);
    EXPECT_EQ(used.value("d1", true), false);
    EXPECT_TRUE(repoFile("d.repo").startsWith("[d1]\nname=Repository d1\nbaseurl="
                                              + kivrel("h", "1").toLatin1() + "\nenabled=1\n"));
    EXPECT_EQ(stored("d2").password, "p");
}

TEST_F(RepoAuthCheckerTest, OkWithBothFieldsEmptyWritesNothing)
{
    setUpConf(tree);
    writeRepo("e.repo", section("e1", kivrel("h", "1")) + "\n" + section("e2", kivrel("g", "2")));
    const auto before = tree.snapshot();

    check({Reply::click("OK"), Reply::click("Apply to All")});

    EXPECT_EQ(asked, (QStringList{"e1", "e2"}));
    EXPECT_FALSE(changed);
    EXPECT_EQ(tree.snapshot(), before);
}

TEST_F(RepoAuthCheckerTest, EscapeAndClosingTheWindowSkipTheRest)
{
    for (const Reply& reply : {Reply::escape(), Reply::close()}) {
        SCOPED_TRACE(reply.way == Reply::Escape ? "Escape" : "close");
        setUpConf(tree);
        writeRepo("s.repo", section("s1", kivrel("h", "1")) + "\n" + section("s2", kivrel("g", "2")));
        const auto before = tree.snapshot();

        Reply typed = reply;
        typed.user = "typed";
        typed.password = "not taken";
        check({typed});

        EXPECT_EQ(asked, QStringList{"s1"});
        EXPECT_FALSE(quit);
        EXPECT_FALSE(changed);
        EXPECT_EQ(tree.snapshot(), before);
    }
}

TEST_F(RepoAuthCheckerTest, SkipAllKeepsTheCredentialsAnsweredBefore)
{
    setUpConf(tree);
    writeRepo("s.repo", section("s1", kivrel("h", "1")) + "\n" + section("s2", kivrel("g", "2"))
                            + "\n" + section("s3", kivrel("f", "3")));

    check({Reply::click("OK", "first", "secret1"), Reply::click("Skip All")});

    EXPECT_EQ(asked, (QStringList{"s1", "s2"}));
    EXPECT_FALSE(quit);
    EXPECT_TRUE(changed);
    EXPECT_EQ(stored("s1").password, "secret1");
    EXPECT_EQ(stored("s2").password, "");
    EXPECT_EQ(stored("s3").password, "");
}

TEST_F(RepoAuthCheckerTest, QuitWithoutEnteredCredentialsWritesNothing)
{
    setUpConf(tree);
    writeRepo("q.repo", section("q1", kivrel("h", "1")) + "\n" + section("q2", kivrel("g", "2")));
    const auto before = tree.snapshot();

    check({Reply::click("Quit", "typed", "not taken")});

    EXPECT_EQ(asked, QStringList{"q1"});
    EXPECT_TRUE(quit);
    EXPECT_FALSE(changed);
    EXPECT_EQ(tree.snapshot(), before);
}

TEST_F(RepoAuthCheckerTest, QuitAfterEnteredCredentialsStillWritesThem)
{
    setUpConf(tree);
    writeRepo("q.repo", section("q1", kivrel("h", "1")) + "\n" + section("q2", kivrel("g", "2"))
                            + "\n" + section("q3", kivrel("f", "3")));

    check({Reply::click("OK", "early", "kept"), Reply::click("Quit", "late", "dropped")});

    EXPECT_EQ(asked, (QStringList{"q1", "q2"}));
    EXPECT_TRUE(quit);
    EXPECT_TRUE(changed);
    EXPECT_EQ(stored("q1").user, "early");
    EXPECT_EQ(stored("q1").password, "kept");
    EXPECT_EQ(stored("q2").password, "");
    EXPECT_FALSE(repoFile("q.repo").contains("dropped"));
}

TEST_F(RepoAuthCheckerTest, DialogGivesANormalCursorAndTheBusyOneComesBackAfterwards)
{
    setUpConf(tree);
    writeRepo("c.repo", section("c1", kivrel("h", "1")) + "\n" + section("c2", kivrel("g", "2")));
    // The main window runs the check while busy.
    QApplication::setOverrideCursor(Qt::BusyCursor);

    check({Reply::click("OK"), Reply::click("OK")});

    EXPECT_EQ(asked.size(), 2);
    EXPECT_TRUE(normalCursor);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(RepoAuthCheckerTest, NoPasswordShowsInTheDialogWhileTyping)
{
    setUpConf(tree);
    // A second URL line already holds a password of its own.
    writeRepo("p.repo", section("p1", kivrel("h", "1") + "\n  " + kivrel("g", "2", "old", "oldsecret"),
                                "mirrorlist=" + kivrel("h", "list", "m", "mirrorsecret") + "\n"));

    check({Reply::click("OK", "new", "newsecret")});

    ASSERT_EQ(shownUrls.size(), 4);
    for (const QString& text : shownUrls) {
        EXPECT_FALSE(text.contains("oldsecret")) << text.toStdString();
        EXPECT_FALSE(text.contains("mirrorsecret")) << text.toStdString();
        EXPECT_FALSE(text.contains("newsecret")) << text.toStdString();
    }
    EXPECT_TRUE(shownUrls[2].contains("user=new&password="));
    // OK puts the answer into every segment of the entry.
    EXPECT_EQ(stored("p1").password, "newsecret");
    EXPECT_TRUE(repoFile("p.repo").contains(kivrel("g", "2", "new", "newsecret").toLatin1()));
    EXPECT_TRUE(repoFile("p.repo").contains(kivrel("h", "list", "new", "newsecret").toLatin1()));
}

TEST_F(RepoAuthCheckerTest, FailedWriteStillCountsAsChangedAndLeavesTheFileAlone)
{
    setUpConf(tree);
    writeRepo("w.repo", section("w1", kivrel("h", "1")));
    if (!tree.setImmutable("etc/yum.repos.d/w.repo", true))
        GTEST_SKIP() << "the file system has no immutable files";
    const QByteArray before = repoFile("w.repo");

    check({Reply::click("OK", "u", "p")});
    tree.setImmutable("etc/yum.repos.d/w.repo", false);

    EXPECT_TRUE(changed);
    EXPECT_FALSE(quit);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].title, "KUV Repository Editor Error");
    EXPECT_FALSE(boxes[0].text.contains("p&path")) << boxes[0].text.toStdString();
    EXPECT_EQ(repoFile("w.repo"), before);
    // The answer stays in memory.
    EXPECT_EQ(entry("w1")->baseurl, kivrel("h", "1", "u", "p"));
}

// A file that comes to hold a password is no longer readable by group and
// others, whatever its mode was; its owner keeps reading and writing it.
TEST_F(RepoAuthCheckerTest, RewrittenFileBecomesPrivateWhenAPasswordArrives)
{
    setUpConf(tree);
    writeRepo("o.repo", section("o1", kivrel("h", "1")));
    const QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                          | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(tree.path("etc/yum.repos.d/o.repo"), mode));

    check({Reply::click("OK", "u", "p")});

    ASSERT_EQ(stored("o1").password, "p");
    const QFileDevice::Permissions after = QFile::permissions(tree.path("etc/yum.repos.d/o.repo"));
    EXPECT_EQ(after & 0x00ff, 0);
    EXPECT_EQ(after & 0xf000, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

namespace
{

// Sends standard output and standard error, at the descriptor level, into
// a temporary file for as long as it runs, so that anything any layer
// prints is seen.
class OutputCapture
{
public:
    OutputCapture()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        char name[] = "/tmp/kuv-output-XXXXXX";
        file = ::mkstemp(name);
        if (file < 0) {
            ADD_FAILURE() << "no temporary file for the output";
            return;
        }
        ::unlink(name);
        savedOut = ::dup(1);
        savedErr = ::dup(2);
        ::dup2(file, 1);
        ::dup2(file, 2);
    }

    ~OutputCapture() { stop(); }

    QByteArray stop()
    {
        if (file < 0)
            return captured;
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(savedOut, 1);
        ::dup2(savedErr, 2);
        ::close(savedOut);
        ::close(savedErr);
        ::lseek(file, 0, SEEK_SET);
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(file, buffer, sizeof buffer)) > 0)
            captured.append(buffer, int(n));
        ::close(file);
        file = -1;
        return captured;
    }

private:
    int file = -1;
    int savedOut = -1;
    int savedErr = -1;
    QByteArray captured;
};

}

TEST(RepoAuthCheckerSandbox, StoresTypedCredentialsEncodedAndPrintsNoPassword)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    const QString user = "a&b c/d%e";
    const QString password = "p%w&x y/z";
    struct RootGuard
    {
        ~RootGuard() { ConfigRoot::setRoot(previous); }
        QString previous = ConfigRoot::root();
    } rootGuard;
    ConfigRoot::setRoot(sandbox.root());

    QList<YumRepoEnabled> options;
    QHash<QString, bool> used;
    YumConfIO conf(options, used);
    bool quit = true;
    bool changed = false;
    QStringList asked;
    QStringList shownUrls;
    QByteArray output;
    QList<BoxWatcher::Box> boxes;
    {
        BoxWatcher watcher;
        Answerer answerer({Reply::click("OK", user, password)});
        OutputCapture capture;
        {
            Checker checker(nullptr, &conf);
            quit = checker.quit;
            changed = checker.changed;
        }
        output = capture.stop();
        asked = answerer.asked;
        shownUrls = answerer.shownUrls;
        boxes = watcher.boxes;
    }
    clearOverrideCursors();

    EXPECT_EQ(asked, QStringList{TestSandbox::kivrelRepoId()});
    EXPECT_FALSE(quit);
    EXPECT_TRUE(changed);
    EXPECT_TRUE(boxes.isEmpty());
    const QString encodedPassword = "p%25w%26x%20y%2fz";
    for (const QByteArray& secret : {password.toUtf8(), encodedPassword.toUtf8()})
        EXPECT_FALSE(output.contains(secret)) << output.toStdString();
    for (const QString& text : shownUrls)
        EXPECT_FALSE(text.contains(password) || text.contains(encodedPassword)) << text.toStdString();

    // A fresh read gives the credentials back exactly.
    QList<YumRepoEnabled> noOptions;
    QHash<QString, bool> freshUsed;
    YumConfIO fresh(noOptions, freshUsed);
    ASSERT_TRUE(fresh.read(nullptr));
    bool found = false;
    for (const Repo::Entry& e : fresh.entries) {
        if (e.id != TestSandbox::kivrelRepoId())
            continue;
        found = true;
        QString key1, storedUser, key2, storedPassword;
        ASSERT_TRUE(Repo::Kivrel::getAuth(e, key1, storedUser, key2, storedPassword));
        EXPECT_EQ(key1, "user");
        EXPECT_EQ(key2, "password");
        EXPECT_EQ(storedUser, user);
        EXPECT_EQ(storedPassword, password);
    }
    EXPECT_TRUE(found);

    QFile repo(sandbox.kivrelRepoFile());
    ASSERT_TRUE(repo.open(QIODevice::ReadOnly));
    const QByteArray text = repo.readAll();
    EXPECT_TRUE(text.contains("/kivrel?user=a%26b%20c%2fd%25e&password=" + encodedPassword.toUtf8()
                              + "&path=remote"))
        << text.toStdString();
    EXPECT_FALSE(text.contains(password.toUtf8()));
}

namespace
{

// Loads the sandbox's kivrel repository alone through the yum layer and dnf
// in a process of its own, with an empty cache so that the server is asked;
// gives the available packages, one a line, or what went wrong.
QString availableFromKivrel(const TestSandbox& sandbox)
{
    QDir(sandbox.cacheDir()).removeRecursively();
    QDir().mkpath(sandbox.cacheDir());
    QProcessEnvironment env = sandbox.environment();
    env.insert("PYTHONPATH", TestSandbox::sourceDir() + "/tests/share");
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start("/usr/bin/python3",
                  {"-c", QString("import layertest\n"
                                 "layertest.useConfigRoot('%1')\n"
                                 "y = layertest.newYumIO()\n"
                                 "y.repos.disableRepo('kuv-main')\n"
                                 "y.setupRepos()\n"
                                 "for p in sorted(str(p) for p in y.sack.query().available()):\n"
                                 "    print(p)\n")
                             .arg(sandbox.root())});
    const bool finished = process.waitForFinished(120000);
    if (!finished)
        process.kill();
    const QString output = QString::fromUtf8(process.readAll());
    const bool ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return ok ? output : "failed:\n" + output;
}

}

// The whole road of a credential beyond ASCII: typed into the dialog, stored
// in the file, read by dnf, and accepted by the server in its UTF-8 form.
TEST(RepoAuthCheckerSandbox, CredentialsBeyondAsciiOpenTheRepositoryThroughDnf)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    struct RootGuard
    {
        ~RootGuard() { ConfigRoot::setRoot(previous); }
        QString previous = ConfigRoot::root();
    } rootGuard;
    ConfigRoot::setRoot(sandbox.root());
    const QString user = QString::fromUtf8("J\u00f6rg");

    for (const char* typed : {"caf\u00e9", "\u043f\u0430\u0440\u043e\u043b\u044c", "\u5bc6\u7801"}) {
        SCOPED_TRACE(typed);
        const QString password = QString::fromUtf8(typed);
        ASSERT_TRUE(sandbox.setKivrelServerCredentials(user, password));
        ASSERT_TRUE(sandbox.startKivrelServer());
        // An empty segment, so that the check asks.
        ASSERT_TRUE(sandbox.fillKivrelCredentials(QString(), QString()));
        QList<YumRepoEnabled> options;
        QHash<QString, bool> used;
        YumConfIO conf(options, used);
        {
            BoxWatcher watcher;
            Answerer answerer({Reply::click("OK", user, password)});
            EXPECT_TRUE(Checker(nullptr, &conf).changed);
            EXPECT_EQ(answerer.asked, QStringList{TestSandbox::kivrelRepoId()});
            EXPECT_TRUE(watcher.boxes.isEmpty());
        }
        clearOverrideCursors();

        QFile repo(sandbox.kivrelRepoFile());
        ASSERT_TRUE(repo.open(QIODevice::ReadOnly));
        const QByteArray text = repo.readAll();
        EXPECT_TRUE(text.contains("/kivrel?user=J%c3%b6rg&password="
                                  + Repo::Kivrel::percentEncode(password).toLatin1() + "&path="))
            << text.toStdString();
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; }))
            << text.toStdString();
        EXPECT_EQ(availableFromKivrel(sandbox),
                  "kuv-remote-1.0-1.noarch\nkuv-verbose-1.0-1.noarch\n");
    }
}
