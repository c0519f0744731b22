# Failures of dnf, hawkey, libdnf, rpm and the file system leave the yum layer
# only as yum's exception types, of the type the caller declared, and with
# every kivrel credential hidden.

import logging
import os
import tempfile
import types
import unittest

import layertest
from layertest import Sandbox, capturedStderr, newYumIO, useConfigRoot

layertest.script()  # puts the script's folder, and so the yum package, on sys.path
import dnf.exceptions  # noqa: E402
import hawkey  # noqa: E402
import libdnf.error  # noqa: E402
import rpm  # noqa: E402
import yum.Errors as Errors  # noqa: E402
from yum import translate  # noqa: E402

URL = "http://h:1/kivrel/repodata/repomd.xml?user=bob&password=s3cr%2fet&path=remote"


def raised(declared, error):
    """The exception that leaves a translated block in which `error` is raised."""
    try:
        with translate.translated(declared):
            raise error
    except BaseException as caught:
        return caught
    raise AssertionError("nothing left the block")


class FailuresBecomeYumTypes(unittest.TestCase):

    def testDnfTypesMapToTheirYumCounterparts(self):
        cases = [
            (dnf.exceptions.RepoError("r"), Errors.RepoError),
            (dnf.exceptions.LockError("l"), Errors.LockError),
            (dnf.exceptions.ProcessLockError("p", 42), Errors.LockError),
            (dnf.exceptions.CompsError("c"), Errors.GroupsError),
            (dnf.exceptions.ConfigError("f"), Errors.ConfigError),
            (dnf.exceptions.DepsolveError("d"), Errors.YumBaseError),
            (dnf.exceptions.DownloadError({"": ["x"]}), Errors.YumBaseError),
        ]
        for error, expected in cases:
            with self.subTest(error=type(error).__name__):
                self.assertIs(type(raised(Errors.YumBaseError, error)), expected)

    def testTheDeclaredTypeWinsOverAnUndeclaredSpecificOne(self):
        # setupRepos declares RepoError only: a lock or comps failure there
        # must still be a RepoError, or the program would not expect it.
        for error in (dnf.exceptions.LockError("l"), dnf.exceptions.CompsError("c"),
                      dnf.exceptions.Error("e"), Errors.GroupsError("g")):
            with self.subTest(error=type(error).__name__):
                self.assertIs(type(raised(Errors.RepoError, error)), Errors.RepoError)

    def testLibraryAndSystemFailuresBecomeTheDeclaredType(self):
        for error in (hawkey.Exception("h"), hawkey.QueryException("q"),
                      libdnf.error.Error("l"), rpm.error("r"),
                      OSError(13, "Permission denied"), FileNotFoundError(2, "gone")):
            with self.subTest(error=type(error).__name__):
                self.assertIs(type(raised(Errors.YumBaseError, error)), Errors.YumBaseError)
                self.assertIs(type(raised(Errors.RepoError, error)), Errors.RepoError)

    def testTextsSurviveAndOsErrorsNameTheirCause(self):
        self.assertEqual(str(raised(Errors.YumBaseError, rpm.error("db broken"))), "db broken")
        self.assertIn("Permission denied",
                      str(raised(Errors.RepoError, OSError(13, "Permission denied"))))
        self.assertEqual(str(raised(Errors.RepoError, dnf.exceptions.Error())), "Error")

    def testLockErrorsKeepTheirPid(self):
        error = raised(Errors.YumBaseError, dnf.exceptions.ProcessLockError("held", 4242))
        self.assertEqual(error.pid, 4242)

    def testFaultsOfTheLayerItselfAreNotDisguised(self):
        self.assertIs(type(raised(Errors.YumBaseError, TypeError("bug"))), TypeError)
        self.assertIs(type(raised(Errors.YumBaseError, KeyError("bug"))), KeyError)

    def testOriginalExceptionIsNotChained(self):
        error = raised(Errors.RepoError, dnf.exceptions.RepoError(URL))
        self.assertIsNone(error.__cause__)
        self.assertTrue(error.__suppress_context__)

    def testYumTypesFormAHierarchy(self):
        for kind in (Errors.LockError, Errors.RepoError, Errors.GroupsError, Errors.ConfigError):
            self.assertTrue(issubclass(kind, Errors.YumBaseError))
        error = Errors.LockError(11, "text", 7)
        self.assertEqual((error.errno, error.msg, error.pid, error.value, str(error)),
                         (11, "text", 7, "text", "text"))


class CredentialsStayHidden(unittest.TestCase):

    def testKivrelQueriesAreHiddenInEveryForm(self):
        texts = [
            URL,
            "http://h/kivrel?user=bob&password=s3cr%2fet&path=remote/repodata/repomd.xml",
            "Status code: 403 for %s (IP: 127.0.0.1)" % URL,
            "http://h/kivrel?user=bob&password=a&b&path=remote",     # unencoded "&"
            "http://h/kivrel?user=bob&password=s3cr%2fet",            # no path at all
        ]
        for text in texts:
            with self.subTest(text=text):
                hidden = translate.hideCredentials(text)
                self.assertIn(translate.HIDDEN, hidden)
                for secret in ("s3cr", "bob", "a&b"):
                    self.assertNotIn(secret, hidden)
        self.assertEqual(translate.hideCredentials("Status code: 403 for %s (IP: 127.0.0.1)" % URL),
                         "Status code: 403 for http://h:1/kivrel/repodata/repomd.xml?"
                         "********&path=remote (IP: 127.0.0.1)")

    def testTextsWithoutKivrelSegmentsStayAsTheyAre(self):
        text = "Cannot download http://h/repo/repodata/repomd.xml?token=1: 404"
        self.assertEqual(translate.hideCredentials(text), text)

    def testKnownPasswordsAreHiddenOutsideUrlsToo(self):
        translate.rememberSecretsOf("http://h/kivrel?u=bob&p=Pa%26ss%20word&path=r")
        hidden = translate.hideCredentials("librepo said: Pa&ss word was refused; Pa%26ss%20word")
        self.assertNotIn("Pa&ss word", hidden)
        self.assertNotIn("Pa%26ss%20word", hidden)

    def testCredentialsAreReadDecoded(self):
        self.assertEqual(translate.kivrelCredentials("http://h/kivrel?u=b%20o&p=x%2fy&path=r"),
                         ("b o", "x/y"))
        self.assertEqual(translate.kivrelCredentials("http://h/kivrel?u=&p=&path=r"), ("", ""))
        self.assertIsNone(translate.kivrelCredentials("http://h/repo"))

    def testCredentialsBeyondAsciiAreReadAsTheProgramReadsThem(self):
        for stored, decoded in (("caf%c3%a9", "caf\u00e9"), ("caf%e9", "caf\u00e9"),
                                ("%d0%bf%e5%af%86", "\u043f\u5bc6"), ("%f0%9f%98%80", "\U0001f600"),
                                ("%c3%28", "\u00c3("), ("%ed%a0%80", "\u00ed\u00a0\u0080"),
                                ("%2541", "%41"), ("%c3x%a9", "\u00c3x\u00a9")):
            with self.subTest(stored=stored):
                self.assertEqual(translate.kivrelCredentials(
                    "http://h/kivrel?u=j%C3%B6rg&p=" + stored + "&path=r"), ("j\u00f6rg", decoded))

    def testPasswordsOfFilesWrittenBeforeUtf8EscapingAreHiddenToo(self):
        translate.rememberSecretsOf("http://h/kivrel?u=bob&p=Caf%e9Secret&path=r")
        hidden = translate.hideCredentials("refused: Caf\u00e9Secret")
        self.assertNotIn("Caf\u00e9Secret", hidden)

    def testTranslatedErrorsHideCredentials(self):
        error = raised(Errors.RepoError, dnf.exceptions.RepoError("Cannot fetch " + URL))
        self.assertNotIn("s3cr", str(error))
        self.assertNotIn("s3cr", error.value)

    def testDnfLogMessagesReachStderrWithoutCredentials(self):
        handler = translate.installLogHandler()
        self.assertIs(translate.installLogHandler(), handler)
        logger = logging.getLogger("dnf")
        self.assertFalse(logger.propagate)
        with capturedStderr() as stderr:
            logger.warning("Errors during downloading metadata:\n  - Status code: 403 for %s", URL)
            logger.info("below the threshold")
        self.assertIn("Status code: 403", stderr.getvalue())
        self.assertNotIn("s3cr", stderr.getvalue())
        self.assertNotIn("below the threshold", stderr.getvalue())

    def testALogSinkReceivesHiddenTexts(self):
        handler = translate.installLogHandler()
        received = []
        handler.sink = lambda level, text: received.append((level, text))
        try:
            logging.getLogger("dnf").error("refused: %s", URL)
        finally:
            handler.sink = None
        self.assertEqual(len(received), 1)
        self.assertEqual(received[0][0], logging.ERROR)
        self.assertNotIn("s3cr", received[0][1])


class KivrelHints(unittest.TestCase):

    def testOnlyARefusalByTheServerGetsTheHintOfAKivrelRepository(self):
        from yum import base
        configured = "http://h:1/kivrel?user=bob&password=s3cr%2fet&path=remote"
        hint = ("Cannot download\nThe server may have refused the kivrel user name or password"
                " of repository secure.")
        for url, failure, expected in (
                (configured, "Status code: 401 for %s (IP: 127.0.0.1)" % URL, hint),
                (configured, "Status code: 403 for %s (IP: 127.0.0.1)" % URL, hint),
                (configured, "Status code: 404 for %s (IP: 127.0.0.1)" % URL, "Cannot download"),
                (configured, "Status code: 500 for %s" % URL, "Cannot download"),
                ("http://h/repo", "Status code: 403 for http://h/repo", "Cannot download")):
            with self.subTest(url=url, failure=failure):
                repo = types.SimpleNamespace(id="secure", baseurl=[url], mirrorlist=None)
                self.assertEqual(base._repoFailure(repo, dnf.exceptions.RepoError(
                    "Cannot download"), [failure]), expected)


class RealFailuresOnTheSandbox(unittest.TestCase):

    def setUp(self):
        self.sandbox = Sandbox()
        self.roots = []

    def tearDown(self):
        for root in self.roots:
            layertest.removeTree(root)
        useConfigRoot(self.sandbox.root)

    def configRoot(self, text, repoFiles=None):
        root = layertest.newConfigRoot(self.sandbox, text, repoFiles)
        self.roots.append(root)
        useConfigRoot(root)
        return root

    def testCacheFolderThatCannotBeMadeIsARepoError(self):
        root = self.configRoot("[main]\ninstallroot=@SANDBOX@/root\ncachedir=@ROOT@/blocker/cache\n"
                               "reposdir=@ROOT@/none\n")
        with open(root + "/blocker", "w") as f:
            f.write("a file where a folder must go")
        with self.assertRaises(Errors.RepoError) as caught:
            newYumIO().setupRepos()
        self.assertIn("blocker", str(caught.exception))

    def testBrokenRepositoryMetadataIsARepoErrorNamingTheRepository(self):
        broken = tempfile.mkdtemp(dir=self.sandbox.root)
        self.roots.append(broken)
        os.makedirs(broken + "/repodata")
        with open(broken + "/repodata/repomd.xml", "w") as f:
            f.write("<not-repomd")
        self.configRoot("[main]\ninstallroot=@SANDBOX@/root\ncachedir=@ROOT@/cache\n"
                        "reposdir=@ROOT@/r\n",
                        {"r/broken.repo": "[broken]\nname=Broken\nbaseurl=file://%s\n" % broken})
        with capturedStderr():
            with self.assertRaises(Errors.RepoError) as caught:
                newYumIO().setupRepos()
        self.assertIn("broken", str(caught.exception))
        self.assertNotIn("kivrel", str(caught.exception))

    def testUnavailableRepositoryMarkedSkippableIsLeftOut(self):
        self.configRoot("[main]\ninstallroot=@SANDBOX@/root\ncachedir=@ROOT@/cache\n"
                        "reposdir=@ROOT@/r\n",
                        {"r/a.repo": "[gone]\nname=Gone\nbaseurl=file:///nonexistent/kuv\n"
                                     "skip_if_unavailable=1\n\n"
                                     "[main-copy]\nname=Main\nbaseurl=file://@SANDBOX@/repos/main\n"})
        y = newYumIO()
        with capturedStderr() as stderr:
            y.setupRepos()
        self.assertIn("gone", stderr.getvalue())
        self.assertEqual(y.repos.repos["gone"].enabled, 0)
        self.assertIn("kuv-app", {p.name for p in y.sack.query().available()})

    def testMissingRepositoryWithoutSkipIsARepoError(self):
        self.configRoot("[main]\ninstallroot=@SANDBOX@/root\ncachedir=@ROOT@/cache\n"
                        "reposdir=@ROOT@/r\n",
                        {"r/a.repo": "[gone]\nname=Gone\nbaseurl=file:///nonexistent/kuv\n"})
        with capturedStderr():
            with self.assertRaises(Errors.RepoError) as caught:
                newYumIO().setupRepos()
        self.assertIn("gone", str(caught.exception))


if __name__ == "__main__":
    unittest.main(verbosity=2)
