# Cleaning the cache through the script: yum's result tuples, what each
# clean removes from dnf's cache layout, that nothing outside the sandbox's
# cache folder is touched, and the settings the program asks for beside.

import glob
import os
import unittest
from unittest import mock

import layertest
from layertest import OnSandbox, hostState, loaded, newYumIO, script

layertest.script()  # puts the script's folder, and so the yum package, on sys.path
from yum import cleaning  # noqa: E402


def filesBelow(folder):
    found = []
    for base, _, names in os.walk(folder):
        found += [os.path.relpath(os.path.join(base, name), folder) for name in names]
    return sorted(found)


class Cleaning(OnSandbox):

    def setUp(self):
        super().setUp()
        y = loaded()
        y.setupTsGroup()
        self.y = y
        self.cache = self.sandbox.cachedir
        (self.repoFolder,) = [path for path in glob.glob(os.path.join(self.cache, "kuv-main-*"))
                              if os.path.isdir(path)]
        # Downloaded packages, as dnf keeps them for a remote repository.
        self.packages = os.path.join(self.repoFolder, "packages")
        layertest.removeTree(self.packages)
        os.makedirs(self.packages)
        for name in ("kuv-a-1-1.noarch.rpm", "kuv-b-1-1.noarch.rpm"):
            with open(os.path.join(self.packages, name), "w") as f:
                f.write("package")
        self.outside = os.path.join(self.sandbox.repositories, "main", "kuv-app-2.0-1.noarch.rpm")
        os.symlink(self.outside, os.path.join(self.packages, "linked.rpm"))

    def testCleanPackagesRemovesOnlyDownloadedPackages(self):
        before = filesBelow(self.cache)
        code, messages = self.y.cleanPackages()
        self.assertEqual((code, messages), (0, ["2 package files removed"]))
        self.assertEqual(os.listdir(self.packages), ["linked.rpm"])
        self.assertTrue(os.path.isfile(self.outside))
        removed = set(before) - set(filesBelow(self.cache))
        self.assertEqual(len(removed), 2)
        self.assertEqual(self.y.cleanPackages(), (0, ["0 package files removed"]))

    def testCleanMetadataRemovesTheRepositoryDataWhichIsFetchedAgain(self):
        code, messages = self.y.cleanMetadata()
        self.assertEqual(code, 0)
        self.assertRegex(messages[0], r"^[1-9][0-9]* metadata files removed$")
        self.assertEqual(glob.glob(os.path.join(self.repoFolder, "repodata", "*.xml*")), [])
        self.assertEqual(len(os.listdir(self.packages)), 3)
        self.assertTrue(glob.glob(os.path.join(self.cache, "*.solv")))
        again = newYumIO()
        again.repos.disableRepo("kuv-remote")
        again.setupRepos()
        self.assertEqual([po.name for po in again.collectUpdates()], ["kuv-kernel", "kuv-lib"])
        self.assertTrue(os.path.isfile(os.path.join(self.repoFolder, "repodata", "repomd.xml")))

    def testCleanSqliteRemovesTheConvertedMetadata(self):
        converted = sorted(os.path.basename(path)
                           for path in glob.glob(os.path.join(self.cache, "*.solv*")))
        self.assertIn("kuv-main.solv", converted)
        code, messages = self.y.cleanSqlite()
        self.assertEqual((code, messages), (0, ["%d sqlite files removed" % len(converted)]))
        self.assertEqual(glob.glob(os.path.join(self.cache, "*.solv*")), [])
        self.assertTrue(os.path.isfile(os.path.join(self.repoFolder, "repodata", "repomd.xml")))

    def testHeadersAndPicklesHaveNothingToRemove(self):
        before = filesBelow(self.cache)
        self.assertEqual(self.y.cleanHeaders(), (0, ["0 header files removed"]))
        self.assertEqual(self.y.cleanPickles(), (0, ["0 pickle files removed"]))
        self.assertEqual(filesBelow(self.cache), before)

    def testOnlyTheCacheFolderIsTouched(self):
        host = hostState()
        outsideCache = [path for path in filesBelow(self.sandbox.root)
                        if not path.startswith(os.path.relpath(self.cache, self.sandbox.root))]
        for clean in (self.y.cleanHeaders, self.y.cleanPackages, self.y.cleanMetadata,
                      self.y.cleanPickles, self.y.cleanSqlite):
            self.assertEqual(clean()[0], 0)
        self.assertEqual([path for path in filesBelow(self.sandbox.root)
                          if not path.startswith(os.path.relpath(self.cache, self.sandbox.root))],
                         outsideCache)
        self.assertEqual(hostState(), host)

    def testAFailureIsANonZeroCodeWithItsMessage(self):
        def refuse(path):
            raise OSError(16, "Device or resource busy")
        with mock.patch("os.unlink", refuse):
            code, messages = self.y.cleanPackages()
        self.assertEqual(code, 1)
        self.assertEqual(len(messages), 3)
        self.assertTrue(messages[0].startswith("Cannot remove " + self.packages))
        self.assertTrue(messages[0].endswith(": Device or resource busy"))
        self.assertEqual(messages[-1], "0 package files removed")
        self.assertEqual(len(os.listdir(self.packages)), 3)

    def testAnUnusableCacheFolderIsRefused(self):
        for folder in ("", "/", "relative/cache", None):
            with self.subTest(folder=folder):
                for clean in (cleaning.cleanPackages, cleaning.cleanMetadata, cleaning.cleanSqlite,
                              cleaning.cleanHeaders, cleaning.cleanPickles):
                    code, messages = clean(folder)
                    self.assertEqual(code, 1)
                    self.assertIn("not usable", messages[0])

    def testAMissingCacheFolderHasNothingToRemove(self):
        missing = os.path.join(self.sandbox.root, "no-cache")
        self.assertEqual(cleaning.cleanPackages(missing), (0, ["0 package files removed"]))
        self.assertEqual(cleaning.cleanSqlite(missing), (0, ["0 sqlite files removed"]))


class Settings(OnSandbox):

    def testNoDeltaRpmsAndAConvertedCache(self):
        self.assertIs(newYumIO().usesPresto(), False)
        self.assertIs(script()["usesSqlite"](), True)

    def testYumVariablesFollowTheVarsFolderOfTheConfigurationRoot(self):
        varsdir = os.path.join(self.sandbox.root, "etc", "yum", "vars")
        os.makedirs(varsdir)
        try:
            with open(os.path.join(varsdir, "releasever"), "w") as f:
                f.write("42\n")
            yumvar = newYumIO().conf.yumvar
            self.assertEqual(yumvar["releasever"], "42")
            self.assertEqual(yumvar["basearch"], yumvar["basearch"].strip())
        finally:
            layertest.removeTree(os.path.join(self.sandbox.root, "etc", "yum"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
