// Writing yum's configuration back: what the files hold afterwards, which
// files are removed, and that every refused or failed write loses nothing.
#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "engine/log.h"
#include "repos/yumconfio.h"
#include "tests/repos/conftree.h"

using Repo::Entry;

namespace
{

const char* const mainConf = "# global settings\n"
                             "[main]\n"
                             "cachedir=/var/cache/yum/$basearch\n"
                             "keepcache = 0\n"
                             "gpgcheck=1\n"
                             "  continued option\n"
                             "\n"
                             "[inconf]\n"
                             "name=In yum.conf\n"
                             "baseurl=file:///srv/inconf";

const char* const baseRepo = "# Managed by hand\n"
                             "# second comment\n"
                             "\n"
                             "[base]\n"
                             "name=Base $releasever\n"
                             "baseurl=http://mirror/a http://mirror/b\n"
                             "\thttp://mirror/c\n"
                             "mirrorlist: http://list\n"
                             "enabled = no\n"
                             "gpgcheck=0\n"
                             "gpgkey=file:///key\n"
                             "# trailing comment of base\n"
                             "\n"
                             "\n"
                             "[updates]\n"
                             "name=Updates\n"
                             "baseurl=\n"
                             "   http://up/ \n"
                             "enabled=1\n"
                             "metadata_expire=1d\n"
                             "exclude=foo\n"
                             "  bar\n";

const char* const baseRepoWritten = "# Managed by hand\n"
                                    "# second comment\n"
                                    "\n"
                                    "[base]\n"
                                    "name=Base $releasever\n"
                                    "baseurl=http://mirror/a\n"
                                    "        http://mirror/b\n"
                                    "\thttp://mirror/c\n"
                                    "mirrorlist=http://list\n"
                                    "enabled=0\n"
                                    "gpgcheck=0\n"
                                    "gpgkey=file:///key\n"
                                    "# trailing comment of base\n"
                                    "\n"
                                    "[updates]\n"
                                    "name=Updates\n"
                                    "baseurl=\n"
                                    "   http://up/\n"
                                    "        \n"
                                    "enabled=1\n"
                                    "metadata_expire=1d\n"
                                    "exclude=foo\n"
                                    "  bar\n";

// What a section means to yum, for comparing reads.
QString meaning(const Entry& e)
{
    return QStringList{e.id, e.name, e.baseurl, e.mirrorlist, QString::number(e.enabled),
                       QString::number(e.gpgcheck), e.other, e.file}
        .join(QLatin1Char('|'));
}

}

class ConfWrite : public ConfIOTest
{
protected:
    void writeFixture()
    {
        tree.write("etc/yum.conf", mainConf);
        tree.write("etc/yum.repos.d/base.repo", baseRepo);
        tree.write("etc/yum.repos.d/secret.repo",
                   "[s]\nbaseurl=http://h/kivrel?user=u&pass=p%20w&path=repo\n");
    }

    mode_t modeOf(const QString& relative) const
    {
        struct stat info;
        if (::stat(QFile::encodeName(tree.path(relative)).constData(), &info) != 0)
            return 0;
        return info.st_mode & 07777;
    }

    QStringList meanings() const
    {
        QStringList result;
        for (const Entry& e : conf.entries)
            result.append(meaning(e));
        return result;
    }
};

TEST_F(ConfWrite, FirstWriteNormalisesAndSecondWriteRepeatsItByteForByte)
{
    writeFixture();
    ASSERT_TRUE(conf.read(nullptr));
    const QStringList readFirst = meanings();
    ASSERT_TRUE(conf.write(nullptr));

    EXPECT_EQ(tree.read("etc/yum.conf"),
              QByteArray(mainConf).replace("baseurl=file:///srv/inconf", "baseurl=file:///srv/inconf\n"));
    EXPECT_EQ(tree.read("etc/yum.repos.d/base.repo"), baseRepoWritten);
    const QMap<QString, QString> afterFirst = tree.snapshot();

    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(meanings(), readFirst);
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.snapshot(), afterFirst);
}

TEST_F(ConfWrite, EditsReachTheFiles)
{
    writeFixture();
    ASSERT_TRUE(conf.read(nullptr));
    for (Entry& e : conf.entries) {
        if (e.id == "updates") {
            e.name = "Renamed";
            e.enabled = Entry::No;
            e.gpgcheck = Entry::Default;
            e.baseurl = "file:///a\nfile:///b";
        }
        if (e.id == "base")
            e.file = "moved.repo";
    }
    Entry added;
    added.id = "fresh";
    added.other = "cost=5";
    conf.entries.append(added);
    ASSERT_TRUE(conf.write(nullptr));

    EXPECT_EQ(tree.read("etc/yum.repos.d/base.repo"),
              "# Managed by hand\n# second comment\n\n"
              "[updates]\nname=Renamed\nbaseurl=file:///a\n        file:///b\nenabled=0\n"
              "metadata_expire=1d\nexclude=foo\n  bar\n");
    const QString repoDir = conf.reposdirs.first();
    QFile moved(repoDir + "/moved.repo");
    ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(moved.readAll().startsWith("[base]\nname=Base $releasever\n"));
    QFile fresh(repoDir + "/fresh.repo");
    ASSERT_TRUE(fresh.open(QIODevice::ReadOnly));
    EXPECT_EQ(fresh.readAll(), "[fresh]\ncost=5\n");
    // The list keeps the completed paths it was written with.
    for (const Entry& e : conf.entries) {
        if (e.id == "fresh") {
            EXPECT_EQ(e.file, repoDir + "/fresh.repo");
        }
    }
}

TEST_F(ConfWrite, DisabledRepositoryStaysDisabled)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[off]\nenabled = no\ngpgcheck=False\n");
    ASSERT_TRUE(conf.read(nullptr));
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"), "[off]\nenabled=0\ngpgcheck=0\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(entry("off")->enabled, Entry::No);
    EXPECT_FALSE(used["off"]);
}

// A file's own indentation of its URL lines is kept through edits of the
// section and of the URLs; a URL that shared a line, or a new one, goes on
// a line of its own indented by eight blanks.
TEST_F(ConfWrite, UrlLinesKeepTheirIndentThroughEdits)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\nname=A\n"
                                         "baseurl=http://h/kivrel?user=u&pass=p&path=one\n"
                                         "\thttp://h/two\n"
                                         " \t http://h/three http://h/four\n"
                                         "gpgkey=file:///k\n"
                                         "\tfile:///k2\n");
    ASSERT_TRUE(conf.read(nullptr));
    ASSERT_EQ(entry("a")->baseurl, "http://h/kivrel?user=u&pass=p&path=one\nhttp://h/two\n"
                                   "http://h/three\nhttp://h/four");
    conf.entries[0].name = "B";
    ASSERT_TRUE(conf.write(nullptr));
    const QByteArray written = "[a]\nname=B\n"
                               "baseurl=http://h/kivrel?user=u&pass=p&path=one\n"
                               "\thttp://h/two\n"
                               " \t http://h/three\n"
                               "        http://h/four\n"
                               "gpgkey=file:///k\n"
                               "\tfile:///k2\n";
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"), written);

    // Read back, the same bytes again.
    ASSERT_TRUE(conf.read(nullptr));
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"), written);

    // New credentials and a URL more.
    conf.entries[0].baseurl.replace("user=u&pass=p", "user=v&pass=q");
    conf.entries[0].baseurl += "\nhttp://h/five";
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"),
              QByteArray(written)
                  .replace("user=u&pass=p", "user=v&pass=q")
                  .replace("http://h/four\n", "http://h/four\n        http://h/five\n"));

    // A URL less: the others keep their lines' indents.
    conf.entries[0].baseurl.replace("\nhttp://h/two", "");
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_TRUE(tree.read("etc/yum.repos.d/a.repo")
                    .contains("path=one\n \t http://h/three\n        http://h/four\n"
                              "        http://h/five\ngpgkey"));
}

// Each write puts new files in place of the ones read, and the system hands
// the freed inode numbers out again: writes one after another, with no read
// between (Apply, then Apply again in the editor), must still know each file
// by its name and never take a ".repo" file for yum.conf.
TEST_F(ConfWrite, WritesWithoutAReadBetweenKeepEachSectionInItsFile)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\nname=A\n");
    tree.write("etc/yum.repos.d/b.repo", "[b]\nname=B\n");
    ASSERT_TRUE(conf.read(nullptr));
    for (int round = 0; round < 40; ++round) {
        for (Entry& e : conf.entries)
            e.name = e.id + QString::number(round);
        ASSERT_TRUE(conf.write(nullptr)) << "round " << round;
        const QByteArray number = QByteArray::number(round);
        ASSERT_EQ(tree.read("etc/yum.conf"), "[main]\n") << "round " << round;
        ASSERT_EQ(tree.read("etc/yum.repos.d/a.repo"), "[a]\nname=a" + number + "\n")
            << "round " << round;
        ASSERT_EQ(tree.read("etc/yum.repos.d/b.repo"), "[b]\nname=b" + number + "\n")
            << "round " << round;
    }
}

TEST_F(ConfWrite, SectionsOfOneFileFollowTheirSortPositions)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[one]\n[two]\n[three]\n");
    ASSERT_TRUE(conf.read(nullptr));
    conf.entries[0].sortPosition = 2.5;
    // Another spelling of the same file must not truncate the first one.
    conf.entries[2].file = tree.path("etc/yum.repos.d/./a.repo");
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"), "[two]\n\n[one]\n\n[three]\n");
}

// Sections that share a position, as a copied section does, keep the order
// of the list: enough of them that an unstable sort would mix them up.
TEST_F(ConfWrite, SectionsWithEqualPositionsKeepTheirListOrder)
{
    QByteArray text;
    QByteArray expected;
    for (int i = 0; i < 40; ++i) {
        text += QByteArray("[r") + QByteArray::number(i) + "]\n";
        expected += QByteArray(i ? "\n" : "") + "[r" + QByteArray::number(i) + "]\n";
    }
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", text);
    ASSERT_TRUE(conf.read(nullptr));
    for (Entry& e : conf.entries)
        e.sortPosition = e.id == "r39" ? 0.5 : 7.0;
    ASSERT_TRUE(conf.write(nullptr));
    expected.replace("\n[r39]\n", "");
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"), "[r39]\n\n" + expected);
}

TEST_F(ConfWrite, YumConfAloneIsRewrittenWithANewlineAtItsEnd)
{
    tree.write("etc/yum.conf", "[main]\ngpgcheck=1");
    ASSERT_TRUE(conf.read(nullptr));
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.read("etc/yum.conf"), "[main]\ngpgcheck=1\n");
}

TEST_F(ConfWrite, OtherLinesWithoutFinalNewlineStaySeparate)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\n[b]\n");
    ASSERT_TRUE(conf.read(nullptr));
    conf.entries[0].other = "cost=1\nskip_if_unavailable=1";
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"), "[a]\ncost=1\nskip_if_unavailable=1\n\n[b]\n");
}

TEST_F(ConfWrite, LatinOneCharactersAreWrittenAsSingleBytes)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\nname=Caf\xe9\n");
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(entry("a")->name, QString("Caf") + QChar(0xe9));
    conf.entries[0].other = QString("x=") + QChar(0xfc) + "\n";
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"), "[a]\nname=Caf\xe9\nx=\xfc\n");
}

TEST_F(ConfWrite, NulBytesAreCharactersLikeAnyOther)
{
    const QByteArray repo = QByteArrayLiteral("[a]\nname=x\0y\nfoo=b\0ar\n\n[b\0c]\nbaseurl=file:///\0\n");
    tree.write("etc/yum.conf", QByteArrayLiteral("[main]\n# \0\n"));
    tree.write("etc/yum.repos.d/a.repo", repo);
    const QMap<QString, QString> before = tree.snapshot();
    BoxWatcher watcher;
    ASSERT_TRUE(conf.read(nullptr));
    ASSERT_EQ(ids(), (QStringList{"a", QString::fromLatin1("b\0c", 3)}));
    EXPECT_EQ(entry("a")->name, QString::fromLatin1("x\0y", 3));
    EXPECT_EQ(entry("a")->other, QString::fromLatin1("foo=b\0ar\n", 9));
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.snapshot(), before);
    EXPECT_EQ(watcher.boxes.size(), 0);
}

// One URL a line makes the file larger: what could not be read back is not
// written.
TEST_F(ConfWrite, MillionsOfBaseUrlsAreReadButNotWrittenPastTheSizeLimit)
{
    const int urls = 4 * 1024 * 1024;
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\nbaseurl=" + QByteArray("u ").repeated(urls));
    const QMap<QString, QString> before = tree.snapshot();
    ASSERT_TRUE(conf.read(nullptr));
    // The blank after the last URL leaves an empty last line.
    EXPECT_EQ(entry("a")->baseurl.count('\n'), urls);
    EXPECT_TRUE(entry("a")->baseurl.startsWith("u\nu\n"));
    QStringList sink;
    conf.setErrorSink(&sink);
    EXPECT_FALSE(conf.write(nullptr));
    EXPECT_EQ(sink, QStringList{QString("Repository configuration file %1 would be larger than "
                                        "16 MiB; errno = 27 (File too large).")
                                    .arg(tree.path("etc/yum.repos.d/a.repo"))});
    EXPECT_EQ(tree.snapshot(), before);

    conf.entries[0].baseurl.truncate(2 * 1024 * 1024 - 1);
    EXPECT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"),
              "[a]\nbaseurl=u" + QByteArray("\n        u").repeated(1024 * 1024 - 1) + "\n");
}

TEST_F(ConfWrite, ReplacedFilesKeepModeAndOwner)
{
    writeFixture();
    const QByteArray base = QFile::encodeName(tree.path("etc/yum.repos.d/base.repo"));
    ASSERT_EQ(::chmod(base.constData(), 0640), 0);
    ASSERT_EQ(::chown(base.constData(), 1234, 5678), 0);
    ASSERT_TRUE(conf.read(nullptr));
    conf.entries.last().name = "changed";
    ASSERT_TRUE(conf.write(nullptr));
    struct stat info;
    ASSERT_EQ(::stat(base.constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 5678u);
}

TEST_F(ConfWrite, ALinkedRepositoryFileStaysALink)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("shared/real.repo", "[linked]\n");
    ASSERT_TRUE(QFile::link(tree.path("shared/real.repo"), tree.path("etc/yum.repos.d/linked.repo")));
    ASSERT_TRUE(conf.read(nullptr));
    conf.entries[0].name = "through the link";
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_TRUE(QFileInfo(tree.path("etc/yum.repos.d/linked.repo")).isSymLink());
    EXPECT_EQ(tree.read("shared/real.repo"), "[linked]\nname=through the link\n");
}

TEST_F(ConfWrite, NewFileHoldingAPasswordIsReadableByItsOwnerOnly)
{
    ::umask(022);
    tree.write("etc/yum.conf", "[main]\n");
    ASSERT_TRUE(conf.read(nullptr));
    Entry secret;
    secret.id = "secret";
    secret.baseurl = "http://h/kivrel?user=u&pass=pw&path=r";
    Entry basic;
    basic.id = "basic";
    basic.other = "password=hunter2\n";
    Entry plain;
    plain.id = "plain";
    plain.baseurl = "http://h/kivrel?user=&pass=&path=r";
    conf.entries = {secret, basic, plain};
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(modeOf(firstRepoDir() + "/secret.repo"), 0600u);
    EXPECT_EQ(modeOf(firstRepoDir() + "/basic.repo"), 0600u);
    EXPECT_EQ(modeOf(firstRepoDir() + "/plain.repo"), 0644u);
}

TEST_F(ConfWrite, AnExistingFileThatGetsAPasswordBecomesPrivateAndTheLogSaysSoOnce)
{
    ::umask(022);
    tree.write("etc/yum.conf", "[main]\nproxy=http://proxy:3128\nproxy_password=hunter2\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\nbaseurl=http://h/a\n");
    tree.write("etc/yum.repos.d/b.repo", "[b]\nbaseurl=http://h/b\n");
    ASSERT_EQ(::chown(QFile::encodeName(tree.path("etc/yum.repos.d/a.repo")).constData(), 1234, 5678), 0);
    Log::EntryList log;
    conf.setLog(&log);
    ASSERT_TRUE(conf.read(nullptr));
    conf.entries[0].baseurl = "https://joe:s3cret@h/a";
    ASSERT_TRUE(conf.write(nullptr));

    EXPECT_TRUE(tree.snapshot()["etc/yum.repos.d/a.repo"].startsWith("mode 100600 owner 1234:5678 "));
    EXPECT_EQ(modeOf("etc/yum.conf"), 0600u);
    EXPECT_EQ(modeOf("etc/yum.repos.d/b.repo"), 0644u);
    QStringList logged;
    for (const Log::Entry& line : log) {
        EXPECT_EQ(line.kind, Log::Warning);
        EXPECT_LE(line.level, 2u);
        logged << line.text;
    }
    const QString note = "%1 holds a password, so it was made readable by its owner only "
                         "(mode 0600, was 0644)";
    EXPECT_EQ(logged, (QStringList{note.arg(tree.path("etc/yum.repos.d/a.repo")),
                                   note.arg(tree.path("etc/yum.conf"))}));

    // Once private, the files stay so and the log hears no more, also when
    // the password goes.
    ASSERT_TRUE(conf.read(nullptr));
    ASSERT_TRUE(conf.write(nullptr));
    conf.entries[0].baseurl = "http://h/a";
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(modeOf("etc/yum.repos.d/a.repo"), 0600u);
    EXPECT_EQ(log.size(), 2);
}

// yum's two default repository directories are often one folder, the second
// a link to the first, and single files may be links to others: every name
// of a file is that one file, read once and never removed while written.
class ConfAliases : public ConfWrite
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(tree.path("etc/yum/repos.d")).removeRecursively());
        ASSERT_TRUE(QFile::link("../yum.repos.d", tree.path("etc/yum/repos.d")));
        tree.write("etc/yum.conf", "[main]\n");
        tree.write("etc/yum.repos.d/a.repo", "[a]\nname=A\n\n[a2]\nname=A2\n");
        tree.write("etc/yum.repos.d/b.repo", "# b's notes\n[b]\nbaseurl=http://h/b\n");
        tree.write("etc/yum.repos.d/z.repo", "[z]\nenabled=0\n");
        // A link to b.repo after it, a link to z.repo before it, and a hard
        // link to a.repo.
        ASSERT_TRUE(QFile::link("b.repo", tree.path("etc/yum.repos.d/linked.repo")));
        ASSERT_TRUE(QFile::link("z.repo", tree.path("etc/yum.repos.d/0first.repo")));
        ASSERT_EQ(::link(QFile::encodeName(tree.path("etc/yum.repos.d/a.repo")).constData(),
                         QFile::encodeName(tree.path("etc/yum.repos.d/hard.repo")).constData()),
                  0);
    }

    ino_t inodeOf(const QString& relative) const
    {
        struct stat info;
        return ::stat(QFile::encodeName(tree.path(relative)).constData(), &info) == 0 ? info.st_ino : 0;
    }
};

// The one question names the one real duplicate, and every file and link
// is kept through the write.
TEST_F(ConfAliases, EveryFileIsReadOnceAndKeptThroughAWrite)
{
    tree.write("etc/yum.repos.d/c.repo", "[c]\n\n[a]\nname=second\n");
    QMap<QString, QString> expected = tree.snapshot();
    BoxWatcher watcher(QMessageBox::Yes);
    ASSERT_TRUE(conf.read(nullptr));
    QStringList read = ids();
    read.sort();
    EXPECT_EQ(read, (QStringList{"a", "a", "a2", "b", "c", "z"}));
    ASSERT_TRUE(conf.write(nullptr));
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_TRUE(watcher.boxes[0].text.contains("Identifier(s), a.  Only one"));
    expected["etc/yum.repos.d/c.repo"].replace("[c]\n\n[a]\nname=second\n", "[c]\n");
    EXPECT_EQ(tree.snapshot(), expected);
}

// Edits through any name reach the one file, and a file that loses its
// sections goes with every name that reached it.
TEST_F(ConfAliases, EditsThroughAnyNameReachTheOneFileAndRemovalTakesEveryName)
{
    BoxWatcher watcher;
    ASSERT_TRUE(conf.read(nullptr));
    for (Entry& e : conf.entries) {
        if (e.id == "a2")
            e.name = "edited";
        if (e.id == "b")
            e.file = tree.path("etc/yum/repos.d/linked.repo");
        if (e.id == "z")
            e.file = tree.path("etc/yum/repos.d/z.repo");
    }
    Entry one;
    one.id = "one";
    one.file = tree.path("etc/yum/repos.d/new.repo");
    Entry two;
    two.id = "two";
    two.file = tree.path("etc/yum.repos.d/new.repo");
    two.sortPosition = 1.0;
    conf.entries << one << two;
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.read("etc/yum.repos.d/new.repo"), "[one]\n\n[two]\n");
    EXPECT_EQ(tree.read("etc/yum.repos.d/b.repo"), "# b's notes\n[b]\nbaseurl=http://h/b\n");
    EXPECT_EQ(tree.read("etc/yum.repos.d/z.repo"), "[z]\nenabled=0\n");
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"), "[a]\nname=A\n\n[a2]\nname=edited\n");
    EXPECT_EQ(inodeOf("etc/yum.repos.d/hard.repo"), inodeOf("etc/yum.repos.d/a.repo"));
    EXPECT_TRUE(QFileInfo(tree.path("etc/yum.repos.d/linked.repo")).isSymLink());
    EXPECT_TRUE(QFileInfo(tree.path("etc/yum.repos.d/0first.repo")).isSymLink());
    // Read again, every edit is there once and no identifier is doubled.
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(conf.entries.size(), 6);
    EXPECT_EQ(entry("a2")->name, "edited");

    conf.entries.erase(std::remove_if(conf.entries.begin(), conf.entries.end(),
                                      [](const Entry& e) { return e.id == "b" || e.id == "z"; }),
                       conf.entries.end());
    ASSERT_TRUE(conf.write(nullptr));
    for (const char* gone : {"b.repo", "linked.repo", "z.repo", "0first.repo"})
        EXPECT_FALSE(tree.exists(QString("etc/yum.repos.d/") + gone)) << gone;
    // Nothing is left that would stop the next read.
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(ids(), (QStringList{"a", "a2", "one", "two"}));
    EXPECT_EQ(watcher.boxes.size(), 0);
}

TEST_F(ConfWrite, ErrorsAndTheQuestionGoToTheSinkWithoutABox)
{
    QStringList sink;
    conf.setErrorSink(&sink);
    BoxWatcher watcher;
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\n[a]\n");
    ASSERT_TRUE(conf.read(nullptr));
    const QMap<QString, QString> before = tree.snapshot();
    EXPECT_FALSE(conf.write(nullptr));
    EXPECT_EQ(sink, QStringList{"Two or more repositories have the same Identifier(s), a.  Only one "
                                "repository will be applied for each Identifier.  Proceed?"});
    EXPECT_EQ(conf.entries.size(), 2);
    EXPECT_EQ(tree.snapshot(), before);

    sink.clear();
    tree.write("etc/yum.repos.d/a.repo", "[a\n");
    EXPECT_FALSE(conf.read(nullptr));
    EXPECT_EQ(sink, QStringList{"Malformed section name in line: [a; errno = 22 (Invalid argument)."});
    EXPECT_EQ(watcher.boxes.size(), 0);
}

class ConfPrune : public ConfWrite
{
};

TEST_F(ConfPrune, OnlyFilesThatLostTheirSectionsAreRemoved)
{
    writeFixture();
    tree.write("etc/yum.repos.d/placeholder.repo", "# intentionally empty\n");
    ASSERT_TRUE(conf.read(nullptr));
    tree.write("etc/yum.repos.d/newcomer.repo", "[newcomer]\n");
    conf.entries.clear();
    ASSERT_TRUE(conf.write(nullptr));

    EXPECT_FALSE(tree.exists("etc/yum.repos.d/base.repo"));
    EXPECT_FALSE(tree.exists("etc/yum.repos.d/secret.repo"));
    EXPECT_EQ(tree.read("etc/yum.repos.d/placeholder.repo"), "# intentionally empty\n");
    EXPECT_EQ(tree.read("etc/yum.repos.d/newcomer.repo"), "[newcomer]\n");
    EXPECT_EQ(tree.read("etc/yum.conf"), "# global settings\n[main]\ncachedir=/var/cache/yum/$basearch\n"
                                         "keepcache = 0\ngpgcheck=1\n  continued option\n\n");
}

TEST_F(ConfPrune, APlaceholderThatGainsASectionKeepsItsComments)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/p.repo", "# keep me\n");
    ASSERT_TRUE(conf.read(nullptr));
    Entry added;
    added.id = "p";
    added.file = tree.path("etc/yum.repos.d/p.repo");
    conf.entries.append(added);
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.read("etc/yum.repos.d/p.repo"), "# keep me\n[p]\n");
}

TEST_F(ConfPrune, AWriteWithoutNewReadRemovesFilesEmptiedSinceTheLastWrite)
{
    tree.write("etc/yum.conf", "[main]\n");
    ASSERT_TRUE(conf.read(nullptr));
    Entry added;
    added.id = "temporary";
    conf.entries.append(added);
    ASSERT_TRUE(conf.write(nullptr));
    ASSERT_TRUE(tree.exists(firstRepoDir() + "/temporary.repo"));
    conf.entries.clear();
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_FALSE(tree.exists(firstRepoDir() + "/temporary.repo"));
}

TEST_F(ConfPrune, AFileThatCannotBeRemovedIsReportedAndTheWriteFails)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/stuck.repo", "[stuck]\n");
    ASSERT_TRUE(conf.read(nullptr));
    if (!tree.setImmutable("etc/yum.repos.d/stuck.repo", true))
        GTEST_SKIP() << "no immutable files on this file system";
    conf.entries.clear();
    BoxWatcher watcher;
    EXPECT_FALSE(conf.write(nullptr));
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_TRUE(watcher.boxes[0].text.startsWith(
        QString("Unable to unlink repository configuration file %1; errno = 1 ")
            .arg(tree.path("etc/yum.repos.d/stuck.repo"))));
    EXPECT_TRUE(tree.exists("etc/yum.repos.d/stuck.repo"));
}

class ConfWriteFailure : public ConfWrite
{
protected:
    // Runs a write that must fail with one error box and leave every file
    // as it was; returns the box's text.
    QString failingWrite()
    {
        const QMap<QString, QString> before = tree.snapshot();
        BoxWatcher watcher;
        EXPECT_FALSE(conf.write(nullptr));
        EXPECT_EQ(tree.snapshot(), before);
        if (watcher.boxes.size() != 1) {
            ADD_FAILURE() << "expected one box, saw " << watcher.boxes.size();
            return QString();
        }
        EXPECT_EQ(watcher.boxes[0].title, "KUV Repository Editor Error");
        EXPECT_EQ(watcher.boxes[0].icon, QMessageBox::Critical);
        return watcher.boxes[0].text;
    }
};

TEST_F(ConfWriteFailure, AFolderWhereAFileShouldGo)
{
    writeFixture();
    QDir().mkpath(tree.path("etc/yum.repos.d/zz.repo"));
    ASSERT_TRUE(conf.read(nullptr));
    conf.entries[0].name = "changed";
    conf.entries.last().file = tree.path("etc/yum.repos.d/zz.repo");
    EXPECT_EQ(failingWrite(),
              QString("Unable to write repository configuration file %1; errno = 21 (Is a directory).")
                  .arg(tree.path("etc/yum.repos.d/zz.repo")));
}

TEST_F(ConfWriteFailure, AMissingDirectory)
{
    tree.write("etc/yum.conf", QString("[main]\nreposdir=" + tree.path("missing") + " " + tree.path("etc/yum.repos.d") + "\n").toUtf8());
    tree.write("etc/yum.repos.d/a.repo", "[a]\n");
    ASSERT_TRUE(conf.read(nullptr));
    Entry added;
    added.id = "b";
    conf.entries.append(added);
    EXPECT_EQ(failingWrite(),
              QString("Unable to write repository configuration file %1; errno = 2 (No such file or directory).")
                  .arg(tree.path("missing/b.repo")));
}

TEST_F(ConfWriteFailure, ALaterRenameThatFailsPutsTheEarlierFilesBack)
{
    writeFixture();
    ASSERT_TRUE(conf.read(nullptr));
    for (Entry& e : conf.entries)
        e.name = "changed " + e.id;
    // secret.repo is replaced after base.repo, and refuses to be replaced.
    if (!tree.setImmutable("etc/yum.repos.d/secret.repo", true))
        GTEST_SKIP() << "no immutable files on this file system";
    const QString text = failingWrite();
    EXPECT_TRUE(text.startsWith(QString("Unable to write repository configuration file %1; errno = 1 ")
                                    .arg(tree.path("etc/yum.repos.d/secret.repo"))));
    EXPECT_EQ(tree.read("etc/yum.repos.d/base.repo"), baseRepo);
}

// When the roll-back cannot rename either, the box names every file that
// keeps its new text, so the user knows which files to look at.
TEST_F(ConfWrite, ARenameThatKeepsFailingNamesEveryFileLeftNew)
{
    writeFixture();
    ASSERT_TRUE(conf.read(nullptr));
    for (Entry& e : conf.entries)
        e.name = "changed " + e.id;
    // yum.conf and base.repo are replaced, secret.repo is not, and nothing
    // can be renamed back.
    FaultyFileSystem fileSystem;
    fileSystem.renamesThatWork = 2;
    fileSystem.renameFailure = EIO;
    conf.setFileSystem(&fileSystem);
    BoxWatcher watcher;
    EXPECT_FALSE(conf.write(nullptr));
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].text,
              QString("Unable to write repository configuration file %1; errno = 5 (Input/output "
                      "error).\nThese files could not be put back and hold the new configuration: "
                      "%2, %3")
                  .arg(tree.path("etc/yum.repos.d/secret.repo"), tree.path("etc/yum.conf"),
                       tree.path("etc/yum.repos.d/base.repo")));
    EXPECT_TRUE(tree.read("etc/yum.conf").contains("name=changed inconf"));
    EXPECT_TRUE(tree.read("etc/yum.repos.d/base.repo").contains("name=changed base"));
    EXPECT_FALSE(tree.read("etc/yum.repos.d/secret.repo").contains("changed"));
}

TEST_F(ConfWriteFailure, AFileOutsideTheRepositoryDirectoriesIsRefused)
{
    writeFixture();
    tree.write("etc/fstab", "/dev/sda1 / ext4\n");
    ASSERT_TRUE(conf.read(nullptr));
    conf.entries.last().file = tree.path("etc/fstab");
    EXPECT_EQ(failingWrite(), QString("Repository s cannot be written to %1: repositories belong in the yum "
                                      "configuration file or in a \".repo\" file of a repository "
                                      "directory; errno = 22 (Invalid argument).")
                                  .arg(tree.path("etc/fstab")));

    conf.entries.last().file = tree.path("etc/yum.repos.d/sub/deeper.repo");
    EXPECT_TRUE(failingWrite().startsWith("Repository s cannot be written to"));
    conf.entries.last().file = tree.path("etc/yum.repos.d/../escape.repo");
    EXPECT_TRUE(failingWrite().startsWith("Repository s cannot be written to"));
}

TEST_F(ConfWriteFailure, ARelativeFileWithoutRepositoryDirectoriesIsRefused)
{
    tree.write("etc/yum.conf", "[main]\nreposdir=\n[inconf]\n");
    ASSERT_TRUE(conf.read(nullptr));
    ASSERT_TRUE(conf.reposdirs.isEmpty());
    Entry added;
    added.id = "nowhere";
    conf.entries.append(added);
    EXPECT_TRUE(failingWrite().startsWith("Repository nowhere cannot be written to nowhere.repo:"));
}

TEST_F(ConfWriteFailure, ACharacterBeyondLatinOneIsRefusedNamingTheRepository)
{
    writeFixture();
    ASSERT_TRUE(conf.read(nullptr));
    conf.entries.last().name = QString::fromUtf8("Za\u017c\u00f3\u0142\u0107");
    EXPECT_EQ(failingWrite(),
              QString("Repository s holds a character that cannot be written to %1; errno = 84 "
                      "(Invalid or incomplete multibyte or wide character).")
                  .arg(tree.path("etc/yum.repos.d/secret.repo")));
}

TEST_F(ConfWriteFailure, ALineBreakThatWouldStartANewLineIsRefused)
{
    writeFixture();
    ASSERT_TRUE(conf.read(nullptr));
    conf.entries.last().name = "x\n[injected]";
    EXPECT_EQ(failingWrite(), "Repository s cannot be written: Name has a line break; errno = 22 "
                              "(Invalid argument).");
    conf.entries.last().name = "ok";
    conf.entries.last().mirrorlist = "http://a\nenabled=0";
    EXPECT_EQ(failingWrite(), "Repository s cannot be written: Mirror list URL has a line break; "
                              "errno = 22 (Invalid argument).");
    // A continuation line is still a continuation line when written back.
    conf.entries.last().mirrorlist = "http://a\n  http://b";
    EXPECT_TRUE(conf.write(nullptr));
}

TEST_F(ConfWriteFailure, NoWriteAfterAReadThatStopped)
{
    writeFixture();
    tree.write("etc/yum.repos.d/zbroken.repo", "[zbroken\n");
    {
        BoxWatcher watcher;
        EXPECT_FALSE(conf.read(nullptr));
    }
    EXPECT_FALSE(conf.readComplete());
    EXPECT_TRUE(failingWrite().startsWith(
        "The repository configuration was not read completely, so it is not written"));
}

TEST_F(ConfWriteFailure, NoWriteBeforeAnyRead)
{
    writeFixture();
    EXPECT_FALSE(failingWrite().isEmpty());
}

class ConfIdentifierCheck : public ConfWrite
{
protected:
    void readThree()
    {
        tree.write("etc/yum.conf", "[main]\n");
        tree.write("etc/yum.repos.d/a.repo", "[a]\nname=first\n[a]\nname=second\n[]\n[a]\nname=third\n");
        ASSERT_TRUE(conf.read(nullptr));
    }
};

TEST_F(ConfIdentifierCheck, DecliningWritesNothing)
{
    readThree();
    const QMap<QString, QString> before = tree.snapshot();
    BoxWatcher watcher;
    EXPECT_FALSE(conf.write(nullptr));
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].title, "Repository Editor");
    EXPECT_EQ(watcher.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(watcher.boxes[0].text,
              "A repository has no Identifier.  It will be removed.\n"
              "Two or more repositories have the same Identifier(s), a, a, a.  Only one repository "
              "will be applied for each Identifier.  Proceed?");
    EXPECT_EQ(conf.entries.size(), 4);
    EXPECT_EQ(tree.snapshot(), before);
}

TEST_F(ConfIdentifierCheck, ProceedingKeepsTheFirstOfEachIdentifier)
{
    readThree();
    BoxWatcher watcher(QMessageBox::Yes);
    EXPECT_TRUE(conf.write(nullptr));
    ASSERT_EQ(watcher.boxes.size(), 1);
    ASSERT_EQ(conf.entries.size(), 1);
    EXPECT_EQ(conf.entries[0].name, "first");
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"), "[a]\nname=first\n");
}
