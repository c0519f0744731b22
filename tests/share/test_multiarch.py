# Packages of two architectures on an x86_64 machine, in a configuration
# root of the test's own (multiarchroot.py): the package that stands for a
# name in the program's table is the one dnf installs for the name, and a
# marked update dnf cannot do is told, with dnf's reason, before anything
# changes instead of being left out of the transaction.

import os
import shutil
import tempfile
import unittest

import layertest
import multiarchroot
from layertest import installedInRoot, newYumIO, quietCalls, useConfigRoot

layertest.script()  # puts the script's folder, and so the yum package, on sys.path
import libdnf.transaction  # noqa: E402
import yum.Errors  # noqa: E402
import yumIOC  # noqa: E402

BEFORE = ["bar-1.0-1.i686", "bar-1.0-1.x86_64", "brk-1.0-1.noarch", "foo-1.0-1.i686",
          "foo-1.0-1.x86_64", "mlb-1.0-1.i686", "mlb-1.0-1.x86_64", "ok-1.0-1.noarch"]

YUM_CONF = """[main]
installroot=@ROOT@/inst
cachedir=@ROOT@/cache
reposdir=%s/etc/yum.repos.d
persistdir=@ROOT@/persist
logfile=@ROOT@/log/yum.log
keepcache=0
debuglevel=2
exactarch=1
obsoletes=1
gpgcheck=0
plugins=0
"""

_made = None


def madeRoot():
    """The packages, repository and installroot, built once for all tests."""
    global _made
    if _made is None:
        _made = multiarchroot.make(tempfile.mkdtemp(prefix="multiarch.",
                                                    dir=os.environ["KUV_SANDBOX"]))
    return _made


def rows(y):
    """The table as the program builds it from the collection: per name
    the first update, else the first installed package, else the first
    available one; an update's row keeps the installed packages of its
    name behind it. name -> (state, package text, [chained package texts])."""
    table = {}
    for po in y.collectUpdates():
        table.setdefault(po.name, ("update", str(po), []))
    lists = y.collectAll()
    for po in lists.installed:
        if po.name not in table:
            table[po.name] = ("installed", str(po), [])
        elif table[po.name][0] == "update":
            table[po.name][2].append(str(po))
    for po in lists.available:
        table.setdefault(po.name, ("available", str(po), []))
    return table


def heads(y):
    """name -> (the row's package object, the first one chained behind it)."""
    found = {}
    for po in y.collectUpdates():
        found.setdefault(po.name, [po, None])
    lists = y.collectAll()
    for po in lists.installed:
        if po.name not in found:
            found[po.name] = [po, None]
        elif found[po.name][1] is None and not hasattr(found[po.name][0], "hdr"):
            found[po.name][1] = po
    for po in lists.available:
        found.setdefault(po.name, [po, None])
    return found


class Architectures(unittest.TestCase):

    def setUp(self):
        self.sandbox = layertest.Sandbox()
        made = madeRoot()
        self.root = layertest.newConfigRoot(self.sandbox, YUM_CONF % made)
        self.installroot = os.path.join(self.root, "inst")
        shutil.copytree(os.path.join(made, "root"), self.installroot, symlinks=True)
        useConfigRoot(self.root)
        quietCalls()

    def tearDown(self):
        yumIOC.echo = True
        layertest.removeTree(self.root)

    def collected(self):
        y = newYumIO()
        y.setupRepos()
        y.setupTs()
        return y

    def apply(self, y, installs=(), updates=(), removes=()):
        return layertest.appliedInWorker(y, installs, updates, removes)

    def dnfInstalls(self, y, name):
        """What dnf itself installs for `dnf install NAME` on this root."""
        base = y.dnfBase
        base.install(name)
        base.resolve()
        chosen = [str(tsi.pkg) for tsi in base.transaction
                  if tsi.action == libdnf.transaction.TransactionItemAction_INSTALL]
        base.reset(goal=True)
        return chosen

    def testEachNameStandsForThePackageOfTheMachinesArchitecture(self):
        y = self.collected()
        self.assertEqual(rows(y), {
            "ma": ("available", "ma-1.0-1.x86_64", []),
            # The newer version is for the other architecture only.
            "mv": ("available", "mv-1.0-1.x86_64", []),
            "foo": ("update", "foo-1.1-1.x86_64", ["foo-1.0-1.x86_64", "foo-1.0-1.i686"]),
            "bar": ("installed", "bar-1.0-1.x86_64", []),
            "mlb": ("update", "mlb-1.1-1.x86_64", ["mlb-1.0-1.x86_64", "mlb-1.0-1.i686"]),
            "brk": ("update", "brk-1.1-1.noarch", ["brk-1.0-1.noarch"]),
            "ok": ("update", "ok-1.1-1.noarch", ["ok-1.0-1.noarch"]),
        })
        # The very package dnf installs for the name.
        for name in ("ma", "mv"):
            self.assertEqual(self.dnfInstalls(y, name), [rows(y)[name][1]], name)

    def testInstallingTheRowsPackageInstallsTheMachinesArchitecture(self):
        y = self.collected()
        found = heads(y)
        self.assertIsNone(self.apply(y, installs=[found["ma"][0], found["mv"][0]]))
        self.assertEqual(installedInRoot(self.installroot),
                         sorted(BEFORE + ["ma-1.0-1.x86_64", "mv-1.0-1.x86_64"]))

    def testAnUpdateMarkedOnceUpdatesBothArchitecturesOfAPair(self):
        y = self.collected()
        found = heads(y)
        self.assertIsNone(self.apply(y, updates=[found["foo"]]))
        self.assertEqual(installedInRoot(self.installroot),
                         sorted(set(BEFORE) - {"foo-1.0-1.i686", "foo-1.0-1.x86_64"}
                                | {"foo-1.1-1.i686", "foo-1.1-1.x86_64"}))
        self.assertIn("userconfirm", yumIOC.names())

    def assertToldBeforeAnythingChanged(self, error, told, notTold=()):
        self.assertIsInstance(error, yum.Errors.YumBaseError)
        text = str(error)
        for line in told:
            self.assertIn(line, text)
        for line in notTold:
            self.assertNotIn(line, text)
        for name in ("listTransaction", "userconfirm", "tsInitCallback"):
            self.assertNotIn(name, yumIOC.names())
        self.assertEqual(installedInRoot(self.installroot), BEFORE)

    def testAnUpdateWithABrokenDependencyIsToldAndNothingElseIsDone(self):
        y = self.collected()
        found = heads(y)
        # Alone, and beside an update that could be done.
        for updates in ([found["brk"]], [found["brk"], found["ok"]]):
            quietCalls()
            self.assertToldBeforeAnythingChanged(
                self.apply(y, updates=updates),
                ["Cannot update brk 1.1-1 (noarch):",
                 " - nothing provides nothere needed by brk-1.1-1.noarch"],
                ["Cannot update ok"])
        # Without it the good one goes through.
        quietCalls()
        self.assertIsNone(self.apply(y, updates=[found["ok"]]))
        self.assertIn("ok-1.1-1.noarch", installedInRoot(self.installroot))

    def testAnUpdateForOneArchitectureOfAPairIsToldAndRemovesNothing(self):
        y = self.collected()
        found = heads(y)
        told = ["Cannot update mlb 1.1-1 (x86_64):",
                " - cannot install both mlb-1.1-1.x86_64 and mlb-1.0-1.x86_64"]
        self.assertToldBeforeAnythingChanged(self.apply(y, updates=[found["mlb"]]), told)
        # A removal beside it lets dnf take packages away, but only what the
        # removal takes with it: not the other half of the pair.
        quietCalls()
        self.assertToldBeforeAnythingChanged(
            self.apply(y, updates=[found["mlb"], found["brk"]], removes=[found["bar"][0]]),
            told + ["Cannot update brk 1.1-1 (noarch):"], ["Cannot remove bar"])
        quietCalls()
        self.assertToldBeforeAnythingChanged(
            self.apply(y, updates=[found["mlb"]], removes=[found["bar"][0]]), told,
            ["Cannot remove bar"])
        # The removal alone is done.
        quietCalls()
        self.assertIsNone(self.apply(y, removes=[found["bar"][0]]))
        self.assertEqual(installedInRoot(self.installroot),
                         [nvra for nvra in BEFORE if nvra != "bar-1.0-1.x86_64"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
