// The collection through the real engine, companion script and yum layer on
// a sandbox: the entries and their version chains, suites and groups, the
// session's repository choices, yum's lock taken once, and the failures a
// user meets (no repository enabled, a repository out of reach, corrupt
// metadata, a repository file that is not UTF-8), after each of which the
// program collects again.
#include "tests/engine/collect_test.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The kivrel repository's file as a tool that writes Latin-1 leaves it: a
// password with "é" as its raw byte, on line 3.
bool writeLatin1Password(const TestSandbox& sandbox)
{
    QFile file(sandbox.kivrelRepoFile());
    const QByteArray text = "[kuv-remote]\nname=Remote\nbaseurl=http://127.0.0.1:1/kivrel?"
                            "user=joe&password=caf\xe9&path=remote\n";
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

QString notUtf8Report(const TestSandbox& sandbox)
{
    return "Cannot read repository kuv-remote in " + sandbox.kivrelRepoFile()
           + ": line 3 holds bytes that are not UTF-8 text. Save the file as UTF-8; in URLs, "
             "write such characters percent-encoded.\nUnable to initialize";
}

// Every file of a folder, overwritten with bytes that are no metadata.
int spoilFiles(const QString& folder, const QString& nameFilter)
{
    int spoiled = 0;
    for (const QFileInfo& info : QDir(folder).entryInfoList({nameFilter}, QDir::Files)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write("this is not repository metadata\n");
            ++spoiled;
        }
    }
    return spoiled;
}

// Every entry of every chain, in table order, with all it keeps.
QStringList entryTexts(const YumIO& io)
{
    QStringList texts;
    for (Package::Entry* head : io) {
        for (const Package::Entry* entry = head; entry; entry = entry->next) {
            texts << QStringList({entry->name, entry->verRel, entry->repo, entry->arch,
                                  QString::number(entry->size), entry->sizeText, entry->summary,
                                  QString::number(entry->buildTime), entry->buildTimeText,
                                  QString::number(entry->kind), QString::number(entry->state),
                                  entry->po ? "po" : "none"})
                         .join('|');
        }
    }
    return texts;
}

}

TEST_F(CollectTest, CollectionKeepsVersionChainsAndStates)
{
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_EQ(dialogs(), QStringList());

    // kuv-extra is in a disabled repository, kuv-remote in the one left
    // out, and the hidden group is not shown.
    EXPECT_EQ(names(), QStringList({"@KUV Applications", "@KUV Tools", "kuv-app", "kuv-docs",
                                    "kuv-kernel", "kuv-lib", "kuv-local", "kuv-newtool",
                                    "kuv-notes", "kuv-oldtool", "kuv-suite"}));

    // The update heads the chain of its installed version; the same
    // version offered as available adds nothing.
    Package::Entry* lib = find("kuv-lib");
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->state, Package::Updatable);
    EXPECT_EQ(lib->verRel, "1.1-1");
    EXPECT_EQ(lib->repo, "kuv-main");
    ASSERT_NE(lib->next, nullptr);
    EXPECT_EQ(lib->next->state, Package::Installed);
    EXPECT_EQ(lib->next->verRel, "1.0-1");
    EXPECT_EQ(lib->next->repo, "installed");
    EXPECT_EQ(lib->next->next, nullptr);

    for (const char* name : {"kuv-notes", "kuv-oldtool", "kuv-local"}) {
        Package::Entry* installed = find(name);
        ASSERT_NE(installed, nullptr) << name;
        EXPECT_EQ(installed->state, Package::Installed) << name;
        EXPECT_EQ(installed->repo, "installed") << name;
        EXPECT_EQ(installed->next, nullptr) << name;
    }
    for (const char* name : {"kuv-app", "kuv-docs", "kuv-newtool", "kuv-suite"}) {
        Package::Entry* available = find(name);
        ASSERT_NE(available, nullptr) << name;
        EXPECT_EQ(available->state, Package::Available) << name;
        EXPECT_EQ(available->repo, "kuv-main") << name;
    }

    EXPECT_EQ(find("kuv-suite")->kind, Package::Suite);
    EXPECT_EQ(find("kuv-app")->kind, Package::Ordinary);
    Package::Entry* app = find("kuv-app");
    EXPECT_EQ(app->arch, "noarch");
    EXPECT_EQ(app->verRel, "2.0-1");
    EXPECT_FALSE(app->summary.isEmpty());
    EXPECT_GT(app->size, 0u);
    EXPECT_EQ(app->sizeText, io->bytesFormat(app->size));
    EXPECT_GT(app->buildTime, 0);
    EXPECT_EQ(app->buildTimeText, QString::fromLatin1(YumIO::timeFormat(app->buildTime)));
    EXPECT_EQ(app->action, Package::NoAction);

    // Every entry of every chain holds its yum object.
    for (Package::Entry* head : *io) {
        for (Package::Entry* entry = head; entry; entry = entry->next)
            EXPECT_NE(entry->po, nullptr) << entry->name.toStdString();
    }

    QStringList lines = logLines();
    EXPECT_TRUE(lines.contains("4/0:Initialization")) << lines.join('\n').toStdString();
}

// An install-only package with two versions installed side by side: one
// entry, the update at its head and both installed versions behind it,
// newest first, each answering from its own header.
TEST_F(CollectTest, InstallOnlyPackageChainsItsInstalledVersionsNewestFirst)
{
    ASSERT_TRUE(io->collect(withoutRemote()));

    Package::Entry* kernel = find("kuv-kernel");
    ASSERT_NE(kernel, nullptr);
    QStringList versions;
    QList<int> states;
    for (Package::Entry* entry = kernel; entry; entry = entry->next) {
        versions << entry->verRel + " " + entry->repo;
        states << entry->state;
    }
    EXPECT_EQ(versions, QStringList({"1.2-1 kuv-main", "1.1-1 installed", "1.0-1 installed"}));
    EXPECT_EQ(states, QList<int>({Package::Updatable, Package::Installed, Package::Installed}));
    ASSERT_EQ(versions.size(), 3);

    const Package::Entry& newer = *kernel->next;
    const Package::Entry& older = *kernel->next->next;
    const QString maintainer = " Kernel Maintainer <kernel@example.org> - ";
    EXPECT_TRUE(io->getChangeLog(newer, YumIO::LoadedExtraDataOnly)
                    .startsWith("* Wed Apr 15 2020" + maintainer + "1.1-1\n"));
    EXPECT_TRUE(io->getChangeLog(older, YumIO::LoadedExtraDataOnly)
                    .startsWith("* Mon Feb  3 2020" + maintainer + "1.0-1\n"));
    EXPECT_TRUE(io->getFiles(older, YumIO::LoadedExtraDataOnly)
                    .contains("/usr/lib/kuv-kernel/1.0-1/vmkuv"));
    EXPECT_FALSE(io->getFiles(older, YumIO::LoadedExtraDataOnly).contains("/1.1-1/"));
    EXPECT_EQ(dialogs(), QStringList());
}

TEST_F(CollectTest, GroupsTakeTheirStateFromTheirMandatoryMembers)
{
    ASSERT_TRUE(io->collect(withoutRemote()));

    // Both mandatory members are installed, one of them out of date.
    Package::Entry* tools = find("KUV Tools", true);
    ASSERT_NE(tools, nullptr);
    EXPECT_EQ(tools->state, Package::Updatable);
    EXPECT_EQ(tools->kind, Package::Group);
    EXPECT_TRUE(tools->verRel.isEmpty());
    EXPECT_TRUE(tools->repo.isEmpty());
    EXPECT_EQ(tools->size, 0u);
    EXPECT_NE(tools->po, nullptr);

    Package::Entry* apps = find("KUV Applications", true);
    ASSERT_NE(apps, nullptr);
    EXPECT_EQ(apps->state, Package::Available);
    EXPECT_EQ(find("KUV Hidden", true), nullptr);

    EXPECT_EQ(io->getMandatoryPkgs(*tools), "kuv-lib\nkuv-notes");
    EXPECT_EQ(io->getDefaultPkgs(*tools), "kuv-docs");
    EXPECT_EQ(io->getOptionalPkgs(*tools), "kuv-newtool");
    EXPECT_EQ(io->getConditionalPkgs(*apps), "kuv-suite");
    EXPECT_EQ(io->getConditionalPkgs(*tools), "");
    // The group objects of this yum have no sub groups or meta packages.
    EXPECT_EQ(io->getRequiredGroups(*tools), "");
    EXPECT_EQ(io->getDefaultMetaPkgs(*tools), "");
    EXPECT_EQ(io->getOptionalMetaPkgs(*tools), "");
    EXPECT_EQ(dialogs(), QStringList());
}

TEST_F(CollectTest, DisabledRepositoryJoinsOnlyWhenTheSessionEnablesIt)
{
    ASSERT_TRUE(io->collect(withoutRemote({{"kuv-extra", false}})));
    EXPECT_EQ(find("kuv-extra"), nullptr);

    io->clear();
    ASSERT_TRUE(io->collect(withoutRemote({{"kuv-extra", true}})));
    Package::Entry* extra = find("kuv-extra");
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(extra->state, Package::Available);
    EXPECT_EQ(extra->repo, "kuv-extra");
    EXPECT_EQ(CollectTestAccess::enabledRepos(*io), QStringList({"kuv-main", "kuv-extra"}));

    // The choice is the session's: the repository file still disables it.
    QFile repoFile(sandbox.repoDir() + "/kuv.repo");
    ASSERT_TRUE(repoFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(repoFile.readAll()).contains("[kuv-extra]\nname=KUV Sandbox Extra\nbaseurl="));
    EXPECT_EQ(dialogs(), QStringList());
}

TEST_F(CollectTest, UnknownRepositoryInTheSessionChangesNothing)
{
    ASSERT_TRUE(io->collect(withoutRemote({{"no-such-repository", true}})));
    EXPECT_NE(find("kuv-app"), nullptr);
    EXPECT_EQ(dialogs(), QStringList());
    for (const QString& line : logLines())
        EXPECT_FALSE(line.startsWith("2/")) << line.toStdString();
}

TEST_F(CollectTest, SecondCollectionDoesNotLockAgain)
{
    // Counted on the class, so that the fresh object of clear() counts too.
    script("YumIO.lockCalls = 0\n"
           "_realLock = YumIO.lock\n"
           "def _countingLock(self):\n"
           "    YumIO.lockCalls += 1\n"
           "    return _realLock(self)\n"
           "YumIO.lock = _countingLock\n");
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_TRUE(YumIOTestAccess::yumLocked(*io));
    EXPECT_TRUE(QFile::exists(pidFile()));

    io->clear();
    EXPECT_EQ(io->count(), 0);
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_TRUE(scriptTrue("YumIO.lockCalls == 1"));
    EXPECT_NE(find("kuv-lib"), nullptr);
    EXPECT_EQ(dialogs(), QStringList());
}

// The layer's packages come in rows of all their fields, one call per
// list; a package object of any other kind is read field by field. Both
// roads make the same entries from the same packages.
TEST_F(CollectTest, RowsAndFieldByFieldReadsMakeTheSameEntries)
{
    // Counted on the class, so that the fresh object of clear() counts too.
    script("_realRows = YumIO.collectRows\n"
           "YumIO.rowTuples = YumIO.rowObjects = 0\n"
           "def _countingRows(self, packages):\n"
           "    rows = _realRows(self, packages)\n"
           "    for row in rows:\n"
           "        if isinstance(row, tuple):\n"
           "            YumIO.rowTuples += 1\n"
           "        else:\n"
           "            YumIO.rowObjects += 1\n"
           "    return rows\n"
           "YumIO.collectRows = _countingRows\n");
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_TRUE(scriptTrue("YumIO.rowTuples >= 10 and YumIO.rowObjects == 0"));
    const QStringList fromRows = entryTexts(*io);
    ASSERT_GE(fromRows.size(), 10);

    io->clear();
    script("YumIO.collectRows = lambda self, packages: list(packages)\n");
    ASSERT_TRUE(io->collect(withoutRemote()));
    const QStringList fieldByField = entryTexts(*io);
    script("YumIO.collectRows = _realRows\n");
    EXPECT_EQ(fromRows, fieldByField);
    EXPECT_EQ(dialogs(), QStringList());
}

TEST_F(CollectTest, NoEnabledRepositoryIsReportedBeforeReadingAny)
{
    script("YumIO.setupCalls = 0\n"
           "def _noSetup(self):\n"
           "    YumIO.setupCalls += 1\n"
           "YumIO.setupRepos = _noSetup\n");
    EXPECT_FALSE(io->collect(withoutRemote({{"kuv-main", false}})));
    EXPECT_EQ(io->count(), 0);
    EXPECT_TRUE(scriptTrue("YumIO.setupCalls == 0"));
    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|No repositories are enabled.\n"
                                      "Under the Repositories menu, Edit Configuration can be used "
                                      "to configure repositories."}));
}

TEST_F(CollectTest, NoConfiguredRepositoryIsReported)
{
    ASSERT_TRUE(QFile::remove(sandbox.repoDir() + "/kuv.repo"));
    ASSERT_TRUE(QFile::remove(sandbox.kivrelRepoFile()));
    io->clear();
    EXPECT_FALSE(io->collect({}));
    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|No repositories are configured.\n"
                                      "Under the Repositories menu, Edit Configuration can be used "
                                      "to configure repositories."}));
}

TEST_F(CollectTest, UnreachableRepositoryIsReportedAndTheProgramCollectsAgain)
{
    // The kivrel repository is enabled, and no server listens on its port.
    EXPECT_FALSE(io->collect({}));
    EXPECT_EQ(io->count(), 0);
    ASSERT_EQ(answerer.seen.size(), 1) << dialogs().join("\n").toStdString();
    const SeenDialog& seen = answerer.seen.first();
    EXPECT_EQ(seen.className, "ScrollableErrorDialog");
    EXPECT_EQ(seen.title, "KUV Yum Error");
    EXPECT_TRUE(seen.text.endsWith("\nUnable to initialize")) << seen.text.toStdString();
    EXPECT_TRUE(seen.text.contains("kuv-remote")) << seen.text.toStdString();
    // The credential query never shows, not even empty.
    EXPECT_FALSE(seen.text.contains("password=")) << seen.text.toStdString();

    // Leaving the repository out for the session collects the rest.
    io->clear();
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_NE(find("kuv-lib"), nullptr);
    EXPECT_NE(find("KUV Tools", true), nullptr);
    EXPECT_EQ(answerer.seen.size(), 1);
}

TEST_F(CollectTest, CorruptMetadataIsReportedAndTheProgramCollectsAgain)
{
    const QString repodata = sandbox.repositories() + "/main/repodata";
    QDir saved(sandbox.root() + "/saved-repodata");
    ASSERT_TRUE(QDir().mkpath(saved.path()));
    for (const QFileInfo& info : QDir(repodata).entryInfoList(QDir::Files))
        ASSERT_TRUE(QFile::copy(info.filePath(), saved.filePath(info.fileName())));
    ASSERT_GT(spoilFiles(repodata, "*primary*"), 0);

    EXPECT_FALSE(io->collect(withoutRemote()));
    EXPECT_EQ(io->count(), 0);
    ASSERT_EQ(answerer.seen.size(), 1) << dialogs().join("\n").toStdString();
    EXPECT_EQ(answerer.seen.first().className, "ScrollableErrorDialog");
    EXPECT_TRUE(answerer.seen.first().text.contains("kuv-main")) << answerer.seen.first().text.toStdString();
    EXPECT_TRUE(answerer.seen.first().text.endsWith("\nUnable to initialize"))
        << answerer.seen.first().text.toStdString();

    // With the metadata put back, the next collection has it all.
    for (const QFileInfo& info : saved.entryInfoList(QDir::Files)) {
        const QString target = repodata + "/" + info.fileName();
        QFile::remove(target);
        ASSERT_TRUE(QFile::copy(info.filePath(), target));
    }
    io->clear();
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_NE(find("kuv-app"), nullptr);
    EXPECT_EQ(answerer.seen.size(), 1);
}

// dnf cannot read a repository file that is not UTF-8: the user is told
// which repository and file, not the interpreter's internal error.
TEST_F(ScriptTest, RepositoryFileThatIsNotUtf8IsNamedAtStart)
{
    qputenv("HOME", sandbox.home().toUtf8());
    ASSERT_TRUE(writeLatin1Password(sandbox));
    EXPECT_FALSE(io->initialize());
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_EQ(answerer.seen[0].title, "KUV Yum Error");
    EXPECT_EQ(answerer.seen[0].text, notUtf8Report(sandbox));
}

TEST_F(CollectTest, RepositoryFileThatIsNotUtf8IsNamedWhenCollectingAgain)
{
    ASSERT_TRUE(io->collect(withoutRemote()));
    ASSERT_TRUE(writeLatin1Password(sandbox));
    io->clear();
    EXPECT_FALSE(io->collect(withoutRemote()));
    EXPECT_EQ(dialogs(), QStringList{"ScrollableErrorDialog|KUV Yum Error|" + notUtf8Report(sandbox)});

    // Once the credentials are written as UTF-8, the next collection has it all.
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    io->clear();
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_NE(find("kuv-lib"), nullptr);
    EXPECT_EQ(answerer.seen.size(), 1) << dialogs().join("\n").toStdString();
}

TEST_F(CollectTest, CollectionLeavesTheCycleCollectorAsItFoundIt)
{
    // The collector is paused while the objects are made, on every road out.
    script("import gc\n"
           "gc.enable()\n"
           "YumIO._realCollectAll = YumIO.collectAll\n"
           "def _noting(self):\n"
           "    YumIO.collectorDuring = gc.isenabled()\n"
           "    return YumIO._realCollectAll(self)\n"
           "YumIO.collectAll = _noting\n");
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_TRUE(scriptTrue("YumIO.collectorDuring is False"));
    EXPECT_TRUE(scriptTrue("gc.isenabled()"));

    io->clear();
    EXPECT_FALSE(io->collect(withoutRemote({{"kuv-main", false}})));
    EXPECT_TRUE(scriptTrue("gc.isenabled()"));

    io->clear();
    script("gc.disable()\n");
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_FALSE(scriptTrue("gc.isenabled()"));
    script("gc.enable()\n");
}
