# The companion script of KUV. The program runs it at start-up, creates one
# YumIO object and calls its methods for every yum operation; the script calls
# back through the module yumIOC, which the program registers before running
# it. The yum package beside this file is a yum compatible layer over dnf and
# rpm.
#
# yumIOC tells where yum's files are: `configroot`, the folder that stands
# for "/" ("" for an installed system), and `yumconf`, the yum.conf to read.
# The same yum.conf as the program's is read, never dnf's own configuration.
#
# Every callback is looked up when it is made, and one the module lacks is
# skipped: tools that run the script with a bare stand-in of yumIOC get the
# same objects without the reports. Texts reach the callbacks as proper
# Unicode: bytes that are not UTF-8 (rpm hands them on as surrogate escapes)
# are read as Latin-1.

import io
import os
import sys
import traceback


def _ownFolder():
    """The folder of this script, which holds the yum package.

    The program sets __file__ to the script's full path before running it
    (only the code's own name is the bare "YumIO.py"). Tried in turn: the
    python folder of the share directory KUVSHARE names, the folder of
    __file__ when it is a full path, the installed folder."""
    candidates = []
    share = os.environ.get("KUVSHARE")
    if share:
        candidates.append(os.path.join(share, "python"))
    here = globals().get("__file__")
    if here and os.path.isabs(here):
        candidates.append(os.path.dirname(here))
    candidates.append("/usr/share/kuv/python")
    for folder in candidates:
        if os.path.isfile(os.path.join(folder, "yum", "__init__.py")):
            return folder
    return None


_folder = _ownFolder()
if _folder is not None and _folder not in sys.path:
    sys.path.insert(0, _folder)

import rpm  # noqa: E402,F401  (part of the script's interface beside yum)
import yum  # noqa: E402
import yum.Errors  # noqa: E402
import yum.config  # noqa: E402
import yum.packages  # noqa: E402
import yumIOC  # noqa: E402
from yum.translate import hideCredentials, textOf  # noqa: E402

# yum's detail levels of the log lines the script writes.
_PHASE_LEVEL = 2


def _configuration():
    """(configuration root, yum.conf path) as the program decided them."""
    root = getattr(yumIOC, "configroot", "") or ""
    path = getattr(yumIOC, "yumconf", "") or yum.config.yumConfPath(root.rstrip("/"))
    return root, path


def _call(name, *args):
    """Calls the program's callback `name`; None when yumIOC lacks it."""
    function = getattr(yumIOC, name, None)
    if function is None:
        return None
    return function(*args)


def _text(text):
    """`text` as a text every callback accepts: surrogate escapes of single
    bytes become the Latin-1 characters of those bytes, other lone
    surrogates and NULs the replacement character."""
    if text is None:
        return ""
    if not isinstance(text, str):
        text = str(text)
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        text = "".join(chr(ord(c) - 0xDC00) if 0xDC80 <= ord(c) <= 0xDCFF
                       else ("\ufffd" if 0xD800 <= ord(c) <= 0xDFFF else c) for c in text)
    return text.replace("\0", "\ufffd")


class _ProgramStream(io.TextIOBase):
    """sys.stdout or sys.stderr, writing through the program's callback.
    fileno() names the real descriptor, which rpm writes its log to."""

    def __init__(self, callback, fd):
        io.TextIOBase.__init__(self)
        self._callback = callback
        self._fd = fd

    @property
    def encoding(self):
        return "utf-8"

    @property
    def errors(self):
        return "surrogateescape"

    def writable(self):
        return True

    def isatty(self):
        return False

    def fileno(self):
        return self._fd

    def write(self, text):
        if not isinstance(text, str):
            raise TypeError("write() argument must be str, not %s" % type(text).__name__)
        if text:
            _call(self._callback, _text(text))
        return len(text)

    def flush(self):
        pass


if hasattr(yumIOC, "stdoutWrite") and hasattr(yumIOC, "stderrWrite"):
    sys.stdout = _ProgramStream("stdoutWrite", 1)
    sys.stderr = _ProgramStream("stderrWrite", 2)


class _CollectMeter(object):
    """Download meter while repositories are read: location, file name,
    repository id and size to collectGrabMeterStart."""

    def start(self, filename=None, url=None, basename=None, size=None, now=None, text=None):
        _call("collectGrabMeterStart", _text(url or filename or basename), _text(basename),
              _text(text), None if size is None else int(size), None)

    def update(self, amount_read, now=None):
        _call("collectGrabMeterUpdate", int(amount_read or 0))

    def end(self, amount_read, now=None):
        _call("collectGrabMeterEnd", int(amount_read or 0))


class _CollectCallback(object):
    """Conversion and reading of repository metadata to collectProgress."""

    def progressbar(self, current, total, name=None):
        _call("collectProgress", int(current), int(total), None if name is None else _text(name))


class _ApplyMeter(object):
    """Download meter of the packages of a transaction: location (whose
    last part is the package file's name), file name, text and size to
    applyGrabMeterStart, with no progress text (there are no delta
    rebuilds)."""

    def start(self, filename=None, url=None, basename=None, size=None, now=None, text=None):
        _call("applyGrabMeterStart", _text(url or filename or basename), _text(basename),
              _text(text), int(size or 0), None)

    def update(self, amount_read, now=None):
        _call("applyGrabMeterUpdate", int(amount_read or 0))

    def end(self, amount_read, now=None):
        _call("applyGrabMeterEnd", int(amount_read or 0))


class _DepSolveCallback(object):
    """One dependency check pass (dnf makes one) to dsTsCheck."""

    def tscheck(self):
        _call("dsTsCheck")

    def restartLoop(self):
        _call("dsRestartLoop")


class _TransactionDisplay(object):
    """The rpm transaction to tsInitCallback and tsEvent; scriptlet output
    to standard output, so that it reaches the log."""

    def tsInit(self, count):
        _call("tsInitCallback", int(count))

    def event(self, package, action, amount, total, current, count):
        _call("tsEvent", package, int(action), int(amount), int(total), int(current), int(count))

    def scriptout(self, package, msgs):
        if msgs:
            sys.stdout.write(msgs if msgs.endswith("\n") else msgs + "\n")


def _updatePair(pair):
    """(new, installed) of one update; YumBaseError for anything else."""
    try:
        new, old = pair
    except (TypeError, ValueError):
        raise yum.Errors.YumBaseError("An update is a pair of the new and the installed"
                                      " package, not %r" % (pair,)) from None
    return new, old


class YumIO(yum.YumBase):
    """The object the program drives. A fresh one replaces it before every
    new collection; yum's lock belongs to the process and survives that."""

    def __init__(self):
        yum.YumBase.__init__(self)
        root, path = _configuration()
        try:
            self.doConfigSetup(path, root)
        except yum.Errors.YumBaseError as error:
            # The program expects a failed start as SystemExit.
            raise SystemExit("%s" % error) from None
        self.repos.setProgressBar(_CollectMeter())
        self.repos.callback = _CollectCallback()
        self.dsCallback = _DepSolveCallback()

    # Log lines of the layer ---------------------------------------------------

    def logInfo(self, level, text):
        if hasattr(yumIOC, "log"):
            yumIOC.log(int(level), _text(text))
        else:
            yum.YumBase.logInfo(self, level, text)

    def logError(self, level, text):
        if hasattr(yumIOC, "errorlog"):
            yumIOC.errorlog(int(level), _text(text))
        else:
            yum.YumBase.logError(self, level, text)

    # Lock -------------------------------------------------------------------------

    def lock(self):
        self.doLock()

    def unlock(self):
        self.doUnlock()

    # Collection -------------------------------------------------------------------

    def setupRepos(self):
        self.doRepoSetup()

    def setupTs(self):
        self.doTsSetup()

    def collectUpdates(self):
        """The newest update of every installed package that has one."""
        return self.doPackageLists("updates").updates

    def collectAll(self):
        """An object whose `installed` and `available` list the packages."""
        lists = self.doPackageLists("installed")
        lists.available = self.doPackageLists("available").available
        return lists

    def collectRows(self, packages):
        """Per package of the list `packages`, what the program's table keeps
        of it, read in one pass: (package, name, version text, repository,
        architecture, size, summary, build time, rpm group). A package object
        of another kind than the layer's comes back alone, and the program
        reads its fields one by one."""
        available = yum.packages.YumAvailablePackage
        installed = yum.packages.YumInstalledPackage
        text = yum.packages.dnfText
        rows = []
        add = rows.append
        # The fields the objects do not keep come straight from dnf's
        # packages, past the objects' properties; the texts as the
        # properties give them.
        for po in packages:
            kind = type(po)
            if kind is available:
                pkg = po.dnf
                add((po, po.name, po.printVer(), po.repoid, po.arch, pkg.downloadsize,
                     text(pkg.summary), pkg.buildtime, text(pkg.group)))
            elif kind is installed:
                pkg = po.dnf
                add((po, po.name, po.printVer(), po.repoid, po.arch, pkg.installsize,
                     text(pkg.summary), pkg.buildtime, text(pkg.group)))
            else:
                add(po)
        return rows

    def setupTsGroup(self):
        self.doGroupSetup()

    def collectGroupInfo(self):
        """The group objects (yum's shape from 2.5 on)."""
        return list(self.comps.groups) if self.comps is not None else []

    def collectDone(self):
        pass

    def collectOtherData(self):
        self.doOtherDataSetup()

    def collectFileLists(self):
        self.doFileListsSetup()

    # Search ---------------------------------------------------------------------

    _SEARCH_SIMPLE = ("description", "group", "vendor", "relativepath", "sourcerpm", "license",
                      "packager", "url")

    def searchFields(self, po, part):
        """What a Search reads of an available package of the layer, in one
        call instead of one per field, each value as the package's own call
        gives it: part 0 the simple fields of _SEARCH_SIMPLE, part 1 the
        provides, requires, conflicts and obsoletes, the file list and the
        change log. None for a package of another kind, and where a call
        fails: the program then reads field by field, and reports there."""
        if type(po) is not yum.packages.YumAvailablePackage:
            return None
        try:
            if part == 0:
                simple = po.returnSimple
                return tuple(simple(name) for name in self._SEARCH_SIMPLE)
            prco = po.returnPrco
            return (prco("provides"), prco("requires"), prco("conflicts"), prco("obsoletes"),
                    po.returnFileEntries("file"), po.returnChangelog())
        except Exception:
            return None

    # Applying ---------------------------------------------------------------------

    def apply(self, installs, updates, removes):
        """Marks the packages, resolves, lets the program list the
        transaction and ask the user, and only on the user's yes downloads
        and runs it. Every failure is a yum.Errors type; a transaction that
        the user declined, or that has nothing to do, returns normally."""
        self.flush()
        for po in installs:
            self.install(po)
        for pair in updates:
            self.update(*_updatePair(pair))
        for po in removes:
            self.remove(po)
        self.logInfo(_PHASE_LEVEL, "Resolving dependencies")
        if not self.buildTransaction():
            self.logInfo(_PHASE_LEVEL, "Nothing to do")
            return
        _call("listTransaction", self)
        downloads = self.packagesToDownload()
        _call("reportDownloadSize", downloads)
        if _call("userconfirm") != 1:
            return
        # From here on the program takes any exception that is not one of
        # yum's for a finished transaction: every failure leaves as a yum
        # error, with the details in the log.
        try:
            if downloads:
                self.logInfo(_PHASE_LEVEL, "Downloading packages")
                self.repos.setProgressBar(_ApplyMeter())
                try:
                    self.downloadPkgs(downloads)
                finally:
                    self.repos.setProgressBar(_CollectMeter())
            # After a failed run the layer reads its packages anew; the old
            # ones must not be held here then.
            downloads = None
            self.logInfo(_PHASE_LEVEL, "Running transaction")
            self.runTransaction(_TransactionDisplay())
        except yum.Errors.YumBaseError:
            raise
        except Exception as error:
            self.logError(1, hideCredentials(traceback.format_exc()))
            raise yum.Errors.YumBaseError("The transaction failed: %s" % textOf(error)) from None
        # The packages have changed: a failing report of what was done must
        # not make the program believe they have not.
        try:
            _call("postTransactionOutput", self)
        except Exception:
            self.logError(1, hideCredentials(traceback.format_exc()))

    def usesPresto(self):
        # Delta rpms are switched off: applydeltarpm cannot rebuild here.
        return False


def usesSqlite():
    # Repository metadata is converted into a cache of its own before it is
    # read (dnf's solv files), as yum converted it into sqlite.
    return True
