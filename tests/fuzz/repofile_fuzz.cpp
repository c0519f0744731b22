// Fuzzes the reading of yum's configuration files, and checks the round trip:
// whatever the reader accepts is written back, reads the same, and a second
// write gives the same bytes. Then the entries are edited as the repository
// editor edits them (a name typed in, the enabled flag turned, credentials
// replaced, a section removed, a copy added in a new file) and written: the
// files read back as exactly the edited list, every untouched section as it
// was. Errors go to a list, never to a box.
// The first byte chooses where the rest goes: into a ".repo" file beside a
// plain yum.conf (even) or into yum.conf itself (odd).
#include <cstddef>
#include <cstdint>
#include <cstdio>
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
#include "repos/kivrel.h"
#include "repos/repoeditor/filetext.h"
#include "repos/yumconfio.h"
#include "repos/yumrepoenabled.h"

namespace
{

QString root;

// A failed check names its line before the crash that libFuzzer records.
void checkAt(bool condition, int line)
{
    if (!condition) {
        std::fprintf(stderr, "repofile_fuzz: check on line %d failed\n", line);
        std::abort();
    }
}
#define check(condition) checkAt((condition), __LINE__)

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

// What a section means to yum, its place in its file aside.
QString meaning(const Repo::Entry& e)
{
    return QStringList{e.id, e.name, e.baseurl, e.mirrorlist, QString::number(e.enabled),
                       QString::number(e.gpgcheck), e.other, e.file}
        .join(QChar(0));
}

QHash<QString, QString> meaningsById(const YumConfIO& conf)
{
    QHash<QString, QString> result;
    for (const Repo::Entry& e : conf.entries)
        result.insert(e.id, meaning(e));
    return result;
}

// The editor's edits, chosen by the input's hash.
void edit(YumConfIO& conf, uint seed)
{
    QList<Repo::Entry>& entries = conf.entries;
    if (!entries.isEmpty()) {
        Repo::Entry& e = entries[int(seed % uint(entries.size()))];
        e.name = RepoEditor::FileText::stored(
            QString::fromUtf8("\xc3\x89" "dit\xc3\xa9 \xe2\x80\x93 \xe7\xb7\xa8\xe9\x9b\x86 ")
            + QString::number(seed));
        const bool on = e.enabled == Repo::Entry::Yes
                        || (e.enabled == Repo::Entry::Default && conf.enabledDefault);
        e.enabled = on ? Repo::Entry::No : Repo::Entry::Yes;
        const QString user = QString::fromUtf8("us\xc3\xa9r&=/ ") + QString::number(seed);
        const QString password = QString::fromUtf8("\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c%");
        e.baseurl = Repo::Kivrel::replaceAuth(e.baseurl, user, password);
        e.mirrorlist = Repo::Kivrel::replaceAuth(e.mirrorlist, user, password);
    }
    if (entries.size() > 1 && (seed & 2))
        entries.removeAt(int((seed / 3) % uint(entries.size())));
    Repo::Entry copy = entries.isEmpty() ? Repo::Entry() : entries.first();
    copy.id = QStringLiteral("fuzz-added");
    while (meaningsById(conf).contains(copy.id))
        copy.id += QLatin1Char('x');
    copy.file = QStringLiteral("fuzz-added.repo");
    entries.append(copy);
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

    // "[main]" in yum.conf is the main section unless another section comes
    // before it: removing that one changes what the line means.
    if (inYumConf && meaningsById(again).contains(QStringLiteral("main")))
        return 0;
    edit(again, qHash(bytes));
    if (!again.write(nullptr)) {
        // A copied section refused where it goes (a line break that would
        // start a line): said, and nothing else is to be checked.
        check(!errors.isEmpty());
        return 0;
    }
    const QHash<QString, QString> edited = meaningsById(again);
    const QHash<QString, QByteArray> editedFiles = snapshot();
    QHash<QString, bool> usedEdited;
    YumConfIO third(enabled, usedEdited);
    third.setErrorSink(&errors);
    check(third.read(nullptr));
    check(meaningsById(third) == edited);
    check(third.write(nullptr));
    check(snapshot() == editedFiles);
    check(errors.isEmpty());
    return 0;
}
