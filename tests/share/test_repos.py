# setupRepos and setupTs through real dnf on the sandbox: file repositories,
# the enable flags, and the kivrel repository over HTTP with and without the
# right credentials. The runner starts the kivrel server for this script.

import os
import socket
import unittest

import layertest
from layertest import (INSTALLED, OnSandbox, capturedStderr, filesHolding, hostState,
                       kivrelEncode, loaded, newYumIO, preserved, useConfigRoot)

layertest.script()  # puts the script's folder, and so the yum package, on sys.path
import yum.Errors  # noqa: E402


def names(query):
    return sorted(str(p) for p in query)


class FileRepositories(OnSandbox):

    def testInstalledAndAvailablePackagesOfEnabledRepositories(self):
        y = loaded()
        self.assertEqual(names(y.sack.query().installed()), INSTALLED)
        available = names(y.sack.query().available())
        self.assertIn("kuv-lib-1.1-1.noarch", available)
        self.assertIn("kuv-suite-1.0-1.noarch", available)
        self.assertNotIn("kuv-extra-1.0-1.noarch", available)
        self.assertNotIn("kuv-remote-1.0-1.noarch", available)
        self.assertEqual({p.reponame for p in y.sack.query().available()}, {"kuv-main"})

    def testEnablingTheDisabledRepositoryBringsItsPackage(self):
        y = loaded(("enableRepo", "kuv-extra"))
        self.assertIn("kuv-extra-1.0-1.noarch", names(y.sack.query().available()))

    def testDisablingEveryRepositoryLeavesTheInstalledPackages(self):
        y = loaded(("disableRepo", "*"))
        self.assertEqual(names(y.sack.query().available()), [])
        self.assertEqual(names(y.sack.query().installed()), INSTALLED)

    def testOnlyTheSandboxIsWrittenTo(self):
        before = hostState()
        loaded(("enableRepo", "kuv-extra")).flush()
        self.assertEqual(hostState(), before)
        self.assertFalse(os.path.exists(os.path.join(self.sandbox.root, "home", ".rpmdb")))
        self.assertTrue(os.listdir(self.sandbox.cachedir))

    def testFlushKeepsTheObjectUsable(self):
        y = loaded()
        y.flush()
        y.flush()
        self.assertEqual(names(y.sack.query().installed()), INSTALLED)


class KivrelRepository(OnSandbox):

    def setUp(self):
        super().setUp()
        self.guard = preserved(self.sandbox.kivrelRepoFile)
        self.guard.__enter__()

    def tearDown(self):
        self.guard.__exit__(None, None, None)

    def setUpRemoteOnly(self):
        y = newYumIO()
        y.repos.disableRepo("kuv-main")
        y.setupRepos()
        return y

    def assertNoSecret(self, text, secret):
        for form in (secret, kivrelEncode(secret)):
            self.assertNotIn(form, text)

    def testCredentialsInTheUrlOpenTheRepository(self):
        self.sandbox.fillCredentials()
        y = self.setUpRemoteOnly()
        available = y.sack.query().available()
        self.assertEqual(names(available), ["kuv-remote-1.0-1.noarch", "kuv-verbose-1.0-1.noarch"])
        self.assertEqual(available[0].reponame, "kuv-remote")
        self.assertIn("GET /kivrel/repodata/repomd.xml 200", self.sandbox.serverLogLines())

    def testMissingCredentialsAreAClearRepoError(self):
        with self.assertRaises(yum.Errors.RepoError) as caught:
            self.setUpRemoteOnly()
        text = str(caught.exception)
        self.assertIn("kuv-remote", text)
        self.assertIn("needs a kivrel user name and password", text)
        self.assertEqual(caught.exception.value, text)
        self.assertIn("GET /kivrel/repodata/repomd.xml 403", self.sandbox.serverLogLines())

    def testWrongPasswordIsARepoErrorThatNeverShowsIt(self):
        wrong = "wrong&secret/" + self.sandbox.password[-6:]
        self.sandbox.fillCredentials(password=wrong)
        with capturedStderr() as stderr:
            with self.assertRaises(yum.Errors.RepoError) as caught:
                self.setUpRemoteOnly()
        text = str(caught.exception)
        self.assertIn("may have refused the kivrel user name or password", text)
        self.assertNoSecret(text, wrong)
        # dnf's own warning quotes the URL it was refused: it arrives with the
        # credentials hidden.
        self.assertIn("403", stderr.getvalue())
        self.assertIn("********", stderr.getvalue())
        self.assertNoSecret(stderr.getvalue(), wrong)
        self.assertIsNone(caught.exception.__cause__)
        self.assertTrue(caught.exception.__suppress_context__)

    def failureWithoutHint(self):
        """Checks the RepoError: it names the repository, claims no refusal.
        Gives dnf's warnings."""
        with capturedStderr() as stderr:
            with self.assertRaises(yum.Errors.RepoError) as caught:
                self.setUpRemoteOnly()
        self.assertIn("kuv-remote", str(caught.exception))
        self.assertNotIn("may have refused", str(caught.exception))
        return stderr.getvalue()

    def testServerOutOfReachIsNoRefusal(self):
        self.sandbox.fillCredentials()
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            free = ":%d/" % probe.getsockname()[1]
        with open(self.sandbox.kivrelRepoFile) as f:
            text = f.read().replace(":%d/" % self.sandbox.port, free)
        with open(self.sandbox.kivrelRepoFile, "w") as f:
            f.write(text)
        self.assertIn("connect", self.failureWithoutHint())

    def testUnreadableMetadataFromTheServerIsNoRefusal(self):
        # The server lets the right credentials in and sends what it has; an
        # empty cache makes dnf fetch it.
        self.sandbox.fillCredentials()
        layertest.removeTree(self.sandbox.cachedir)
        repomd = os.path.join(self.sandbox.repositories, "remote", "repodata", "repomd.xml")
        with preserved(repomd):
            with open(repomd, "w") as f:
                f.write("<not-repomd")
            self.failureWithoutHint()
        self.assertIn("GET /kivrel/repodata/repomd.xml 200", self.sandbox.serverLogLines())

    def testARefusedObjectIsReplacedByOneWithTheRightCredentials(self):
        with self.assertRaises(yum.Errors.RepoError):
            self.setUpRemoteOnly()
        self.sandbox.fillCredentials()
        y = self.setUpRemoteOnly()
        self.assertEqual(names(y.sack.query().available()),
                         ["kuv-remote-1.0-1.noarch", "kuv-verbose-1.0-1.noarch"])

    def testNoPasswordIsWrittenAnywhereButTheRepositoryFile(self):
        self.sandbox.fillCredentials()
        with capturedStderr() as stderr:
            y = newYumIO()
            y.setupRepos()
            y.setupTs()
            y.flush()
            del y
        skip = {os.path.join(self.sandbox.root, "kivrel-credentials"), self.sandbox.kivrelRepoFile}
        for form in (self.sandbox.password, kivrelEncode(self.sandbox.password)):
            self.assertEqual(filesHolding(self.sandbox.root, form, skip), [])
            self.assertNotIn(form, stderr.getvalue())


class TransactionSet(OnSandbox):

    def testSandboxDatabaseOpensBeforeAndAfterTheRepositories(self):
        y = newYumIO()
        y.setupTs()
        self.assertEqual(len(list(y.dnfBase._ts.dbMatch())), len(INSTALLED))
        y.repos.disableRepo("*")
        y.setupRepos()
        y.setupTs()
        self.assertEqual(len(list(y.dnfBase._ts.dbMatch())), len(INSTALLED))

    def testUnreadableRpmDatabaseFailsWithTheDeclaredTypes(self):
        # A configuration of its own whose installroot holds a broken database.
        root = layertest.newConfigRoot(
            self.sandbox, "[main]\ninstallroot=@ROOT@/inst\ncachedir=@ROOT@/cache\n"
                          "reposdir=@ROOT@/none\n")
        try:
            os.makedirs(root + "/inst/var/lib/rpm")
            with open(root + "/inst/var/lib/rpm/rpmdb.sqlite", "wb") as f:
                f.write(b"this is not a database" * 100)
            useConfigRoot(root)
            with self.assertRaises(yum.Errors.YumBaseError) as caught:
                newYumIO().setupTs()
            self.assertIn("rpm database", str(caught.exception))
            # Loading the installed packages is part of setting up the
            # repositories, whose one declared failure is RepoError.
            with self.assertRaises(yum.Errors.RepoError):
                newYumIO().setupRepos()
        finally:
            layertest.removeTree(root)


if __name__ == "__main__":
    unittest.main(verbosity=2)
