// Cache cleaning through the engine: what each call removes from a real
// sandbox's cache, which caches the yum version keeps, every outcome of the
// script's answer checked (a failure is never taken for success and leaves
// a warning in the log), yum's substitution variables, and no password in
// any file written while packages, details and cleaning are worked through.
#include "tests/engine/engine_test.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

namespace {

class Cleaning : public ScriptTest
{
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        savedHome = qgetenv("HOME");
        qputenv("HOME", sandbox.home().toUtf8());
    }

    void TearDown() override
    {
        ScriptTest::TearDown();
        if (!savedHome.isNull())
            qputenv("HOME", savedHome);
    }

    void start()
    {
        ASSERT_TRUE(io->initialize());
        publishScriptObject();
    }

    // Replaces the script's cleaning methods by ones that note their call
    // in `calls` and answer what the given expressions make.
    void fakeCleaning(const QString& headers = "(0, [])", const QString& packages = "(0, [])",
                      const QString& metadata = "(0, [])", const QString& pickles = "(0, [])",
                      const QString& sqlite = "(0, [])")
    {
        const QString code = QString(
            "calls = []\n"
            "def fakeClean(name, answer):\n"
            "    def clean():\n"
            "        calls.append(name)\n"
            "        return answer()\n"
            "    setattr(engineObject, name, clean)\n"
            "fakeClean('cleanHeaders', lambda: %1)\n"
            "fakeClean('cleanPackages', lambda: %2)\n"
            "fakeClean('cleanMetadata', lambda: %3)\n"
            "fakeClean('cleanPickles', lambda: %4)\n"
            "fakeClean('cleanSqlite', lambda: %5)\n")
            .arg(headers, packages, metadata, pickles, sqlite);
        ASSERT_TRUE(YumIOTestAccess::py(*io, code.toUtf8().constData()));
    }

    QString calls() { return YumIOTestAccess::evalText(*io, "' '.join(calls)"); }

    // Sets the yum version the engine will find; before it first asks.
    void yumVersion(const char* text)
    {
        ASSERT_TRUE(YumIOTestAccess::py(*io, QString("import yum\nyum.__version__ = '%1'\n")
                                                 .arg(text).toUtf8().constData()));
    }

    QStringList lines(const QString& pattern)
    {
        return logLines().filter(QRegularExpression(pattern));
    }

    // The files below the cache folder, relative to it.
    QStringList cacheFiles()
    {
        QStringList files;
        const QDir cache(sandbox.cacheDir());
        QDirIterator it(cache.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << cache.relativeFilePath(it.next());
        files.sort();
        return files;
    }

    // The main repository's folder in the cache.
    QString mainCache()
    {
        const QStringList folders = QDir(sandbox.cacheDir()).entryList({"kuv-main-*"}, QDir::Dirs);
        return folders.size() == 1 ? sandbox.cacheDir() + "/" + folders[0] : QString();
    }

    bool touch(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
    }

    QByteArray savedHome;
};

}

TEST_F(Cleaning, EachCallRemovesItsPartOfTheCache)
{
    start();
    ASSERT_TRUE(io->collect({{TestSandbox::kivrelRepoId(), false}}));
    const QString main = mainCache();
    ASSERT_FALSE(main.isEmpty());
    ASSERT_TRUE(touch(main + "/headers/kuv-lib-1.1-1.noarch.hdr"));
    ASSERT_TRUE(touch(main + "/packages/kuv-lib-1.1-1.noarch.rpm"));
    auto count = [&](const char* pattern) {
        return cacheFiles().filter(QRegularExpression(pattern)).size();
    };
    ASSERT_EQ(count("\\.hdr$"), 1);
    ASSERT_EQ(count("\\.rpm$"), 1);
    ASSERT_GT(count("/repodata/.*\\.xml"), 0);
    ASSERT_GT(count("\\.solvx?$"), 0);
    const int logged = io->logList.lockedCount();

    EXPECT_TRUE(io->cleanHeaders());
    EXPECT_EQ(count("\\.hdr$"), 0);
    EXPECT_EQ(count("\\.rpm$"), 1);

    EXPECT_TRUE(io->cleanPackages());
    EXPECT_EQ(count("\\.rpm$"), 0);
    EXPECT_GT(count("/repodata/.*\\.xml"), 0);

    EXPECT_TRUE(io->cleanXmlMetadata());
    EXPECT_EQ(count("/repodata/"), 0);
    EXPECT_GT(count("\\.solvx?$"), 0);

    // This yum converts the metadata into a cache of its own, as yum kept
    // sqlite files, and has no pickled cache.
    EXPECT_TRUE(io->hasSqliteCache());
    EXPECT_FALSE(io->hasPickledCache());
    EXPECT_TRUE(io->cleanSqliteCache());
    EXPECT_EQ(count("\\.solvx?$"), 0);
    EXPECT_TRUE(io->cleanPickledCache());

    EXPECT_EQ(logLines(logged), QStringList({"4/0:Cleaning Headers", "4/0:Cleaning Packages",
                                             "4/0:Cleaning Xml Metadata", "4/0:Cleaning Sqlite Cache",
                                             "4/0:Cleaning Pickled Cache"}));
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Cleaning, CleanAllCleansEveryCacheThisYumKeeps)
{
    start();
    ASSERT_TRUE(io->collect({{TestSandbox::kivrelRepoId(), false}}));
    const QString main = mainCache();
    ASSERT_FALSE(main.isEmpty());
    ASSERT_TRUE(touch(main + "/headers/a.hdr"));
    ASSERT_TRUE(touch(main + "/packages/a.rpm"));
    // Count the script's calls around the real methods.
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "calls = []\n"
        "for name in ('cleanHeaders', 'cleanPackages', 'cleanMetadata', 'cleanPickles', 'cleanSqlite'):\n"
        "    real = getattr(engineObject, name)\n"
        "    setattr(engineObject, name, (lambda n, r: lambda: (calls.append(n), r())[1])(name, real))\n"));
    const int logged = io->logList.lockedCount();

    EXPECT_TRUE(io->cleanAll());
    EXPECT_EQ(calls(), "cleanHeaders cleanPackages cleanMetadata cleanSqlite");
    // Only the repositories' own folders are left.
    EXPECT_EQ(cacheFiles().filter(QRegularExpression("\\.(hdr|rpm|xml|xml\\..*|solvx?)$")), QStringList());
    EXPECT_EQ(logLines(logged), QStringList({"4/0:Cleaning All"}));
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Cleaning, CleanAllOfAYumWithBothCachesMakesFiveCalls)
{
    start();
    yumVersion("2.4.0");
    fakeCleaning();
    EXPECT_TRUE(io->hasSqliteCache());
    EXPECT_TRUE(io->hasPickledCache());
    EXPECT_TRUE(io->cleanAll());
    EXPECT_EQ(calls(), "cleanHeaders cleanPackages cleanMetadata cleanPickles cleanSqlite");
}

TEST_F(Cleaning, CleanAllOfAYumWithoutPickledCacheLeavesItOut)
{
    start();
    yumVersion("3.0.0");
    fakeCleaning();
    EXPECT_TRUE(io->hasSqliteCache());
    EXPECT_FALSE(io->hasPickledCache());
    EXPECT_TRUE(io->cleanAll());
    EXPECT_EQ(calls(), "cleanHeaders cleanPackages cleanMetadata cleanSqlite");
}

TEST_F(Cleaning, CleanAllOfAYumWithoutSqliteCacheLeavesItOut)
{
    start();
    yumVersion("2.2.0");
    fakeCleaning();
    EXPECT_FALSE(io->hasSqliteCache());
    EXPECT_TRUE(io->hasPickledCache());
    EXPECT_TRUE(io->cleanAll());
    EXPECT_EQ(calls(), "cleanHeaders cleanPackages cleanMetadata cleanPickles");
}

TEST_F(Cleaning, OneFailingStepFailsCleanAllAfterEveryCall)
{
    start();
    fakeCleaning("(0, [])", "(1, ['Cannot remove /cache/a.rpm: Device or resource busy',"
                            " '0 package files removed'])");
    const int logged = io->logList.lockedCount();
    EXPECT_FALSE(io->cleanAll());
    EXPECT_EQ(calls(), "cleanHeaders cleanPackages cleanMetadata cleanSqlite");
    // The failure is told in the log with the script's own lines; a code
    // is no box.
    EXPECT_EQ(logLines(logged), QStringList({"4/0:Cleaning All", "2/0:Cleaning Packages failed",
                                             "2/0:Cannot remove /cache/a.rpm: Device or resource busy",
                                             "2/0:0 package files removed"}));
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Cleaning, AnswersOfAnotherShapeAreReportedAndFail)
{
    start();
    fakeCleaning("None", "'0'", "('0', [])", "()", "(0.0, [])");
    const struct {
        bool (YumIO::*clean)();
        const char* headline;
        const char* method;
    } steps[] = {
        {&YumIO::cleanHeaders, "Cleaning Headers", "cleanHeaders"},
        {&YumIO::cleanPackages, "Cleaning Packages", "cleanPackages"},
        {&YumIO::cleanXmlMetadata, "Cleaning Xml Metadata", "cleanMetadata"},
        {&YumIO::cleanPickledCache, "Cleaning Pickled Cache", "cleanPickles"},
        {&YumIO::cleanSqliteCache, "Cleaning Sqlite Cache", "cleanSqlite"},
    };
    for (const auto& step : steps) {
        const int logged = io->logList.lockedCount();
        const int boxes = answerer.seen.size();
        EXPECT_FALSE((io.get()->*step.clean)()) << step.method;
        const QString internal = QString("Internal error: unexpected result of yumIO.%1").arg(step.method);
        EXPECT_EQ(logLines(logged), QStringList({QString("4/0:") + step.headline, "3/0:" + internal,
                                                 QString("2/0:%1 failed").arg(step.headline)}));
        ASSERT_EQ(answerer.seen.size(), boxes + 1);
        EXPECT_EQ(answerer.seen.last().title, "KUV Yum Error");
        EXPECT_EQ(answerer.seen.last().text, internal);
    }
}

TEST_F(Cleaning, AFailingScriptCallIsReportedAndFails)
{
    start();
    fakeCleaning("(0, [])", "(0, [])", "(0, [])", "(0, [])", "1 / 0");
    const int logged = io->logList.lockedCount();
    EXPECT_FALSE(io->cleanSqliteCache());
    const QStringList lines = logLines(logged);
    ASSERT_FALSE(lines.isEmpty());
    // The headline first even though the call fails, the wrapper's report,
    // and the warning last.
    EXPECT_EQ(lines.first(), "4/0:Cleaning Sqlite Cache");
    EXPECT_TRUE(lines.contains("3/0:Internal error: python exception occurred from C code"));
    EXPECT_EQ(lines.last(), "2/0:Cleaning Sqlite Cache failed");
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_EQ(answerer.seen[0].text, "Internal error: python exception occurred from C code\n");

    // cleanAll goes on after it.
    EXPECT_FALSE(io->cleanAll());
    EXPECT_EQ(calls(), "cleanSqlite cleanHeaders cleanPackages cleanMetadata cleanSqlite");
}

// A cache folder that the script refuses to clean: the code it answers is
// a failure, never taken for success.
TEST_F(Cleaning, ARefusedCacheFolderIsAFailureWithTheScriptsReason)
{
    QFile conf(sandbox.yumConf());
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(conf.readAll());
    conf.close();
    text.replace(QRegularExpression("(^|\\n)cachedir=[^\\n]*"), "\\1cachedir=relative/cache");
    ASSERT_TRUE(text.contains("\ncachedir=relative/cache"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write(text.toUtf8());
    conf.close();
    start();

    const int logged = io->logList.lockedCount();
    EXPECT_FALSE(io->cleanPackages());
    const QStringList lines = logLines(logged);
    ASSERT_EQ(lines.size(), 3) << lines.join("\n").toStdString();
    EXPECT_EQ(lines[0], "4/0:Cleaning Packages");
    EXPECT_EQ(lines[1], "2/0:Cleaning Packages failed");
    EXPECT_TRUE(lines[2].startsWith("2/0:Cannot clean")) << lines[2].toStdString();
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Cleaning, YumVariablesComeFromTheConfiguration)
{
    start();
    const QString arch = YumIOTestAccess::evalText(*io, "__import__('hawkey').detect_arch()");
    const QString basearch = YumIOTestAccess::evalText(
        *io, "__import__('dnf.rpm').rpm.basearch(__import__('hawkey').detect_arch())");
    ASSERT_FALSE(basearch.isEmpty());
    Python::PyGILStateWrapper guard(true);
    EXPECT_EQ(io->getYumVar("basearch"), basearch);
    EXPECT_EQ(io->getYumVar("arch"), arch);
    // The sandbox's root has no release package to tell the version.
    EXPECT_EQ(io->getYumVar("releasever"), "$releasever");
    EXPECT_EQ(io->getYumVar("nosuchvariable"), "");
    EXPECT_FALSE(PyErr_Occurred());
    EXPECT_TRUE(answerer.seen.isEmpty());
}

// Packages, details over the kivrel repository and every cleaning: the
// password is in the repository file and nowhere else the program or its
// layer writes.
TEST_F(Cleaning, NoPasswordReachesAnyFileButTheRepositoryFile)
{
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    start();
    ASSERT_TRUE(io->collect({{TestSandbox::kivrelRepoId(), true}}));
    Package::Entry* remote = nullptr;
    for (Package::Entry* entry : *io) {
        if (entry->name == "kuv-remote")
            remote = entry;
    }
    ASSERT_NE(remote, nullptr);
    EXPECT_EQ(io->getRequires(*remote), "kuv-lib");
    EXPECT_FALSE(io->getChangeLog(*remote).isEmpty());
    EXPECT_FALSE(io->getFiles(*remote).isEmpty());
    EXPECT_TRUE(answerer.seen.isEmpty());

    // The random part of the password: whatever encoding a file uses for
    // the rest, this part reads the same.
    const QString password = sandbox.kivrelPassword();
    const QByteArray secret = password.mid(password.indexOf('/') + 1).toUtf8();
    ASSERT_GE(secret.size(), 8);
    QFile repoFile(sandbox.kivrelRepoFile());
    ASSERT_TRUE(repoFile.open(QIODevice::ReadOnly));
    ASSERT_TRUE(repoFile.readAll().contains(secret));
    auto filesWithSecret = [&] {
        QStringList found;
        const QDir root(sandbox.root());
        QDirIterator it(root.path(), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString relative = root.relativeFilePath(path);
            // The repository configuration and the sandbox's own note of
            // what the server accepts hold it by design.
            if (relative.startsWith("etc/yum.repos.d/") || relative == "kivrel-credentials")
                continue;
            QFile file(path);
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(secret))
                found << relative;
        }
        return found;
    };
    EXPECT_EQ(filesWithSecret(), QStringList());
    EXPECT_TRUE(io->cleanAll());
    EXPECT_EQ(filesWithSecret(), QStringList());
    QStringList logged = logLines();
    EXPECT_EQ(logged.filter(QString::fromUtf8(secret)).size(), 0);
}
