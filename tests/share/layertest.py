# Shared by the Python tests of the companion script and its yum layer. The
# GoogleTest runner (pythonlayer_test.cpp) starts each test script with a
# sandbox of its own and tells it where through the environment:
#   KUV_SANDBOX      the sandbox folder (scripts/make-sandbox)
#   KUV_KIVREL_PORT  the port of the kivrel server, when the runner started one
#   KUVSHARE         the share folder holding python/YumIO.py
#   HOME             the sandbox's home, whose .rpmmacros keeps rpm inside roots

import contextlib
import os
import re
import runpy
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import yumIOC  # noqa: E402  (the stand-in beside this file)

SHARE = os.environ.get("KUVSHARE") or os.path.join(os.environ["KUV_SOURCE_DIR"], "share")
SCRIPT = os.path.join(SHARE, "python", "YumIO.py")
PYTHON = "/usr/bin/python3"

# The installroot's packages as the sandbox is made, name-version-release.arch,
# sorted.
INSTALLED = ["kuv-kernel-1.0-1.noarch", "kuv-kernel-1.1-1.noarch", "kuv-lib-1.0-1.noarch",
             "kuv-local-1.0-1.noarch", "kuv-notes-1.0-1.noarch", "kuv-oldtool-1.0-1.noarch"]


class Sandbox(object):
    """The paths and test data of the sandbox the runner made."""

    def __init__(self, root=None):
        self.root = root or os.environ["KUV_SANDBOX"]
        self.yumconf = os.path.join(self.root, "etc", "yum.conf")
        self.reposd = os.path.join(self.root, "etc", "yum.repos.d")
        self.kivrelRepoFile = os.path.join(self.reposd, "kuv-remote.repo")
        self.installroot = os.path.join(self.root, "root")
        self.cachedir = os.path.join(self.root, "cache")
        self.repositories = os.path.join(self.root, "repos")
        self.pidfile = os.path.join(self.installroot, "var", "run", "yum.pid")
        with open(os.path.join(self.root, "kivrel-port")) as f:
            self.port = int(f.read().strip())
        with open(os.path.join(self.root, "kivrel-credentials"), encoding="utf-8") as f:
            self.user, self.password = f.read().split("\n")[:2]
        self.serverLog = os.path.join(self.root, "kivrel-server.log")

    def serverRunning(self):
        return os.environ.get("KUV_KIVREL_PORT") == str(self.port)

    def fillCredentials(self, user=None, password=None):
        """Writes credentials into the kivrel URL, encoded as the program does."""
        user = self.user if user is None else user
        password = self.password if password is None else password
        with open(self.kivrelRepoFile) as f:
            text = f.read()
        text, count = re.subn(
            r"/kivrel\?([^=&\s]*)=[^&\s]*&([^=&\s]*)=[^&\s]*&path=",
            lambda m: "/kivrel?%s=%s&%s=%s&path=" % (m.group(1), kivrelEncode(user),
                                                      m.group(2), kivrelEncode(password)),
            text)
        assert count == 1, "no kivrel segment in " + self.kivrelRepoFile
        with open(self.kivrelRepoFile, "w") as f:
            f.write(text)

    def serverLogLines(self):
        try:
            with open(self.serverLog) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []


def kivrelEncode(text):
    """The program's encoding of a credential: reserved and control
    characters escaped, everything beyond ASCII as its escaped UTF-8 bytes."""
    special = b"$&+,/:;=?@ \"<>#%{}|\\^~[]"
    return "".join("%%%02x" % b if b < 0x20 or b >= 0x7f or b in special else chr(b)
                   for b in text.encode("utf-8"))


def useConfigRoot(root, yumconf=None):
    """Sets what the program would set on yumIOC for a configuration root."""
    yumIOC.configroot = root
    if yumconf is None:
        first = root + "/etc/yum/yum.conf"
        yumconf = first if os.path.exists(first) else root + "/etc/yum.conf"
    yumIOC.yumconf = yumconf


_script = None


def script():
    """The companion script's namespace, run once per process as the program
    does; the script finds its yum package through KUVSHARE."""
    global _script
    if _script is None:
        _script = runpy.run_path(SCRIPT, run_name="__kuv_companion__")
    return _script


def newYumIO():
    return script()["YumIO"]()


def loaded(*changes):
    """A script object with its repositories and transaction set up, the
    kivrel repository left out; `changes` are (method, repository id) pairs
    for the repository table."""
    y = newYumIO()
    y.repos.disableRepo("kuv-remote")
    for method, repoid in changes:
        getattr(y.repos, method)(repoid)
    y.setupRepos()
    y.setupTs()
    return y


def appliedInWorker(y, installs=(), updates=(), removes=()):
    """Runs the script object's apply in a worker thread, as the program
    does, then its flush; the exception apply raised, or None. An apply
    still running after two minutes is an AssertionError."""
    raised = []

    def run():
        try:
            y.apply(list(installs), [list(pair) for pair in updates], list(removes))
        except BaseException as error:
            raised.append(error)

    worker = threading.Thread(target=run)
    worker.start()
    worker.join(120)
    if worker.is_alive():
        raise AssertionError("apply did not return within two minutes")
    y.flush()
    return raised[0] if raised else None


def quietCalls():
    """Empties the stand-in's record of the program's callbacks and keeps
    what the script writes out of the test's output; setting yumIOC.echo
    (or yumIOC.reset()) shows it again."""
    yumIOC.reset()
    yumIOC.echo = False


class OnSandbox(unittest.TestCase):
    """A test on the runner's sandbox as the configuration root. With
    RESET_CALLS the stand-in's record of the program's callbacks starts
    empty."""

    RESET_CALLS = False

    def setUp(self):
        self.sandbox = Sandbox()
        useConfigRoot(self.sandbox.root)
        if self.RESET_CALLS:
            yumIOC.reset()


@contextlib.contextmanager
def preserved(*paths):
    """Puts files back as they were when the block ends."""
    saved = {}
    for path in paths:
        with open(path, "rb") as f:
            saved[path] = f.read()
    try:
        yield
    finally:
        for path, data in saved.items():
            with open(path, "wb") as f:
                f.write(data)


@contextlib.contextmanager
def capturedStderr():
    """Collects what is written to sys.stderr inside the block."""
    import io
    old = sys.stderr
    sys.stderr = io.StringIO()
    try:
        yield sys.stderr
    finally:
        sys.stderr = old


def runChild(code, timeout=60):
    """Runs Python code in a second process with the same sandbox; returns
    (exit code, output)."""
    env = dict(os.environ)
    env["PYTHONPATH"] = HERE
    result = subprocess.run([PYTHON, "-c", "import layertest\nlayertest.useConfigRoot(%r)\n%s"
                             % (yumIOC.configroot, code)],
                            env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=timeout)
    return result.returncode, result.stdout.decode("utf-8", "replace")


def filesHolding(folder, needle, skip=()):
    """The files below `folder` whose bytes contain `needle`."""
    found = []
    data = needle.encode("utf-8")
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            if path in skip or os.path.islink(path):
                continue
            try:
                with open(path, "rb") as f:
                    if data in f.read():
                        found.append(path)
            except OSError:
                pass
    return found


def hostState():
    """What the host must keep as it is: rpm's databases and dnf's caches."""
    state = {}
    for path in ("/var/lib/rpm", "/var/cache/dnf", "/var/cache/yum", "/var/lib/dnf",
                 "/root/.rpmdb", os.path.expanduser("~/.rpmdb"), "/var/run/yum.pid"):
        if os.path.isdir(path):
            entries = []
            for base, _, names in os.walk(path):
                for name in names:
                    full = os.path.join(base, name)
                    try:
                        entries.append((full, os.stat(full).st_mtime_ns))
                    except OSError:
                        pass
            state[path] = sorted(entries)
        else:
            state[path] = os.path.exists(path)
    return state


def newConfigRoot(sandbox, yumconfText, repoFiles=None, at="etc/yum.conf"):
    """A second configuration root inside the sandbox with its own yum.conf
    and repository files; the sandbox's installroot and repositories stay."""
    root = tempfile.mkdtemp(prefix="configroot.", dir=sandbox.root)
    os.makedirs(os.path.join(root, os.path.dirname(at)), exist_ok=True)
    with open(os.path.join(root, at), "w") as f:
        f.write(yumconfText.replace("@ROOT@", root).replace("@SANDBOX@", sandbox.root))
    for relative, text in (repoFiles or {}).items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text.replace("@ROOT@", root).replace("@SANDBOX@", sandbox.root))
    return root


def removeTree(path):
    shutil.rmtree(path, ignore_errors=True)


def rpmEnvironment():
    """The environment for rpm run against the sandbox: HOME is the
    sandbox's, whose macros keep the database inside the root."""
    env = dict(os.environ)
    env["HOME"] = os.path.join(os.environ["KUV_SANDBOX"], "home")
    return env


def installedInRoot(root):
    """name-version-release.arch of every package in an installroot's
    database, sorted; rpm always runs with --root there."""
    out = subprocess.run(["rpm", "--root", root, "-qa", "--qf", "%{NVRA}\\n"],
                         env=rpmEnvironment(), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         check=True)
    return sorted(out.stdout.decode().split())


class RepositoryActs(object):
    """How the program turns the collection callbacks into acts of the
    repository phase: five acts per repository, consecutive, each started
    act with its number, its kind (0 mirror list, 1 repomd, 2 download,
    3 convert, 4 read) and the repository text shown with it."""

    KIVREL = re.compile(r"kivrel?.*=.*&.*=.*&path=")

    def __init__(self):
        self.act = 0
        self.tail = 0
        self.repo = ""
        self.started = []
        self.values = 0

    def _start(self, repo, kind, tail):
        self.act = (self.act // 5) * 5 + kind + 1
        self.tail = tail
        self.repo = repo
        self.started.append((self.act, kind, repo))

    def feed(self, calls):
        for name, args in calls:
            if name == "collectProgress":
                current, total, repo = args
                repo = repo or ""
                if self.act > 0 and self.tail == total and repo == self.repo:
                    self.values += 1
                elif current == -1 and total == -1:
                    self._start(repo, 4, 1)
                elif repo == "MD Read":
                    self._start("", 3, total)
                else:
                    self._start(repo, 3, total)
            elif name == "collectGrabMeterStart":
                location, size = args[0], args[3]
                last = location.rfind("/")
                after = location[last + 1:]
                kind = 0 if after.startswith("metalink") else 1 if after.startswith("repomd") else 2
                previous = location.rfind("/", 0, last) if last > 0 else -1
                text = location[previous + 1:last] if previous >= 0 else location
                self._start(self.KIVREL.sub("", text), kind, 1 if size is None else size)
            elif name == "collectGrabMeterUpdate":
                self.values += 1
        return self.started
