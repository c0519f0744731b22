// Test helpers for the configuration files: a throw-away configuration root
// with yum's folders, dnf's own reading of it, and a watcher that answers
// and records message boxes.
#pragma once

#include <ostream>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include "repos/yumconfio.h"

// Readable failure messages for the Qt strings and lists the tests compare.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << '"' << bytes.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '{';
    for (const QString& text : list)
        *out << ' ' << '"' << text.toStdString() << '"';
    *out << " }";
}

// A temporary folder made the configuration root for as long as it lives,
// holding yum's default repository directories. Paths given to it are relative to the root.
class ConfTree
{
public:
    ConfTree();
    ~ConfTree();

    QString path(const QString& relative) const;
    void write(const QString& relative, const QByteArray& bytes);
    QByteArray read(const QString& relative) const;
    bool exists(const QString& relative) const;
    // Sets or clears the immutable attribute; false where the file system
    // has none.
    bool setImmutable(const QString& relative, bool immutable);

    // Every file and folder below the root with its kind, mode, owner and
    // content, to show that a failed operation left the disk as it was.
    QMap<QString, QString> snapshot() const;

private:
    QTemporaryDir dir;
    QStringList immutables;
};

// The real calls, but for the faults asked for: an errno value for the
// status or the removal of files whose path ends as given, and one for every
// rename after the first renamesThatWork.
class FaultyFileSystem : public SafeFileWriter::FileSystem
{
public:
    int status(const QByteArray& path, struct stat& info) override;
    int remove(const QByteArray& path) override;
    int rename(const QByteArray& from, const QByteArray& to) override;

    QByteArray pathEnd;
    int statusFailure = 0;
    int removeFailure = 0;
    int renamesThatWork = -1;
    int renameFailure = 0;

private:
    int renames = 0;
};

// Answers every application-modal message box that opens while it lives:
// with `answer` when the box has that button, else with its escape button.
class BoxWatcher : public QObject
{
public:
    struct Box
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    explicit BoxWatcher(QMessageBox::StandardButton answer = QMessageBox::NoButton);

    QList<Box> boxes;

private:
    void poll();

    QMessageBox::StandardButton answer;
    QTimer timer;
};

// dnf's own reading of the configuration below the root, with releasever "1"
// and the machine's basearch: {"repos": [...], "log": [...]}, every
// repository its reader builds (id, file name, name, baseurl, mirrorlist,
// enabled, gpgcheck, exclude, priority) and what it logged on the way. A
// run that fails fails the test and gives an empty object.
QJsonObject readByDnf(const QStringList& reposdirs);

// A configuration root with a YumConfIO over it and the main window's
// option list and session flags.
class ConfIOTest : public ::testing::Test
{
protected:
    // The entry read with the identifier; a missing one fails the test and
    // gives an empty entry.
    const Repo::Entry* entry(const QString& id) const;
    QStringList ids() const;
    // The first repository directory, relative to the root.
    QString firstRepoDir() const;

    ConfTree tree;
    QList<YumRepoEnabled> options;
    QHash<QString, bool> used;
    YumConfIO conf{options, used};
};
