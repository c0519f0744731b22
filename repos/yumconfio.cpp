// Reading yum.conf and the repository files into entries and session flags,
// and writing them back through SafeFileWriter, which replaces the files only
// once every one of them has been written completely.
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
#include <QMutexLocker>
#include <QPair>
#include <QRegExp>
#include <QVector>

#include "engine/configroot.h"
#include "engine/log.h"
#include "engine/passwordmask.h"
#include "repos/repoeditor/filetext.h"
#include "repos/safefilewriter.h"
#include "repos/valuecheck.h"

namespace
{

// How much of a configuration line a box quotes.
const int quotedLength = 200;

bool beginsWithBlank(const QString& line)
{
    return !line.isEmpty() && (line[0] == QLatin1Char(' ') || line[0] == QLatin1Char('\t'));
}

QString octalMode(mode_t mode)
{
    return QString::number(mode, 8).rightJustified(4, QLatin1Char('0'));
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
            // With the size: without it a NUL byte would end the line.
            lines.append(QString::fromLatin1(parts[i].constData(), parts[i].size()));
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

void YumConfIO::setLog(Log::EntryList* log)
{
    this->log = log;
}

void YumConfIO::setFileSystem(SafeFileWriter::FileSystem* fileSystem)
{
    this->fileSystem = fileSystem;
}

void YumConfIO::setErrorSink(QStringList* sink)
{
    errorSink = sink;
}

QString YumConfIO::quoted(const QString& text)
{
    // Masked before it is cut, so that a cut cannot leave a password
    // unrecognised and half shown.
    QString shown = PasswordMask::mask(text);
    if (shown.size() > quotedLength) {
        int keep = quotedLength;
        if (QChar(shown[keep - 1]).isHighSurrogate())
            --keep;
        shown.truncate(keep);
        shown += QChar(0x2026);
    }
    return shown;
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
    problemsHeld.clear();
    filesWithSections.clear();
    preambles.clear();
    namesById.clear();
    otherNames.clear();

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
                const int number = errno;
                error(tr("Unable to stat repository configuration file %1").arg(path), number);
                return false;
            }
            if (S_ISDIR(info.st_mode))
                continue;
            const FileId id(info.st_dev, info.st_ino);
            if (namesById.contains(id)) {
                // Another name of a file already read.
                otherNames[namesById.value(id)].append(QDir::cleanPath(path));
                continue;
            }
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
    const QString unable = isConf ? tr("Unable to read yum configuration file %1").arg(path)
                                  : tr("Unable to read repository configuration file %1").arg(path);
    // A device or a socket is not opened at all: opening some devices does
    // things. Checked again on the open file, which may have been replaced.
    auto refuse = [&](const struct stat& info) {
        if (!S_ISREG(info.st_mode)) {
            error(tr("%1: it is not a regular file").arg(unable), EINVAL);
            return true;
        }
        if (info.st_size > maxFileSize) {
            error(tr("%1: it is larger than 16 MiB").arg(unable), EFBIG);
            return true;
        }
        return false;
    };
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0) {
        error(unable, errno);  // unable was built before the call
        return false;
    }
    if (refuse(info))
        return false;
    // Non-blocking, so that a FIFO put in the file's place cannot hang the
    // program.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error(unable, errno);  // unable was built before the call
        return false;
    }
    if (::fstat(fd, &info) != 0) {
        const int number = errno;
        ::close(fd);
        error(unable, number);
        return false;
    }
    if (refuse(info)) {
        ::close(fd);
        return false;
    }
    namesById.insert(FileId(info.st_dev, info.st_ino), QDir::cleanPath(path));

    // Stops one read past the limit, to tell a file that grew.
    QByteArray bytes;
    const int number = SafeFileWriter::readToEnd(fd, bytes, maxFileSize);
    ::close(fd);
    if (number == EFBIG) {
        error(tr("%1: it is larger than 16 MiB").arg(unable), EFBIG);
        return false;
    }
    if (number != 0) {
        error(tr("Error reading repository configuration file %1").arg(path), number);
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
        noteProblems(work);
        entries.append(work);
    };

    QString line, value;
    while (reader.readLogicalLine(line)) {
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']'))) {
                // The line may have swallowed an indented URL line with its
                // credentials, and may be megabytes long.
                error(tr("Malformed section name in line: %1").arg(quoted(line)), EINVAL);
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
    // Every run of blanks, tabs and newlines becomes one newline. By hand:
    // QString::replace() with a QRegExp takes minutes over the millions of
    // runs that a large file can hold.
    QString urls;
    urls.reserve(entry.baseurl.size());
    // The runs that lead into a continuation line, with its indent.
    QVector<QPair<int, QString>> lineIndents;
    int runs = 0;
    bool inRun = false;
    // "\n" and the blanks since, once the run has passed a newline.
    QString indent;
    auto endRun = [&]() {
        if (!indent.isEmpty())
            lineIndents.append(qMakePair(runs - 1, indent.mid(1)));
    };
    for (const QChar c : qAsConst(entry.baseurl)) {
        const bool blank = c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
        if (!blank) {
            if (inRun)
                endRun();
            urls += c;
        } else {
            if (!inRun) {
                urls += QLatin1Char('\n');
                ++runs;
                indent.clear();
            }
            if (c == QLatin1Char('\n'))
                indent = QStringLiteral("\n");
            else if (!indent.isEmpty())
                indent += c;
        }
        inRun = blank;
    }
    if (inRun)
        endRun();
    entry.baseurl = urls;
    entry.urlLines.clear();
    if (lineIndents.isEmpty())
        return;
    // Each line break's indent with the URL that follows it.
    int next = 0;
    int start = urls.indexOf(QLatin1Char('\n')) + 1;
    for (int run = 0; run < runs; ++run) {
        int end = urls.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = urls.size();
        QString line;
        if (next < lineIndents.size() && lineIndents[next].first == run)
            line = lineIndents[next++].second;
        entry.urlLines.append(line + urls.mid(start, end - start));
        start = end + 1;
    }
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
        error(tr("The repository configuration was not read completely, so it is not written"),
              ECANCELED);
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
    SafeFileWriter writer(fileSystem);
    QStringList written;
    if (!planFiles(completed, writer, written))
        return false;
    const SafeFileWriter::Error failure = writer.commit();
    if (failure.failed()) {
        QString detail;
        if (!failure.leftNew.isEmpty()) {
            detail = tr("These files could not be put back and hold the new configuration: %1")
                         .arg(failure.leftNew.join(QLatin1String(", ")));
        }
        error(tr("Unable to write repository configuration file %1").arg(failure.path),
              failure.number, detail);
        return false;
    }
    entries = completed;
    problemsHeld.clear();
    for (const Repo::Entry& entry : qAsConst(entries))
        noteProblems(entry);
    for (const SafeFileWriter::Tightened& file : writer.tightened()) {
        logWarning(tr("%1 holds a password, so it was made readable by its owner only "
                      "(mode %2, was %3)")
                       .arg(file.path, octalMode(file.newMode), octalMode(file.oldMode)));
    }
    relinkHardLinks(written);
    renewNamesById(written);
    // A file that should have gone and did not would bring its sections
    // back at the next read: the change is not done.
    return removeUnusedFiles(written);
}

void YumConfIO::renewNamesById(const QStringList& written)
{
    // A write puts new files in place of the ones read: the old identities
    // are gone and the system hands their inode numbers out again, so the
    // next write, without a read between, would take a new file for
    // whichever file once had its number (a ".repo" file for yum.conf).
    const QSet<QString> names(written.begin(), written.end());
    for (auto it = namesById.begin(); it != namesById.end();) {
        if (names.contains(it.value()))
            it = namesById.erase(it);
        else
            ++it;
    }
    for (const QString& path : written) {
        struct stat info;
        if (::stat(QFile::encodeName(path).constData(), &info) == 0)
            namesById.insert(FileId(info.st_dev, info.st_ino), path);
    }
}

void YumConfIO::relinkHardLinks(const QStringList& written)
{
    // A file was replaced under the name it was read by; its other hard
    // links still hold the old file, which the next read would take for a
    // second file with the same sections. Each becomes a link to the new
    // file again, through a temporary link renamed over it.
    for (const QString& path : written) {
        struct stat now;
        const QString target = SafeFileWriter::target(path);
        if (::stat(QFile::encodeName(target).constData(), &now) != 0)
            continue;
        for (const QString& name : otherNames.value(path)) {
            const QByteArray encoded = QFile::encodeName(name);
            struct stat info;
            if (::lstat(encoded.constData(), &info) != 0 || !S_ISREG(info.st_mode)
                || (info.st_dev == now.st_dev && info.st_ino == now.st_ino))
                continue;
            const QFileInfo named(name);
            int number = 0;
            for (int attempt = 0; attempt < 100; ++attempt) {
                const QByteArray temp = QFile::encodeName(
                    named.path() + QLatin1String("/.") + named.fileName()
                    + QStringLiteral(".link%1.%2").arg(::getpid()).arg(attempt));
                if (::link(QFile::encodeName(target).constData(), temp.constData()) != 0) {
                    number = errno;
                    if (number == EEXIST)
                        continue;
                    break;
                }
                number = ::rename(temp.constData(), encoded.constData()) == 0 ? 0 : errno;
                if (number != 0)
                    ::unlink(temp.constData());
                break;
            }
            if (number != 0)
                error(tr("Unable to link repository configuration file %1 to %2").arg(name, path),
                      number);
        }
    }
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
                    .arg(quoted(duplicates));
    }
    if (text.isEmpty())
        return true;
    text += tr("  Proceed?");

    if (errorSink) {
        errorSink->append(text);
        return false;
    }
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
    // One name per file: every name of a file that was read becomes the
    // name it was read under, and names of one file yet to be made become
    // the first of them, so that no two names of one file truncate each
    // other and the clean-up sees which files were written.
    QHash<QString, QString> nameOfTarget;
    for (Repo::Entry& entry : list) {
        entry.file = placedFile(entry.file, entry.id);
        const QString read = nameRead(entry.file);
        if (!read.isEmpty()) {
            entry.file = read;
            continue;
        }
        const QString target = SafeFileWriter::target(entry.file);
        if (nameOfTarget.contains(target))
            entry.file = nameOfTarget.value(target);
        else
            nameOfTarget.insert(target, entry.file);
    }
}

QString YumConfIO::nameRead(const QString& path) const
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QString();
    return namesById.value(FileId(info.st_dev, info.st_ino));
}

bool YumConfIO::filePositionLessThan(const Repo::Entry& a, const Repo::Entry& b)
{
    if (a.file != b.file)
        return a.file < b.file;
    return a.sortPosition < b.sortPosition;
}

QString YumConfIO::placedFile(const QString& file, const QString& id) const
{
    QString path = file;
    // The name of the file is what the user reads of the identifier, as
    // UTF-8: the identifier holds the bytes of the file's line, which would
    // otherwise be encoded a second time.
    if (path.isEmpty())
        path = RepoEditor::FileText::shown(id) + QLatin1String(".repo");
    if (!path.startsWith(QLatin1Char('/')) && !reposdirs.isEmpty())
        path = reposdirs.first() + QLatin1Char('/') + path;
    return QDir::cleanPath(path);
}

bool YumConfIO::holdsRepositories(const QString& path) const
{
    if (path == QDir::cleanPath(fileName()))
        return true;
    return path.startsWith(QLatin1Char('/')) && path.endsWith(QLatin1String(".repo"))
           && reposdirs.contains(QFileInfo(path).path());
}

void YumConfIO::noteProblems(const Repo::Entry& entry)
{
    const QList<Repo::ValueCheck::Problem> problems = Repo::ValueCheck::problems(entry);
    if (problems.isEmpty())
        return;
    QSet<QString>& held = problemsHeld[QDir::cleanPath(entry.file)];
    for (const Repo::ValueCheck::Problem& problem : problems)
        held.insert(problem.key);
}

bool YumConfIO::holdsProblem(const Repo::Entry& entry,
                             const Repo::ValueCheck::Problem& problem) const
{
    // Under the name the writer will use, so that the form, which shows the
    // File field as the user gave it, decides as the writer does.
    const QString placed = placedFile(entry.file, entry.id);
    const QString read = nameRead(placed);
    const auto held = problemsHeld.constFind(read.isEmpty() ? placed : read);
    return held != problemsHeld.constEnd() && held->contains(problem.key);
}

bool YumConfIO::checkWritable(const Repo::Entry& entry)
{
    const QString& file = entry.file;
    if (!holdsRepositories(file)) {
        error(tr("Repository %1 cannot be written to %2: repositories belong in the yum "
                 "configuration file or in a \".repo\" file of a repository directory")
                  .arg(quoted(entry.id), file),
              EINVAL);
        return false;
    }
    // What dnf would read as other repositories or options than the entry
    // holds is refused, unless the file held it already: a file that users
    // have goes back as it was read.
    for (const Repo::ValueCheck::Problem& problem : Repo::ValueCheck::problems(entry)) {
        if (holdsProblem(entry, problem))
            continue;
        error(tr("Repository %1 cannot be written: %2").arg(quoted(entry.id), problem.text),
              EINVAL);
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
        // One URL a line, the further ones indented as they were read (see
        // Repo::Entry::urlLines) or by eight blanks. Built by hand, as
        // QString::replace() grows the text in steps that take seconds for
        // a million URLs.
        text += QLatin1String("baseurl=");
        // By URL first, so that a removed or added URL moves no indent; by
        // place while the number of URLs is as read, so that a URL with new
        // credentials keeps its line's.
        QHash<QString, QString> indentOfUrl;
        QStringList indentAt;
        for (const QString& line : entry.urlLines) {
            int blanks = 0;
            while (blanks < line.size()
                   && (line[blanks] == QLatin1Char(' ') || line[blanks] == QLatin1Char('\t')))
                ++blanks;
            indentAt.append(line.left(blanks));
            if (blanks > 0 && !indentOfUrl.contains(line.mid(blanks)))
                indentOfUrl.insert(line.mid(blanks), line.left(blanks));
        }
        const bool sameCount = entry.baseurl.count(QLatin1Char('\n')) == indentAt.size();
        int breaks = 0;
        for (int i = 0; i < entry.baseurl.size(); ++i) {
            const QChar c = entry.baseurl[i];
            text += c;
            if (c != QLatin1Char('\n'))
                continue;
            QString indent;
            if (!indentAt.isEmpty()) {
                int end = entry.baseurl.indexOf(QLatin1Char('\n'), i + 1);
                if (end < 0)
                    end = entry.baseurl.size();
                indent = indentOfUrl.value(entry.baseurl.mid(i + 1, end - i - 1));
                if (indent.isEmpty() && sameCount)
                    indent = indentAt[breaks];
            }
            ++breaks;
            if (indent.isEmpty())
                text += QLatin1String("        ");
            else
                text += indent;
        }
        text += QLatin1Char('\n');
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

bool YumConfIO::planFiles(const QList<Repo::Entry>& list, SafeFileWriter& writer,
                          QStringList& paths)
{
    QList<Repo::Entry> sorted = list;
    std::stable_sort(sorted.begin(), sorted.end(), filePositionLessThan);
    const QString conf = QDir::cleanPath(fileName());

    QString path;
    QString text;
    auto flush = [&]() {
        if (text.size() > maxFileSize) {
            // It could not be read back.
            error(tr("Repository configuration file %1 would be larger than 16 MiB").arg(path),
                  EFBIG);
            return false;
        }
        // Every form of password counts, wherever in the file it stands:
        // in a section, among the lines above the first one, in [main].
        writer.plan(path, text.toLatin1(), PasswordMask::holdsPassword(text));
        paths.append(path);
        return true;
    };
    for (const Repo::Entry& entry : sorted) {
        if (entry.file != path) {
            if (!path.isEmpty() && !flush())
                return false;
            path = entry.file;
            text = path == conf ? mainText : preambles.value(path);
        } else {
            text += QLatin1Char('\n');
        }
        QString section;
        writeRepo(section, entry);
        for (QChar c : section) {
            if (c.unicode() > 0xff) {
                error(tr("Repository %1 holds a character that cannot be written to %2")
                          .arg(quoted(entry.id), entry.file),
                      EILSEQ);
                return false;
            }
        }
        text += section;
    }
    if (!path.isEmpty() && !flush())
        return false;

    // yum.conf is always rewritten: its main text followed by its own
    // sections, or its main text alone.
    if (!paths.contains(conf)) {
        path = conf;
        text = mainText;
        if (!flush())
            return false;
    }
    return true;
}

bool YumConfIO::removeUnusedFiles(const QStringList& written)
{
    SafeFileWriter::FileSystem real;
    SafeFileWriter::FileSystem* fs = fileSystem ? fileSystem : &real;
    // A name that reaches a file written now is never removed, whichever
    // name the write used.
    QSet<FileId> writtenIds;
    for (const QString& path : written) {
        struct stat info;
        if (::stat(QFile::encodeName(path).constData(), &info) == 0)
            writtenIds.insert(FileId(info.st_dev, info.st_ino));
    }
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
        // Every name of the file goes, links first, so that none is left
        // leading nowhere and a linked file does not keep its sections.
        QStringList links, files;
        for (const QString& name : QStringList{path} + otherNames.value(path)) {
            struct stat info;
            const bool link = ::lstat(QFile::encodeName(name).constData(), &info) == 0
                              && S_ISLNK(info.st_mode);
            (link ? links : files).append(name);
        }
        for (const QString& name : links + files) {
            const QByteArray encoded = QFile::encodeName(name);
            struct stat info;
            const int number = fs->status(encoded, info);
            if (number != 0) {
                if (number == ENOENT)
                    continue;
                error(tr("Unable to stat repository configuration file %1").arg(name), number);
                stopped = true;
                break;
            }
            if (S_ISDIR(info.st_mode) || writtenIds.contains(FileId(info.st_dev, info.st_ino)))
                continue;
            const int removed = fs->remove(encoded);
            if (removed != 0) {
                error(tr("Unable to unlink repository configuration file %1").arg(name), removed);
                stopped = true;
                break;
            }
        }
        if (stopped) {
            remaining.insert(path);
            continue;
        }
        preambles.remove(path);
        otherNames.remove(path);
        // Its inode number may come back as a file made later.
        for (auto it = namesById.begin(); it != namesById.end();) {
            if (it.value() == path)
                it = namesById.erase(it);
            else
                ++it;
        }
    }
    filesWithSections = remaining;
    return !stopped;
}

void YumConfIO::error(const QString& msg, int number, const QString& detail)
{
    QString text = msg
                   + tr("; errno = %1 (%2).")
                         .arg(number)
                         .arg(QString::fromLocal8Bit(std::strerror(number)));
    if (!detail.isEmpty())
        text += QLatin1Char('\n') + detail;
    if (errorSink) {
        errorSink->append(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, tr("KUV Repository Editor Error"), text,
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void YumConfIO::logWarning(const QString& text)
{
    if (!log)
        return;
    {
        QMutexLocker locker(log);
        log->append(Log::Entry(Log::Warning, 0, PasswordMask::mask(text)));
    }
    log->emitAppended();
}
