// Replacing several files through temporaries that are flushed before they
// are renamed over the originals, with roll-back when a rename fails.
#include "repos/safefilewriter.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace
{

// Links are followed at most this often, as the kernel does.
const int maxLinkHops = 40;

// A temporary is named ".<name>" + temporaryMark + six random letters and
// digits: it starts with "." and does not end in ".repo", so nothing reads
// one that is left behind, and the mark tells it from the user's own files.
const char temporaryMark[] = ".kuvtmp.";
const int temporaryRandom = 6;

bool isTemporaryName(const char* name)
{
    const int size = int(std::strlen(name));
    const int mark = int(sizeof temporaryMark) - 1;
    if (size < 2 + mark + temporaryRandom || name[0] != '.')
        return false;
    if (std::strncmp(name + size - temporaryRandom - mark, temporaryMark, size_t(mark)) != 0)
        return false;
    for (int i = size - temporaryRandom; i < size; ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

mode_t currentUmask()
{
    // umask() can only be read by setting it, which would briefly change it
    // for every thread of the process.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(mask);
            }
        }
    }
    return 022;
}

// The folder with every link in it resolved; as written when it does not
// exist.
QString realFolder(const QString& folder)
{
    char* real = ::realpath(QFile::encodeName(folder).constData(), nullptr);
    if (!real)
        return folder;
    const QString result = QFile::decodeName(real);
    std::free(real);
    return result;
}

// The file that writing to the path replaces: links of the last component
// followed (also to a file that does not exist yet), the folder resolved.
// Returns 0 or an errno value.
int resolveTarget(const QString& path, QString& target)
{
    QString current = QDir::cleanPath(path);
    for (int hops = 0;; ++hops) {
        struct stat info;
        if (::lstat(QFile::encodeName(current).constData(), &info) != 0) {
            if (errno != ENOENT)
                return errno;
            break;
        }
        if (!S_ISLNK(info.st_mode))
            break;
        if (hops == maxLinkHops)
            return ELOOP;
        QByteArray link(int(info.st_size) + 1, '\0');
        const ssize_t size = ::readlink(QFile::encodeName(current).constData(), link.data(),
                                        size_t(link.size()));
        if (size < 0)
            return errno;
        // A link that grew since lstat() is read again.
        if (size >= link.size()) {
            --hops;
            continue;
        }
        link.truncate(int(size));
        QString next = QFile::decodeName(link);
        // Relative to the real folder of the link, so that ".." in the link
        // climbs the way the kernel climbs.
        if (!next.startsWith(QLatin1Char('/')))
            next = realFolder(QFileInfo(current).path()) + QLatin1Char('/') + next;
        current = QDir::cleanPath(next);
    }
    const QFileInfo info(current);
    target = QDir::cleanPath(realFolder(info.path()) + QLatin1Char('/') + info.fileName());
    return 0;
}

}

// ---- The real calls ----

SafeFileWriter::FileSystem::~FileSystem() = default;

int SafeFileWriter::FileSystem::createTemporary(QByteArray& pathTemplate, int& fd)
{
    const QByteArray pattern = pathTemplate;
    for (int attempt = 0; attempt < 100; ++attempt) {
        pathTemplate = pattern;
        // mkostemp() creates the file with mode 0600 whatever the umask.
        fd = ::mkostemp(pathTemplate.data(), O_CLOEXEC);
        if (fd < 0)
            return errno;
        // The clean-up of another writer may have taken the new file for
        // one left behind before the lock was on it: then it is gone, or
        // being removed, and another one is made.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK)
                return 0;  // no locks here, and so no clean-up either
            ::close(fd);
            continue;
        }
        struct stat info;
        const int number = statusOf(fd, info);
        if (number == 0 && info.st_nlink > 0)
            return 0;
        // Not knowing whether it is still there, it is removed while the
        // lock is on it, or it would stay behind empty, its lock gone.
        if (number != 0)
            remove(pathTemplate);
        ::close(fd);
    }
    fd = -1;
    return EAGAIN;
}

int SafeFileWriter::FileSystem::writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        left -= n;
    }
    return 0;
}

int SafeFileWriter::FileSystem::statusOf(int fd, struct stat& info)
{
    return ::fstat(fd, &info) == 0 ? 0 : errno;
}

int SafeFileWriter::FileSystem::changeOwner(int fd, uid_t uid, gid_t gid)
{
    return ::fchown(fd, uid, gid) == 0 ? 0 : errno;
}

int SafeFileWriter::FileSystem::sync(int fd)
{
    return ::fsync(fd) == 0 ? 0 : errno;
}

int SafeFileWriter::FileSystem::close(int fd)
{
    return ::close(fd) == 0 ? 0 : errno;
}

int SafeFileWriter::FileSystem::changeMode(const QByteArray& path, mode_t mode)
{
    return ::chmod(path.constData(), mode) == 0 ? 0 : errno;
}

int SafeFileWriter::FileSystem::rename(const QByteArray& from, const QByteArray& to)
{
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

int SafeFileWriter::FileSystem::remove(const QByteArray& path)
{
    return ::unlink(path.constData()) == 0 ? 0 : errno;
}

int SafeFileWriter::FileSystem::status(const QByteArray& path, struct stat& info)
{
    return ::stat(path.constData(), &info) == 0 ? 0 : errno;
}

int SafeFileWriter::FileSystem::readAll(const QByteArray& path, QByteArray& bytes)
{
    // Non-blocking: a FIFO put in the file's place cannot hang the commit.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int number = readToEnd(fd, bytes);
    ::close(fd);
    return number;
}

int SafeFileWriter::FileSystem::openDirectory(const QByteArray& path, int& fd)
{
    fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? errno : 0;
}

// ---- The writer ----

int SafeFileWriter::readToEnd(int fd, QByteArray& bytes, qint64 limit)
{
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes.append(buffer, int(n));
        if (limit >= 0 && bytes.size() > limit)
            return EFBIG;
    }
}

QString SafeFileWriter::target(const QString& path)
{
    QString resolved;
    return resolveTarget(path, resolved) == 0 ? resolved : QDir::cleanPath(path);
}

struct SafeFileWriter::File
{
    // As planned.
    QString path;
    QByteArray bytes;
    bool secret = false;
    // The file replaced: the path with links followed.
    QString target;
    QString temp;
    bool existed = false;
    // The replaced file's status, when it existed.
    struct stat info {};
    QByteArray original;
    // Holds the temporary's lock until it is renamed or removed.
    int hold = -1;
    // The mode the new file gets just before its rename.
    mode_t mode = 0;
    bool renamed = false;
};

SafeFileWriter::SafeFileWriter(FileSystem* fileSystem)
    : fs(fileSystem)
{
    if (!fs) {
        static FileSystem real;
        fs = &real;
    }
}

SafeFileWriter::~SafeFileWriter() = default;

void SafeFileWriter::plan(const QString& path, const QByteArray& bytes, bool secret)
{
    File file;
    file.path = path;
    file.bytes = bytes;
    file.secret = secret;
    files.push_back(file);
}

QList<SafeFileWriter::Tightened> SafeFileWriter::tightened() const
{
    return tightenedFiles;
}

SafeFileWriter::Error SafeFileWriter::commit()
{
    tightenedFiles.clear();
    Error error;
    auto fail = [&](const File& file, Step step, int number) {
        discardTemporaries();
        tightenedFiles.clear();
        error.number = number;
        error.path = file.path;
        error.step = step;
        return error;
    };

    const mode_t mask = currentUmask();
    QSet<QString> targets;
    for (File& file : files) {
        int number = resolveTarget(file.path, file.target);
        if (number != 0)
            return fail(file, Step::Examine, number);
        // Two names of one file would each truncate what the other wrote.
        if (targets.contains(file.target))
            return fail(file, Step::Examine, EEXIST);
        targets.insert(file.target);

        const QByteArray target = QFile::encodeName(file.target);
        number = fs->status(target, file.info);
        if (number == 0) {
            if (!S_ISREG(file.info.st_mode))
                return fail(file, Step::Examine, S_ISDIR(file.info.st_mode) ? EISDIR : EINVAL);
            file.existed = true;
            file.mode = file.info.st_mode & 07777;
            // Kept to put the file back should a later rename fail.
            number = fs->readAll(target, file.original);
            if (number != 0)
                return fail(file, Step::ReadOriginal, number);
            if (file.secret && (file.mode & 077) != 0) {
                const mode_t tight = file.mode & ~mode_t(077);
                tightenedFiles.append({file.path, file.mode, tight});
                file.mode = tight;
            }
        } else if (number == ENOENT) {
            file.mode = file.secret ? mode_t(0600) : mode_t(0666 & ~mask);
        } else {
            return fail(file, Step::Examine, number);
        }

        const QString folder = QFileInfo(file.target).path();
        if (!cleanedFolders.contains(folder)) {
            cleanedFolders.insert(folder);
            removeStaleTemporaries(folder);
        }
        Step step = Step::None;
        number = writeTemporary(file.target, file.info, file.bytes, file.existed, file.temp,
                                file.hold, step);
        if (number != 0)
            return fail(file, step, number);
    }

    for (File& file : files) {
        const QByteArray temp = QFile::encodeName(file.temp);
        // The final mode only now: until here every temporary holding a
        // password was private, also one that a crash leaves behind.
        Step step = Step::ChangeMode;
        int number = fs->changeMode(temp, file.mode);
        if (number == 0) {
            step = Step::Rename;
            number = fs->rename(temp, QFile::encodeName(file.target));
        }
        if (number != 0) {
            const QStringList leftNew = rollBack();
            fail(file, step, number);
            error.leftNew = leftNew;
            return error;
        }
        file.renamed = true;
        file.temp.clear();
        release(file.hold);
    }
    syncDirectories();
    return error;
}

int SafeFileWriter::writeTemporary(const QString& target, const struct stat& owner,
                                   const QByteArray& bytes, bool setOwner, QString& temp,
                                   int& hold, Step& step)
{
    const QFileInfo info(target);
    QByteArray pattern = QFile::encodeName(info.path() + QLatin1String("/.") + info.fileName())
                         + temporaryMark + QByteArray(temporaryRandom, 'X');
    int fd = -1;
    step = Step::CreateTemporary;
    int number = fs->createTemporary(pattern, fd);
    if (number != 0)
        return number;
    // The lock lives as long as one descriptor of the file is open: a
    // second one keeps it from the close below until the rename.
    hold = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (hold < 0) {
        number = errno;
        fs->remove(pattern);
        fs->close(fd);
        return number;
    }
    temp = QFile::decodeName(pattern);

    step = Step::WriteTemporary;
    number = fs->writeAll(fd, bytes);
    if (number == 0 && setOwner) {
        step = Step::ChangeOwner;
        struct stat made;
        number = fs->statusOf(fd, made);
        if (number == 0 && (made.st_uid != owner.st_uid || made.st_gid != owner.st_gid))
            number = fs->changeOwner(fd, owner.st_uid, owner.st_gid);
    }
    if (number == 0) {
        step = Step::SyncTemporary;
        number = fs->sync(fd);
    }
    const int closed = fs->close(fd);
    if (number == 0 && closed != 0) {
        step = Step::CloseTemporary;
        number = closed;
    }
    return number;
}

void SafeFileWriter::discardTemporaries()
{
    for (File& file : files) {
        if (!file.temp.isEmpty()) {
            fs->remove(QFile::encodeName(file.temp));
            file.temp.clear();
        }
        release(file.hold);
    }
}

void SafeFileWriter::release(int& hold)
{
    if (hold >= 0)
        ::close(hold);
    hold = -1;
}

void SafeFileWriter::removeStaleTemporaries(const QString& folder)
{
    // A temporary that no writer holds locked was left by one that was
    // killed, and may hold a copy of a file with a password. Only regular
    // files named as temporaries are taken, each checked to be the file
    // that was locked, and nothing is reported: the write itself goes on.
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* listing = ::opendir(encoded.constData());
    if (!listing)
        return;
    QList<QByteArray> names;
    while (struct dirent* item = ::readdir(listing)) {
        if (isTemporaryName(item->d_name))
            names.append(encoded + QByteArray("/") + QByteArray(item->d_name));
    }
    ::closedir(listing);
    for (const QByteArray& path : names) {
        struct stat named;
        if (::lstat(path.constData(), &named) != 0 || !S_ISREG(named.st_mode))
            continue;
        // Not following a link, and not waiting on a FIFO put in its place.
        const int fd =
            ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened;
        struct stat now;
        if (::fstat(fd, &opened) == 0 && sameFile(opened, named)
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.constData(), &now) == 0
            && sameFile(now, opened))
            fs->remove(path);
        ::close(fd);
    }
}

QStringList SafeFileWriter::rollBack()
{
    // Put back what was already replaced, as far as the disk lets us; the
    // error that caused the roll-back is the one reported, with the files
    // that could not be put back.
    QStringList leftNew;
    for (File& file : files) {
        if (!file.renamed)
            continue;
        const QByteArray target = QFile::encodeName(file.target);
        if (!file.existed) {
            if (fs->remove(target) != 0)
                leftNew.append(file.path);
            continue;
        }
        QString temp;
        int hold = -1;
        Step step = Step::None;
        bool ok =
            writeTemporary(file.target, file.info, file.original, true, temp, hold, step) == 0;
        const QByteArray tempName = QFile::encodeName(temp);
        ok = ok && fs->changeMode(tempName, file.info.st_mode & 07777) == 0;
        ok = ok && fs->rename(tempName, target) == 0;
        if (!ok && !temp.isEmpty())
            fs->remove(tempName);
        release(hold);
        if (!ok)
            leftNew.append(file.path);
    }
    syncDirectories();
    return leftNew;
}

void SafeFileWriter::syncDirectories()
{
    // Errors are not reported: the files are in place by now, and a folder
    // that cannot be flushed changes nothing about what a reader sees.
    QSet<QString> done;
    for (const File& file : files) {
        const QString folder = QFileInfo(file.target).path();
        if (file.target.isEmpty() || done.contains(folder))
            continue;
        done.insert(folder);
        int fd = -1;
        if (fs->openDirectory(QFile::encodeName(folder), fd) == 0) {
            fs->sync(fd);
            fs->close(fd);
        }
    }
}
