// Package details on demand: header fields, relations, file lists and change
// logs of installed and available packages read through the engine from a
// collected sandbox, the extra data loaded once per collection, and the
// shapes of header and relation values that the sandbox does not produce,
// on small stand-ins for yum's package objects.
#include "tests/engine/engine_test.h"

#include <cstdlib>
#include <ctime>

#include <QMetaObject>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>

namespace {

class Details : public ScriptTest
{
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        savedHome = qgetenv("HOME");
        savedTimeZone = qgetenv("TZ");
        qputenv("HOME", sandbox.home().toUtf8());
        // Change-log dates are local dates of times at noon UTC.
        qputenv("TZ", "UTC");
        tzset();
        ASSERT_TRUE(io->initialize());
    }

    void TearDown() override
    {
        ScriptTest::TearDown();
        if (!savedHome.isNull())
            qputenv("HOME", savedHome);
        if (savedTimeZone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", savedTimeZone);
        tzset();
    }

    // The kivrel repository's server is not running here.
    bool collect()
    {
        const QHash<QString, bool> overrides{{TestSandbox::kivrelRepoId(), false}};
        return io->collect(overrides);
    }

    // The entry of that name and state, a head or one chained behind it.
    Package::Entry* find(const QString& name, Package::State state)
    {
        for (Package::Entry* head : *io) {
            for (Package::Entry* entry = head; entry; entry = entry->next) {
                if (entry->name == name && entry->state == state && entry->kind != Package::Group)
                    return entry;
            }
        }
        return nullptr;
    }

    // An entry over an object that an expression of __main__ makes; the
    // engine owns it from now on.
    Package::Entry* fake(const char* expression, Package::Kind kind = Package::Ordinary)
    {
        Python::PyGILStateWrapper guard(true);
        PyObject* object = YumIOTestAccess::python(*io).pyr(expression);
        EXPECT_NE(object, nullptr) << expression;
        auto* entry = new Package::Entry("fake", "1-1", "fake", "noarch", 0, "0b", "fake", 0, "",
                                         object);
        Py_XDECREF(object);
        entry->kind = kind;
        YumIOTestAccess::entries(*io).append(entry);
        return entry;
    }

    int headlines(const QString& text)
    {
        return logLines().filter(QRegularExpression("^4/0:" + QRegularExpression::escape(text) + "$"))
            .size();
    }

    QByteArray savedHome;
    QByteArray savedTimeZone;
};

// Stand-ins for yum's package objects: an installed one has a header
// indexed by rpm's tag constants, an available one prco, a change log and
// files.
const char* const fakes =
    "import rpm\n"
    "class FakeInstalled(object):\n"
    "    def __init__(self, **tags):\n"
    "        self.hdr = dict((getattr(rpm, 'RPMTAG_' + k), v) for k, v in tags.items())\n"
    "class FakeAvailable(object):\n"
    "    def __init__(self, prco=None, changelog=None, files=None, method=True):\n"
    "        self.prco = prco or {}\n"
    "        self.changelog = changelog or []\n"
    "        self.files = {'file': files or []}\n"
    "        if method:\n"
    "            self.returnPrco = lambda kind: list(self.prco[kind])\n"
    "    def returnChangelog(self):\n"
    "        return [(t, a + ' (method)', x) for t, a, x in self.changelog]\n"
    "    def returnFileEntries(self, kind):\n"
    "        return self.files[kind]\n";

}

TEST_F(Details, InstalledPackageAnswersFromItsHeader)
{
    ASSERT_TRUE(collect());
    Package::Entry* notes = find("kuv-notes", Package::Installed);
    ASSERT_NE(notes, nullptr);

    EXPECT_EQ(io->getUrl(*notes), "http://kuv.example.org/notes");
    EXPECT_EQ(io->getPackager(*notes), "Sandbox Builder <builder@example.org>");
    EXPECT_EQ(io->getLicense(*notes), "CC-BY-SA");
    EXPECT_EQ(io->getSourceRpm(*notes), "kuv-notes-1.0-1.src.rpm");
    EXPECT_EQ(io->getVendor(*notes), "KUV Sandbox");
    EXPECT_EQ(io->getGroup(*notes), "Documentation");
    EXPECT_EQ(io->getDescription(*notes),
              "Notes with several files, some in a sub folder, a file name in Latin-1 and\n"
              "a change log of several entries.");
    EXPECT_FALSE(io->getBuildHost(*notes).isEmpty());
    EXPECT_TRUE(QRegularExpression("^[A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-9:]{8} [0-9]{4}$")
                    .match(io->getInstallTime(*notes)).hasMatch())
        << io->getInstallTime(*notes).toStdString();
    // Only packages of a repository have a file there.
    EXPECT_EQ(io->getBinaryRpm(*notes), "");
    EXPECT_EQ(io->getRelocations(*notes), "");

    EXPECT_EQ(io->getProvides(*notes), "kuv-notes = 1.0-1");
    // rpm's own requirements, with "<=" from the sense bits 2 and 8.
    EXPECT_EQ(io->getRequires(*notes), "rpmlib(CompressedFileNames) <= 3.0.4-1\n"
                                       "rpmlib(FileDigests) <= 4.6.0-1\n"
                                       "rpmlib(PayloadFilesHavePrefix) <= 4.0-1");
    EXPECT_EQ(io->getConflicts(*notes), "");
    EXPECT_EQ(io->getObsoletes(*notes), "");
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Details, InstalledFileListAndChangeLogNeedNoExtraData)
{
    ASSERT_TRUE(collect());
    QSignalSpy loaded(io.get(), &YumIO::collectedExtraData);
    Package::Entry* notes = find("kuv-notes", Package::Installed);
    ASSERT_NE(notes, nullptr);

    // Directories and base names joined as they are, sorted by character
    // codes; the Latin-1 byte of a file name reads as its character.
    EXPECT_EQ(io->getFiles(*notes), QString("/usr/share/kuv-notes\n"
                                            "/usr/share/kuv-notes/caf\u00e9.txt\n"
                                            "/usr/share/kuv-notes/more\n"
                                            "/usr/share/kuv-notes/more/three.txt\n"
                                            "/usr/share/kuv-notes/one.txt\n"
                                            "/usr/share/kuv-notes/two.txt"));
    EXPECT_EQ(io->getChangeLog(*notes),
              QString("* Fri May 15 2020 Ren\u00e9 Notier <rene@example.org> - 1.0-1\n"
                      "- Caf\u00e9 notes added (this entry is Latin-1).\n"
                      "\n"
                      "* Wed Apr  1 2020 Notes Maintainer <notes@example.org> - 0.9-2\n"
                      "- Second entry: more notes.\n"
                      "\n"
                      "* Sun Mar  1 2020 Notes Maintainer <notes@example.org> - 0.9-1\n"
                      "- First entry."));
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_EQ(headlines("Collecting Miscellaneous data"), 0);
    EXPECT_EQ(headlines("Collecting File Lists"), 0);
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Details, AvailablePackageAnswersFromRepositoryMetadata)
{
    ASSERT_TRUE(collect());
    Package::Entry* app = find("kuv-app", Package::Available);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(io->getUrl(*app), "http://kuv.example.org/app");
    EXPECT_EQ(io->getLicense(*app), "GPLv2+");
    EXPECT_EQ(io->getBinaryRpm(*app), "kuv-app-2.0-1.noarch.rpm");
    EXPECT_EQ(io->getRequires(*app), "kuv-lib >= 1.1\nkuv-viewer");
    EXPECT_EQ(io->getProvides(*app), "kuv-app = 2.0-1");
    // Header-only fields are empty, and asking for them is no error.
    EXPECT_EQ(io->getInstallTime(*app), "");
    EXPECT_EQ(io->getRelocations(*app), "");

    // The update heads its chain; the installed version behind it answers
    // from its own header.
    Package::Entry* lib = find("kuv-lib", Package::Updatable);
    ASSERT_NE(lib, nullptr);
    ASSERT_NE(lib->next, nullptr);
    EXPECT_EQ(io->getProvides(*lib), "kuv-lib = 1.1-1");
    EXPECT_EQ(io->getBinaryRpm(*lib), "kuv-lib-1.1-1.noarch.rpm");
    EXPECT_EQ(io->getProvides(*lib->next), "kuv-lib = 1.0-1");
    EXPECT_EQ(io->getBinaryRpm(*lib->next), "");

    Package::Entry* newtool = find("kuv-newtool", Package::Available);
    ASSERT_NE(newtool, nullptr);
    EXPECT_EQ(io->getObsoletes(*newtool), "kuv-oldtool < 2.0");
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Details, AvailableChangeLogsLoadTheMiscellaneousDataOncePerCollection)
{
    ASSERT_TRUE(collect());
    QSignalSpy loaded(io.get(), &YumIO::collectedExtraData);
    Package::Entry* lib = find("kuv-lib", Package::Updatable);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(io->getChangeLog(*lib), "* Mon Jun  1 2020 Lib Maintainer <lib@example.org> - 1.1-1\n"
                                      "- Add extra helpers.\n"
                                      "- Fix the version file.\n"
                                      "\n"
                                      "* Mon Jan  6 2020 Lib Maintainer <lib@example.org> - 1.0-1\n"
                                      "- First release of the library.");
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(headlines("Collecting Miscellaneous data"), 1);

    Package::Entry* app = find("kuv-app", Package::Available);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(io->getChangeLog(*app), "* Tue Mar  3 2020 App Maintainer <app@example.org> - 2.0-1\n"
                                      "- Require the newer library.");
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(headlines("Collecting Miscellaneous data"), 1);

    // A new collection loads again, for the new objects.
    io->clear();
    ASSERT_TRUE(collect());
    app = find("kuv-app", Package::Available);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(io->getChangeLog(*app), "* Tue Mar  3 2020 App Maintainer <app@example.org> - 2.0-1\n"
                                      "- Require the newer library.");
    EXPECT_EQ(loaded.count(), 2);
    EXPECT_EQ(headlines("Collecting Miscellaneous data"), 2);
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Details, AvailableFileListsLoadOncePerCollection)
{
    ASSERT_TRUE(collect());
    QSignalSpy loaded(io.get(), &YumIO::collectedExtraData);
    Package::Entry* lib = find("kuv-lib", Package::Updatable);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(io->getFiles(*lib), "/usr/share/kuv-lib\n"
                                  "/usr/share/kuv-lib/VERSION\n"
                                  "/usr/share/kuv-lib/extra.txt\n"
                                  "/usr/share/kuv-lib/helpers.txt");
    Package::Entry* docs = find("kuv-docs", Package::Available);
    ASSERT_NE(docs, nullptr);
    EXPECT_EQ(io->getFiles(*docs), "/usr/share/doc/kuv-docs\n/usr/share/doc/kuv-docs/index.txt");
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(headlines("Collecting File Lists"), 1);
    EXPECT_EQ(headlines("Collecting Miscellaneous data"), 0);
    EXPECT_TRUE(answerer.seen.isEmpty());
}

// The package filter reads without loading: it runs inside the table's
// mapping, where the wait for a worker must not let events in.
TEST_F(Details, ReadsOfLoadedExtraDataOnlyNeverStartALoad)
{
    ASSERT_TRUE(collect());
    QSignalSpy loaded(io.get(), &YumIO::collectedExtraData);
    Package::Entry* app = find("kuv-app", Package::Available);
    Package::Entry* notes = find("kuv-notes", Package::Installed);
    ASSERT_NE(app, nullptr);
    ASSERT_NE(notes, nullptr);
    const QString appLog = "* Tue Mar  3 2020 App Maintainer <app@example.org> - 2.0-1\n"
                           "- Require the newer library.";

    EXPECT_EQ(io->getChangeLog(*app, YumIO::LoadedExtraDataOnly), "");
    io->getFiles(*app, YumIO::LoadedExtraDataOnly);
    // An installed package answers from its header, loaded or not.
    EXPECT_FALSE(io->getChangeLog(*notes, YumIO::LoadedExtraDataOnly).isEmpty());
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_EQ(headlines("Collecting Miscellaneous data"), 0);
    EXPECT_EQ(headlines("Collecting File Lists"), 0);

    // Once loaded, the same reads give the whole text.
    ASSERT_TRUE(io->collectOtherData());
    EXPECT_EQ(io->getChangeLog(*app, YumIO::LoadedExtraDataOnly), appLog);
    EXPECT_EQ(headlines("Collecting Miscellaneous data"), 1);
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Details, GroupsHaveNoChangeLogOrFilesAndLoadNothing)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io, fakes));
    QSignalSpy loaded(io.get(), &YumIO::collectedExtraData);
    // Even over an object that has both, a group entry answers nothing.
    Package::Entry* group = fake("FakeAvailable(changelog=[(0, 'a', 'b')], files=['/x'])",
                                 Package::Group);
    EXPECT_EQ(io->getChangeLog(*group), "");
    EXPECT_EQ(io->getFiles(*group), "");
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_EQ(headlines("Collecting Miscellaneous data"), 0);
    EXPECT_EQ(headlines("Collecting File Lists"), 0);
}

TEST_F(Details, AFailedMiscellaneousDataLoadIsShownAndTriedAgain)
{
    ASSERT_TRUE(collect());
    publishScriptObject();
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "import yum.Errors\n"
        "realCollectOtherData = engineObject.collectOtherData\n"
        "failures = [1]\n"
        "def collectOtherDataOnceFailing():\n"
        "    if failures:\n"
        "        failures.pop()\n"
        "        raise yum.Errors.YumBaseError('the metadata of kuv-main cannot be read')\n"
        "    return realCollectOtherData()\n"
        "engineObject.collectOtherData = collectOtherDataOnceFailing\n"));
    QSignalSpy loaded(io.get(), &YumIO::collectedExtraData);
    Package::Entry* app = find("kuv-app", Package::Available);
    ASSERT_NE(app, nullptr);

    EXPECT_EQ(io->getChangeLog(*app), "");
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_EQ(answerer.seen[0].className, "ScrollableErrorDialog");
    EXPECT_EQ(answerer.seen[0].title, "KUV Yum Error");
    EXPECT_TRUE(answerer.seen[0].text.endsWith(
        "the metadata of kuv-main cannot be read\nUnable to collect miscellaneous data"))
        << answerer.seen[0].text.toStdString();
    EXPECT_EQ(loaded.count(), 0);

    // The flag stayed down: the next request loads.
    EXPECT_EQ(io->getChangeLog(*app), "* Tue Mar  3 2020 App Maintainer <app@example.org> - 2.0-1\n"
                                      "- Require the newer library.");
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(headlines("Collecting Miscellaneous data"), 2);
    EXPECT_EQ(answerer.seen.size(), 1);
}

// A worker that holds the interpreter lock and waits for the GUI thread (as
// one does while its dialog is up) must find the GUI thread's getters
// answering at once, not waiting for the lock.
TEST_F(Details, GettersDoNotWaitForTheLockThatAWaitingWorkerHolds)
{
    ASSERT_TRUE(collect());
    Package::Entry* notes = find("kuv-notes", Package::Installed);
    Package::Entry* app = find("kuv-app", Package::Available);
    ASSERT_NE(notes, nullptr);
    ASSERT_NE(app, nullptr);
    Package::Entry* tools = nullptr;
    for (Package::Entry* entry : *io)
        if (entry->kind == Package::Group && entry->name == "KUV Tools")
            tools = entry;
    ASSERT_NE(tools, nullptr);

    QSemaphore answered;
    QStringList texts;
    const bool workerSawTheAnswer = runWorker(*io, [&] {
        Python::PyGILStateWrapper guard(true);
        QMetaObject::invokeMethod(qApp, [&] {
            texts << io->getDescription(*notes) << io->getBinaryRpm(*app)
                  << io->getRelocations(*notes) << io->getInstallTime(*notes)
                  << io->getRequires(*notes) << io->getChangeLog(*notes)
                  << io->getChangeLog(*app) << io->getFiles(*notes) << io->getFiles(*app)
                  << io->getYumVar("basearch") << io->getMandatoryPkgs(*tools)
                  << io->getConditionalPkgs(*tools) << io->getRequiredGroups(*tools);
            answered.release();
        }, Qt::QueuedConnection);
        return answered.tryAcquire(1, 10000);
    });
    EXPECT_TRUE(workerSawTheAnswer);
    EXPECT_EQ(texts.join("").toStdString(), "");
    EXPECT_EQ(headlines("Collecting Miscellaneous data"), 0);

    // Once the worker is gone the same getters answer.
    EXPECT_FALSE(io->getDescription(*notes).isEmpty());
    EXPECT_FALSE(io->getChangeLog(*app).isEmpty());
    EXPECT_FALSE(io->getMandatoryPkgs(*tools).isEmpty());
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Details, InstalledRelationOperatorsComeFromTheSenseBits)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io, fakes));
    Package::Entry* entry = fake(
        "FakeInstalled(REQUIRENAME=['foo', 'bar', 'baz', 'qux'],"
        " REQUIREFLAGS=[12, 0, 2 | 64, 8],"
        " REQUIREVERSION=['1.0-1', '', '3', '2:1'],"
        " PROVIDENAME=['foo'], PROVIDEFLAGS=None, PROVIDEVERSION=None,"
        " CONFLICTNAME=None)");
    // A relation without sense bits and with an empty version keeps its two
    // blanks; bits other than 2, 4 and 8 add nothing.
    EXPECT_EQ(io->getRequires(*entry), "bar  \nbaz < 3\nfoo >= 1.0-1\nqux = 2:1");
    EXPECT_EQ(io->getProvides(*entry), "foo");
    EXPECT_EQ(io->getConflicts(*entry), "");
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Details, AvailableRelationsReadYumsTuples)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io, fakes));
    Package::Entry* withMethod = fake(
        "FakeAvailable(prco={'requires': ["
        " ('foo', 'GE', (0, '1.0', '1')), ('foo2', 'GE', (2, '1.0', '1')),"
        " ('bar', None, (None, None, None)), ('baz', 'XX', ('0', '2', None)),"
        " ('qux', 'LT', (None, None, None)), ('lt', 'LT', ('0', '1', '1')),"
        " ('le', 'LE', (None, '1', None)), ('gt', 'GT', (None, '1', None)),"
        " ('eq', 'EQ', ('1', '1', '2'))]})");
    EXPECT_EQ(io->getRequires(*withMethod),
              "bar\nbaz XX 2\neq = 1:1-2\nfoo >= 1.0-1\nfoo2 >= 2:1.0-1\ngt > 1\nle <= 1\nlt < 1-1\nqux");

    // Without returnPrco the dict itself is read; a kind it lacks is
    // reported.
    Package::Entry* dictOnly = fake(
        "FakeAvailable(prco={'provides': [('p', 'EQ', ('1', '2', '3'))]}, method=False)");
    EXPECT_EQ(io->getProvides(*dictOnly), "p = 1:2-3");
    EXPECT_TRUE(answerer.seen.isEmpty());
    EXPECT_EQ(io->getConflicts(*dictOnly), "");
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_EQ(answerer.seen[0].title, "KUV Yum Error");
    EXPECT_EQ(answerer.seen[0].text, "Internal error: cannot find package's prco.conflicts");
}

TEST_F(Details, HeaderShapesOfOneValue)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io, fakes));
    // One change-log entry whose time is a single number: Jan 1 1971, noon.
    Package::Entry* single = fake(
        "FakeInstalled(CHANGELOGNAME=['Ann <ann@example.org> - 1-1'],"
        " CHANGELOGTIME=365 * 86400 + 43200, CHANGELOGTEXT=['- One.'],"
        " BASENAMES=['b', 'a', 'a', 'c'], DIRNAMES=['/d/'], DIRINDEXES=0,"
        " PREFIXES=['/opt', '/usr'])");
    EXPECT_EQ(io->getChangeLog(*single), "* Fri Jan  1 1971 Ann <ann@example.org> - 1-1\n- One.");
    // Each path once, the one directory index used for every name.
    EXPECT_EQ(io->getFiles(*single), "/d/a\n/d/b\n/d/c");
    EXPECT_EQ(io->getRelocations(*single), "/opt\n/usr");

    // An index past the directory list leaves the base name alone.
    Package::Entry* odd = fake(
        "FakeInstalled(CHANGELOGNAME=None, BASENAMES=['x', 'y'], DIRNAMES=['/d/'],"
        " DIRINDEXES=[0, 5], PREFIXES=None)");
    EXPECT_EQ(io->getChangeLog(*odd), "");
    EXPECT_EQ(io->getFiles(*odd), "/d/x\ny");
    EXPECT_EQ(io->getRelocations(*odd), "");
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(Details, HeaderLookupsReportWhatTheyCannotFind)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io, fakes));
    Package::Entry* installed = fake("FakeInstalled(PREFIXES=['/opt'])");
    Package::Entry* available = fake("FakeAvailable()");
    {
        Python::PyGILStateWrapper guard(true);
        EXPECT_EQ(io->getRpmHdrValue(available->po, "PREFIXES"), nullptr);
        EXPECT_EQ(io->getRpmHdrValue(installed->po, "NOSUCHTAG"), nullptr);
        PyObject* value = io->getRpmHdrValue(installed->po, "PREFIXES");
        ASSERT_NE(value, nullptr);
        EXPECT_TRUE(PyList_Check(value));
        Py_DECREF(value);
        EXPECT_FALSE(PyErr_Occurred());
    }
    ASSERT_EQ(answerer.seen.size(), 2);
    EXPECT_EQ(answerer.seen[0].text, "getRpmHdrValue called for package with no hdr (i.e. not installed)");
    EXPECT_EQ(answerer.seen[1].text, "Internal error: cannot find rpm.RPMTAG_NOSUCHTAG");
}

TEST_F(Details, AvailableChangeLogAndFilesOfStandIns)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io, fakes));
    publishScriptObject();
    // The stand-ins need no loading; the script's methods only count.
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "loads = []\n"
        "engineObject.collectOtherData = lambda: loads.append('other')\n"
        "engineObject.collectFileLists = lambda: loads.append('files')\n"));
    Package::Entry* entry = fake(
        "FakeAvailable(changelog=[(43200, 'New <n@example.org>', '- Two.\\n- Three.'),"
        " ('0', 'Old <o@example.org>', '- One.')],"
        " files=['/z', '/a', '/z', '/A'])", Package::Suite);
    // This yum's version answers through returnChangelog.
    EXPECT_EQ(io->getChangeLog(*entry), "* Thu Jan  1 1970 New <n@example.org> (method)\n- Two.\n- Three.\n\n"
                                        "* Thu Jan  1 1970 Old <o@example.org> (method)\n- One.");
    EXPECT_EQ(io->getFiles(*entry), "/A\n/a\n/z");
    // Loaded once each for as long as the collection lasts.
    EXPECT_FALSE(io->getChangeLog(*entry).isEmpty());
    EXPECT_FALSE(io->getFiles(*entry).isEmpty());
    EXPECT_EQ(YumIOTestAccess::evalText(*io, "' '.join(loads)"), "other files");
    EXPECT_TRUE(answerer.seen.isEmpty());
}

// Building a file list is the dearest read of a Search: an object whose
// `files` is a property has it built once per request, and an object with
// no `files` at all answers nothing without loading.
TEST_F(Details, FileListIsBuiltOncePerRequest)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io, fakes));
    publishScriptObject();
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "loads = []\n"
        "engineObject.collectFileLists = lambda: loads.append('files')\n"
        "class Built(object):\n"
        "    builds = 0\n"
        "    def paths(self):\n"
        "        Built.builds += 1\n"
        "        return ['/b', '/a']\n"
        "    @property\n"
        "    def files(self):\n"
        "        return {'file': self.paths()}\n"
        "    def returnFileEntries(self, kind):\n"
        "        return self.paths() if kind == 'file' else []\n"
        "class NoFiles(object):\n"
        "    pass\n"));
    Package::Entry* built = fake("Built()");
    EXPECT_EQ(io->getFiles(*built), "/a\n/b");
    EXPECT_EQ(YumIOTestAccess::evalText(*io, "str(Built.builds)"), "1");
    EXPECT_EQ(io->getFiles(*built), "/a\n/b");
    EXPECT_EQ(YumIOTestAccess::evalText(*io, "str(Built.builds)"), "2");

    Package::Entry* bare = fake("NoFiles()");
    EXPECT_EQ(io->getFiles(*bare), "");
    EXPECT_EQ(YumIOTestAccess::evalText(*io, "' '.join(loads)"), "files");
    EXPECT_TRUE(answerer.seen.isEmpty());
}

// A caller that holds the lock would keep it from the loading worker for
// good: nothing is loaded then, and the log says why.
TEST_F(Details, ExtraDataIsNotLoadedUnderTheCallersLock)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io, fakes));
    publishScriptObject();
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "loads = []\n"
        "engineObject.collectOtherData = lambda: loads.append('other')\n"
        "engineObject.collectFileLists = lambda: loads.append('files')\n"));
    Package::Entry* entry = fake("FakeAvailable(changelog=[(0, 'A <a@example.org>', '- One.')],"
                                 " files=['/a'])");
    const int logged = io->logList.lockedCount();
    {
        Python::PyGILStateWrapper guard(true);
        io->getChangeLog(*entry);
        io->getFiles(*entry);
    }
    EXPECT_EQ(YumIOTestAccess::evalText(*io, "' '.join(loads)"), "");
    EXPECT_EQ(logLines(logged),
              QStringList({"2/0:Internal error: extra data requested under the interpreter lock",
                           "2/0:Internal error: extra data requested under the interpreter lock"}));

    EXPECT_FALSE(io->getChangeLog(*entry).isEmpty());
    EXPECT_EQ(io->getFiles(*entry), "/a");
    EXPECT_EQ(YumIOTestAccess::evalText(*io, "' '.join(loads)"), "other files");
}

TEST_F(Details, OlderYumReadsTheChangeLogAttribute)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io, fakes));
    publishScriptObject();
    // Read before the engine first asks for the version, which it keeps.
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "import yum\n"
        "yum.__version__ = '2.3.0'\n"
        "engineObject.collectOtherData = lambda: None\n"));
    Package::Entry* entry = fake("FakeAvailable(changelog=[(0, 'Old <o@example.org>', '- One.')])");
    EXPECT_EQ(io->getChangeLog(*entry), "* Thu Jan  1 1970 Old <o@example.org>\n- One.");
    EXPECT_TRUE(answerer.seen.isEmpty());
}
