// SafeFileWriter's crash safety, pinned by the order of its calls: every
// temporary is private and flushed before anything is renamed, gets its final
// mode only just before its rename, the folders are flushed after the renames,
// and a failure at any step leaves the old files and says where it happened.
#include "repos/safefilewriter.h"

#include <algorithm>
#include <cerrno>
#include <functional>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <QTemporaryDir>

namespace
{

// The real calls, each recorded as one line; the mode of a temporary is
// recorded as it is when the temporary is flushed and when it is renamed.
class RecordingFileSystem : public SafeFileWriter::FileSystem
{
public:
    // Called before each call with its record line; a non-zero result is
    // returned as that call's failure.
    std::function<int(const QString&)> failure = [](const QString&) { return 0; };
    QStringList calls;

    int createTemporary(QByteArray& pathTemplate, int& fd) override
    {
        const int number = FileSystem::createTemporary(pathTemplate, fd);
        if (number == 0)
            names.insert(fd, QFile::decodeName(pathTemplate));
        return number;
    }

    int sync(int fd) override
    {
        const QString& path = names.value(fd);
        QString line = "sync " + path;
        if (!QFileInfo(path).isDir())
            line += " mode " + modeOf(path);
        return record(line, [&] { return FileSystem::sync(fd); });
    }

    int close(int fd) override
    {
        const int number = FileSystem::close(fd);
        names.remove(fd);
        return number;
    }

    int changeMode(const QByteArray& path, mode_t mode) override
    {
        return record("mode " + QFile::decodeName(path) + " " + QString::number(mode, 8),
                      [&] { return FileSystem::changeMode(path, mode); });
    }

    int rename(const QByteArray& from, const QByteArray& to) override
    {
        const QString source = QFile::decodeName(from);
        return record("rename " + source + " " + QFile::decodeName(to) + " mode " + modeOf(source),
                      [&] { return FileSystem::rename(from, to); });
    }

    int openDirectory(const QByteArray& path, int& fd) override
    {
        const int number = FileSystem::openDirectory(path, fd);
        if (number == 0)
            names.insert(fd, QFile::decodeName(path));
        return number;
    }

    static QString modeOf(const QString& path)
    {
        struct stat info;
        if (::stat(QFile::encodeName(path).constData(), &info) != 0)
            return "none";
        return QString::number(info.st_mode & 07777, 8);
    }

private:
    int record(const QString& line, const std::function<int()>& call)
    {
        calls.append(line);
        const int number = failure(line);
        return number != 0 ? number : call();
    }

    QHash<int, QString> names;
};

class SafeFileWriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        oldMask = ::umask(022);
        write("a.repo", "old a\n", 0644);
        write("b.repo", "old b\n", 0644);
    }

    void TearDown() override { ::umask(oldMask); }

    QString path(const QString& name) const { return QDir(dir.path()).canonicalPath() + "/" + name; }

    void write(const QString& name, const QByteArray& bytes, mode_t mode)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        ASSERT_EQ(::chmod(QFile::encodeName(path(name)).constData(), mode), 0);
    }

    QByteArray read(const QString& name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QStringList listing() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    // a.repo and b.repo exist; c.repo and d.repo are new. b.repo and c.repo
    // hold a password.
    void planFour(SafeFileWriter& writer)
    {
        writer.plan(path("a.repo"), "new a\n", false);
        writer.plan(path("b.repo"), "new b\n", true);
        writer.plan(path("c.repo"), "new c\n", true);
        writer.plan(path("d.repo"), "new d\n", false);
    }

    // The index of the first call that starts with the text; -1 if none.
    static int indexOf(const QStringList& calls, const QString& start)
    {
        for (int i = 0; i < calls.size(); ++i) {
            if (calls[i].startsWith(start))
                return i;
        }
        return -1;
    }

    QTemporaryDir dir;
    mode_t oldMask = 022;
};

}

TEST_F(SafeFileWriterTest, TemporariesAreFlushedWhilePrivateAndRenamedWithTheirFinalMode)
{
    RecordingFileSystem fs;
    SafeFileWriter writer(&fs);
    planFour(writer);
    const SafeFileWriter::Error error = writer.commit();
    ASSERT_FALSE(error.failed()) << error.number;

    const QHash<QString, QString> finalModes{
        {"a.repo", "644"}, {"b.repo", "600"}, {"c.repo", "600"}, {"d.repo", "644"}};
    int lastSync = -1;
    int firstRename = fs.calls.size();
    int lastRename = -1;
    for (const QString& name : QStringList{"a.repo", "b.repo", "c.repo", "d.repo"}) {
        const QString temp = path("." + name + ".");
        const int sync = indexOf(fs.calls, "sync " + temp);
        const int mode = indexOf(fs.calls, "mode " + temp);
        const int rename = indexOf(fs.calls, "rename " + temp);
        ASSERT_GE(sync, 0) << name.toStdString();
        ASSERT_GE(mode, 0) << name.toStdString();
        ASSERT_GE(rename, 0) << name.toStdString();
        // Private while it is written and flushed...
        EXPECT_TRUE(fs.calls[sync].endsWith(" mode 600")) << fs.calls[sync].toStdString();
        // ...and its final mode just before its rename.
        EXPECT_EQ(mode + 1, rename) << name.toStdString();
        EXPECT_TRUE(fs.calls[rename].endsWith(" " + path(name) + " mode " + finalModes[name]))
            << fs.calls[rename].toStdString();
        EXPECT_EQ(read(name), "new " + name.left(1).toLatin1() + "\n");
        lastSync = std::max(lastSync, sync);
        firstRename = std::min(firstRename, rename);
        lastRename = std::max(lastRename, rename);
    }
    // Every temporary is complete on the disk before the first rename, and
    // the folder is flushed after the last.
    EXPECT_LT(lastSync, firstRename);
    const int folderSync = fs.calls.lastIndexOf("sync " + QDir(dir.path()).canonicalPath());
    EXPECT_GT(folderSync, lastRename);

    ASSERT_EQ(writer.tightened().size(), 1);
    EXPECT_EQ(writer.tightened()[0].path, path("b.repo"));
    EXPECT_EQ(writer.tightened()[0].oldMode, 0644u);
    EXPECT_EQ(writer.tightened()[0].newMode, 0600u);
    EXPECT_EQ(listing(), (QStringList{"a.repo", "b.repo", "c.repo", "d.repo"}));
}

TEST_F(SafeFileWriterTest, AFailingFlushLeavesTheOldFilesAndSaysWhere)
{
    RecordingFileSystem fs;
    fs.failure = [this](const QString& line) {
        return line.startsWith("sync " + path(".c.repo.")) ? EIO : 0;
    };
    SafeFileWriter writer(&fs);
    planFour(writer);
    const SafeFileWriter::Error error = writer.commit();
    EXPECT_EQ(error.number, EIO);
    EXPECT_EQ(error.path, path("c.repo"));
    EXPECT_EQ(error.step, SafeFileWriter::Step::SyncTemporary);
    EXPECT_EQ(indexOf(fs.calls, "rename "), -1);
    EXPECT_EQ(read("a.repo"), "old a\n");
    EXPECT_EQ(read("b.repo"), "old b\n");
    EXPECT_EQ(listing(), (QStringList{"a.repo", "b.repo"}));
    EXPECT_TRUE(writer.tightened().isEmpty());
}

TEST_F(SafeFileWriterTest, AFailingRenamePutsBackWhatWasReplaced)
{
    RecordingFileSystem fs;
    fs.failure = [this](const QString& line) {
        return line.startsWith("rename " + path(".d.repo.")) ? EXDEV : 0;
    };
    SafeFileWriter writer(&fs);
    planFour(writer);
    const SafeFileWriter::Error error = writer.commit();
    EXPECT_EQ(error.number, EXDEV);
    EXPECT_EQ(error.path, path("d.repo"));
    EXPECT_EQ(error.step, SafeFileWriter::Step::Rename);
    EXPECT_EQ(read("a.repo"), "old a\n");
    EXPECT_EQ(read("b.repo"), "old b\n");
    // The old modes come back with the old contents.
    EXPECT_EQ(RecordingFileSystem::modeOf(path("b.repo")), "644");
    EXPECT_EQ(listing(), (QStringList{"a.repo", "b.repo"}));
}

TEST_F(SafeFileWriterTest, ALinkStaysALinkAndTwoNamesOfOneFileAreRefused)
{
    ASSERT_TRUE(QFile::link("a.repo", path("link.repo")));
    {
        SafeFileWriter writer;
        writer.plan(path("link.repo"), "through the link\n", false);
        ASSERT_FALSE(writer.commit().failed());
    }
    EXPECT_TRUE(QFileInfo(path("link.repo")).isSymLink());
    EXPECT_EQ(read("a.repo"), "through the link\n");
    EXPECT_EQ(SafeFileWriter::target(path("link.repo")), path("a.repo"));

    SafeFileWriter writer;
    writer.plan(path("a.repo"), "one\n", false);
    writer.plan(path("link.repo"), "two\n", false);
    const SafeFileWriter::Error error = writer.commit();
    EXPECT_EQ(error.number, EEXIST);
    EXPECT_EQ(error.path, path("link.repo"));
    EXPECT_EQ(read("a.repo"), "through the link\n");
}
