// Fuzzes the reading of yum's configuration files, and checks the round trip:
// whatever the reader accepts is written back, reads the same, and a second
// write gives the same bytes. Errors go to a list, never to a box.
// The first byte chooses where the rest goes: into a ".repo" file beside a
// plain yum.conf (even) or into yum.conf itself (odd).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ftw.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "engine/configroot.h"
#include "repos/yumconfio.h"
#include "repos/yumrepoenabled.h"

namespace
{

QString root;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return ::remove(path);
}

void removeRoot()
{
    if (!root.isEmpty())
        ::nftw(QFile::encodeName(root).constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void put(const QString& relative, const QByteArray& bytes)
{
    QFile file(root + relative);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    check(file.write(bytes) == bytes.size());
}

// Every file of the tree with its bytes.
QHash<QString, QByteArray> snapshot()
{
    QHash<QString, QByteArray> files;
    for (const QString& dir : {QStringLiteral("/etc"), QStringLiteral("/etc/yum.repos.d"),
                               QStringLiteral("/etc/yum/repos.d")}) {
        for (const QFileInfo& info : QDir(root + dir).entryInfoList(QDir::Files | QDir::Hidden)) {
            QFile file(info.filePath());
            check(file.open(QIODevice::ReadOnly));
            files.insert(info.filePath(), file.readAll());
        }
    }
    return files;
}

QStringList meanings(const YumConfIO& conf)
{
    QStringList result{conf.mainText};
    for (const Repo::Entry& e : conf.entries) {
        result.append(QStringList{e.id, e.name, e.baseurl, e.mirrorlist,
                                  QString::number(e.enabled), QString::number(e.gpgcheck), e.other,
                                  e.file, QString::number(e.sortPosition)}
                          .join(QChar(0)));
    }
    return result;
}

}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    // tmpfs where there is one: every write is flushed to the disk.
    QByteArray pattern = QDir(QStringLiteral("/dev/shm")).exists() ? "/dev/shm/kuv-fuzz-XXXXXX"
                                                                   : "/tmp/kuv-fuzz-XXXXXX";
    check(::mkdtemp(pattern.data()) != nullptr);
    root = QFile::decodeName(pattern);
    std::atexit(removeRoot);
    check(QDir().mkpath(root + "/etc/yum.repos.d") && QDir().mkpath(root + "/etc/yum/repos.d"));
    ConfigRoot::setRoot(root);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, int(size - 1));
    // A reposdir option would send the reads and writes into real folders.
    if (bytes.contains("reposdir"))
        return 0;

    for (const QString& file : snapshot().keys())
        QFile::remove(file);
    const bool inYumConf = data[0] & 1;
    put("/etc/yum.conf", inYumConf ? bytes : QByteArray("[main]\n"));
    if (!inYumConf)
        put("/etc/yum.repos.d/fuzz.repo", bytes);

    const QList<YumRepoEnabled> enabled;
    QHash<QString, bool> used;
    QStringList errors;
    YumConfIO conf(enabled, used);
    conf.setErrorSink(&errors);
    if (!conf.read(nullptr)) {
        check(!errors.isEmpty());
        return 0;
    }
    check(errors.isEmpty());
    const QStringList read = meanings(conf);
    if (!conf.write(nullptr)) {
        // Refused (a doubled or empty identifier, a line break that would
        // start a line, a file too large): said, and nothing changed.
        check(!errors.isEmpty());
        return 0;
    }
    const QHash<QString, QByteArray> written = snapshot();

    QHash<QString, bool> usedAgain;
    YumConfIO again(enabled, usedAgain);
    again.setErrorSink(&errors);
    check(again.read(nullptr));
    check(meanings(again) == read);
    check(again.write(nullptr));
    check(snapshot() == written);
    check(errors.isEmpty());
    return 0;
}
