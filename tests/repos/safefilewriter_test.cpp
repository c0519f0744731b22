// SafeFileWriter's crash safety, pinned by the order of its calls: every
// temporary is private and flushed before anything is renamed, gets its final
// mode only just before its rename, the folders are flushed after the renames,
// a failure at any step leaves the old files and says where it happened, and
// no temporary outlives its commit.
#include "repos/safefilewriter.h"

#include <cerrno>
#include <csignal>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include "tests/repos/conftree.h"

namespace
{

QString modeOf(const QString& path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return "none";
    return QString::number(info.st_mode & 07777, 8);
}

// A path as the recorded calls show it: "folder", or the file name with the
// random end of a temporary's name as "XXXXXX".
QString shown(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return "folder";
    const QString name = info.fileName();
    return name.startsWith('.') ? name.left(name.size() - 6) + "XXXXXX" : name;
}

// The real calls, with each flush, mode change and rename recorded as one
// line that ends with the file's mode at that moment. The call recorded as
// failAt fails with `failure` instead.
class RecordingFileSystem : public SafeFileWriter::FileSystem
{
public:
    QStringList calls;
    QString failAt;
    int failure = 0;

    int sync(int fd) override
    {
        const QString path = QFileInfo(QString("/proc/self/fd/%1").arg(fd)).symLinkTarget();
        const QString mode = QFileInfo(path).isDir() ? QString() : " " + modeOf(path);
        return record("sync " + shown(path) + mode) ? failure : FileSystem::sync(fd);
    }

    int changeMode(const QByteArray& path, mode_t mode) override
    {
        return record("mode " + shown(QFile::decodeName(path)) + " " + QString::number(mode, 8))
                   ? failure
                   : FileSystem::changeMode(path, mode);
    }

    int rename(const QByteArray& from, const QByteArray& to) override
    {
        const QString source = QFile::decodeName(from);
        return record("rename " + shown(source) + " " + shown(QFile::decodeName(to)) + " "
                      + modeOf(source))
                   ? failure
                   : FileSystem::rename(from, to);
    }

private:
    bool record(const QString& line)
    {
        calls.append(line);
        return line == failAt;
    }
};

// a.repo, reached through the link link.repo, and b.repo exist with mode
// 0644.
class SafeFileWriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        oldMask = ::umask(022);
        for (const char* name : {"a", "b"}) {
            QFile file(path(name + QString(".repo")));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("old " + QByteArray(name) + "\n");
        }
        ASSERT_TRUE(QFile::link("a.repo", path("link.repo")));
    }

    void TearDown() override { ::umask(oldMask); }

    QString path(const QString& name) const { return QDir(dir.path()).canonicalPath() + "/" + name; }

    QByteArray read(const QString& name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QStringList listing() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    // Replaces a.repo through its link and b.repo, and makes c.repo and
    // d.repo; b.repo and c.repo hold a password.
    void planFour(SafeFileWriter& writer)
    {
        writer.plan(path("link.repo"), "new a\n", false);
        writer.plan(path("b.repo"), "new b\n", true);
        writer.plan(path("c.repo"), "new c\n", true);
        writer.plan(path("d.repo"), "new d\n", false);
    }

    QTemporaryDir dir;
    mode_t oldMask = 022;
};

// The calls of planFour()'s commit up to its last rename: every temporary is
// private while it is written and on the disk before the first rename, and
// gets its final mode just before its rename.
const QStringList flushes{"sync .a.repo.kuvtmp.XXXXXX 600", "sync .b.repo.kuvtmp.XXXXXX 600",
                          "sync .c.repo.kuvtmp.XXXXXX 600", "sync .d.repo.kuvtmp.XXXXXX 600"};
const QStringList renames{"mode .a.repo.kuvtmp.XXXXXX 644",
                          "rename .a.repo.kuvtmp.XXXXXX a.repo 644",
                          "mode .b.repo.kuvtmp.XXXXXX 600",
                          "rename .b.repo.kuvtmp.XXXXXX b.repo 600",
                          "mode .c.repo.kuvtmp.XXXXXX 600",
                          "rename .c.repo.kuvtmp.XXXXXX c.repo 600",
                          "mode .d.repo.kuvtmp.XXXXXX 644",
                          "rename .d.repo.kuvtmp.XXXXXX d.repo 644"};

}

TEST_F(SafeFileWriterTest, TemporariesAreFlushedWhilePrivateAndRenamedWithTheirFinalMode)
{
    RecordingFileSystem fs;
    SafeFileWriter writer(&fs);
    planFour(writer);
    const SafeFileWriter::Error error = writer.commit();
    ASSERT_FALSE(error.failed()) << error.number;
    EXPECT_EQ(fs.calls, flushes + renames + QStringList{"sync folder"});
    for (const char* name : {"a", "b", "c", "d"})
        EXPECT_EQ(read(name + QString(".repo")), "new " + QByteArray(name) + "\n");
    EXPECT_TRUE(QFileInfo(path("link.repo")).isSymLink());
    EXPECT_EQ(SafeFileWriter::target(path("link.repo")), path("a.repo"));
    EXPECT_EQ(listing(), (QStringList{"a.repo", "b.repo", "c.repo", "d.repo", "link.repo"}));
    ASSERT_EQ(writer.tightened().size(), 1);
    EXPECT_EQ(writer.tightened()[0].path, path("b.repo"));
    EXPECT_EQ(writer.tightened()[0].oldMode, 0644u);
    EXPECT_EQ(writer.tightened()[0].newMode, 0600u);
}

// A failing flush stops the commit before any rename; a failing rename puts
// back the files renamed before it, with their old modes, through private
// and flushed temporaries of their own; a second name of a planned file,
// which would truncate what the first wrote, is refused.
TEST_F(SafeFileWriterTest, AFailureLeavesTheOldFilesAndSaysWhere)
{
    const QStringList rollBack{"sync .a.repo.kuvtmp.XXXXXX 600",
                               "mode .a.repo.kuvtmp.XXXXXX 644",
                               "rename .a.repo.kuvtmp.XXXXXX a.repo 644",
                               "sync .b.repo.kuvtmp.XXXXXX 600",
                               "mode .b.repo.kuvtmp.XXXXXX 644",
                               "rename .b.repo.kuvtmp.XXXXXX b.repo 644",
                               "sync folder"};
    const struct
    {
        QString failAt;
        int number;
        const char* file;
        SafeFileWriter::Step step;
        QStringList calls;
        const char* plannedAgain;
    } cases[] = {
        {flushes[2], EIO, "c.repo", SafeFileWriter::Step::SyncTemporary, flushes.mid(0, 3), nullptr},
        {renames[7], EXDEV, "d.repo", SafeFileWriter::Step::Rename, flushes + renames + rollBack,
         nullptr},
        {QString(), EEXIST, "a.repo", SafeFileWriter::Step::Examine, flushes, "a.repo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        RecordingFileSystem fs;
        fs.failAt = c.failAt;
        fs.failure = c.number;
        SafeFileWriter writer(&fs);
        planFour(writer);
        if (c.plannedAgain)
            writer.plan(path(c.plannedAgain), "again\n", false);
        const SafeFileWriter::Error error = writer.commit();
        EXPECT_EQ(error.number, c.number);
        EXPECT_EQ(error.path, path(c.file));
        EXPECT_EQ(error.step, c.step);
        EXPECT_EQ(fs.calls, c.calls);
        EXPECT_EQ(read("a.repo"), "old a\n");
        EXPECT_EQ(read("b.repo"), "old b\n");
        EXPECT_EQ(modeOf(path("b.repo")), "644");
        EXPECT_EQ(listing(), (QStringList{"a.repo", "b.repo", "link.repo"}));
        EXPECT_TRUE(writer.tightened().isEmpty());
    }
}

// When a rename fails and the roll-back can neither rename the old content
// back nor remove a file that is new, the error names every file that keeps
// its new content, as planned.
TEST_F(SafeFileWriterTest, AFailedRollBackNamesTheFilesLeftNew)
{
    FaultyFileSystem fs;
    fs.renamesThatWork = 3;
    fs.renameFailure = EIO;
    fs.pathEnd = "/c.repo";
    fs.removeFailure = EIO;
    SafeFileWriter writer(&fs);
    planFour(writer);
    const SafeFileWriter::Error error = writer.commit();
    EXPECT_EQ(error.number, EIO);
    EXPECT_EQ(error.path, path("d.repo"));
    EXPECT_EQ(error.step, SafeFileWriter::Step::Rename);
    EXPECT_EQ(error.leftNew, (QStringList{path("link.repo"), path("b.repo"), path("c.repo")}));
    EXPECT_EQ(read("a.repo"), "new a\n");
    EXPECT_EQ(read("c.repo"), "new c\n");
    EXPECT_EQ(listing(), (QStringList{"a.repo", "b.repo", "c.repo", "link.repo"}));
}

namespace
{

// The real calls, but the first status of a descriptor fails with EIO: that
// of the first temporary made, which may or may not still be there.
class StatusFailingFileSystem : public SafeFileWriter::FileSystem
{
public:
    bool failed = false;

    int statusOf(int fd, struct stat& info) override
    {
        if (!failed) {
            failed = true;
            return EIO;
        }
        return FileSystem::statusOf(fd, info);
    }
};

}

// A temporary whose status cannot be read is removed before the next one is
// made: the commit goes through and leaves no empty temporary behind.
TEST_F(SafeFileWriterTest, ATemporaryWhoseStatusFailsIsRemovedBeforeAnotherIsMade)
{
    StatusFailingFileSystem fs;
    SafeFileWriter writer(&fs);
    // A new file, whose owner the commit has no reason to look at.
    writer.plan(path("c.repo"), "new c\n", false);
    const SafeFileWriter::Error error = writer.commit();
    EXPECT_FALSE(error.failed()) << error.number;
    EXPECT_TRUE(fs.failed);
    EXPECT_EQ(read("c.repo"), "new c\n");
    EXPECT_EQ(listing(), (QStringList{"a.repo", "b.repo", "c.repo", "link.repo"}));
}

namespace
{

// The file system of a writer in a child process: it is killed at its first
// rename, or it tells the parent through `ready` that it is flushing its
// first temporary and waits for a byte on `go`.
class ChildFileSystem : public SafeFileWriter::FileSystem
{
public:
    bool killedAtRename = false;
    int ready = -1;
    int go = -1;

    int sync(int fd) override
    {
        if (ready >= 0) {
            char c = 'r';
            if (::write(ready, &c, 1) != 1 || ::read(go, &c, 1) != 1)
                ::_exit(3);
            ready = -1;
        }
        return FileSystem::sync(fd);
    }

    int rename(const QByteArray& from, const QByteArray& to) override
    {
        if (killedAtRename)
            ::kill(::getpid(), SIGKILL);
        return FileSystem::rename(from, to);
    }
};

QStringList without(QStringList names, const QStringList& gone)
{
    for (const QString& name : gone)
        names.removeAll(name);
    return names;
}

}

// A killed writer leaves its private temporaries behind; the next write in
// the folder removes them, and nothing else: not the temporary of a writer
// still at work, not the user's files, not a link however it is named.
TEST_F(SafeFileWriterTest, AWriteRemovesTheTemporariesOfKilledWritersOnly)
{
    const QStringList files = listing();
    auto commitInChild = [&](ChildFileSystem& fs) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            SafeFileWriter writer(&fs);
            writer.plan(path("a.repo"), "password=child\n", true);
            writer.plan(path("c.repo"), "child c\n", false);
            ::_exit(writer.commit().failed() ? 1 : 0);
        }
        return pid;
    };

    ChildFileSystem killed;
    killed.killedAtRename = true;
    pid_t pid = commitInChild(killed);
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    const QStringList leftBehind = without(listing(), files);
    ASSERT_EQ(leftBehind.size(), 2);
    for (const QString& name : leftBehind)
        EXPECT_EQ(modeOf(path(name)), "600") << name.toStdString();

    // The user's files beside them, and a link named as a temporary is.
    QString linkName = leftBehind[0];
    linkName[linkName.size() - 1] = linkName.endsWith('Z') ? QChar('Y') : QChar('Z');
    ASSERT_TRUE(QFile::link("b.repo", path(linkName)));
    // Dot-files long enough and ending in six letters or digits, and a
    // temporary's name without its leading dot, are no temporaries.
    QStringList users{".a.repo.backup", ".b.repo.XXXXXX", "a.repo.orig", ".centos.repo.backup",
                      ".fedora.repo.abc123", "a.repo.kuvtmp.abc123"};
    for (const QString& name : users) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("the user's\n");
    }
    users << linkName;

    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    ChildFileSystem live;
    live.ready = ready[1];
    live.go = go[0];
    pid = commitInChild(live);
    ASSERT_GT(pid, 0);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    const QStringList atWork = without(listing(), files + leftBehind + users);
    ASSERT_EQ(atWork.size(), 1);

    SafeFileWriter writer;
    writer.plan(path("b.repo"), "new b\n", false);
    EXPECT_FALSE(writer.commit().failed());
    QStringList expected = files + users + atWork;
    expected.sort();
    EXPECT_EQ(listing(), expected);
    EXPECT_EQ(read("b.repo"), "new b\n");
    EXPECT_TRUE(QFileInfo(path(linkName)).isSymLink());

    ASSERT_EQ(::write(go[1], "g", 1), 1);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(read("a.repo"), "password=child\n");
    EXPECT_EQ(read("c.repo"), "child c\n");
    for (const QString& name : users) {
        if (name != linkName) {
            EXPECT_EQ(read(name), "the user's\n");
        }
    }
    for (int fd : {ready[0], ready[1], go[0], go[1]})
        ::close(fd);
}
