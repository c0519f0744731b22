# Package details the program asks for on demand: change logs (the
# miscellaneous data of the repositories, loaded by a second dnf Base and
# mapped back to the collected objects), file lists, relations, header
# fields of installed packages and the local files behind packages.

import os
import shutil
import unittest

import layertest
from layertest import OnSandbox, RepositoryActs, loaded, newYumIO

layertest.script()  # puts the script's folder, and so the yum package, on sys.path
import rpm  # noqa: E402
import yum.Errors  # noqa: E402
import yumIOC  # noqa: E402
from yum.packages import prcoTuple, splitEvr  # noqa: E402


def collected(sandbox):
    """A script object after a collection, and its packages by name and
    state ("installed" or "available")."""
    y = loaded()
    lists = y.collectAll()
    packages = {}
    for po in lists.installed:
        packages[(po.name, "installed")] = po
    for po in lists.available:
        packages[(po.name, "available")] = po
    return y, packages


def fileHeader(sandbox, po):
    """The header of an available package's file, through a transaction
    set rooted in the sandbox (no database of the host is opened)."""
    ts = rpm.TransactionSet(sandbox.installroot)
    ts.setVSFlags(rpm._RPMVSF_NOSIGNATURES | rpm._RPMVSF_NODIGESTS)
    with open(os.path.join(sandbox.repositories, "main", po.relativepath), "rb") as f:
        return ts.hdrFromFdno(f.fileno())


def headerFiles(po):
    """An installed package's paths the way the program joins them."""
    hdr = po.hdr
    dirs = hdr[rpm.RPMTAG_DIRNAMES]
    return sorted(set(dirs[index] + base for base, index
                      in zip(hdr[rpm.RPMTAG_BASENAMES], hdr[rpm.RPMTAG_DIRINDEXES])))


class ChangeLogs(OnSandbox):

    RESET_CALLS = True

    def testAvailableChangeLogsArriveWithTheMiscellaneousData(self):
        y, packages = collected(self.sandbox)
        lib = packages[("kuv-lib", "available")]
        self.assertTrue(hasattr(lib, "changelog"))
        self.assertEqual(lib.returnChangelog(), [])
        y.collectOtherData()
        hdr = fileHeader(self.sandbox, lib)
        # The same times, authors and texts as the package's own header.
        self.assertEqual(lib.returnChangelog(),
                         list(zip(hdr[rpm.RPMTAG_CHANGELOGTIME], hdr[rpm.RPMTAG_CHANGELOGNAME],
                                  hdr[rpm.RPMTAG_CHANGELOGTEXT])))
        self.assertEqual(lib.returnChangelog()[0][1], "Lib Maintainer <lib@example.org> - 1.1-1")
        app = packages[("kuv-app", "available")]
        self.assertEqual([entry[2] for entry in app.returnChangelog()],
                         ["- Require the newer library."])
        self.assertEqual(packages[("kuv-suite", "available")].returnChangelog(), [])

    def testMiscellaneousDataIsLoadedOncePerObjectWithRepositoryActs(self):
        y, _ = collected(self.sandbox)
        yumIOC.reset()
        y.collectOtherData()
        acts = RepositoryActs().feed(yumIOC.calls)
        self.assertEqual([act[2] for act in acts], ["kuv-main"] * len(acts))
        self.assertEqual(acts[-1], (5, 4, "kuv-main"))
        yumIOC.reset()
        y.collectOtherData()
        self.assertEqual(yumIOC.calls, [])
        # The lists of the collection still answer from the first sack.
        self.assertEqual([po.name for po in y.collectUpdates()], ["kuv-kernel", "kuv-lib"])

    def testOnlyTheRepositoriesOfTheCollectionAreRead(self):
        y = newYumIO()
        y.repos.disableRepo("kuv-remote")
        y.repos.disableRepo("kuv-main")
        y.repos.enableRepo("kuv-extra")
        y.setupRepos()
        yumIOC.reset()
        y.collectOtherData()
        acts = RepositoryActs().feed(yumIOC.calls)
        self.assertEqual(set(act[2] for act in acts), {"kuv-extra"})

    def testInstalledChangeLogComesFromTheHeaderAsRpmGivesIt(self):
        _, packages = collected(self.sandbox)
        notes = packages[("kuv-notes", "installed")]
        names = notes.hdr[rpm.RPMTAG_CHANGELOGNAME]
        # A Latin-1 author is passed on with its surrogate escape.
        self.assertEqual(names[0], "Ren\udce9 Notier <rene@example.org> - 1.0-1")
        self.assertEqual(len(notes.hdr[rpm.RPMTAG_CHANGELOGTIME]), 3)
        self.assertEqual(notes.returnChangelog()[0][1], names[0])
        self.assertIn("Caf\udce9", notes.returnChangelog()[0][2])

    def testAFailedLoadIsAYumErrorAndIsTriedAgain(self):
        y, packages = collected(self.sandbox)
        main = os.path.join(self.sandbox.repositories, "main")
        shutil.move(main, main + ".away")
        try:
            with self.assertRaises(yum.Errors.YumBaseError) as caught:
                y.collectOtherData()
            self.assertIn("kuv-main", str(caught.exception))
        finally:
            shutil.move(main + ".away", main)
        y.collectOtherData()
        self.assertEqual(len(packages[("kuv-lib", "available")].returnChangelog()), 2)


class FileLists(OnSandbox):

    RESET_CALLS = True

    def testAvailableFileListsNeedNoFurtherLoading(self):
        y, packages = collected(self.sandbox)
        yumIOC.reset()
        y.collectFileLists()
        self.assertEqual(yumIOC.calls, [])
        lib = packages[("kuv-lib", "available")]
        self.assertTrue(hasattr(lib, "files"))
        self.assertEqual(sorted(lib.returnFileEntries("file")),
                         ["/usr/share/kuv-lib", "/usr/share/kuv-lib/VERSION",
                          "/usr/share/kuv-lib/extra.txt", "/usr/share/kuv-lib/helpers.txt"])

    def testFileEntriesMatchTheFilesOfEveryAvailablePackage(self):
        y, packages = collected(self.sandbox)
        y.collectFileLists()
        available = [po for (name, state), po in packages.items() if state == "available"]
        self.assertTrue(available)
        for po in available:
            self.assertEqual(po.returnFileEntries("file"), po.files["file"])
            self.assertEqual(sorted(po.files), ["file"])
            self.assertEqual(po.returnFileEntries("dir"), [])
            self.assertEqual(po.returnFileEntries("ghost"), [])
        # Each call hands out a list of its own.
        lib = packages[("kuv-lib", "available")]
        lib.returnFileEntries("file").append("/changed")
        self.assertNotIn("/changed", lib.returnFileEntries("file"))

    def testInstalledFilesComeFromTheHeaderWithTheirBytes(self):
        _, packages = collected(self.sandbox)
        notes = packages[("kuv-notes", "installed")]
        paths = headerFiles(notes)
        self.assertIn("/usr/share/kuv-notes/caf\udce9.txt", paths)
        self.assertIn("/usr/share/kuv-notes/more/three.txt", paths)
        self.assertEqual(sorted(notes.returnFileEntries("file")), paths)

    def testFileListsNeedTheRepositories(self):
        with self.assertRaises(yum.Errors.YumBaseError):
            newYumIO().collectFileLists()
        with self.assertRaises(yum.Errors.YumBaseError):
            newYumIO().collectOtherData()


class Relations(OnSandbox):

    def testAvailableRelationsAreYumsTuples(self):
        _, packages = collected(self.sandbox)
        app = packages[("kuv-app", "available")]
        self.assertEqual(sorted(app.returnPrco("requires")),
                         [("kuv-lib", "GE", (None, "1.1", None)),
                          ("kuv-viewer", None, (None, None, None))])
        self.assertEqual(app.prco["requires"], app.returnPrco("requires"))
        tool = packages[("kuv-newtool", "available")]
        self.assertEqual(tool.returnPrco("obsoletes"), [("kuv-oldtool", "LT", (None, "2.0", None))])
        self.assertIn(("kuv-oldtool", "EQ", (None, "2.0", "1")), tool.returnPrco("provides"))
        self.assertEqual(tool.returnPrco("conflicts"), [])
        self.assertEqual(tool.returnPrco("no such kind"), [])

    def testVersionTextsSplitIntoEpochVersionRelease(self):
        class Reldep(object):
            def __init__(self, text):
                self.text = text

            def __str__(self):
                return self.text

        self.assertEqual(prcoTuple(Reldep("foo >= 2:1.0-1")), ("foo", "GE", ("2", "1.0", "1")))
        self.assertEqual(prcoTuple(Reldep("foo < 3")), ("foo", "LT", (None, "3", None)))
        nothing = (None, None, None)
        self.assertEqual(prcoTuple(Reldep("/usr/bin/foo")), ("/usr/bin/foo", None, nothing))
        # A rich dependency stays whole, without a flag.
        self.assertEqual(prcoTuple(Reldep("(a >= 1 or b)")), ("(a >= 1 or b)", None, nothing))
        self.assertEqual(splitEvr("1.0-1.el5"), (None, "1.0", "1.el5"))

    def testInstalledRelationsComeFromTheHeader(self):
        _, packages = collected(self.sandbox)
        lib = packages[("kuv-lib", "installed")]
        names = lib.hdr[rpm.RPMTAG_PROVIDENAME]
        flags = lib.hdr[rpm.RPMTAG_PROVIDEFLAGS]
        versions = lib.hdr[rpm.RPMTAG_PROVIDEVERSION]
        self.assertEqual(len(names), len(flags))
        self.assertEqual(len(names), len(versions))
        self.assertIn("kuv-lib", names)
        self.assertIsInstance(lib.hdr[rpm.RPMTAG_INSTALLTIME], int)
        self.assertEqual(lib.hdr[rpm.RPMTAG_PREFIXES], [])


class LocalFiles(OnSandbox):

    def testPackagesNameFilesThatExist(self):
        _, packages = collected(self.sandbox)
        app = packages[("kuv-app", "available")]
        # A file:// repository's packages are used where they are.
        self.assertEqual(app.localPkg(), os.path.join(self.sandbox.repositories, "main",
                                                      "kuv-app-2.0-1.noarch.rpm"))
        # dnf never downloads headers: the header data is always at hand.
        self.assertTrue(os.path.isfile(app.localHdr()))
        lib = packages[("kuv-lib", "installed")]
        self.assertTrue(os.path.isdir(lib.localHdr()))
        self.assertTrue(lib.localHdr().startswith(self.sandbox.installroot + "/"))
        self.assertEqual(lib.localPkg(), "")
        self.assertFalse(hasattr(lib, "relativepath"))
        self.assertEqual(app.relativepath, "kuv-app-2.0-1.noarch.rpm")


if __name__ == "__main__":
    unittest.main(verbosity=2)
