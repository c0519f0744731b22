// The test sandbox: runs the sandbox scripts of the source tree and keeps the
// kivrel server for as long as the test needs it.
#include "common/sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ftw.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace {

// Debian's interpreter: the sandbox scripts need nothing else, and the first
// python3 on PATH may be another one.
const char* const python = "/usr/bin/python3";

QString script(const QString& name)
{
    return TestSandbox::sourceDir() + "/scripts/" + name;
}

// Runs a sandbox script to its end; false after reporting its output.
bool runScript(const QString& name, const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(python, QStringList{script(name)} + arguments);
    bool finished = process.waitForFinished(timeoutMs);
    QString output = QString::fromUtf8(process.readAll());
    if (!finished) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << name.toStdString() << " did not finish in time:\n" << output.toStdString();
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        ADD_FAILURE() << name.toStdString() << " " << arguments.join(' ').toStdString()
                      << " failed (exit " << process.exitCode() << "):\n" << output.toStdString();
        return false;
    }
    return true;
}

// The kivrel encoding of a credential: these characters and control
// characters become "%" and two lower-case hex digits, every character
// beyond ASCII the escaped bytes of its UTF-8 form, everything else stays.
QString kivrelEncode(const QString& text)
{
    static const QString special = QStringLiteral("$&+,/:;=?@ \"<>#%{}|\\^~[]");
    QString result;
    for (char byte : text.toUtf8()) {
        const uchar code = uchar(byte);
        if (code < 0x20 || code >= 0x7f || special.contains(QLatin1Char(byte)))
            result += QStringLiteral("%%1").arg(code, 2, 16, QChar('0'));
        else
            result += QLatin1Char(byte);
    }
    return result;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return std::remove(path);
}

} // namespace

TestSandbox::TestSandbox()
    : dir(QDir::tempPath() + "/kuv-sandbox-XXXXXX")
{
    made = create();
}

TestSandbox::~TestSandbox()
{
    stopKivrelServer();
    // The installroot holds a Latin-1 file name, which Qt cannot delete under
    // a UTF-8 locale (it cannot encode the decoded name back), so the tree
    // goes byte by byte before QTemporaryDir tries.
    if (dir.isValid())
        nftw(QFile::encodeName(dir.path()).constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

QStringList TestSandbox::installedPackages() const
{
    QProcess rpm;
    rpm.setProcessEnvironment(environment());
    rpm.start("rpm", {"--root", installRoot(), "-qa", "--qf", "%{NAME}-%{VERSION}-%{RELEASE}\\n"});
    if (!rpm.waitForFinished(60000) || rpm.exitStatus() != QProcess::NormalExit
        || rpm.exitCode() != 0) {
        ADD_FAILURE() << "rpm --root -qa failed: " << rpm.readAllStandardError().toStdString();
        return {};
    }
    QStringList packages =
        QString::fromUtf8(rpm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    packages.sort();
    return packages;
}

QStringList TestSandbox::installedAtStart()
{
    return {"kuv-kernel-1.0-1", "kuv-kernel-1.1-1", "kuv-lib-1.0-1",
            "kuv-local-1.0-1",  "kuv-notes-1.0-1",  "kuv-oldtool-1.0-1"};
}

QString TestSandbox::appLibLocalTransaction()
{
    return QStringLiteral("Transaction to be performed:\n"
                          "\tInstall: kuv-app 2.0-1 (noarch) [kuv-main]\n"
                          "\tUpdate: kuv-lib 1.1-1 (noarch) [kuv-main]\n"
                          "\tRemove: kuv-local 1.0-1 (noarch)\n"
                          "Performing the following to resolve dependencies:\n"
                          "\tInstall: kuv-docs 1.0-1 (noarch) [kuv-main]\n"
                          "Total download size: 0b\n");
}

QString TestSandbox::sourceDir()
{
    QString source = qEnvironmentVariable("KUV_SOURCE_DIR");
    if (source.isEmpty())
        ADD_FAILURE() << "KUV_SOURCE_DIR is not set: the sandbox scripts cannot be found";
    return source;
}

QString TestSandbox::root() const
{
    return dir.path();
}

QString TestSandbox::yumConf() const
{
    return root() + "/etc/yum.conf";
}

QString TestSandbox::repoDir() const
{
    return root() + "/etc/yum.repos.d";
}

QString TestSandbox::kivrelRepoFile() const
{
    return repoDir() + "/kuv-remote.repo";
}

QString TestSandbox::repositories() const
{
    return root() + "/repos";
}

QString TestSandbox::installRoot() const
{
    return root() + "/root";
}

QString TestSandbox::cacheDir() const
{
    return root() + "/cache";
}

QString TestSandbox::home() const
{
    return root() + "/home";
}

bool TestSandbox::readFile(const QString& path, QString& text) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return false;
    }
    text = QString::fromUtf8(file.readAll());
    return true;
}

bool TestSandbox::create()
{
    if (!dir.isValid()) {
        ADD_FAILURE() << "cannot create a temporary folder for the sandbox";
        return false;
    }
    if (sourceDir().isEmpty())
        return false;

    QStringList arguments{root()};
    // Prebuilt packages make a sandbox in well under a second; building them
    // is idempotent, so this only costs time when they are missing.
    QString rpms = qEnvironmentVariable("KUV_TEST_RPMS");
    if (!rpms.isEmpty()) {
        if (!runScript("build-rpms", {rpms}, 300000))
            return false;
        arguments << "--rpms" << rpms;
    }
    if (!runScript("make-sandbox", arguments, 300000))
        return false;

    QString text;
    if (!readFile(root() + "/kivrel-port", text))
        return false;
    port = text.trimmed().toInt();
    if (!readFile(root() + "/kivrel-credentials", text))
        return false;
    QStringList lines = text.split('\n');
    if (port <= 0 || lines.size() < 2) {
        ADD_FAILURE() << "the sandbox in " << root().toStdString() << " has no usable kivrel data";
        return false;
    }
    user = lines[0];
    password = lines[1];
    return true;
}

bool TestSandbox::setKivrelServerCredentials(const QString& newUser, const QString& newPassword)
{
    // The server reads them when it starts.
    stopKivrelServer();
    QFile file(root() + "/kivrel-credentials");
    const QByteArray text = (newUser + "\n" + newPassword + "\n").toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        ADD_FAILURE() << "cannot write " << file.fileName().toStdString();
        return false;
    }
    user = newUser;
    password = newPassword;
    return true;
}

bool TestSandbox::fillKivrelCredentials()
{
    return fillKivrelCredentials(user, password);
}

bool TestSandbox::fillKivrelCredentials(const QString& newUser, const QString& newPassword)
{
    QString text;
    if (!readFile(kivrelRepoFile(), text))
        return false;
    static const QRegularExpression segment(
        QStringLiteral("/kivrel\\?([^=&\\s]*)=[^&\\s]*&([^=&\\s]*)=[^&\\s]*&path="));
    QRegularExpressionMatch match = segment.match(text);
    if (!match.hasMatch()) {
        ADD_FAILURE() << "no kivrel segment in " << kivrelRepoFile().toStdString();
        return false;
    }
    QString replacement = "/kivrel?" + match.captured(1) + "=" + kivrelEncode(newUser) + "&"
        + match.captured(2) + "=" + kivrelEncode(newPassword) + "&path=";
    text.replace(match.capturedStart(), match.capturedLength(), replacement);

    QFile file(kivrelRepoFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(text.toUtf8()) != text.toUtf8().size()) {
        ADD_FAILURE() << "cannot write " << kivrelRepoFile().toStdString();
        return false;
    }
    return true;
}

bool TestSandbox::startKivrelServer()
{
    if (kivrelServerRunning())
        return true;
    if (!made)
        return false;
    server = std::make_unique<QProcess>();
    // The server ends by itself when this process goes without stopping it.
    server->start(python, {script("kivrel-server"), root(), "--exit-with-parent"});
    if (!server->waitForStarted(10000)) {
        ADD_FAILURE() << "kivrel-server did not start: " << server->errorString().toStdString();
        server.reset();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray output;
    while (clock.elapsed() < 15000) {
        if (server->canReadLine() || server->waitForReadyRead(200)) {
            output += server->readLine();
            if (output.contains("ready\n"))
                return true;
        }
        if (server->state() == QProcess::NotRunning)
            break;
    }
    server->kill();
    server->waitForFinished();
    ADD_FAILURE() << "kivrel-server did not get ready:\n" << output.toStdString()
                  << server->readAllStandardError().toStdString();
    server.reset();
    return false;
}

void TestSandbox::stopKivrelServer()
{
    if (!server)
        return;
    if (server->state() != QProcess::NotRunning) {
        server->terminate();
        if (!server->waitForFinished(5000)) {
            server->kill();
            server->waitForFinished();
        }
    }
    server.reset();
}

bool TestSandbox::kivrelServerRunning() const
{
    return server && server->state() == QProcess::Running;
}

QProcessEnvironment TestSandbox::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home());
    env.insert("KUV_SANDBOX", root());
    env.insert("KUV_KIVREL_PORT", QString::number(port));
    env.insert("KUV_SOURCE_DIR", sourceDir());
    if (env.value("KUVSHARE").isEmpty())
        env.insert("KUVSHARE", sourceDir() + "/share");
    // No compiled files in the source tree.
    env.insert("PYTHONDONTWRITEBYTECODE", "1");
    return env;
}
