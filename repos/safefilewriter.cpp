// Replacing several files through temporaries that are flushed before they
// are renamed over the originals, with roll-back when a rename fails.
#include "repos/safefilewriter.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace
{

// Links are followed at most this often, as the kernel does.
const int maxLinkHops = 40;

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
    // mkostemp() creates the file with mode 0600 whatever the umask.
    fd = ::mkostemp(pathTemplate.data(), O_CLOEXEC);
    return fd < 0 ? errno : 0;
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

        Step step = Step::None;
        number = writeTemporary(file.target, file.info, file.bytes, file.existed, file.temp, step);
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
            rollBack();
            return fail(file, step, number);
        }
        file.renamed = true;
        file.temp.clear();
    }
    syncDirectories();
    return error;
}

int SafeFileWriter::writeTemporary(const QString& target, const struct stat& owner,
                                   const QByteArray& bytes, bool setOwner, QString& temp,
                                   Step& step)
{
    // The name starts with "." and does not end in ".repo", so nothing reads
    // a temporary that is left behind.
    const QFileInfo info(target);
    QByteArray pattern = QFile::encodeName(info.path() + QLatin1String("/.") + info.fileName()
                                           + QLatin1String(".XXXXXX"));
    int fd = -1;
    step = Step::CreateTemporary;
    int number = fs->createTemporary(pattern, fd);
    if (number != 0)
        return number;
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
    }
}

void SafeFileWriter::rollBack()
{
    // Put back what was already replaced, as far as the disk lets us; the
    // error that caused the roll-back is the one reported.
    for (File& file : files) {
        if (!file.renamed)
            continue;
        const QByteArray target = QFile::encodeName(file.target);
        if (!file.existed) {
            fs->remove(target);
            continue;
        }
        QString temp;
        Step step = Step::None;
        bool ok = writeTemporary(file.target, file.info, file.original, true, temp, step) == 0;
        const QByteArray tempName = QFile::encodeName(temp);
        ok = ok && fs->changeMode(tempName, file.info.st_mode & 07777) == 0;
        ok = ok && fs->rename(tempName, target) == 0;
        if (!ok && !temp.isEmpty())
            fs->remove(tempName);
    }
    syncDirectories();
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
