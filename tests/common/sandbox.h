// TestSandbox: a complete yum sandbox in a temporary folder for one test
// (scripts/make-sandbox), with the kivrel HTTP server on demand
// (scripts/kivrel-server). Failures are reported through ADD_FAILURE with the
// scripts' output; ok() tells whether the sandbox can be used.
//
// The sandbox folder stands for "/" when yum's files are looked for: its
// etc/yum.conf names the installroot, cache, repository folder and kivrel
// repository of the sandbox only, so nothing touches the host.
#pragma once

#include <memory>

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QProcess;

class TestSandbox
{
public:
    TestSandbox();
    ~TestSandbox();
    TestSandbox(const TestSandbox&) = delete;
    TestSandbox& operator=(const TestSandbox&) = delete;

    bool ok() const { return made; }

    // The sandbox folder; the configuration root of the program under test.
    QString root() const;
    QString yumConf() const;
    // The folder of the .repo files.
    QString repoDir() const;
    QString kivrelRepoFile() const;
    // The repositories themselves (createrepo_c output), one folder each.
    QString repositories() const;
    QString installRoot() const;
    QString cacheDir() const;
    // HOME for every rpm or dnf run against installRoot(): its .rpmmacros
    // keeps rpm's database inside the root.
    QString home() const;

    static QString kivrelRepoId() { return QStringLiteral("kuv-remote"); }

    // The installroot's packages as name-version-release, sorted, read by
    // rpm with the sandbox's HOME so that its database is the one inside the
    // root; a failing rpm fails the test and gives none.
    QStringList installedPackages() const;
    // The installroot's packages as a fresh sandbox has them,
    // name-version-release, sorted.
    static QStringList installedAtStart();
    // The listing that applying Install kuv-app, Update kuv-lib and Remove
    // kuv-local on a fresh sandbox confirms: kuv-app pulls in kuv-docs, and
    // the file:// repositories download nothing.
    static QString appLibLocalTransaction();
    int kivrelPort() const { return port; }
    QString kivrelUser() const { return user; }
    QString kivrelPassword() const { return password; }

    // Puts credentials into the kivrel repository's URL, encoded the way the
    // program stores them; without arguments the ones the server accepts.
    bool fillKivrelCredentials();
    bool fillKivrelCredentials(const QString& user, const QString& password);

    // Stops the kivrel server; from its next start it accepts these
    // credentials, which kivrelUser() and kivrelPassword() then give.
    bool setKivrelServerCredentials(const QString& user, const QString& password);

    bool startKivrelServer();
    void stopKivrelServer();
    bool kivrelServerRunning() const;

    // The environment for a child process that works on the sandbox: HOME,
    // KUVSHARE, KUV_SOURCE_DIR, KUV_SANDBOX (the root) and KUV_KIVREL_PORT.
    QProcessEnvironment environment() const;

    // The source tree: KUV_SOURCE_DIR.
    static QString sourceDir();

private:
    bool create();
    bool readFile(const QString& path, QString& text) const;

    QTemporaryDir dir;
    bool made = false;
    int port = 0;
    QString user;
    QString password;
    std::unique_ptr<QProcess> server;
};
