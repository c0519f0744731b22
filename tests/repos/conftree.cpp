// Throw-away configuration roots, dnf's reading of them, and a message box
// answerer for the tests.
#include "tests/repos/conftree.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QtTest/QTest>

#include "engine/configroot.h"

ConfTree::ConfTree()
{
    ConfigRoot::setRoot(dir.path());
    // Both default repository directories, so that tests do not depend on
    // which of them comes first.
    for (const QString& repoDir : ConfigRoot::defaultRepoDirs())
        QDir().mkpath(repoDir);
}

ConfTree::~ConfTree()
{
    for (const QString& relative : immutables)
        setImmutable(relative, false);
    ConfigRoot::setRoot(QString());
}

int FaultyFileSystem::status(const QByteArray& path, struct stat& info)
{
    if (statusFailure != 0 && path.endsWith(pathEnd))
        return statusFailure;
    return FileSystem::status(path, info);
}

int FaultyFileSystem::remove(const QByteArray& path)
{
    if (removeFailure != 0 && path.endsWith(pathEnd))
        return removeFailure;
    return FileSystem::remove(path);
}

int FaultyFileSystem::rename(const QByteArray& from, const QByteArray& to)
{
    if (renamesThatWork >= 0 && renames++ >= renamesThatWork)
        return renameFailure;
    return FileSystem::rename(from, to);
}

QString ConfTree::path(const QString& relative) const
{
    return dir.path() + QLatin1Char('/') + relative;
}

void ConfTree::write(const QString& relative, const QByteArray& bytes)
{
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).path());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray ConfTree::read(const QString& relative) const
{
    QFile file(path(relative));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

bool ConfTree::exists(const QString& relative) const
{
    return QFileInfo::exists(path(relative)) || QFileInfo(path(relative)).isSymLink();
}

bool ConfTree::setImmutable(const QString& relative, bool immutable)
{
    const int fd = ::open(QFile::encodeName(path(relative)).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    if (ok && immutable)
        immutables.append(relative);
    return ok;
}

QMap<QString, QString> ConfTree::snapshot() const
{
    QMap<QString, QString> result;
    QDirIterator it(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString full = it.next();
        const QString relative = full.mid(dir.path().size() + 1);
        struct stat info;
        if (::lstat(QFile::encodeName(full).constData(), &info) != 0) {
            result.insert(relative, QStringLiteral("<gone>"));
            continue;
        }
        QString description = QStringLiteral("mode %1 owner %2:%3 ")
                                  .arg(info.st_mode, 0, 8)
                                  .arg(info.st_uid)
                                  .arg(info.st_gid);
        if (S_ISREG(info.st_mode))
            description += QString::fromLatin1(read(relative));
        else if (S_ISLNK(info.st_mode))
            description += QFileInfo(full).symLinkTarget();
        result.insert(relative, description);
    }
    return result;
}

namespace
{

const char* const dnfReader = R"(
import json, logging, os, sys
import dnf.conf, dnf.conf.read
log = []
class Keep(logging.Handler):
    def emit(self, record):
        log.append(record.getMessage())
logger = logging.getLogger("dnf")
logger.addHandler(Keep())
logger.propagate = False
conf = dnf.conf.Conf()
conf.config_file_path = sys.argv[1]
conf.read(sys.argv[1])
conf.reposdir = sys.argv[2:]
conf.releasever = "1"
repos = []
for r in dnf.conf.read.RepoReader(conf, {}):
    repos.append({"id": r.id, "file": os.path.basename(r.repofile), "name": r.name,
                  "baseurl": list(r.baseurl), "mirrorlist": r.mirrorlist or "",
                  "enabled": bool(r.enabled), "gpgcheck": bool(r.gpgcheck),
                  "exclude": list(r.excludepkgs), "priority": r.priority})
print(json.dumps({"repos": repos, "log": log}))
)";

}

QJsonObject readByDnf(const QStringList& reposdirs)
{
    QStringList arguments{"-c", dnfReader, YumConfIO::fileName()};
    arguments += reposdirs;
    QProcess process;
    process.start("/usr/bin/python3", arguments);
    const bool finished = process.waitForFinished(60000);
    if (!finished)
        process.kill();
    const QByteArray output = process.readAllStandardOutput();
    EXPECT_TRUE(finished && process.exitCode() == 0)
        << process.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(output).object();
}

BoxWatcher::BoxWatcher(QMessageBox::StandardButton answer)
    : answer(answer)
{
    connect(&timer, &QTimer::timeout, this, &BoxWatcher::poll);
    timer.start(10);
}

void BoxWatcher::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    boxes.append({box->windowTitle(), box->text(), box->icon()});
    QAbstractButton* button = answer != QMessageBox::NoButton ? box->button(answer) : nullptr;
    if (button)
        button->click();
    else
        QTest::keyClick(box, Qt::Key_Escape);
}

const Repo::Entry* ConfIOTest::entry(const QString& id) const
{
    for (const Repo::Entry& e : conf.entries) {
        if (e.id == id)
            return &e;
    }
    // A missing entry fails the test instead of crashing the whole run.
    ADD_FAILURE() << "no entry " << id.toStdString();
    static const Repo::Entry missing;
    return &missing;
}

QString ConfIOTest::firstRepoDir() const
{
    return conf.reposdirs.value(0).mid(ConfigRoot::root().size() + 1);
}

QStringList ConfIOTest::ids() const
{
    QStringList result;
    for (const Repo::Entry& e : conf.entries)
        result.append(e.id);
    return result;
}
