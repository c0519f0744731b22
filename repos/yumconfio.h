// yum's configuration on disk: yum.conf and the ".repo" files of the
// repository directories, read into repository entries and session flags,
// and written back file by file without ever leaving a file half written.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include "repos/entry.h"
#include "repos/yumrepoenabled.h"

class QWidget;

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
    // the user declined or after an error box; the files are then as before.
    bool write(QWidget* parent);
    // Whether the last read went through to the end.
    bool readComplete() const;

    // "/etc/yum/yum.conf" if it exists, else "/etc/yum.conf", below the
    // configuration root; looked up anew at every call.
    static QString fileName();

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
    struct PlannedFile;

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
    bool checkWritable(const Repo::Entry& entry);
    static void writeRepo(QString& text, const Repo::Entry& entry);
    static bool holdsPassword(const Repo::Entry& entry);
    bool planFiles(const QList<Repo::Entry>& list, QList<PlannedFile>& plan);
    bool commitFiles(QList<PlannedFile>& plan);
    void removeUnusedFiles(const QSet<QString>& written);
    void error(const QString& msg);

    // Each read is checked before anything may be written from it.
    bool complete = false;
    // The ".repo" files that held a section at the last read or write,
    // the only ones that may be removed for holding none any more.
    QSet<QString> filesWithSections;
    // Lines of each ".repo" file before its first section.
    QHash<QString, QString> preambles;
};
