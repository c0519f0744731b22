// Reading yum's configuration: entries, [main] defaults, failures, and the
// session flags with the command-line patterns.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QSignalSpy>

#include "engine/configroot.h"
#include "repos/yumconfio.h"
#include "tests/repos/conftree.h"

using Repo::Entry;

class ConfRead : public ConfIOTest
{
};

TEST_F(ConfRead, MainTextDefaultsAndSectionsInYumConf)
{
    tree.write("etc/yum.conf", "# top\n[main]\ncachedir = /var/cache/x\nenabled=0\ngpgcheck: yes\n"
                               "keepcache=0\n  continued\n\n[inconf]\nname=Here\nbaseurl=file:///i");
    QSignalSpy changed(&conf, &YumConfIO::changed);
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(conf.readComplete());
    EXPECT_EQ(conf.mainText, "# top\n[main]\ncachedir = /var/cache/x\nenabled=0\ngpgcheck: yes\n"
                             "keepcache=0\n  continued\n\n");
    EXPECT_EQ(conf.cachedir, "/var/cache/x");
    EXPECT_FALSE(conf.enabledDefault);
    EXPECT_TRUE(conf.gpgcheckDefault);
    ASSERT_EQ(ids(), QStringList{"inconf"});
    EXPECT_EQ(entry("inconf")->file, YumConfIO::fileName());
    EXPECT_EQ(entry("inconf")->baseurl, "file:///i");
    // New section without an enabled key: the [main] default decides.
    EXPECT_FALSE(used.value("inconf", true));
}

TEST_F(ConfRead, DefaultsWhenYumConfSetsNothing)
{
    tree.write("etc/yum.conf", "[main]\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(conf.cachedir, "/var/cache/yum");
    EXPECT_TRUE(conf.enabledDefault);
    EXPECT_FALSE(conf.gpgcheckDefault);
    EXPECT_EQ(conf.reposdirs.size(), ConfigRoot::defaultRepoDirs().size());
    EXPECT_EQ(conf.reposdirs.first(), ConfigRoot::defaultRepoDirs().first());
}

TEST_F(ConfRead, SectionFieldsAndPositions)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo",
               "[first]\nname=First one\nbaseurl=http://m/a http://m/b\n\thttp://m/c\n"
               "mirrorlist: http://list\ngpgkey=file:///k\n# note\n\n"
               "[ second ]\nbaseurl=\n   http://up/\n");
    tree.write("etc/yum.repos.d/b.repo", "[third]\n");
    ASSERT_TRUE(conf.read(nullptr));
    ASSERT_EQ(ids(), (QStringList{"first", " second ", "third"}));

    const Entry* first = entry("first");
    EXPECT_EQ(first->name, "First one");
    EXPECT_EQ(first->baseurl, "http://m/a\nhttp://m/b\nhttp://m/c");
    EXPECT_EQ(first->mirrorlist, "http://list");
    EXPECT_EQ(first->other, "gpgkey=file:///k\n# note\n");
    EXPECT_EQ(first->enabled, Entry::Default);
    EXPECT_EQ(first->gpgcheck, Entry::Default);
    EXPECT_EQ(first->file, tree.path("etc/yum.repos.d/a.repo"));
    EXPECT_EQ(first->sortPosition, 1.0);

    const Entry* second = entry(" second ");
    EXPECT_EQ(second->sortPosition, 2.0);
    EXPECT_EQ(second->baseurl, "\nhttp://up/");
    EXPECT_EQ(entry("third")->sortPosition, 1.0);
}

TEST_F(ConfRead, YumBooleansReadAsYumReadsThem)
{
    tree.write("etc/yum.conf", "[main]\nenabled = No \ngpgcheck=off\n");
    tree.write("etc/yum.repos.d/b.repo",
               "[n0]\nenabled=0\n[nno]\nenabled=no\n[nfalse]\nenabled= FALSE\n[noff]\nenabled=Off \n"
               "[y1]\nenabled=1\n[yyes]\nenabled=yes\n[yempty]\nenabled=\n[yword]\nenabled=maybe\n"
               "[g]\ngpgcheck=no\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_FALSE(conf.enabledDefault);
    EXPECT_FALSE(conf.gpgcheckDefault);
    for (const char* id : {"n0", "nno", "nfalse", "noff"}) {
        EXPECT_EQ(entry(id)->enabled, Entry::No) << id;
        EXPECT_FALSE(used.value(id, true)) << id;
    }
    for (const char* id : {"y1", "yyes", "yempty", "yword"}) {
        EXPECT_EQ(entry(id)->enabled, Entry::Yes) << id;
        EXPECT_TRUE(used.value(id, false)) << id;
    }
    EXPECT_EQ(entry("g")->gpgcheck, Entry::No);
    EXPECT_EQ(entry("g")->enabled, Entry::Default);
}

TEST_F(ConfRead, ReposdirReplacesTheDefaultDirectoriesAsWritten)
{
    tree.write("etc/yum.conf", QString("[main]\nreposdir=" + tree.path("srv/one") + ", " + tree.path("srv/two/") + "\n").toUtf8());
    tree.write("srv/two/x.repo", "[x]\n");
    tree.write("etc/yum.repos.d/ignored.repo", "[ignored]\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(conf.reposdirs, (QStringList{tree.path("srv/one"), tree.path("srv/two")}));
    EXPECT_EQ(ids(), QStringList{"x"});
}

TEST_F(ConfRead, OnlyRepoFilesCountAndFoldersAreSkipped)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo.bak", "[bak]\n");
    tree.write("etc/yum.repos.d/notes.txt", "[txt]\n");
    tree.write("etc/yum.repos.d/folder.repo/inner.repo", "[inner]\n");
    tree.write("etc/yum.repos.d/.repo", "[dotrepo]\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(ids(), QStringList{"dotrepo"});
}

TEST_F(ConfRead, MainCaseAndBlanksMatter)
{
    tree.write("etc/yum.conf", "[Main]\nname=cap\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(ids(), QStringList{"Main"});
    EXPECT_EQ(conf.mainText, "");
}

class ConfReadFailure : public ConfIOTest
{
};

TEST_F(ConfReadFailure, MalformedHeaderStopsTheReadWithItsLine)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[good]\n[open]\nname=o\n[broken\nname=x\n");
    tree.write("etc/yum.repos.d/b.repo", "[later]\n");
    BoxWatcher watcher;
    QSignalSpy changed(&conf, &YumConfIO::changed);
    EXPECT_FALSE(conf.read(nullptr));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FALSE(conf.readComplete());
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].title, "KUV Repository Editor Error");
    EXPECT_EQ(watcher.boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(watcher.boxes[0].text.startsWith("Malformed section name in line: [broken; errno = "));
    EXPECT_TRUE(watcher.boxes[0].text.endsWith(")."));
    // Finished sections stay; the open one and everything after are lost.
    EXPECT_EQ(ids(), QStringList{"good"});
    EXPECT_TRUE(used.contains("open"));
    EXPECT_FALSE(used.contains("later"));
}

TEST_F(ConfReadFailure, MainWithTrailingBlankIsAMalformedHeader)
{
    tree.write("etc/yum.conf", "[main] \nenabled=0\n");
    BoxWatcher watcher;
    EXPECT_FALSE(conf.read(nullptr));
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_TRUE(watcher.boxes[0].text.startsWith("Malformed section name in line: [main] ;"));
}

TEST_F(ConfReadFailure, MalformedHeaderNeverShowsAPasswordOfAnyForm)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo",
               "[joined\n  baseurl=http://h/kivrel?user=u&pass=topsecret&path=/r\n"
               "  mirrorlist=https://joe:infosecret@h/list\n"
               "  password=optionsecret\n"
               "\tproxy_password = proxysecret\n");
    BoxWatcher watcher;
    EXPECT_FALSE(conf.read(nullptr));
    ASSERT_EQ(watcher.boxes.size(), 1);
    const QString text = watcher.boxes[0].text;
    for (const char* secret : {"topsecret", "infosecret", "optionsecret", "proxysecret"})
        EXPECT_FALSE(text.contains(secret)) << secret;
    EXPECT_TRUE(text.contains("pass=********&path=/r"));
    EXPECT_TRUE(text.contains("https://joe:********@h/list"));
}

TEST_F(ConfReadFailure, AHugeMalformedLineIsQuotedShort)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[" + QByteArray(2 * 1024 * 1024, 'x') + "\n");
    BoxWatcher watcher;
    EXPECT_FALSE(conf.read(nullptr));
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].text,
              "Malformed section name in line: [" + QString(199, 'x') + QChar(0x2026)
                  + "; errno = 22 (Invalid argument).");
}

TEST_F(ConfReadFailure, MissingYumConf)
{
    BoxWatcher watcher;
    EXPECT_FALSE(conf.read(nullptr));
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].text,
              QString("Unable to read yum configuration file %1; errno = 2 (No such file or directory).")
                  .arg(tree.path("etc/yum.conf")));
    EXPECT_TRUE(conf.entries.isEmpty());
}

TEST_F(ConfReadFailure, RepositoryFileThatFailsToRead)
{
    tree.write("etc/yum.conf", "[main]\n");
    // Opening works, reading gives EIO: even root cannot read it.
    ASSERT_TRUE(QFile::link("/proc/self/mem", tree.path("etc/yum.repos.d/mem.repo")));
    BoxWatcher watcher;
    EXPECT_FALSE(conf.read(nullptr));
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].text,
              QString("Error reading repository configuration file %1; errno = 5 (Input/output error).")
                  .arg(tree.path("etc/yum.repos.d/mem.repo")));
}

TEST_F(ConfReadFailure, RepositoryFileThatCannotBeExamined)
{
    tree.write("etc/yum.conf", "[main]\n");
    ASSERT_TRUE(QFile::link(tree.path("nowhere"), tree.path("etc/yum.repos.d/dangling.repo")));
    BoxWatcher watcher;
    EXPECT_FALSE(conf.read(nullptr));
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_TRUE(watcher.boxes[0].text.startsWith(
        QString("Unable to stat repository configuration file %1; errno = 2 ")
            .arg(tree.path("etc/yum.repos.d/dangling.repo"))));
}

class ConfRefusedInput : public ConfIOTest
{
protected:
    // Reads, which must stop at the file with one box, then writes, which
    // must be refused with another; gives the first box's text.
    QString refusedRead()
    {
        BoxWatcher watcher;
        EXPECT_FALSE(conf.read(nullptr));
        EXPECT_FALSE(conf.readComplete());
        EXPECT_FALSE(conf.write(nullptr));
        EXPECT_EQ(watcher.boxes.size(), 2);
        return watcher.boxes.isEmpty() ? QString() : watcher.boxes[0].text;
    }
};

TEST_F(ConfRefusedInput, SocketsDevicesAndFifosAreNotRead)
{
    const QString notRegular = "Unable to read %1 configuration file %2: it is not a regular file; "
                               "errno = 22 (Invalid argument).";
    const QString a = tree.path("etc/yum.repos.d/a.repo");
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/b.repo", "[b]\n");
    const QByteArray socketPath = QFile::encodeName(a);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(size_t(socketPath.size()), sizeof address.sun_path);
    qstrcpy(address.sun_path, socketPath.constData());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QMap<QString, QString> before = tree.snapshot();
    EXPECT_EQ(refusedRead(), notRegular.arg("repository", a));
    ::close(fd);
    EXPECT_EQ(tree.snapshot(), before);

    ASSERT_TRUE(QFile::remove(a));
    ASSERT_TRUE(QFile::link("/dev/null", a));
    EXPECT_EQ(refusedRead(), notRegular.arg("repository", a));
    // Opening a FIFO would wait for a writer.
    ASSERT_TRUE(QFile::remove(a));
    ASSERT_EQ(::mkfifo(socketPath.constData(), 0644), 0);
    EXPECT_EQ(refusedRead(), notRegular.arg("repository", a));
    ASSERT_TRUE(QFile::remove(tree.path("etc/yum.conf")));
    ASSERT_TRUE(QFile::link("/dev/zero", tree.path("etc/yum.conf")));
    EXPECT_EQ(refusedRead(), notRegular.arg("yum", tree.path("etc/yum.conf")));
}

TEST_F(ConfRefusedInput, AFileLargerThanSixteenMebibytes)
{
    tree.write("etc/yum.conf", "[main]\n");
    QByteArray big = "[big]\n";
    big += QByteArray(YumConfIO::maxFileSize - big.size() + 1, '#');
    tree.write("etc/yum.repos.d/big.repo", big);
    tree.write("etc/yum.repos.d/small.repo", "[small]\n");
    const QMap<QString, QString> before = tree.snapshot();
    EXPECT_EQ(refusedRead(),
              QString("Unable to read repository configuration file %1: it is larger than 16 MiB; "
                      "errno = 27 (File too large).")
                  .arg(tree.path("etc/yum.repos.d/big.repo")));
    EXPECT_EQ(tree.snapshot(), before);

    // One byte less is read. A refusal here would wait on its box for ever:
    // the watcher answers it, and the test fails with its text.
    big.chop(1);
    tree.write("etc/yum.repos.d/big.repo", big);
    BoxWatcher watcher;
    EXPECT_TRUE(conf.read(nullptr));
    QStringList boxes;
    for (const BoxWatcher::Box& box : watcher.boxes)
        boxes << box.title + ": " + box.text;
    EXPECT_EQ(boxes, QStringList());
    EXPECT_EQ(ids(), (QStringList{"big", "small"}));
}

class SessionFlags : public ConfIOTest
{
};

TEST_F(SessionFlags, DisablePatternMatchesWholeIdentifiersCaseSensitively)
{
    options.append(YumRepoEnabled(false, "upd*"));
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo",
               "[updates]\n[updates-testing]\n[my-updates]\n[Updates]\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_FALSE(used.value("updates", true));
    EXPECT_FALSE(used.value("updates-testing", true));
    EXPECT_TRUE(used.value("my-updates", false));
    EXPECT_TRUE(used.value("Updates", false));
}

TEST_F(SessionFlags, LastMatchingOptionWins)
{
    options = {YumRepoEnabled(true, "a"), YumRepoEnabled(false, "a"), YumRepoEnabled(false, "b"),
               YumRepoEnabled(true, "b"), YumRepoEnabled(false, "*"), YumRepoEnabled(true, "c")};
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\n[b]\nenabled=0\n[c]\nenabled=0\n[d]\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_FALSE(used["a"]);
    EXPECT_FALSE(used["b"]);
    EXPECT_TRUE(used["c"]);
    EXPECT_FALSE(used["d"]);
}

TEST_F(SessionFlags, AFlagOnceSetSurvivesLaterReads)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[kept]\nenabled=1\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_TRUE(used["kept"]);
    tree.write("etc/yum.repos.d/a.repo", "[kept]\nenabled=0\n[fresh]\nenabled=0\n");
    options.append(YumRepoEnabled(false, "*"));
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_TRUE(used["kept"]);
    EXPECT_FALSE(used["fresh"]);

    // A section that went away keeps its flag.
    tree.write("etc/yum.repos.d/a.repo", "");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_TRUE(conf.entries.isEmpty());
    EXPECT_TRUE(used.contains("kept"));
    EXPECT_TRUE(used.contains("fresh"));
}

TEST_F(SessionFlags, SecondSectionWithTheSameIdentifierLeavesTheFlag)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[x]\nenabled=0\n");
    tree.write("etc/yum.repos.d/b.repo", "[x]\nenabled=1\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(conf.entries.size(), 2);
    EXPECT_FALSE(used["x"]);
}

TEST_F(SessionFlags, LaterEnabledLineOfANewSectionOverrides)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[x]\nenabled=0\nenabled=yes\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_TRUE(used["x"]);
    EXPECT_EQ(entry("x")->enabled, Entry::Yes);
}

TEST_F(SessionFlags, BlanksOfAnIdentifierTakePartInMatching)
{
    options = {YumRepoEnabled(false, " x "), YumRepoEnabled(false, "y")};
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[ x ]\n[ y ]\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_FALSE(used[" x "]);
    EXPECT_TRUE(used[" y "]);
}

TEST(YumRepoEnabledPattern, WildcardSyntax)
{
    const YumRepoEnabled option(true, "a?[bc]*");
    EXPECT_TRUE(option.enabled);
    EXPECT_TRUE(option.matches("axb"));
    EXPECT_TRUE(option.matches("a-c/with/slashes"));
    EXPECT_FALSE(option.matches("ab"));
    EXPECT_FALSE(option.matches("xaxb"));
    EXPECT_FALSE(option.matches("AXB"));
}
