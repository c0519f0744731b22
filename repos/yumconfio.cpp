// Reading yum.conf and the repository files into entries and session flags,
// and writing them back through temporary files that replace the originals
// only once every one of them has been written completely.
#include "repos/yumconfio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegExp>

#include "engine/configroot.h"
#include "repos/kivrel.h"

namespace
{

bool beginsWithBlank(const QString& line)
{
    return !line.isEmpty() && (line[0] == QLatin1Char(' ') || line[0] == QLatin1Char('\t'));
}

// A "\n" that is not followed by a blank or a tab would start a line of its
// own in the file instead of continuing the value.
bool hasBareLineBreak(const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\n') && !beginsWithBlank(text.mid(i + 1, 1)))
            return true;
    }
    return false;
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

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

// Non-blocking, so that a FIFO among the files cannot hang the program.
int openForReading(const QByteArray& path)
{
    return ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// Reads to the end and closes the descriptor; errno tells a failure.
bool readAndClose(int fd, QByteArray& bytes)
{
    bytes.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        bytes.append(buffer, int(n));
    }
    ::close(fd);
    return true;
}

bool readAll(const QByteArray& path, QByteArray& bytes)
{
    const int fd = openForReading(path);
    return fd >= 0 && readAndClose(fd, bytes);
}

// Writes the bytes to a new temporary file beside the target, with the given
// mode and owner, flushed to the disk. The name starts with "." and does not
// end in ".repo", so nothing reads a temporary that is left behind.
bool writeTemporary(const QString& target, const QByteArray& bytes, mode_t mode, bool setOwner,
                    uid_t uid, gid_t gid, QString& temp)
{
    const QFileInfo info(target);
    QByteArray pattern = QFile::encodeName(info.path() + QLatin1String("/.") + info.fileName()
                                           + QLatin1String(".XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return false;
    temp = QFile::decodeName(pattern);
    struct stat made;
    bool ok = writeAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fstat(fd, &made) == 0;
    if (ok && setOwner && (made.st_uid != uid || made.st_gid != gid))
        ok = ::fchown(fd, uid, gid) == 0;
    ok = ok && ::fsync(fd) == 0;
    const int saved = errno;
    if (::close(fd) != 0 && ok)
        return false;
    errno = saved;
    return ok;
}

void removeTemporary(QString& temp)
{
    if (!temp.isEmpty()) {
        const int saved = errno;
        ::unlink(QFile::encodeName(temp).constData());
        errno = saved;
        temp.clear();
    }
}

void syncDirectory(const QString& dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}

// The lines of one file in memory, read as physical lines and as logical
// lines, which take the following lines that begin with a blank or a tab as
// their continuation.
class YumConfIO::LineReader
{
public:
    // Bytes become characters of the same code; a carriage return stays
    // part of its line, and a last line without a newline still counts.
    void setData(const QByteArray& bytes)
    {
        lines.clear();
        next = lastStart = 0;
        const QList<QByteArray> parts = bytes.split('\n');
        for (int i = 0; i < parts.size(); ++i) {
            if (i == parts.size() - 1 && parts[i].isEmpty())
                break;
            lines.append(QString::fromLatin1(parts[i]));
        }
    }

    bool readLine(QString& line)
    {
        if (next >= lines.size())
            return false;
        line = lines[next++];
        return true;
    }

    bool readLogicalLine(QString& line)
    {
        lastStart = next;
        if (!readLine(line))
            return false;
        while (next < lines.size() && beginsWithBlank(lines[next]))
            line += QLatin1Char('\n') + lines[next++];
        return true;
    }

    // The last logical line comes again at the next read.
    void unreadLine() { next = lastStart; }

private:
    QStringList lines;
    int next = 0;
    int lastStart = 0;
};

struct YumConfIO::PlannedFile
{
    // The path the entries name (yum.conf's for the main text).
    QString path;
    QByteArray bytes;
    bool secret = false;
    // The file that is replaced: the path with symbolic links followed, so
    // that a linked repository file stays a link.
    QString target;
    QString temp;
    bool existed = false;
    struct stat info {};
    QByteArray original;
    bool renamed = false;
};

YumConfIO::YumConfIO(const QList<YumRepoEnabled>& repoEnabled, QHash<QString, bool>& used)
    : QObject(nullptr)
    , repoEnabled(&repoEnabled)
    , used(&used)
{
}

QString YumConfIO::fileName()
{
    return ConfigRoot::yumConf();
}

bool YumConfIO::readComplete() const
{
    return complete;
}

// ---- Reading ----

bool YumConfIO::read(QWidget* parent)
{
    this->parent = parent;
    complete = false;
    mainText.clear();
    cachedir = QStringLiteral("/var/cache/yum");
    reposdirs.clear();
    for (const QString& dir : ConfigRoot::defaultRepoDirs())
        reposdirs.append(QDir::cleanPath(dir));
    enabledDefault = true;
    gpgcheckDefault = false;
    entries.clear();
    filesWithSections.clear();
    preambles.clear();

    const QString conf = fileName();
    LineReader confReader;
    if (!loadFile(conf, true, confReader) || !readConfFile(confReader, conf))
        return false;

    for (const QString& dir : reposdirs) {
        DIR* listing = ::opendir(QFile::encodeName(dir).constData());
        if (!listing)
            continue;
        QList<QByteArray> names;
        while (struct dirent* item = ::readdir(listing)) {
            const QByteArray name(item->d_name);
            if (name.endsWith(".repo"))
                names.append(name);
        }
        ::closedir(listing);
        // Sorted, as dnf reads them, so that the first of two
        // sections with one identifier is the same on every run.
        std::sort(names.begin(), names.end());

        for (const QByteArray& name : names) {
            const QString path = dir + QLatin1Char('/') + QFile::decodeName(name);
            struct stat info;
            if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
                error(tr("Unable to stat repository configuration file %1").arg(path));
                return false;
            }
            if (S_ISDIR(info.st_mode))
                continue;
            LineReader reader;
            QString preamble;
            if (!loadFile(path, false, reader) || !readRepoFile(reader, path, &preamble))
                return false;
        }
    }

    complete = true;
    emit changed();
    return true;
}

bool YumConfIO::loadFile(const QString& path, bool isConf, LineReader& reader)
{
    const int fd = openForReading(QFile::encodeName(path));
    if (fd < 0) {
        error(isConf ? tr("Unable to read yum configuration file %1").arg(path)
                     : tr("Unable to read repository configuration file %1").arg(path));
        return false;
    }
    QByteArray bytes;
    if (!readAndClose(fd, bytes)) {
        error(tr("Error reading repository configuration file %1").arg(path));
        return false;
    }
    reader.setData(bytes);
    return true;
}

bool YumConfIO::readConfFile(LineReader& reader, const QString& path)
{
    QString line, value;
    while (reader.readLogicalLine(line)) {
        if (line == QLatin1String("[main]")) {
            mainText += line + QLatin1Char('\n');
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            reader.unreadLine();
            return readRepoFile(reader, path, nullptr);
        }
        if (isOption(line, "cachedir", value)) {
            cachedir = value;
        } else if (isOption(line, "reposdir", value)) {
            reposdirs.clear();
            // Continuation lines leave newlines in the value: every kind of
            // white space separates directories, as do commas.
            for (const QString& dir : value.split(QRegExp(QStringLiteral("[\\s,]+")),
                                                  Qt::SkipEmptyParts)) {
                // Directories yum.conf names are taken as written, as the
                // companion script takes them; only yum.conf itself and the
                // default directories are looked for below the root.
                reposdirs.append(QDir::cleanPath(dir));
            }
        } else if (isOption(line, "enabled", value)) {
            enabledDefault = Repo::yumBoolean(value);
        } else if (isOption(line, "gpgcheck", value)) {
            gpgcheckDefault = Repo::yumBoolean(value);
        }
        mainText += line + QLatin1Char('\n');
    }
    return true;
}

bool YumConfIO::readRepoFile(LineReader& reader, const QString& path, QString* preamble)
{
    Repo::Entry work;
    bool open = false;
    bool isNew = false;
    int sections = 0;
    double position = 0.0;

    auto finish = [&]() {
        cleanupRead(work);
        if (isNew)
            applyUsedOptions(work.id);
        entries.append(work);
    };

    QString line, value;
    while (reader.readLogicalLine(line)) {
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']'))) {
                // The line may have swallowed an indented URL line with its
                // credentials.
                errno = EINVAL;
                error(tr("Malformed section name in line: %1").arg(Repo::Kivrel::maskPasswords(line)));
                return false;
            }
            if (open)
                finish();
            work = Repo::Entry();
            work.id = line.mid(1, line.size() - 2);
            work.file = path;
            position += 1.0;
            work.sortPosition = position;
            isNew = !used->contains(work.id);
            if (isNew)
                used->insert(work.id, enabledDefault);
            open = true;
            ++sections;
            continue;
        }
        if (!open) {
            // Comments and notes above the first section belong to the file.
            if (preamble)
                *preamble += line + QLatin1Char('\n');
            continue;
        }
        if (isOption(line, "name", value)) {
            work.name = value;
        } else if (isOption(line, "baseurl", value)) {
            work.baseurl = value;
        } else if (isOption(line, "mirrorlist", value)) {
            work.mirrorlist = value;
        } else if (isOption(line, "enabled", value)) {
            work.enabled = Repo::Entry::fromYumBoolean(value);
            if (isNew)
                (*used)[work.id] = work.enabled == Repo::Entry::Yes;
        } else if (isOption(line, "gpgcheck", value)) {
            work.gpgcheck = Repo::Entry::fromYumBoolean(value);
        } else if (!line.isEmpty()) {
            work.other += line + QLatin1Char('\n');
        }
    }
    if (open)
        finish();

    if (preamble) {
        const QString key = QDir::cleanPath(path);
        if (sections > 0)
            filesWithSections.insert(key);
        if (!preamble->isEmpty())
            preambles.insert(key, *preamble);
    }
    return true;
}

bool YumConfIO::isOption(const QString& line, const char* key, QString& value)
{
    int separator = -1;
    for (int i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char(':') || line[i] == QLatin1Char('=')) {
            separator = i;
            break;
        }
    }
    if (separator < 0)
        return false;
    int keyEnd = separator;
    while (keyEnd > 0 && (line[keyEnd - 1] == QLatin1Char(' ') || line[keyEnd - 1] == QLatin1Char('\t')))
        --keyEnd;
    if (line.left(keyEnd) != QLatin1String(key))
        return false;
    int valueStart = separator + 1;
    while (valueStart < line.size()
           && (line[valueStart] == QLatin1Char(' ') || line[valueStart] == QLatin1Char('\t')))
        ++valueStart;
    value = line.mid(valueStart);
    return true;
}

void YumConfIO::cleanupRead(Repo::Entry& entry)
{
    entry.baseurl.replace(QRegExp(QStringLiteral("[ \t\n]+")), QStringLiteral("\n"));
}

void YumConfIO::applyUsedOptions(const QString& id)
{
    // In command-line order, so the last matching option wins.
    for (const YumRepoEnabled& option : *repoEnabled) {
        if (option.matches(id))
            (*used)[id] = option.enabled;
    }
}

// ---- Writing ----

bool YumConfIO::write(QWidget* parent)
{
    this->parent = parent;
    if (!complete) {
        // Writing from a partial read would empty yum.conf and remove the
        // files that were never read.
        errno = ECANCELED;
        error(tr("The repository configuration was not read completely, so it is not written"));
        return false;
    }
    if (!checkErrors())
        return false;

    QList<Repo::Entry> completed = entries;
    cleanupWrite(completed);
    for (const Repo::Entry& entry : completed) {
        if (!checkWritable(entry))
            return false;
    }
    QList<PlannedFile> plan;
    if (!planFiles(completed, plan) || !commitFiles(plan))
        return false;
    entries = completed;

    QSet<QString> written;
    for (const PlannedFile& file : plan)
        written.insert(file.path);
    removeUnusedFiles(written);
    return true;
}

bool YumConfIO::checkErrors()
{
    QString text;
    if (hasEmptyId())
        text += tr("A repository has no Identifier.  It will be removed.");
    const QString duplicates = getDuplicateId();
    if (!duplicates.isEmpty()) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += tr("Two or more repositories have the same Identifier(s), %1.  Only one repository "
                   "will be applied for each Identifier.")
                    .arg(duplicates);
    }
    if (text.isEmpty())
        return true;
    text += tr("  Proceed?");

    QMessageBox box(QMessageBox::Critical, tr("Repository Editor"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return false;

    QSet<QString> seen;
    for (int i = 0; i < entries.size();) {
        const QString& id = entries[i].id;
        if (id.isEmpty() || seen.contains(id)) {
            entries.removeAt(i);
        } else {
            seen.insert(id);
            ++i;
        }
    }
    return true;
}

bool YumConfIO::hasEmptyId() const
{
    for (const Repo::Entry& entry : entries) {
        if (entry.id.isEmpty())
            return true;
    }
    return false;
}

QString YumConfIO::getDuplicateId() const
{
    QString duplicates;
    for (int i = 0; i < entries.size(); ++i) {
        for (int j = i + 1; j < entries.size(); ++j) {
            if (entries[i].id == entries[j].id) {
                if (!duplicates.isEmpty())
                    duplicates += QLatin1String(", ");
                duplicates += entries[i].id;
            }
        }
    }
    return duplicates;
}

void YumConfIO::cleanupWrite(QList<Repo::Entry>& list) const
{
    for (Repo::Entry& entry : list) {
        if (entry.file.isEmpty())
            entry.file = entry.id + QLatin1String(".repo");
        if (!entry.file.startsWith(QLatin1Char('/')) && !reposdirs.isEmpty())
            entry.file = reposdirs.first() + QLatin1Char('/') + entry.file;
        // One spelling per file: "a/./b.repo" and "a/b.repo" must be written
        // as one file, not truncate each other.
        entry.file = QDir::cleanPath(entry.file);
    }
}

bool YumConfIO::filePositionLessThan(const Repo::Entry& a, const Repo::Entry& b)
{
    if (a.file != b.file)
        return a.file < b.file;
    return a.sortPosition < b.sortPosition;
}

bool YumConfIO::checkWritable(const Repo::Entry& entry)
{
    const QString& file = entry.file;
    bool allowed = file == QDir::cleanPath(fileName());
    if (!allowed && file.startsWith(QLatin1Char('/')) && file.endsWith(QLatin1String(".repo")))
        allowed = reposdirs.contains(QFileInfo(file).path());
    if (!allowed) {
        errno = EINVAL;
        error(tr("Repository %1 cannot be written to %2: repositories belong in the yum "
                 "configuration file or in a \".repo\" file of a repository directory")
                  .arg(entry.id, file));
        return false;
    }
    if (hasBareLineBreak(entry.id) || hasBareLineBreak(entry.name)
        || hasBareLineBreak(entry.mirrorlist)) {
        errno = EINVAL;
        error(tr("Repository %1 has a line break in its identifier, name or mirror list URL")
                  .arg(entry.id));
        return false;
    }
    return true;
}

void YumConfIO::writeRepo(QString& text, const Repo::Entry& entry)
{
    text += QLatin1Char('[') + entry.id + QLatin1String("]\n");
    if (!entry.name.isEmpty())
        text += QLatin1String("name=") + entry.name + QLatin1Char('\n');
    if (!entry.baseurl.isEmpty()) {
        QString urls = entry.baseurl;
        urls.replace(QLatin1Char('\n'), QLatin1String("\n        "));
        text += QLatin1String("baseurl=") + urls + QLatin1Char('\n');
    }
    if (!entry.mirrorlist.isEmpty())
        text += QLatin1String("mirrorlist=") + entry.mirrorlist + QLatin1Char('\n');
    if (entry.enabled != Repo::Entry::Default)
        text += QLatin1String(entry.enabled == Repo::Entry::Yes ? "enabled=1\n" : "enabled=0\n");
    if (entry.gpgcheck != Repo::Entry::Default)
        text += QLatin1String(entry.gpgcheck == Repo::Entry::Yes ? "gpgcheck=1\n" : "gpgcheck=0\n");
    if (!entry.other.isEmpty()) {
        text += entry.other;
        // The editor hands over its text without a final newline.
        if (!entry.other.endsWith(QLatin1Char('\n')))
            text += QLatin1Char('\n');
    }
}

bool YumConfIO::holdsPassword(const Repo::Entry& entry)
{
    for (const QString& urls : {entry.baseurl, entry.mirrorlist}) {
        QRegExp kivrel = Repo::Kivrel::urlsRegExp();
        for (int at = 0; (at = kivrel.indexIn(urls, at)) >= 0; at += kivrel.matchedLength()) {
            if (!kivrel.cap(1).isEmpty())
                return true;
        }
        if (urls.contains(QRegExp(QStringLiteral("://[^/@\\s]*:[^/@\\s]+@"))))
            return true;
    }
    const QRegExp passwordOption(QStringLiteral("^(proxy_)?password[ \t]*[=:][ \t]*\\S"));
    for (const QString& line : entry.other.split(QLatin1Char('\n'))) {
        if (line.contains(passwordOption))
            return true;
    }
    return false;
}

bool YumConfIO::planFiles(const QList<Repo::Entry>& list, QList<PlannedFile>& plan)
{
    QList<Repo::Entry> sorted = list;
    std::stable_sort(sorted.begin(), sorted.end(), filePositionLessThan);
    const QString conf = QDir::cleanPath(fileName());

    QString text;
    PlannedFile current;
    auto flush = [&]() {
        current.bytes = text.toLatin1();
        plan.append(current);
    };
    for (const Repo::Entry& entry : sorted) {
        if (entry.file != current.path) {
            if (!current.path.isEmpty())
                flush();
            current = PlannedFile();
            current.path = entry.file;
            text = entry.file == conf ? mainText : preambles.value(entry.file);
        } else {
            text += QLatin1Char('\n');
        }
        QString section;
        writeRepo(section, entry);
        for (QChar c : section) {
            if (c.unicode() > 0xff) {
                errno = EILSEQ;
                error(tr("Repository %1 holds a character that cannot be written to %2")
                          .arg(entry.id, entry.file));
                return false;
            }
        }
        text += section;
        current.secret = current.secret || holdsPassword(entry);
    }
    if (!current.path.isEmpty())
        flush();

    // yum.conf is always rewritten: its main text followed by its own
    // sections, or its main text alone.
    bool haveConf = false;
    for (const PlannedFile& file : plan)
        haveConf = haveConf || file.path == conf;
    if (!haveConf) {
        PlannedFile file;
        file.path = conf;
        file.bytes = mainText.toLatin1();
        plan.append(file);
    }
    return true;
}

bool YumConfIO::commitFiles(QList<PlannedFile>& plan)
{
    auto discard = [&plan]() {
        for (PlannedFile& file : plan)
            removeTemporary(file.temp);
    };
    auto fail = [&](const PlannedFile& file) {
        const int saved = errno;
        discard();
        errno = saved;
        error(tr("Unable to write repository configuration file %1").arg(file.path));
        return false;
    };

    const mode_t mask = currentUmask();
    QSet<QString> targets;
    for (PlannedFile& file : plan) {
        const QFileInfo info(file.path);
        file.target = file.path;
        if (info.isSymLink()) {
            const QString canonical = info.canonicalFilePath();
            file.target = canonical.isEmpty() ? info.symLinkTarget() : canonical;
        }
        if (targets.contains(file.target)) {
            errno = EEXIST;
            return fail(file);
        }
        targets.insert(file.target);

        const QByteArray target = QFile::encodeName(file.target);
        mode_t mode;
        if (::stat(target.constData(), &file.info) == 0) {
            if (!S_ISREG(file.info.st_mode)) {
                errno = S_ISDIR(file.info.st_mode) ? EISDIR : EINVAL;
                return fail(file);
            }
            file.existed = true;
            mode = file.info.st_mode & 07777;
            // Kept to put the file back should a later rename fail.
            if (!readAll(target, file.original))
                return fail(file);
        } else if (errno == ENOENT) {
            mode = file.secret ? mode_t(0600) : mode_t(0666 & ~mask);
        } else {
            return fail(file);
        }
        if (!writeTemporary(file.target, file.bytes, mode, file.existed, file.info.st_uid,
                            file.info.st_gid, file.temp))
            return fail(file);
    }

    for (PlannedFile& file : plan) {
        if (::rename(QFile::encodeName(file.temp).constData(),
                     QFile::encodeName(file.target).constData())
            != 0) {
            const int saved = errno;
            // Put back what was already replaced, as far as the disk lets us.
            for (PlannedFile& done : plan) {
                if (!done.renamed)
                    continue;
                const QByteArray target = QFile::encodeName(done.target);
                QString temp;
                if (!done.existed) {
                    ::unlink(target.constData());
                } else if (!writeTemporary(done.target, done.original, done.info.st_mode & 07777,
                                           true, done.info.st_uid, done.info.st_gid, temp)
                           || ::rename(QFile::encodeName(temp).constData(), target.constData()) != 0) {
                    removeTemporary(temp);
                }
            }
            errno = saved;
            return fail(file);
        }
        file.renamed = true;
        file.temp.clear();
    }

    QSet<QString> dirs;
    for (const PlannedFile& file : plan)
        dirs.insert(QFileInfo(file.target).path());
    for (const QString& dir : dirs)
        syncDirectory(dir);
    return true;
}

void YumConfIO::removeUnusedFiles(const QSet<QString>& written)
{
    const QString conf = QDir::cleanPath(fileName());
    QStringList candidates;
    for (const QString& path : filesWithSections) {
        if (!written.contains(path))
            candidates.append(path);
    }
    candidates.sort();

    QSet<QString> remaining;
    for (const QString& path : written) {
        if (path != conf)
            remaining.insert(path);
    }
    bool stopped = false;
    for (const QString& path : candidates) {
        if (stopped) {
            remaining.insert(path);
            continue;
        }
        const QByteArray name = QFile::encodeName(path);
        struct stat info;
        if (::stat(name.constData(), &info) != 0) {
            if (errno == ENOENT)
                continue;
            error(tr("Unable to stat repository configuration file %1").arg(path));
            stopped = true;
            remaining.insert(path);
            continue;
        }
        if (S_ISDIR(info.st_mode))
            continue;
        if (::unlink(name.constData()) != 0) {
            error(tr("Unable to unlink repository configuration file %1").arg(path));
            stopped = true;
            remaining.insert(path);
            continue;
        }
        preambles.remove(path);
    }
    filesWithSections = remaining;
}

void YumConfIO::error(const QString& msg)
{
    const int number = errno;
    const QString text = msg
                         + tr("; errno = %1 (%2).")
                               .arg(number)
                               .arg(QString::fromLocal8Bit(std::strerror(number)));
    QMessageBox box(QMessageBox::Critical, tr("KUV Repository Editor Error"), text,
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
