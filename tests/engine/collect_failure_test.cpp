// The collection's roads other than the sandbox's own: package lists made up
// here (chains of several installed versions, several architectures, fields
// in their older forms), each step of the collection failing with a
// declared yum exception or an undeclared one, yum's lock counted as taken
// only when lock() returned, and the repository dictionary given back.
#include "tests/engine/collect_test.h"

#include <QFile>

namespace {

// Package objects with the fields the collection reads; size and build
// time in the forms older yum gave them.
const char* const fakePackages =
    "class FakePackage(object):\n"
    "    def __init__(self, name, ver, repo, arch='noarch', group='Tools', summary='s',\n"
    "                 size=1000, buildtime=86400):\n"
    "        self.name = name\n"
    "        self.arch = arch\n"
    "        self._ver = ver\n"
    "        self._fields = {'repoid': repo, 'group': group, 'summary': summary,\n"
    "                        'buildtime': buildtime}\n"
    "        self.size = size\n"
    "    def printVer(self):\n"
    "        return self._ver\n"
    "    def returnSimple(self, name):\n"
    "        return self._fields[name]\n"
    "class FakeLists(object):\n"
    "    pass\n";

}

class CollectFailureTest : public CollectTest
{
protected:
    // Replaces a method of the script's object by one that raises.
    void raiseIn(const char* method, const char* exception)
    {
        script(QByteArray("import yum.Errors, bdb\n"
                          "def _raising(*args):\n"
                          "    raise ")
               + exception + "\nengineObject." + method + " = _raising\n");
    }

    // Counts the calls of a method of the script's class from now on.
    void countCalls(const char* method)
    {
        const QByteArray name(method);
        script("if not hasattr(YumIO, '" + name + "Calls'):\n"
               "    def _counting(real):\n"
               "        def counting(self, *args):\n"
               "            YumIO." + name + "Calls += 1\n"
               "            return real(self, *args)\n"
               "        return counting\n"
               "    YumIO." + name + " = _counting(YumIO." + name + ")\n"
               "YumIO." + name + "Calls = 0\n");
    }

    int calls(const char* method)
    {
        publishScriptObject();
        const QString text = YumIOTestAccess::evalText(*io, (QByteArray("str(YumIO.") + method + "Calls)").constData());
        return text.toInt();
    }
};

TEST_F(CollectFailureTest, ChainsHoldEveryInstalledVersionBehindTheUpdate)
{
    script(QByteArray(fakePackages)
           + "lists = FakeLists()\n"
             "lists.installed = [FakePackage('multi', '1-1', 'installed'),\n"
             "                   FakePackage('multi', '0.9-1', 'installed', arch='i686'),\n"
             "                   FakePackage('plain', '1-1', 'installed')]\n"
             "lists.available = [FakePackage('plain', '2-1', 'main'),\n"
             "                   FakePackage('multi', '3-1', 'main'),\n"
             "                   FakePackage('bundle', '1-1', 'main', group='Suite'),\n"
             "                   FakePackage('bundle', '1-1', 'main', arch='i686'),\n"
             "                   FakePackage('texts', '1-1', 'main', summary='two lines\\n\\n',\n"
             "                               size='2048', buildtime='0')]\n"
             "engineObject.collectUpdates = lambda: [FakePackage('multi', '2-1', 'main'),\n"
             "                                       FakePackage('multi', '5-1', 'other')]\n"
             "engineObject.collectAll = lambda: lists\n"
             "engineObject.collectGroupInfo = lambda: []\n");
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_EQ(dialogs(), QStringList());
    EXPECT_EQ(names(), QStringList({"bundle", "multi", "plain", "texts"}));

    // The first update of a name heads it; every installed version follows
    // in the order yum listed them.
    Package::Entry* multi = find("multi");
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(multi->state, Package::Updatable);
    EXPECT_EQ(multi->verRel, "2-1");
    EXPECT_EQ(multi->repo, "main");
    ASSERT_NE(multi->next, nullptr);
    EXPECT_EQ(multi->next->verRel, "1-1");
    EXPECT_EQ(multi->next->state, Package::Installed);
    ASSERT_NE(multi->next->next, nullptr);
    EXPECT_EQ(multi->next->next->verRel, "0.9-1");
    EXPECT_EQ(multi->next->next->arch, "i686");
    EXPECT_EQ(multi->next->next->next, nullptr);

    // Installed without an update: the available version adds nothing.
    Package::Entry* plain = find("plain");
    EXPECT_EQ(plain->state, Package::Installed);
    EXPECT_EQ(plain->verRel, "1-1");
    EXPECT_EQ(plain->next, nullptr);

    // One entry per name, whatever its architectures.
    Package::Entry* bundle = find("bundle");
    EXPECT_EQ(bundle->kind, Package::Suite);
    EXPECT_EQ(bundle->arch, "noarch");
    EXPECT_EQ(bundle->next, nullptr);

    Package::Entry* texts = find("texts");
    EXPECT_EQ(texts->summary, "two lines");
    EXPECT_EQ(texts->size, 2048u);
    EXPECT_EQ(texts->sizeText, "2.0Kb");
    EXPECT_EQ(texts->buildTime, 0);
    EXPECT_EQ(texts->kind, Package::Ordinary);
    EXPECT_EQ(texts->state, Package::Available);
}

TEST_F(CollectFailureTest, DeclaredFailuresOfEachStepShowTheirHeadlines)
{
    struct Step {
        const char* method;
        const char* exception;
        const char* box;
    };
    const Step steps[] = {
        {"lock", "yum.Errors.LockError(11, 'Existing lock: another copy is running as pid 42.')",
         "Existing lock: another copy is running as pid 42.\nUnable to obtain yum lock"},
        {"setupRepos", "yum.Errors.RepoError('cannot read kuv-main')",
         "cannot read kuv-main\nUnable to initialize"},
        {"setupRepos", "bdb.BdbQuit('stopped')", "stopped\nUnable to initialize"},
        {"setupTs", "yum.Errors.YumBaseError('no rpm database')",
         "no rpm database\nUnable to setup transaction"},
        {"collectUpdates", "yum.Errors.YumBaseError('updates broke')",
         "updates broke\nUnable to collect updatable packages"},
        {"collectAll", "bdb.BdbQuit('all broke')",
         "all broke\nUnable to collect installed and available packages"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.method);
        answerer.seen.clear();
        io->clear();
        raiseIn(step.method, step.exception);
        EXPECT_FALSE(io->collect(withoutRemote()));
        EXPECT_EQ(io->count(), 0);
        EXPECT_EQ(dialogs(), QStringList({QString("ScrollableErrorDialog|KUV Yum Error|") + step.box}));
    }
    // After all of that the program still collects.
    answerer.seen.clear();
    io->clear();
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_NE(find("kuv-lib"), nullptr);
    EXPECT_EQ(dialogs(), QStringList());
}

TEST_F(CollectFailureTest, LockCountsAsTakenOnlyWhenLockReturned)
{
    countCalls("setupRepos");
    raiseIn("lock", "RuntimeError('the lock broke')");
    EXPECT_FALSE(io->collect(withoutRemote()));
    EXPECT_FALSE(YumIOTestAccess::yumLocked(*io));
    EXPECT_EQ(calls("setupRepos"), 0);
    ASSERT_EQ(answerer.seen.size(), 2) << dialogs().join("\n").toStdString();
    EXPECT_EQ(answerer.seen.at(0).text, "Internal error: python exception occurred from C code\n");
    EXPECT_EQ(answerer.seen.at(1).text, "Internal error: execution of yumIO.lock failed");
    EXPECT_FALSE(QFile::exists(pidFile()));

    // The next collection asks for the lock again, and gets it.
    io->clear();
    countCalls("lock");
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_EQ(calls("lock"), 1);
    EXPECT_TRUE(YumIOTestAccess::yumLocked(*io));
    EXPECT_TRUE(QFile::exists(pidFile()));
}

TEST_F(CollectFailureTest, UndeclaredFailuresOfTheSetUpsStopTheCollection)
{
    for (const char* method : {"setupRepos", "setupTs"}) {
        SCOPED_TRACE(method);
        answerer.seen.clear();
        io->clear();
        countCalls("collectUpdates");
        raiseIn(method, "RuntimeError('a fault in the script')");
        EXPECT_FALSE(io->collect(withoutRemote()));
        EXPECT_EQ(calls("collectUpdates"), 0);
        ASSERT_EQ(answerer.seen.size(), 2) << dialogs().join("\n").toStdString();
        EXPECT_EQ(answerer.seen.at(1).text,
                  QString("Internal error: execution of yumIO.%1 failed").arg(method));
        // The traceback went to the script's standard error, and so into
        // the log.
        EXPECT_FALSE(logLines().filter("RuntimeError: a fault in the script").isEmpty())
            << logLines().join("\n").toStdString();
    }
}

TEST_F(CollectFailureTest, MalformedPackageListsAreInternalErrors)
{
    script("engineObject.collectUpdates = lambda: None\n");
    EXPECT_FALSE(io->collect(withoutRemote()));
    EXPECT_EQ(io->count(), 0);
    ASSERT_FALSE(answerer.seen.isEmpty());
    EXPECT_EQ(answerer.seen.last().text, "Internal error: python exception occurred from C code\n");

    answerer.seen.clear();
    io->clear();
    script(QByteArray(fakePackages)
           + "lists = FakeLists()\n"
             "lists.installed = []\n"
             "engineObject.collectAll = lambda: lists\n");
    EXPECT_FALSE(io->collect(withoutRemote()));
    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|Internal error: "
                                      "yumIO.collectAll.available not found"}));

    answerer.seen.clear();
    io->clear();
    raiseIn("collectUpdates", "KeyError('undeclared')");
    EXPECT_FALSE(io->collect(withoutRemote()));
    ASSERT_EQ(answerer.seen.size(), 2) << dialogs().join("\n").toStdString();
    EXPECT_EQ(answerer.seen.at(1).text, "Internal error: execution of yumIO.collectUpdates failed");
}

TEST_F(CollectFailureTest, RepositoryOverrideThatYumRefusesWarnsAndGoesOn)
{
    script("import yum.Errors\n"
           "_realEnable = type(engineObject.repos).enableRepo\n"
           "def _refuse(self, pattern):\n"
           "    if pattern == 'kuv-extra':\n"
           "        raise yum.Errors.RepoError('kuv-extra is broken')\n"
           "    return _realEnable(self, pattern)\n"
           "type(engineObject.repos).enableRepo = _refuse\n");
    ASSERT_TRUE(io->collect(withoutRemote({{"kuv-extra", true}})));
    EXPECT_EQ(find("kuv-extra"), nullptr);
    EXPECT_NE(find("kuv-app"), nullptr);
    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Warning|unable to setup repository "
                                      "kuv-extra:\nkuv-extra is broken"}));
}

TEST_F(CollectFailureTest, RepositoryDictionaryIsGivenBackBeforeTheNextAndAtTheEnd)
{
    const QString marker = sandbox.root() + "/dictionary-released";
    script(QByteArray("import weakref\n"
                      "class TrackedDict(dict):\n"
                      "    def __del__(self):\n"
                      "        open(") + "'" + marker.toUtf8() + "', 'a').write('released\\n')\n"
           "tracked = TrackedDict(engineObject.repos.repos)\n"
           "engineObject.repos.repos = tracked\n"
           "trackedRef = weakref.ref(tracked)\n"
           "del tracked\n");
    ASSERT_TRUE(io->collect(withoutRemote()));
    ASSERT_EQ(CollectTestAccess::reposDict(*io) != nullptr, true);
    // Only the engine holds it now.
    script("engineObject.repos.repos = dict(engineObject.repos.repos)\n");
    EXPECT_TRUE(scriptTrue("trackedRef() is not None"));

    io->clear();
    EXPECT_TRUE(scriptTrue("trackedRef() is not None"));
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_TRUE(scriptTrue("trackedRef() is None"));
    EXPECT_TRUE(QFile::exists(marker));
    ASSERT_TRUE(QFile::remove(marker));

    // The engine's last dictionary goes when the engine does.
    io->clear();
    script(QByteArray("final = TrackedDict(engineObject.repos.repos)\n"
                      "engineObject.repos.repos = final\n"
                      "del final\n"));
    ASSERT_TRUE(io->collect(withoutRemote()));
    script("engineObject.repos.repos = dict(engineObject.repos.repos)\n");
    EXPECT_FALSE(QFile::exists(marker));
    endEngine();
    EXPECT_TRUE(QFile::exists(marker));
}
