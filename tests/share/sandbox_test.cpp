// The test sandbox itself: the tree make-sandbox lays out, the credentials
// written into the kivrel URL, and the kivrel server's answers.
#include "common/sandbox.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace {

QString readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// The HTTP status the kivrel server gives for a path and query, asked
// through Debian's interpreter (no HTTP client is linked into the tests).
int httpStatus(const TestSandbox& sandbox, const QString& pathAndQuery)
{
    QProcess process;
    process.start("/usr/bin/python3",
                  {"-c",
                   "import sys, urllib.request, urllib.error\n"
                   "try:\n"
                   "    print(urllib.request.urlopen(sys.argv[1], timeout=10).status)\n"
                   "except urllib.error.HTTPError as e:\n"
                   "    print(e.code)\n",
                   QStringLiteral("http://127.0.0.1:%1%2").arg(sandbox.kivrelPort()).arg(pathAndQuery)});
    if (!process.waitForFinished(30000))
        return -1;
    return process.readAllStandardOutput().trimmed().toInt();
}

} // namespace

TEST(TestSandbox, LaysOutConfigurationRepositoriesAndInstallroot)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    QString conf = readAll(sandbox.yumConf());
    EXPECT_TRUE(conf.contains("installroot=" + sandbox.installRoot() + "\n"));
    EXPECT_TRUE(conf.contains("cachedir=" + sandbox.cacheDir() + "\n"));
    EXPECT_TRUE(conf.contains("reposdir=" + sandbox.repoDir() + "\n"));
    EXPECT_FALSE(QFileInfo::exists(sandbox.root() + "/etc/yum/yum.conf"));

    EXPECT_EQ(QDir(sandbox.repoDir()).entryList(QDir::Files),
              (QStringList{"kuv-remote.repo", "kuv.repo"}));
    QString repos = readAll(sandbox.repoDir() + "/kuv.repo");
    EXPECT_TRUE(repos.contains("[kuv-extra]\nname=KUV Sandbox Extra\nbaseurl=file://"
                               + sandbox.repositories() + "/extra\nenabled=0\n"));
    for (const char* repo : {"main", "extra", "remote"})
        EXPECT_TRUE(QFileInfo::exists(sandbox.repositories() + "/" + repo + "/repodata/repomd.xml")) << repo;
    QStringList metadata = QDir(sandbox.repositories() + "/main/repodata").entryList();
    EXPECT_TRUE(metadata.filter("comps").size() > 0) << metadata.join(' ').toStdString();

    EXPECT_TRUE(QFileInfo::exists(sandbox.installRoot() + "/var/lib/rpm/rpmdb.sqlite"));
    EXPECT_TRUE(QFileInfo::exists(sandbox.installRoot() + "/usr/share/kuv-lib/VERSION"));
    EXPECT_EQ(readAll(sandbox.home() + "/.rpmmacros"), QString("%_dbpath /var/lib/rpm\n"));
}

TEST(TestSandbox, KivrelUrlStartsWithoutCredentialsAndTakesThemEncoded)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    EXPECT_GT(sandbox.kivrelPort(), 0);
    EXPECT_FALSE(sandbox.kivrelUser().isEmpty());
    EXPECT_FALSE(sandbox.kivrelPassword().isEmpty());
    QString base = QStringLiteral("baseurl=http://127.0.0.1:%1/kivrel?").arg(sandbox.kivrelPort());
    EXPECT_TRUE(readAll(sandbox.kivrelRepoFile()).contains(base + "user=&password=&path=remote\n"));

    ASSERT_TRUE(sandbox.fillKivrelCredentials("a b", "p&w=/:%"));
    EXPECT_TRUE(readAll(sandbox.kivrelRepoFile())
                    .contains(base + "user=a%20b&password=p%26w%3d%2f%3a%25&path=remote\n"));
    // Filling again replaces what the first fill wrote.
    ASSERT_TRUE(sandbox.fillKivrelCredentials("u", "v"));
    EXPECT_TRUE(readAll(sandbox.kivrelRepoFile()).contains(base + "user=u&password=v&path=remote\n"));
}

TEST(TestSandbox, KivrelServerServesOnlyWithTheRightCredentials)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    ASSERT_TRUE(sandbox.startKivrelServer());
    EXPECT_TRUE(sandbox.kivrelServerRunning());

    QString password = QString::fromLatin1(QUrl::toPercentEncoding(sandbox.kivrelPassword()));
    QString good = "?user=" + sandbox.kivrelUser() + "&password=" + password + "&path=remote";
    EXPECT_EQ(httpStatus(sandbox, "/kivrel/repodata/repomd.xml" + good), 200);
    EXPECT_EQ(httpStatus(sandbox, "/kivrel" + good + "/repodata/repomd.xml"), 200);
    EXPECT_EQ(httpStatus(sandbox, "/kivrel/repodata/repomd.xml?user=" + sandbox.kivrelUser()
                                      + "&password=wrong&path=remote"),
              403);
    EXPECT_EQ(httpStatus(sandbox, "/kivrel/repodata/repomd.xml?user=&password=&path=remote"), 403);
    EXPECT_EQ(httpStatus(sandbox, "/kivrel/repodata/repomd.xml"), 404);
    // Only the kivrel repository is reachable, whatever the path says.
    EXPECT_EQ(httpStatus(sandbox, "/kivrel/repodata/repomd.xml?user=" + sandbox.kivrelUser()
                                      + "&password=" + password + "&path=main"),
              404);
    EXPECT_EQ(httpStatus(sandbox, "/kivrel/../../kivrel-credentials" + good), 404);

    QString log = readAll(sandbox.root() + "/kivrel-server.log");
    EXPECT_TRUE(log.contains("GET /kivrel/repodata/repomd.xml 200\n")) << log.toStdString();
    EXPECT_FALSE(log.contains(sandbox.kivrelPassword())) << log.toStdString();
    EXPECT_FALSE(log.contains(password)) << log.toStdString();

    sandbox.stopKivrelServer();
    EXPECT_FALSE(sandbox.kivrelServerRunning());
}

TEST(TestSandbox, SandboxesMadeTogetherAreIndependent)
{
    TestSandbox first;
    TestSandbox second;
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(second.ok());
    EXPECT_NE(first.root(), second.root());
    EXPECT_NE(first.kivrelPassword(), second.kivrelPassword());
    ASSERT_TRUE(first.startKivrelServer());
    ASSERT_TRUE(second.startKivrelServer());
}
