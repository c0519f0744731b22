# The companion script's object on a sandbox: which yum.conf it reads, what
# it takes from it, the repository table it offers, and how it fails at
# start-up.

import os
import unittest

import layertest
from layertest import OnSandbox, Sandbox, newConfigRoot, newYumIO, script, useConfigRoot


class ScriptStartsOnTheSandbox(OnSandbox):

    def testScriptDefinesTheInterfaceAndFindsItsYumPackage(self):
        namespace = script()
        self.assertTrue(callable(namespace["YumIO"]))
        self.assertIs(namespace["usesSqlite"](), True)
        import yum
        self.assertEqual(yum.__version__, "3.4.3")
        self.assertEqual(os.path.dirname(os.path.dirname(os.path.abspath(yum.__file__))),
                         os.path.join(layertest.SHARE, "python"))

    def testReadsTheProgramsYumConfNotDnfs(self):
        y = newYumIO()
        self.assertEqual(y.conf.config_file_path, self.sandbox.yumconf)
        self.assertEqual(y.conf.installroot, self.sandbox.installroot)
        self.assertEqual(y.conf.cachedir, self.sandbox.cachedir)
        self.assertEqual(y.conf.reposdir, [self.sandbox.reposd])
        self.assertEqual(y.conf.persistdir, os.path.join(self.sandbox.root, "persist"))
        # yum's logfile key names the log folder.
        self.assertEqual(y.conf.logdir, os.path.join(self.sandbox.root, "log"))
        self.assertEqual(y.conf.pidfile, self.sandbox.pidfile)
        self.assertFalse(y.conf.keepcache)

    def testYumVariablesAreAMapping(self):
        y = newYumIO()
        for name in ("basearch", "arch", "releasever"):
            self.assertIsInstance(y.conf.yumvar[name], str)
            self.assertTrue(y.conf.yumvar[name])
        # No release package in the sandbox root: yum left the variable as it was.
        self.assertEqual(y.conf.yumvar["releasever"], "$releasever")

    def testRepositoryTableHasIntEnabledFlags(self):
        y = newYumIO()
        repos = y.repos.repos
        self.assertIs(type(repos), dict)
        self.assertEqual(sorted(repos), ["kuv-extra", "kuv-main", "kuv-remote"])
        flags = {repoid: repo.enabled for repoid, repo in repos.items()}
        self.assertEqual(flags, {"kuv-main": 1, "kuv-extra": 0, "kuv-remote": 1})
        for repo in repos.values():
            self.assertIs(type(repo.enabled), int)

    def testEnableAndDisableChangeOnlyTheNamedRepositories(self):
        y = newYumIO()
        y.repos.enableRepo("kuv-extra")
        y.repos.disableRepo("kuv-main")
        flags = {repoid: repo.enabled for repoid, repo in y.repos.repos.items()}
        self.assertEqual(flags, {"kuv-main": 0, "kuv-extra": 1, "kuv-remote": 1})
        # A fresh object reads the files again: the changes were for this run only.
        fresh = newYumIO()
        self.assertEqual(fresh.repos.repos["kuv-extra"].enabled, 0)
        self.assertEqual(fresh.repos.repos["kuv-main"].enabled, 1)

    def testWildcardPatternsReachEveryMatch(self):
        y = newYumIO()
        self.assertEqual(sorted(y.repos.disableRepo("kuv-*")),
                         ["kuv-extra", "kuv-main", "kuv-remote"])
        self.assertTrue(all(repo.enabled == 0 for repo in y.repos.repos.values()))

    def testUnknownRepositoryIsARepoErrorAndChangesNothing(self):
        import yum.Errors
        y = newYumIO()
        for change in (y.repos.enableRepo, y.repos.disableRepo):
            with self.assertRaises(yum.Errors.RepoError) as caught:
                change("no-such-repo")
            self.assertIn("no-such-repo", str(caught.exception))
            self.assertIsInstance(caught.exception, yum.Errors.YumBaseError)
        flags = {repoid: repo.enabled for repoid, repo in y.repos.repos.items()}
        self.assertEqual(flags, {"kuv-main": 1, "kuv-extra": 0, "kuv-remote": 1})


class ConfigurationRoots(unittest.TestCase):

    def setUp(self):
        self.sandbox = Sandbox()
        self.roots = []

    def tearDown(self):
        for root in self.roots:
            layertest.removeTree(root)
        useConfigRoot(self.sandbox.root)

    def makeRoot(self, *args, **kwargs):
        root = newConfigRoot(self.sandbox, *args, **kwargs)
        self.roots.append(root)
        return root

    def testWithoutReposdirTheRootsYumFoldersAreRead(self):
        root = self.makeRoot(
            "[main]\ninstallroot=@SANDBOX@/root\ncachedir=@ROOT@/cache\n",
            {"etc/yum.repos.d/a.repo": "[in-yum-repos-d]\nname=A\nbaseurl=file:///nowhere\n",
             "etc/yum/repos.d/b.repo": "[in-yum-slash-repos-d]\nname=B\nbaseurl=file:///nowhere\n"})
        useConfigRoot(root)
        y = newYumIO()
        self.assertEqual(y.conf.reposdir, [root + "/etc/yum/repos.d", root + "/etc/yum.repos.d"])
        self.assertEqual(sorted(y.repos.repos), ["in-yum-repos-d", "in-yum-slash-repos-d"])

    def testEtcYumYumConfWinsOverEtcYumConf(self):
        root = self.makeRoot("[main]\ninstallroot=@SANDBOX@/root\ncachedir=@ROOT@/first\n",
                             at="etc/yum/yum.conf")
        with open(os.path.join(root, "etc", "yum.conf"), "w") as f:
            f.write("[main]\ninstallroot=%s\ncachedir=%s/second\n" % (self.sandbox.installroot, root))
        # Without yumIOC.yumconf the script applies the same rule itself.
        useConfigRoot(root, yumconf="")
        self.assertEqual(newYumIO().conf.cachedir, root + "/first")

    def testRepositorySectionsInYumConfCount(self):
        root = self.makeRoot("[main]\ninstallroot=@SANDBOX@/root\ncachedir=@ROOT@/cache\n"
                             "reposdir=@ROOT@/none\n\n[inside]\nname=Inside\n"
                             "baseurl=file:///nowhere\nenabled = no\n")
        useConfigRoot(root)
        y = newYumIO()
        self.assertEqual(list(y.repos.repos), ["inside"])
        self.assertEqual(y.repos.repos["inside"].enabled, 0)

    def testDefaultsGoUnderTheInstallroot(self):
        root = self.makeRoot("[main]\ninstallroot=@ROOT@/inst\nreposdir=@ROOT@/none\n")
        useConfigRoot(root)
        y = newYumIO()
        self.assertTrue(y.conf.cachedir.startswith(root + "/inst/var/cache/yum/"))
        self.assertEqual(y.conf.persistdir, root + "/inst/var/lib/yum")
        self.assertEqual(y.conf.logdir, root + "/inst/var/log")
        self.assertEqual(y.conf.pidfile, root + "/inst/var/run/yum.pid")
        # Reading the configuration creates nothing.
        self.assertFalse(os.path.exists(root + "/inst/var"))

    def testVariablesFromTheRootsVarsFolder(self):
        root = self.makeRoot("[main]\ninstallroot=@SANDBOX@/root\n"
                             "cachedir=@ROOT@/cache/$colour\nreposdir=@ROOT@/none\n",
                             {"etc/yum/vars/colour": "blue\n"})
        useConfigRoot(root)
        y = newYumIO()
        self.assertEqual(y.conf.yumvar["colour"], "blue")
        self.assertEqual(y.conf.cachedir, root + "/cache/blue")

    def testMissingYumConfIsSystemExit(self):
        root = self.makeRoot("[main]\n")
        os.unlink(os.path.join(root, "etc", "yum.conf"))
        useConfigRoot(root)
        with self.assertRaises(SystemExit) as caught:
            newYumIO()
        self.assertIn("yum.conf", str(caught.exception))

    def testUnparsableYumConfIsSystemExit(self):
        root = self.makeRoot("[main\ninstallroot=/x\n")
        useConfigRoot(root)
        with self.assertRaises(SystemExit) as caught:
            newYumIO()
        self.assertIn(root, str(caught.exception))

    def testMalformedRepositoryFileIsSystemExit(self):
        root = self.makeRoot("[main]\ninstallroot=@SANDBOX@/root\nreposdir=@ROOT@/r\n",
                             {"r/bad.repo": "[broken\nbaseurl=file:///x\n"})
        useConfigRoot(root)
        with self.assertRaises(SystemExit):
            newYumIO()

    def writeBytes(self, root, relative, data):
        with open(os.path.join(root, relative), "wb") as f:
            f.write(data)

    def testBytesThatAreNotUtf8AreNamedByFileAndLineOutsideComments(self):
        # Latin-1, as another tool writes it: in comments alone, dnf reads on.
        root = self.makeRoot("[main]\n")
        yumconf = ("[main]\n# caf\xe9\ninstallroot=%s/root\nreposdir=%s/r\n"
                   % (self.sandbox.root, root)).encode("latin-1")
        self.writeBytes(root, "etc/yum.conf", yumconf)
        os.makedirs(os.path.join(root, "r"))
        self.writeBytes(root, "r/latin.repo", b"# caf\xe9\n[latin]\nbaseurl=file:///x\n")
        useConfigRoot(root)
        self.assertEqual(sorted(newYumIO().repos.repos), ["latin"])
        self.writeBytes(root, "etc/yum.conf", yumconf + b"exclude=caf\xe9\n")
        with self.assertRaises(SystemExit) as caught:
            newYumIO()
        self.assertIn("yum configuration file %s/etc/yum.conf: line 5 " % root,
                      str(caught.exception))


if __name__ == "__main__":
    unittest.main(verbosity=2)
