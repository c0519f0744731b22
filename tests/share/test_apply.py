# Applying marked packages through the script, as the program does it from
# a worker thread: the dependency lines, the listing, the download size and
# the confirmation in that order, the transaction only after a yes, yum's
# event codes, and every failure as a declared yum error. Each test works
# on a copy of the sandbox's installroot, whose rpm database then shows the
# new state. The runner starts the kivrel server for this script.

import gc
import os
import shutil
import subprocess
import tempfile
import unittest
import weakref

import layertest
from layertest import Sandbox, installedInRoot, newYumIO, preserved, quietCalls, useConfigRoot

layertest.script()  # puts the script's folder, and so the yum package, on sys.path
import yum.Errors  # noqa: E402
import yumIOC  # noqa: E402

BEFORE = layertest.INSTALLED
KERNELS = BEFORE[:2]

YUM_CONF = """[main]
installroot=@ROOT@/inst
cachedir=@ROOT@/cache
reposdir=@SANDBOX@/etc/yum.repos.d
persistdir=@ROOT@/persist
logfile=@ROOT@/log/yum.log
keepcache=0
debuglevel=2
exactarch=1
obsoletes=1
gpgcheck=0
plugins=0
"""


def pkgtupText(pkgtup):
    return "%s-%s-%s.%s" % (pkgtup[0], pkgtup[3], pkgtup[4], pkgtup[1])


class Applying(unittest.TestCase):

    def setUp(self):
        self.sandbox = Sandbox()
        # A configuration root of this test's own, with a copy of the
        # installroot: the sandbox stays as it was for the next test.
        self.root = layertest.newConfigRoot(self.sandbox, YUM_CONF)
        self.installroot = os.path.join(self.root, "inst")
        shutil.copytree(self.sandbox.installroot, self.installroot, symlinks=True)
        useConfigRoot(self.root)
        quietCalls()

    def tearDown(self):
        yumIOC.echo = True
        layertest.removeTree(self.root)

    def collected(self, remote=False):
        """A script object after a collection, with its packages by name
        and state as the program's table has them."""
        y = newYumIO()
        if not remote:
            y.repos.disableRepo("kuv-remote")
        y.setupRepos()
        y.setupTs()
        packages = {}
        for po in y.collectUpdates():
            packages[(po.name, "update")] = po
        lists = y.collectAll()
        for po in lists.installed:
            packages[(po.name, "installed")] = po
        for po in lists.available:
            packages[(po.name, "available")] = po
        yumIOC.reset()
        return y, packages

    def apply(self, y, installs=(), updates=(), removes=()):
        return layertest.appliedInWorker(y, installs, updates, removes)

    def listing(self, which="listTransaction"):
        found = [listing for name, listing in yumIOC.listings if name == which]
        self.assertEqual(len(found), 1)
        return dict((key, [pkgtupText(m["pkgtup"]) for m in members])
                    for key, members in found[0].items())

    def events(self):
        return [(args[0] if isinstance(args[0], str) else "<%s>" % args[0].name, args[1])
                for args in yumIOC.argsOf("tsEvent")]

    def firstEvents(self):
        """Each element's first event, as the program starts one act per element."""
        seen = []
        for args in yumIOC.argsOf("tsEvent"):
            if not seen or seen[-1][0] != args[4]:
                seen.append((args[4], args[0] if isinstance(args[0], str) else args[0].name,
                             args[1]))
        return seen

    def testInstallPullsInWhatItNeedsInTheProgramsOrder(self):
        y, packages = self.collected()
        self.assertIsNone(self.apply(y, installs=[packages[("kuv-app", "available")]]))
        self.assertEqual(installedInRoot(self.installroot),
                         ["kuv-app-2.0-1.noarch", "kuv-docs-1.0-1.noarch"] + KERNELS
                         + ["kuv-lib-1.1-1.noarch", "kuv-local-1.0-1.noarch",
                            "kuv-notes-1.0-1.noarch", "kuv-oldtool-1.0-1.noarch"])
        order = [name for name in yumIOC.names() if name in (
            "dsTsCheck", "listTransaction", "reportDownloadSize", "userconfirm",
            "tsInitCallback", "postTransactionOutput")]
        self.assertEqual(order, ["dsTsCheck", "listTransaction", "reportDownloadSize",
                                 "userconfirm", "tsInitCallback", "tsInitCallback",
                                 "postTransactionOutput"])
        # The dependency lines come before the listing, each naming the
        # package right after its keyword.
        names = yumIOC.names()
        tsinfo = [(index, args[1]) for index, (name, args) in enumerate(yumIOC.calls)
                  if name == "log" and args[1].startswith("TSINFO: ")]
        self.assertEqual(sorted(text for _, text in tsinfo),
                         ["TSINFO: Marking kuv-docs as install (kuv-docs-1.0-1.noarch)",
                          "TSINFO: Marking kuv-lib as update (kuv-lib-1.1-1.noarch)"])
        self.assertTrue(all(index < names.index("listTransaction") for index, _ in tsinfo))
        self.assertEqual(self.listing(), {
            "installed": ["kuv-app-2.0-1.noarch"], "updated": [], "removed": [], "obsoleted": [],
            "depinstalled": ["kuv-docs-1.0-1.noarch"], "depupdated": ["kuv-lib-1.1-1.noarch"],
            "depremoved": []})
        self.assertEqual(self.listing("postTransactionOutput"), self.listing())
        # tsInitCallback(0) before the test transaction, then the element count.
        self.assertEqual(yumIOC.argsOf("tsInitCallback"), [(0,), (4,)])
        self.assertEqual(self.firstEvents(), [(1, "kuv-lib", 10), (2, "kuv-docs", 20),
                                              (3, "kuv-app", 20), (4, "kuv-lib", 90)])
        self.assertEqual(yumIOC.argsOf("reportDownloadSize"), [([],)])
        for args in yumIOC.argsOf("tsEvent"):
            self.assertLessEqual(args[2], args[3])
            self.assertEqual(args[5], 4)

    def testUpdateReplacesTheInstalledVersion(self):
        y, packages = self.collected()
        pair = (packages[("kuv-lib", "update")], packages[("kuv-lib", "installed")])
        self.assertIsNone(self.apply(y, updates=[pair]))
        self.assertEqual(installedInRoot(self.installroot),
                         KERNELS + ["kuv-lib-1.1-1.noarch"] + BEFORE[3:])
        self.assertEqual(self.listing()["updated"], ["kuv-lib-1.1-1.noarch"])
        self.assertEqual(self.listing()["depupdated"], [])
        # The new version comes as the package object, the old one by name.
        self.assertEqual(self.firstEvents(), [(1, "kuv-lib", 10), (2, "kuv-lib", 90)])
        self.assertIs(yumIOC.argsOf("tsEvent")[0][0], packages[("kuv-lib", "update")])
        self.assertFalse([text for level, text in yumIOC.argsOf("log")
                          if text.startswith("TSINFO")])

    def testRemovingANeededPackageRemovesWhatNeedsIt(self):
        y, packages = self.collected()
        self.assertIsNone(self.apply(y, installs=[packages[("kuv-app", "available")]]))
        y, packages = self.collected()
        self.assertIsNone(self.apply(y, removes=[packages[("kuv-lib", "installed")]]))
        self.assertEqual(installedInRoot(self.installroot),
                         ["kuv-docs-1.0-1.noarch"] + KERNELS
                         + ["kuv-local-1.0-1.noarch", "kuv-notes-1.0-1.noarch",
                            "kuv-oldtool-1.0-1.noarch"])
        listing = self.listing()
        self.assertEqual((listing["removed"], listing["depremoved"]),
                         (["kuv-lib-1.1-1.noarch"], ["kuv-app-2.0-1.noarch"]))
        self.assertIn("TSINFO: kuv-app-2.0-1.noarch marked as erase",
                      [text for level, text in yumIOC.argsOf("log")])
        # Removals come by name.
        self.assertEqual(sorted(self.firstEvents()), [(1, "kuv-app", 40), (2, "kuv-lib", 40)])
        removedRepos = [m["repoid"] for m in yumIOC.listings[0][1]["depremoved"]]
        self.assertEqual(removedRepos, ["installed"])

    def testObsoletingInstallReplacesTheOldTool(self):
        y, packages = self.collected()
        self.assertIsNone(self.apply(y, installs=[packages[("kuv-newtool", "available")]]))
        self.assertEqual(installedInRoot(self.installroot),
                         KERNELS + ["kuv-lib-1.0-1.noarch", "kuv-local-1.0-1.noarch",
                                    "kuv-newtool-2.0-1.noarch", "kuv-notes-1.0-1.noarch"])
        listing = yumIOC.listings[0][1]
        self.assertEqual([pkgtupText(m["pkgtup"]) for m in listing["installed"]],
                         ["kuv-newtool-2.0-1.noarch"])
        self.assertEqual([(pkgtupText(m["pkgtup"]), pkgtupText(m["obsoletedby"]))
                          for m in listing["obsoleted"]],
                         [("kuv-oldtool-1.0-1.noarch", "kuv-newtool-2.0-1.noarch")])
        self.assertEqual(self.firstEvents(), [(1, "kuv-newtool", 20), (2, "kuv-oldtool", 50)])
        # The obsoleted package is installed: its line is one the program
        # only logs.
        self.assertIn("TSINFO: kuv-oldtool-1.0-1.noarch marked as erase, obsoleted by"
                      " kuv-newtool-2.0-1.noarch", [text for level, text in yumIOC.argsOf("log")])

    def testCancelChangesNothingAndTheObjectCanApplyAgain(self):
        y, packages = self.collected()
        yumIOC.confirm = 0
        app = packages[("kuv-app", "available")]
        self.assertIsNone(self.apply(y, installs=[app]))
        self.assertEqual(installedInRoot(self.installroot), BEFORE)
        for name in ("tsInitCallback", "tsEvent", "applyGrabMeterStart", "postTransactionOutput"):
            self.assertNotIn(name, yumIOC.names())
        self.assertEqual(yumIOC.names()[-1], "userconfirm")
        quietCalls()
        self.assertIsNone(self.apply(y, installs=[app]))
        self.assertIn("kuv-app-2.0-1.noarch", installedInRoot(self.installroot))

    def testUnresolvableTransactionIsAYumErrorWithDnfsText(self):
        y, packages = self.collected()
        error = self.apply(y, installs=[packages[("kuv-app", "available")]],
                           removes=[packages[("kuv-lib", "installed")]])
        self.assertIsInstance(error, yum.Errors.YumBaseError)
        self.assertIn("kuv-app", str(error))
        self.assertIn("kuv-lib", str(error))
        self.assertIsNone(error.__cause__)
        self.assertNotIn("listTransaction", yumIOC.names())
        self.assertNotIn("userconfirm", yumIOC.names())
        self.assertEqual(installedInRoot(self.installroot), BEFORE)
        # The failed resolution is forgotten: the next apply starts afresh.
        quietCalls()
        self.assertIsNone(self.apply(y, installs=[packages[("kuv-docs", "available")]]))
        self.assertIn("kuv-docs-1.0-1.noarch", installedInRoot(self.installroot))
        self.assertEqual(self.listing()["removed"], [])

    def testOnlyPackageStepsBecomeEvents(self):
        import dnf.transaction
        y, packages = self.collected()
        events = []

        class Display(object):
            def tsInit(self, count):
                events.append(("tsInit", count))

            def event(self, *args):
                events.append(args[:2])

        adapter = yum.base._TransactionDisplay(y, Display(), 1)
        app = packages[("kuv-app", "available")]
        for action in (dnf.transaction.PKG_CLEANUP, dnf.transaction.PKG_VERIFY,
                       dnf.transaction.PKG_SCRIPTLET, dnf.transaction.TRANS_PREPARATION):
            adapter.progress(app.dnf, action, 1, 2, 1, 1)
        adapter.progress(None, dnf.transaction.TRANS_POST, None, None, None, None)
        adapter.progress(app.dnf, dnf.transaction.PKG_INSTALL, 1, 2, 1, 1)
        self.assertEqual(events, [("tsInit", 1), (app, 20)])

    def testALargeScriptletOutputReachesTheDisplayInPiecesOfWholeLines(self):
        # Some 3 MB with a two-byte character across the first piece's end
        # and a byte that is no UTF-8, without a last newline.
        line = "kuv-big: copying file %06d " + "." * 60 + "\n"
        text = "".join(line % i for i in range(36000))
        cut = text.index("\n", yum.base._SCRIPTOUT_PIECE - 40) - 1
        text = text[:cut] + "\u00e9" + text[cut + 1:] + "tail \udcff"
        pieces = []

        class Display(object):
            def scriptout(self, package, msgs):
                pieces.append(msgs)

        adapter = yum.base._TransactionDisplay(None, Display(), 1)
        adapter.scriptout(text.encode("utf-8", "surrogateescape"))
        self.assertGreater(len(pieces), 2)
        self.assertEqual("".join(pieces), text)
        for piece in pieces[:-1]:
            self.assertTrue(piece.endswith("\n"))
            self.assertLessEqual(len(piece), yum.base._SCRIPTOUT_PIECE + len(line))
        del pieces[:]
        adapter.scriptout(text)
        self.assertGreater(len(pieces), 2)
        self.assertEqual("".join(pieces), text)
        del pieces[:]
        adapter.scriptout(b"")
        adapter.scriptout(None)
        self.assertEqual(pieces, [])

    def testRpmFailingOnePackageAfterTheConfirmationIsAnError(self):
        # A folder where the package has a file: rpm fails that package
        # and goes on with the others, and dnf returns as if all was well.
        blocker = os.path.join(self.installroot, "usr/share/kuv-app/app.txt/inside")
        os.makedirs(blocker)
        with open(os.path.join(blocker, "file"), "w") as f:
            f.write("in the way\n")
        y, packages = self.collected()
        error = self.apply(y, installs=[packages[("kuv-app", "available")]])
        self.assertIsInstance(error, yum.Errors.YumBaseError)
        self.assertIn("kuv-app-2.0-1.noarch", str(error))
        self.assertIn("userconfirm", yumIOC.names())
        self.assertNotIn("postTransactionOutput", yumIOC.names())
        self.assertNotIn("kuv-app-2.0-1.noarch", installedInRoot(self.installroot))
        # rpm's error reaches the error log once, and standard error not at all.
        rpmErrors = [(level, text) for level, text in yumIOC.argsOf("errorlog")
                     if text.startswith("Error unpacking")]
        self.assertEqual(rpmErrors, [(0, "Error unpacking rpm package kuv-app-2.0-1.noarch")])
        self.assertEqual([args for args in yumIOC.argsOf("stderrWrite") if "kuv-app" in args[0]],
                         [])

    def testAnyFailureAfterTheConfirmationIsAYumError(self):
        # The program takes an exception of another type for a finished
        # transaction.
        y, packages = self.collected()

        def broken(display):
            raise RuntimeError("rpm went away")

        y.runTransaction = broken
        error = self.apply(y, installs=[packages[("kuv-docs", "available")]])
        self.assertIs(type(error), yum.Errors.YumBaseError)
        self.assertIn("rpm went away", str(error))
        self.assertIsNone(error.__cause__)
        self.assertTrue([text for level, text in yumIOC.argsOf("errorlog")
                         if "RuntimeError: rpm went away" in text])
        self.assertEqual(installedInRoot(self.installroot), BEFORE)

    def testAFailingReportAfterTheTransactionLeavesItDone(self):
        y, packages = self.collected()
        original = yumIOC.postTransactionOutput

        def failing(yb):
            raise TypeError("the program could not read the transaction")

        yumIOC.postTransactionOutput = failing
        try:
            error = self.apply(y, installs=[packages[("kuv-docs", "available")]])
        finally:
            yumIOC.postTransactionOutput = original
        self.assertIsNone(error)
        self.assertIn("kuv-docs-1.0-1.noarch", installedInRoot(self.installroot))
        self.assertTrue([text for level, text in yumIOC.argsOf("errorlog")
                         if "could not read the transaction" in text])

    def testNothingToDoAsksNothing(self):
        y, packages = self.collected()
        self.assertIsNone(self.apply(y))
        self.assertEqual(yumIOC.names(), ["log", "dsTsCheck", "log"])
        self.assertEqual(yumIOC.argsOf("log")[-1], (2, "Nothing to do"))

    def testArgumentsThatAreNoPackagesOfTheirKindAreYumErrors(self):
        y, packages = self.collected()
        installed = packages[("kuv-notes", "installed")]
        available = packages[("kuv-app", "available")]
        for installs, updates, removes in (([installed], [], []), ([], [], [available]),
                                           ([], [[available]], []), (["kuv-app"], [], []),
                                           ([], [[installed, available]], [])):
            with self.subTest(installs=installs, updates=updates, removes=removes):
                error = self.apply(y, installs, updates, removes)
                self.assertIsInstance(error, yum.Errors.YumBaseError)
        self.assertEqual(installedInRoot(self.installroot), BEFORE)

    def testPackagesOfAnEarlierObjectAreFoundAgain(self):
        old, packages = self.collected()
        y, _ = self.collected()
        self.assertIsNone(self.apply(y, installs=[packages[("kuv-docs", "available")]]))
        self.assertIn("kuv-docs-1.0-1.noarch", installedInRoot(self.installroot))

    def testScriptletOutputReachesTheProcesssStandardOutput(self):
        y, packages = self.collected()
        with tempfile.TemporaryFile() as captured:
            saved = os.dup(1)
            os.dup2(captured.fileno(), 1)
            try:
                error = self.apply(y, installs=[packages[("kuv-app", "available")]])
            finally:
                os.dup2(saved, 1)
                os.close(saved)
            captured.seek(0)
            output = captured.read().decode()
        self.assertIsNone(error)
        self.assertIn("kuv-app: post-install scriptlet ran", output)

    @unittest.skipUnless(Sandbox().serverRunning(), "needs the kivrel server")
    def testRemotePackagesDownloadAfterTheConfirmationWithoutCredentials(self):
        with preserved(self.sandbox.kivrelRepoFile):
            self.sandbox.fillCredentials()
            y, packages = self.collected(remote=True)
            remote = packages[("kuv-remote", "available")]
            error = self.apply(y, installs=[remote])
            self.assertIsNone(error)
            self.assertIn("kuv-remote-1.0-1.noarch", installedInRoot(self.installroot))
            (downloads,) = yumIOC.argsOf("reportDownloadSize")
            self.assertEqual([po.name for po in downloads[0]], ["kuv-remote"])
            names = yumIOC.names()
            self.assertLess(names.index("userconfirm"), names.index("applyGrabMeterStart"))
            (start,) = yumIOC.argsOf("applyGrabMeterStart")
            self.assertTrue(start[0].endswith("/kuv-remote-1.0-1.noarch.rpm"), start)
            self.assertEqual(start[3], remote.size)
            self.assertIsNone(start[4])
            self.assertEqual(yumIOC.argsOf("applyGrabMeterEnd"), [(remote.size,)])
            text = repr(yumIOC.calls)
            skip = {os.path.join(self.sandbox.root, "kivrel-credentials"),
                    self.sandbox.kivrelRepoFile}
            for secret in (self.sandbox.password, layertest.kivrelEncode(self.sandbox.password)):
                self.assertNotIn(secret, text)
                self.assertEqual(layertest.filesHolding(self.sandbox.root, secret, skip), [])
            self.assertNotIn("kivrel", text)

    @unittest.skipUnless(Sandbox().serverRunning(), "needs the kivrel server")
    def testFailedTransactionsLeaveTheObjectFitForTheNext(self):
        # A %pre that fails makes rpm refuse the package; the same object
        # then applies again, as the program does after an error, once with
        # the same refusal and then with packages rpm accepts.
        def openDescriptors():
            return len(os.listdir("/proc/self/fd"))

        with preserved(self.sandbox.kivrelRepoFile):
            self.sandbox.fillCredentials()
            y, packages = self.collected(remote=True)
            verbose = packages[("kuv-verbose", "available")]
            os.environ["KUV_VERBOSE_REFUSE"] = "1"
            try:
                afterFirst = None
                for attempt in range(3):
                    error = self.apply(y, installs=[verbose])
                    self.assertIsInstance(error, yum.Errors.YumBaseError)
                    self.assertIn("Error in PREIN scriptlet in rpm package kuv-verbose", str(error))
                    del error
                    gc.collect()
                    if afterFirst is None:
                        afterFirst = openDescriptors()
                    self.assertLessEqual(openDescriptors(), afterFirst)
            finally:
                del os.environ["KUV_VERBOSE_REFUSE"]
            self.assertIsNone(self.apply(y, installs=[packages[("kuv-newtool", "available")]]))
            self.assertIn("kuv-newtool-2.0-1.noarch", installedInRoot(self.installroot))
            self.assertIsNone(self.apply(y, installs=[verbose]))
            self.assertIn("kuv-verbose-1.0-1.noarch", installedInRoot(self.installroot))
            subprocess.run(["rpm", "--root", self.installroot, "--verifydb"],
                           env=layertest.rpmEnvironment(), check=True)

    def testAnObjectThatAppliedIsFreedWhenReplaced(self):
        gc.collect()
        gc.disable()
        try:
            y, packages = self.collected()
            self.assertIsNone(self.apply(y, installs=[packages[("kuv-docs", "available")]]))
            objects = [weakref.ref(y), weakref.ref(y.dnfBase)]
            # The stand-in's record holds the object it was given.
            yumIOC.reset()
            del y, packages
            self.assertEqual([ref() for ref in objects], [None, None])
        finally:
            gc.enable()

    def testCodesOfTheRpmTransactionAreYums(self):
        y, packages = self.collected()
        pair = (packages[("kuv-lib", "update")], packages[("kuv-lib", "installed")])
        self.assertIsNone(self.apply(y, installs=[packages[("kuv-newtool", "available")]],
                                     updates=[pair],
                                     removes=[packages[("kuv-local", "installed")]]))
        codes = set(args[1] for args in yumIOC.argsOf("tsEvent"))
        self.assertEqual(codes, {10, 20, 40, 50, 90})
        for package, code in self.events():
            self.assertEqual(package.startswith("<"), code in (10, 20, 30, 60), (package, code))


if __name__ == "__main__":
    unittest.main(verbosity=2)
