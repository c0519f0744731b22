// yum's configuration on disk: yum.conf and the ".repo" files of the
// repository directories, read into repository entries and session flags,
// and written back file by file without ever leaving a file half written.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "repos/entry.h"
#include "repos/safefilewriter.h"
#include "repos/valuecheck.h"
#include "repos/yumrepoenabled.h"

class QWidget;

namespace Log
{
class EntryList;
}

class YumConfIO : public QObject
{
    Q_OBJECT

public:
    // Keeps pointers to both; reads nothing yet.
    YumConfIO(const QList<YumRepoEnabled>& repoEnabled, QHash<QString, bool>& used);

    // Reads the whole configuration afresh; emits changed() and returns true,
    // or shows an error box and returns false.
    bool read(QWidget* parent);
    // Writes every entry back and removes the ".repo" files that lost their
    // last section. Refuses after a read that did not complete. False when
    // the user declined or after an error box; the files are then as before,
    // unless the box says otherwise (a file that could not be removed, or
    // files that could not be put back after a failed rename).
    bool write(QWidget* parent);
    // Whether the last read went through to the end.
    bool readComplete() const;

    // The log that hears which files a write made private; borrowed, null
    // for none.
    void setLog(Log::EntryList* log);
    // The file system that writes and the removal of emptied files go
    // through; borrowed, null (the default) for the real one. Tests watch
    // the temporaries and make calls fail through it.
    void setFileSystem(SafeFileWriter::FileSystem* fileSystem);
    // With a sink, error texts are appended to it instead of being shown in
    // boxes, and the question about empty or duplicate identifiers is
    // answered No without a box (its text goes to the sink as well).
    // Borrowed; null, the default, shows boxes.
    void setErrorSink(QStringList* sink);

    // The most that yum.conf or a repository file may hold; larger ones are
    // neither read nor written.
    static constexpr qint64 maxFileSize = 16 * 1024 * 1024;
    // Configuration text as the boxes quote it: passwords masked, and cut
    // to a length that a box can show.
    static QString quoted(const QString& text);

    // "/etc/yum/yum.conf" if it exists, else "/etc/yum.conf", below the
    // configuration root; looked up anew at every call.
    static QString fileName();

    // The file the writer puts a section in whose File field holds `file`:
    // an empty one is the identifier plus ".repo", a relative one goes into
    // the first repository directory.
    QString placedFile(const QString& file, const QString& id) const;
    // Whether the writer puts repository sections into the file at a path
    // that placedFile() gave: yum.conf, or a ".repo" file directly inside a
    // repository directory.
    bool holdsRepositories(const QString& path) const;
    // Whether the file the entry goes to held this problem of its values
    // (the same value in the same field) at the last read or write. The
    // writer puts such a value back as it was and refuses every other.
    bool holdsProblem(const Repo::Entry& entry, const Repo::ValueCheck::Problem& problem) const;

    // [main] cachedir as written (not moved below the configuration root).
    QString cachedir;
    // In search order, below the configuration root.
    QStringList reposdirs;
    bool enabledDefault = true;
    bool gpgcheckDefault = false;
    QList<Repo::Entry> entries;
    const QList<YumRepoEnabled>* repoEnabled;
    QHash<QString, bool>* used;
    // yum.conf's lines before its first repository section.
    QString mainText;
    // Parent of the message boxes of the read or write under way.
    QWidget* parent = nullptr;

signals:
    void changed();

private:
    class LineReader;
    // A file's device and inode: what makes two names one file.
    using FileId = QPair<quint64, quint64>;

    bool readConfFile(LineReader& reader, const QString& path);
    bool readRepoFile(LineReader& reader, const QString& path, QString* preamble);
    bool loadFile(const QString& path, bool isConf, LineReader& reader);
    static bool isOption(const QString& line, const char* key, QString& value);
    static void cleanupRead(Repo::Entry& entry);
    void applyUsedOptions(const QString& id);

    bool checkErrors();
    bool hasEmptyId() const;
    QString getDuplicateId() const;
    void cleanupWrite(QList<Repo::Entry>& list) const;
    static bool filePositionLessThan(const Repo::Entry& a, const Repo::Entry& b);
    // The name that the file at a path placedFile() gave was read under,
    // whichever of its names the path is; empty for a file not read.
    QString nameRead(const QString& path) const;
    bool checkWritable(const Repo::Entry& entry);
    static void writeRepo(QString& text, const Repo::Entry& entry);
    void noteProblems(const Repo::Entry& entry);
    bool planFiles(const QList<Repo::Entry>& list, SafeFileWriter& writer, QStringList& paths);
    void relinkHardLinks(const QStringList& written);
    // Takes the identities of the files just written in place of those read.
    void renewNamesById(const QStringList& written);
    // False after an error box: a file that lost its sections is still
    // there, and the next write tries again.
    bool removeUnusedFiles(const QStringList& written);
    // Shows msg with the errno value given, and the detail on a line of
    // its own after it, or hands them to the sink.
    void error(const QString& msg, int number, const QString& detail = QString());
    void logWarning(const QString& text);

    // Each read is checked before anything may be written from it.
    bool complete = false;
    // The ".repo" files that held a section at the last read or write,
    // the only ones that may be removed for holding none any more.
    QSet<QString> filesWithSections;
    // The keys of the value problems (Repo::ValueCheck) that each file,
    // by its cleaned path, held at the last read or write. They are written
    // back as they were; only the ones the editor would bring in are refused.
    QHash<QString, QSet<QString>> problemsHeld;
    // Lines of each ".repo" file before its first section.
    QHash<QString, QString> preambles;
    // Every file read, under the first name that reached it. Links between
    // the repository directories (one folder linked to the other, a file
    // linked to another) give one file several names; it is read, written
    // and removed as one.
    QHash<FileId, QString> namesById;
    // The further names of a file read, by its first name.
    QHash<QString, QStringList> otherNames;

    Log::EntryList* log = nullptr;
    QStringList* errorSink = nullptr;
    SafeFileWriter::FileSystem* fileSystem = nullptr;
};
