// SafeFileWriter: replaces a set of files so that a crash or a failure at any
// point leaves each of them with either its old or its new content, never a
// mixture and never a half-written file. The files are first planned, then
// committed in one go; the commit returns its error instead of leaving it in
// errno.
#pragma once

#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class SafeFileWriter
{
public:
    // The system calls a commit makes, one function each, so that a test can
    // record their order and make any one of them fail. Each returns 0 or the
    // errno value of its failure. The default is the real calls.
    class FileSystem
    {
    public:
        virtual ~FileSystem();

        // Creates the file named by the template (its last six characters
        // "XXXXXX"), readable and writable by its owner only, and opens it
        // with an exclusive flock() on it, which tells the clean-up of
        // other writers that it is in use while a descriptor of it is open.
        // It looks at the new file through statusOf() and makes another
        // when that one is gone; one it cannot look at it removes first.
        virtual int createTemporary(QByteArray& pathTemplate, int& fd);
        virtual int writeAll(int fd, const QByteArray& bytes);
        virtual int statusOf(int fd, struct stat& info);
        virtual int changeOwner(int fd, uid_t uid, gid_t gid);
        virtual int sync(int fd);
        virtual int close(int fd);
        virtual int changeMode(const QByteArray& path, mode_t mode);
        virtual int rename(const QByteArray& from, const QByteArray& to);
        virtual int remove(const QByteArray& path);
        // Follows symbolic links.
        virtual int status(const QByteArray& path, struct stat& info);
        virtual int readAll(const QByteArray& path, QByteArray& bytes);
        virtual int openDirectory(const QByteArray& path, int& fd);
    };

    // What a commit was doing when it failed.
    enum class Step {
        None,
        Examine,          // resolving links and looking at the file replaced
        ReadOriginal,     // keeping the old content for a roll-back
        CreateTemporary,
        WriteTemporary,
        ChangeOwner,
        SyncTemporary,
        CloseTemporary,
        ChangeMode,
        Rename,
    };

    struct Error
    {
        bool failed() const { return number != 0; }

        // The errno value; 0 when the commit succeeded.
        int number = 0;
        // The file as it was planned.
        QString path;
        Step step = Step::None;
        // The files, as planned, that keep their new content although the
        // commit failed: the roll-back could not put them back.
        QStringList leftNew;
    };

    // A file that held a password and was readable by others before.
    struct Tightened
    {
        QString path;
        mode_t oldMode;
        mode_t newMode;
    };

    // The file that writing to path replaces: symbolic links followed (also
    // to a file yet to be made), its folder resolved. Two paths of one file
    // give one target.
    static QString target(const QString& path);

    // Reads the descriptor to its end, without closing it. Returns 0, the
    // errno value of a failed read, or EFBIG as soon as more than limit
    // bytes came (a negative limit reads everything).
    static int readToEnd(int fd, QByteArray& bytes, qint64 limit = -1);

    // The file system is borrowed; null means the real calls.
    explicit SafeFileWriter(FileSystem* fileSystem = nullptr);
    ~SafeFileWriter();

    // Plans to replace the file at path with bytes. A symbolic link stays a
    // link and the file it leads to is replaced. A secret file (one that
    // holds a password) ends up readable by its owner only; any other keeps
    // its mode, and a new one gets the mode the umask leaves.
    void plan(const QString& path, const QByteArray& bytes, bool secret);

    // Writes every planned file to a temporary ".<name>.kuvtmp.XXXXXX"
    // beside the file it replaces, flushed to the disk, then renames each
    // over its file and flushes the directories. On failure no temporary
    // remains and the files already renamed are put back as far as the disk
    // lets us; the error names those that could not be. The temporaries are
    // readable by their owner only until just before their rename, so one
    // left behind by a crash shows nothing, and each stays locked until its
    // rename. Before it writes in a folder, a commit removes the temporaries
    // there that no writer holds locked: those of writers that were killed.
    // A writer commits once.
    Error commit();

    // After a successful commit: the files that lost the group and other
    // bits of their mode because they hold a password.
    QList<Tightened> tightened() const;

private:
    Q_DISABLE_COPY_MOVE(SafeFileWriter)

    struct File;

    // Writes the bytes to a new temporary beside the target, with the owner
    // and group of `owner` when setOwner, flushed and closed; returns 0 or
    // an errno value, and the step that failed. `hold` is a second
    // descriptor of the temporary, which keeps its lock until release().
    int writeTemporary(const QString& target, const struct stat& owner, const QByteArray& bytes,
                       bool setOwner, QString& temp, int& hold, Step& step);
    static void release(int& hold);
    void removeStaleTemporaries(const QString& folder);
    void discardTemporaries();
    // Returns the files it could not put back, as planned.
    QStringList rollBack();
    void syncDirectories();

    FileSystem* fs;
    std::vector<File> files;
    QList<Tightened> tightenedFiles;
    QSet<QString> cleanedFolders;
};
