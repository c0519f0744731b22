# The collection road on the sandbox: the package lists and package objects
# the program builds its table from, the groups, the repository progress
# callbacks, and the script's standard streams. The runner starts the
# kivrel server for this script.

import gc
import itertools
import os
import subprocess
import sys
import types
import unittest
import weakref

import layertest
from layertest import (OnSandbox, RepositoryActs, Sandbox, loaded, newYumIO, preserved,
                       quietCalls, useConfigRoot)

layertest.script()  # puts the script's folder, and so the yum package, on sys.path
import rpm  # noqa: E402
import yum.Errors  # noqa: E402
import yumIOC  # noqa: E402

# In the layer's order: by name, the versions of one name newest first.
INSTALLED = [("kuv-kernel", "1.1-1"), ("kuv-kernel", "1.0-1"), ("kuv-lib", "1.0-1"),
             ("kuv-local", "1.0-1"), ("kuv-notes", "1.0-1"), ("kuv-oldtool", "1.0-1")]
AVAILABLE = {"kuv-app": "2.0-1", "kuv-docs": "1.0-1", "kuv-kernel": "1.2-1", "kuv-lib": "1.1-1",
             "kuv-newtool": "2.0-1", "kuv-suite": "1.0-1"}


def distinct(items):
    """The items without those equal to the one before them."""
    return [item for item, _ in itertools.groupby(items)]


def engineEntry(po):
    """What the program reads of a package for its table row."""
    entry = {"name": po.name, "arch": po.arch, "verRel": po.printVer(), "size": po.size}
    for field in ("repoid", "summary", "group", "buildtime"):
        entry[field] = po.returnSimple(field)
    return entry


def headerOfFile(sandbox, path):
    """The header of a package file; the transaction set is rooted in the
    sandbox, so no database of the host is opened."""
    ts = rpm.TransactionSet(sandbox.installroot)
    ts.setVSFlags(rpm._RPMVSF_NOSIGNATURES | rpm._RPMVSF_NODIGESTS)
    with open(path, "rb") as f:
        return ts.hdrFromFdno(f.fileno())


class PackageLists(OnSandbox):

    RESET_CALLS = True

    def testUpdatesAreTheNewestVersionsOfInstalledPackages(self):
        y = loaded()
        updates = list(y.collectUpdates())
        self.assertEqual([(po.name, po.printVer(), po.repoid) for po in updates],
                         [("kuv-kernel", "1.2-1", "kuv-main"), ("kuv-lib", "1.1-1", "kuv-main")])
        self.assertFalse(hasattr(updates[0], "hdr"))

    def testInstalledPackagesCarryYumsRepositoryIdAndTheirHeader(self):
        everything = loaded().collectAll()
        installed = list(everything.installed)
        self.assertEqual([(po.name, po.printVer()) for po in installed], INSTALLED)
        for po in installed:
            with self.subTest(package=po.name):
                self.assertEqual(po.repoid, "installed")
                self.assertEqual(po.returnSimple("repoid"), "installed")
                self.assertEqual(po.hdr[rpm.RPMTAG_NAME], po.name)
                self.assertEqual(po.size, po.hdr[rpm.RPMTAG_SIZE])
                self.assertEqual(po.returnSimple("buildhost"), "kuv-sandbox.example")
                self.assertEqual(po.returnSimple("buildtime"), po.hdr[rpm.RPMTAG_BUILDTIME])

    def testAvailablePackagesAreTheNewestOnesNotInstalledAsTheyAre(self):
        available = list(loaded().collectAll().available)
        self.assertEqual(dict((po.name, po.printVer()) for po in available), AVAILABLE)
        for po in available:
            with self.subTest(package=po.name):
                self.assertEqual(po.repoid, "kuv-main")
                self.assertFalse(hasattr(po, "hdr"))
                # The size of an available package is what is downloaded.
                path = os.path.join(self.sandbox.repositories, "main", po.relativepath)
                self.assertEqual(po.size, os.path.getsize(path))
                self.assertEqual(po.returnSimple("relativepath"), po.relativepath)

    def testFieldsAreWhatTheProgramReads(self):
        y = loaded()
        lists = y.collectAll()
        byName = dict((po.name, po) for po in lists.available)
        suite = engineEntry(byName["kuv-suite"])
        self.assertEqual(suite["group"], "Suite")
        self.assertEqual(suite["summary"], "Sandbox suite of packages")
        self.assertEqual(engineEntry(byName["kuv-app"])["group"], "Applications/System")
        header = headerOfFile(self.sandbox, os.path.join(self.sandbox.repositories, "main",
                                                         byName["kuv-app"].relativepath))
        app = byName["kuv-app"]
        self.assertEqual(app.returnSimple("buildtime"), header[rpm.RPMTAG_BUILDTIME])
        self.assertEqual(app.returnSimple("url"), "http://kuv.example.org/app")
        self.assertEqual(app.returnSimple("packager"), "Sandbox Builder <builder@example.org>")
        self.assertEqual(app.returnSimple("vendor"), "KUV Sandbox")
        self.assertEqual(app.returnSimple("license"), "GPLv2+")
        self.assertEqual(app.returnSimple("sourcerpm"), "kuv-app-2.0-1.src.rpm")
        self.assertIn("newer kuv-lib", app.returnSimple("description"))
        # Repository metadata has no build host; the program shows nothing.
        self.assertIsNone(app.returnSimple("buildhost"))
        for po in list(lists.available) + list(lists.installed):
            entry = engineEntry(po)
            for field in ("name", "arch", "verRel", "repoid", "summary"):
                self.assertIsInstance(entry[field], str, (po, field))
            for field in ("size", "buildtime"):
                self.assertIsInstance(entry[field], int, (po, field))
            self.assertEqual(po.pkgtup, (po.name, po.arch, po.epoch, po.version, po.release))
            self.assertTrue(all(isinstance(part, str) for part in po.pkgtup))
        with self.assertRaises(KeyError):
            app.returnSimple("no such field")

    def testAMissingTextIsNoneForEveryFieldAndEveryReader(self):
        y = loaded()
        lists = y.collectAll()
        packages = list(lists.available) + list(lists.installed)
        local = [po for po in lists.installed if po.name == "kuv-local"][0]
        # Built without a vendor, URL or packager: its header has none, and
        # the program shows none; libsolv's "<NULL>" for a missing vendor
        # must not come through.
        for tag, field in ((rpm.RPMTAG_VENDOR, "vendor"), (rpm.RPMTAG_URL, "url"),
                           (rpm.RPMTAG_PACKAGER, "packager")):
            self.assertIsNone(local.hdr[tag])
            self.assertIsNone(local.returnSimple(field), field)
        texts = []
        for po in packages:
            fields = sorted(po.SIMPLE)
            texts += [(po, field, po.returnSimple(field)) for field in fields]
            search = y.searchFields(po, 0)
            if search is not None:
                texts += [(po, "search", value) for value in search]
        for row in y.collectRows(packages):
            texts += [(row[0], "row", value) for value in row[1:]]
        self.assertGreater(len(texts), 20 * len(packages))
        self.assertEqual([entry for entry in texts if entry[2] == "<NULL>"], [])

    def testEpochShowsOnlyWhenSet(self):
        po = loaded().collectUpdates()[1]
        self.assertEqual(po.printVer(), "1.1-1")
        self.assertEqual(str(po), "kuv-lib-1.1-1.noarch")
        po.epoch = "3"
        self.assertEqual(po.printVer(), "3:1.1-1")

    def testOneObjectPerPackageAcrossTheLists(self):
        y = loaded()
        update = y.collectUpdates()[1]
        available = [po for po in y.collectAll().available if po.name == "kuv-lib"][0]
        self.assertIs(update, available)

    def testDisabledRepositoriesOfferNothing(self):
        y = loaded(("disableRepo", "kuv-main"))
        self.assertEqual(list(y.collectUpdates()), [])
        lists = y.collectAll()
        self.assertEqual(list(lists.available), [])
        self.assertEqual([po.name for po in lists.installed], [name for name, _ in INSTALLED])

    def testAReplacedObjectFreesItsPackagesAtOnce(self):
        # The program replaces the object before every new collection; dnf
        # keeps a filled Base alive until it is closed.
        gc.collect()
        gc.disable()
        try:
            y = loaded()
            lists = y.collectAll()
            y.setupTsGroup()
            y.collectOtherData()
            installed = lists.installed[0]
            installed.hdr
            objects = [weakref.ref(y), weakref.ref(y.dnfBase), weakref.ref(lists.available[0])]
            del y, lists
            # A package the program still holds keeps working.
            self.assertTrue(installed.localHdr())
            self.assertEqual(installed.changelog, installed.returnChangelog())
            del installed
            self.assertEqual([ref() for ref in objects], [None, None, None])
        finally:
            gc.enable()

    def testListsNeedTheRepositories(self):
        y = newYumIO()
        for call in (y.collectUpdates, y.collectAll, y.setupTsGroup):
            with self.assertRaises(yum.Errors.YumBaseError):
                call()


class Groups(OnSandbox):

    def groups(self, y):
        y.setupTsGroup()
        return dict((group.name, group) for group in y.collectGroupInfo())

    def testGroupsHaveYumsShapeAndInstalledRule(self):
        groups = self.groups(loaded())
        self.assertEqual(sorted(groups), ["KUV Applications", "KUV Hidden", "KUV Tools"])
        tools, apps, hidden = groups["KUV Tools"], groups["KUV Applications"], groups["KUV Hidden"]
        self.assertEqual((tools.groupid, tools.user_visible, tools.installed),
                         ("kuv-tools", True, True))
        self.assertEqual((apps.groupid, apps.user_visible, apps.installed),
                         ("kuv-apps", True, False))
        self.assertEqual((hidden.user_visible, hidden.installed), (False, False))
        self.assertEqual(sorted(tools.mandatory_packages), ["kuv-lib", "kuv-notes"])
        self.assertEqual(sorted(tools.default_packages), ["kuv-docs"])
        self.assertEqual(sorted(tools.optional_packages), ["kuv-newtool"])
        self.assertEqual(dict(apps.conditional_packages), {"kuv-suite": "kuv-app"})
        for group in groups.values():
            for kind in ("mandatory_packages", "default_packages", "optional_packages",
                         "conditional_packages"):
                self.assertIsInstance(getattr(group, kind), dict)

    def testMemberListsJoinLikeYums(self):
        # The program joins the key lists of two kinds with "+".
        apps = self.groups(loaded())["KUV Applications"]
        joined = apps.mandatory_packages.keys() + apps.default_packages.keys()
        self.assertEqual(joined, ["kuv-app", "kuv-docs"])
        everything = joined + (apps.optional_packages.keys() + apps.conditional_packages.keys())
        self.assertEqual(everything, ["kuv-app", "kuv-docs", "kuv-suite"])

    def testInstalledRuleFollowsTheRoot(self):
        # Without mandatory members a group is installed when any member is.
        from yum.comps import Group

        class Member(object):
            def __init__(self, name):
                self.name = name

        class DnfGroup(object):
            id = name = ui_name = "g"
            ui_description = ""
            visible = True
            mandatory_packages = []
            default_packages = [Member("a")]
            optional_packages = [Member("b")]
            conditional_packages = []

        self.assertTrue(Group(DnfGroup(), {"b"}).installed)
        self.assertFalse(Group(DnfGroup(), {"c"}).installed)
        DnfGroup.mandatory_packages = [Member("m"), Member("n")]
        self.assertFalse(Group(DnfGroup(), {"m", "a", "b"}).installed)
        self.assertTrue(Group(DnfGroup(), {"m", "n"}).installed)

    def testNoGroupsIsAGroupsErrorThatSaysSo(self):
        y = loaded(("disableRepo", "kuv-main"), ("enableRepo", "kuv-extra"))
        with self.assertRaises(yum.Errors.GroupsError) as caught:
            y.setupTsGroup()
        self.assertIn("No Groups Available", str(caught.exception))
        self.assertEqual(list(y.collectGroupInfo()), [])


class CollectionProgress(OnSandbox):

    RESET_CALLS = True

    def collectCalls(self):
        return [(name, args) for name, args in yumIOC.calls if name.startswith("collect")]

    def testEachRepositoryGetsItsActsInOrder(self):
        loaded()
        calls = self.collectCalls()
        acts = RepositoryActs().feed(calls)
        # A fresh cache: repomd, the metadata download (a meter for each
        # file, as they are fetched in turn), conversion, reading.
        self.assertEqual(distinct(acts), [(2, 1, "kuv-main"), (3, 2, "kuv-main"),
                                          (4, 3, "kuv-main"), (5, 4, "kuv-main")])
        self.assertEqual(calls[-3:], [("collectProgress", (0, 1, "kuv-main")),
                                      ("collectProgress", (1, 1, "kuv-main")),
                                      ("collectProgress", (-1, -1, "kuv-main"))])
        # Each meter grows to its size.
        meters = []
        for name, args in calls:
            if name == "collectGrabMeterStart":
                meters.append((args[3], []))
            elif name == "collectGrabMeterUpdate":
                meters[-1][1].append(args[0])
        self.assertGreaterEqual(len(meters), 2)
        for size, reads in meters:
            self.assertEqual(reads, sorted(set(reads)))
            self.assertEqual(reads[-1:], [size])
        self.assertIn("collectGrabMeterEnd", [name for name, _ in calls])

    def testWarmCacheOnlyConvertsAndReads(self):
        loaded()
        yumIOC.reset()
        loaded(("enableRepo", "kuv-extra"))
        acts = RepositoryActs().feed(self.collectCalls())
        self.assertEqual(acts[:2], [(4, 3, "kuv-main"), (5, 4, "kuv-main")])
        # The second repository's acts follow the first's block of five.
        self.assertEqual([act for act in acts[2:] if act[2] != "kuv-extra"], [])
        self.assertTrue(all(6 <= act[0] <= 10 for act in acts[2:]), acts)

    @unittest.skipUnless(Sandbox().serverRunning(), "needs the kivrel server")
    def testRemoteRepositoryIsReportedByIdNeverByUrl(self):
        with preserved(self.sandbox.kivrelRepoFile):
            self.sandbox.fillCredentials()
            y = newYumIO()
            y.setupRepos()
        acts = RepositoryActs().feed(self.collectCalls())
        self.assertEqual(sorted(set(act[2] for act in acts)), ["kuv-main", "kuv-remote"])
        self.assertEqual([act[0] for act in acts], sorted(act[0] for act in acts))
        remote = [act for act in acts if act[2] == "kuv-remote"]
        self.assertEqual(distinct(act[1] for act in remote), [1, 2, 3, 4])
        text = repr(yumIOC.calls)
        for secret in ("kivrel", self.sandbox.user, self.sandbox.password,
                       layertest.kivrelEncode(self.sandbox.password), "127.0.0.1"):
            self.assertNotIn(secret, text)


class MetadataStages(unittest.TestCase):
    """librepo's own reports, as dnf hands them on while it loads a
    repository, turned into meter calls."""

    def meterCalls(self, mirrorlist, reports):
        from yum.base import _MetadataProgress
        calls = []
        meter = types.SimpleNamespace(
            start=lambda url=None, size=None, **_: calls.append(("start", url, size)),
            update=lambda amount_read, now=None: calls.append(("update", amount_read)),
            end=lambda amount_read, now=None: calls.append(("end", amount_read)))
        repo = types.SimpleNamespace(id="r", metalink=None, mirrorlist=mirrorlist)
        progress = _MetadataProgress(repo, meter)
        payload = types.SimpleNamespace(download_size=0)
        progress.start(1, 0)
        for total, done in reports:
            payload.download_size = float(total)
            progress.progress(payload, float(done))
        progress.end(payload, None, None)
        return calls

    def testEachStageAndEachFileFetchedInTurnRunsItsOwnMeterToItsEnd(self):
        cases = (
            # As librepo reported a repository served slowly, its metadata
            # files fetched side by side: zeros, repomd.xml of 3069 bytes,
            # zeros, then the files, whose total grows from 623 to 889 before
            # a byte of them arrives.
            (None, [(0, 0)] * 3 + [(3069, 0), (3069, 1500), (3069, 3069), (0, 0), (623, 0),
                                   (0, 0), (889, 0), (889, 300), (889, 200), (889, 889)],
             [("start", "/r/repomd.xml", 1000), ("update", 488), ("update", 1000),
              ("start", "/r/metadata", 889), ("update", 300), ("update", 889), ("end", 889)]),
            # One download at a time: the second file's 266 bytes join the
            # total once the first file's 623 have arrived.
            (None, [(3069, 3069), (623, 0), (623, 300), (623, 623), (0, 0), (889, 623),
                    (889, 700), (889, 889)],
             [("start", "/r/repomd.xml", 1000), ("update", 1000),
              ("start", "/r/metadata", 623), ("update", 300), ("update", 623),
              ("start", "/r/metadata", 266), ("update", 77), ("update", 266), ("end", 266)]),
            # A mirrored repository starts with its mirror list.
            ("http://mirrors/list", [(100, 100), (50, 0), (50, 50), (70, 0), (70, 70)],
             [("start", "/r/metalink.xml", 1000), ("update", 1000),
              ("start", "/r/repomd.xml", 50), ("update", 50),
              ("start", "/r/metadata", 70), ("update", 70), ("end", 70)]),
        )
        for mirrorlist, reports, expected in cases:
            with self.subTest(mirrorlist=mirrorlist, reports=reports):
                self.assertEqual(self.meterCalls(mirrorlist, reports), expected)


class Streams(unittest.TestCase):

    def setUp(self):
        quietCalls()

    def tearDown(self):
        yumIOC.echo = True

    def testStandardStreamsWriteThroughTheProgram(self):
        print("one line")
        sys.stderr.write("warning\n")
        self.assertEqual(yumIOC.calls, [("stdoutWrite", ("one line",)), ("stdoutWrite", ("\n",)),
                                        ("stderrWrite", ("warning\n",))])
        # rpm writes its own log to the real descriptor behind the stream.
        self.assertEqual((sys.stdout.fileno(), sys.stderr.fileno()), (1, 2))

    def testBytesThatAreNotUtf8ReachTheProgramAsLatin1(self):
        sys.stdout.write("caf\udce9 \ud800\n")
        self.assertEqual(yumIOC.calls, [("stdoutWrite", ("caf\u00e9 \ufffd\n",))])

    def testLogLinesOfTheLayerGoToTheProgramsLog(self):
        sandbox = Sandbox()
        useConfigRoot(sandbox.root)
        y = newYumIO()
        yumIOC.reset()
        y.logInfo(3, "Ren\udce9")
        y.logError(1, "failed")
        self.assertEqual(yumIOC.calls, [("log", (3, "Ren\u00e9")), ("errorlog", (1, "failed"))])

    def testABareModuleGetsNoCallbacks(self):
        # Tools run the script with a yumIOC that only says where yum is.
        sandbox = Sandbox()
        code = ("import sys, types\n"
                "m = types.ModuleType('yumIOC')\n"
                "m.configroot = sys.argv[1]\n"
                "m.yumconf = sys.argv[1] + '/etc/yum.conf'\n"
                "sys.modules['yumIOC'] = m\n"
                "import runpy\n"
                "ns = runpy.run_path(sys.argv[2])\n"
                "y = ns['YumIO']()\n"
                "y.repos.disableRepo('kuv-remote')\n"
                "y.setupRepos()\n"
                "print(len(y.collectAll().installed), sys.stdout is sys.__stdout__)\n")
        result = subprocess.run([layertest.PYTHON, "-c", code, sandbox.root, layertest.SCRIPT],
                                env=layertest.rpmEnvironment(), stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=60)
        self.assertEqual(result.stdout.decode(), "6 True\n")
        self.assertEqual(result.returncode, 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
