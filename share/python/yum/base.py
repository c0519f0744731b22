# YumBase: yum's central object, over one dnf.Base.
#
# The order of use is yum's: doConfigSetup (yum.conf and the repository
# files), then doRepoSetup (repository metadata and the installed packages),
# then doTsSetup (the rpm transaction set). Package lists, groups, details
# and transactions build on the sack that doRepoSetup fills. doLock and
# doUnlock act on the lock of the process (yum.lock), whatever object calls
# them.
#
# Progress and log lines leave through hooks that a caller may set, as in
# yum: the repositories' download meter and metadata callback
# (repos.setProgressBar, repos.callback), the dependency-solving callback
# (dsCallback), a transaction display (runTransaction), and the log methods
# logInfo and logError. Repository URLs never reach them: a kivrel URL
# carries its credentials.
#
# Every failure of dnf, rpm or the file system leaves these methods as one
# of yum's exception types (yum.translate).

import collections
import functools
import logging
import operator
import os
import re
import sys
import weakref

import dnf
import dnf.callback
import dnf.exceptions
import dnf.selector
import dnf.transaction
import dnf.yum.rpmtrans
import hawkey
import libdnf.transaction

from yum import Errors
from yum import cleaning
from yum import config
from yum import dnfprivate
from yum import lock
from yum import mdparse
from yum import translate
from yum.comps import Comps, Group
from yum.packages import (INSTALLED_REPO, YumAvailablePackage, YumInstalledPackage,  # noqa: F401
                          dayToTime)
from yum.repos import RepoStorage
from yum.transactioninfo import (TS_ERASE, TS_INSTALL, TS_OBSOLETED, TS_OBSOLETING, TS_UPDATE,
                                 TS_UPDATED, TransactionData, TransactionMember)
from yum.translate import translated

# The size of the pieces in which scriptlet output goes to the display.
_SCRIPTOUT_PIECE = 1 << 20

logger = logging.getLogger("dnf")

# The detail level of the dependency lines (yum's verbose INFO_2).
INFO_2 = 3

_A = libdnf.transaction
# dnf's transaction actions and yum's state of the member for each. The old
# versions of updates and reinstalls are members yum did not list.
_MEMBER_STATES = {
    _A.TransactionItemAction_INSTALL: TS_INSTALL,
    _A.TransactionItemAction_REINSTALL: TS_INSTALL,
    _A.TransactionItemAction_OBSOLETE: TS_OBSOLETING,
    _A.TransactionItemAction_UPGRADE: TS_UPDATE,
    _A.TransactionItemAction_DOWNGRADE: TS_UPDATE,
    _A.TransactionItemAction_REMOVE: TS_ERASE,
    _A.TransactionItemAction_OBSOLETED: TS_OBSOLETED,
    _A.TransactionItemAction_UPGRADED: TS_UPDATED,
    _A.TransactionItemAction_DOWNGRADED: TS_UPDATED,
    _A.TransactionItemAction_REINSTALLED: TS_UPDATED,
}
_FORWARD = (TS_INSTALL, TS_OBSOLETING, TS_UPDATE)

# What the caller asked for a package; also the verb of a refusal's text.
_INSTALL = "install"
_UPDATE = "update"
_REMOVE = "remove"


def _packageText(pkg):
    """A package as the program's transaction listing shows it: name,
    [epoch:]version-release and the architecture in parentheses."""
    epoch = "%s:" % pkg.epoch if pkg.epoch else ""
    return "%s %s%s-%s (%s)" % (pkg.name, epoch, pkg.version, pkg.release, pkg.arch)


def _mentions(line, pkg):
    """Whether one of libsolv's problem lines names the package: its
    name-[epoch:]version-release.arch as a word of its own, so that foo's
    text is not found inside libfoo's."""
    text = str(pkg)
    start = line.find(text)
    while start >= 0:
        end = start + len(text)
        if (start == 0 or line[start - 1].isspace()) and (end == len(line) or line[end] in " \t,"):
            return True
        start = line.find(text, start + 1)
    return False


# dnf's name of the installed packages' repository.
_SYSTEM_REPO = "@System"


# (name, architecture, repository) of a package object, read in C.
_tableOrder = operator.attrgetter("name", "arch", "repoid")
_nameOf = operator.attrgetter("name")


# How librepo tells of a server that answered with a refusal: "Status code:
# 403 for URL (IP: ...)", in each failed download and sometimes in the final
# error as well.
_REFUSED = re.compile(r"\bStatus code: 40[13]\b")


def _repoFailure(repo, error, failures=()):
    """The text of a repository that could not be loaded, with a hint for
    kivrel repositories whose credentials are missing or were refused.
    `failures` are librepo's texts of the downloads that failed; a refusal
    is told only when the server answered with one (HTTP 401 or 403), not
    when it could not be reached or sent something unreadable."""
    text = translate.textOf(error)
    for url in list(repo.baseurl) + [repo.mirrorlist or ""]:
        credentials = translate.kivrelCredentials(url)
        if credentials is None:
            continue
        if not credentials[0] or not credentials[1]:
            return text + "\nRepository %s needs a kivrel user name and password." % repo.id
        if any(_REFUSED.search(str(message)) for message in list(failures) + [str(error)]):
            return (text + "\nThe server may have refused the kivrel user name or password"
                    " of repository %s." % repo.id)
        return text
    return text


def _loadNotingFailures(repo, failures):
    """repo.load(), appending librepo's text of every failed download to
    `failures`: dnf keeps them only until load() returns and puts none into
    its error."""
    # dnf's metadata payload receives librepo's failures; without it (another
    # dnf) nothing is noted, and no refusal is claimed.
    payload, original = dnfprivate.mirrorFailurePayload(repo)
    if original is None:
        repo.load()
        return

    def noting(cbdata, msg, url, metadata):
        failures.append(msg)
        return original(cbdata, msg, url, metadata)

    dnfprivate.setMirrorFailure(payload, noting)
    try:
        repo.load()
    finally:
        # Back to the class's method; no cycle through a bound method stays.
        dnfprivate.setMirrorFailure(payload, None)


class _MetadataProgress(dnf.callback.DownloadProgress):
    """dnf's progress of one repository's metadata download, turned into
    yum's meter calls. librepo fetches a repository in stages, each counted
    from 0: the metalink or mirror list (for a repository that has one),
    repomd.xml, then the metadata files. The last stage's total grows as
    files are added: all at once when they are fetched side by side, one by
    one, each after the ones before it are complete, when they are fetched in
    turn. The meter starts for each stage and for each file added once the
    earlier ones are complete, as yum's did for each file; the first at once,
    on a scale of its own since its size is not known yet, the others when
    their first bytes arrive, with their size. Updates are the share of the
    scale that has arrived, only ever growing. Locations are made of the
    repository id and a file name, never of the repository's URL."""

    UNKNOWN_SCALE = 1000

    def __init__(self, repo, meter):
        self.repo = repo
        self.meter = meter
        self.stages = ((["metalink.xml"] if repo.metalink or repo.mirrorlist else [])
                       + ["repomd.xml", "metadata"])
        self.stage = None

    def _open(self, scale):
        self.scale = scale
        self.shown = 0
        self.opened = True
        basename = self.stages[self.stage]
        self.meter.start(filename=None, url="/%s/%s" % (self.repo.id, basename),
                         basename=basename, size=scale, text=self.repo.id)

    def start(self, total_files, total_size, total_drpms=0):
        self.stage = 0
        # The stage's bytes that earlier meters showed, and librepo's last
        # report.
        self.base = 0
        self.total = 0
        self.done = 0
        self._open(self.UNKNOWN_SCALE)

    def progress(self, payload, done):
        total = int(payload.download_size or 0)
        done = int(done or 0)
        # librepo reports nothing but zeros between the stages.
        if self.stage is None or total <= 0:
            return
        if self.total > 0 and self.done >= self.total and (done < self.done or total > self.total):
            # All that was asked for has arrived and librepo goes on: with
            # the next stage, counted afresh, or with a file added to this
            # one.
            if done < self.done:
                self.stage = min(self.stage + 1, len(self.stages) - 1)
                self.base = 0
            else:
                self.base = self.total
            self.opened = False
        self.total = total
        self.done = done
        if total <= self.base:
            return
        if not self.opened:
            if done <= self.base:
                return
            self._open(total - self.base)
        shown = min(self.scale, (done - self.base) * self.scale // (total - self.base))
        if shown > self.shown:
            self.shown = shown
            self.meter.update(shown)

    def end(self, payload, status, msg):
        if self.stage is not None and self.opened:
            self.meter.end(self.shown)
        self.stage = None


class _Base(dnf.Base):
    """dnf's Base with yum's per-repository progress: each repository is
    downloaded, converted and read before the next one starts, and a load
    failure names the repository."""

    def __init__(self, owner, conf, quiet=False):
        dnf.Base.__init__(self, conf)
        # Weak: once its sack is filled, dnf keeps a Base alive until it is
        # closed, and the YumBase that closes it must be free to go.
        self._owner = weakref.ref(owner)
        # A quiet Base reports no progress: it repeats what another has
        # reported already.
        self._quiet = quiet

    def loadRepo(self, repo):
        """Downloads what the repository's cache lacks, showing the
        download meter; the metadata callback, which the caller then drives,
        or None. A failure is dnf's RepoError, with yum's hints."""
        owner = None if self._quiet else self._owner()
        repos = owner.repos if owner is not None else None
        meter = repos.progressbar if repos is not None else None
        callback = repos.callback if repos is not None else None
        repo.set_progress_bar(_MetadataProgress(repo, meter) if meter is not None else None)
        failures = []
        try:
            _loadNotingFailures(repo, failures)
        except dnf.exceptions.RepoError as error:
            # Still dnf's type, so that skip_if_unavailable goes on working.
            raise dnf.exceptions.RepoError(_repoFailure(repo, error, failures)) from None
        finally:
            repo.set_progress_bar(None)
        return callback

    # dnf's hook for each repository of fill_sack (yum.dnfprivate).
    def _add_repo_to_sack(self, repo):
        callback = self.loadRepo(repo)
        # The conversion into dnf's cache and the reading are one step in
        # dnf; it is reported as a conversion followed by a finished read.
        if callback is not None:
            callback.progressbar(0, 1, repo.id)
        dnfprivate.addRepoToSack(self, repo)
        if callback is not None:
            callback.progressbar(1, 1, repo.id)
            callback.progressbar(-1, -1, repo.id)


class _ListHolder(object):
    """The package lists of doPackageLists."""

    def __init__(self):
        self.updates = []
        self.installed = []
        self.available = []
        self.obsoletes = []


class _PackageDownloadProgress(dnf.callback.DownloadProgress):
    """dnf's package download progress turned into yum's meter calls, one
    start, updates and one end per package."""

    def __init__(self, owner, meter):
        self.owner = owner
        self.meter = meter
        self.current = None
        self.done = 0

    def _begin(self, payload):
        name = os.path.basename(str(payload))
        pkg = getattr(payload, "pkg", None)
        repoid = pkg.reponame if pkg is not None else ""
        self.current = payload
        self.done = 0
        self.meter.start(filename=None, url="/%s/%s" % (repoid, name), basename=name,
                         size=payload.download_size or 0, text=name)

    def start(self, total_files, total_size, total_drpms=0):
        pass

    def progress(self, payload, done):
        if payload is not self.current:
            self._begin(payload)
        self.done = done
        self.meter.update(done)

    def end(self, payload, status, msg):
        if payload is not self.current:
            self._begin(payload)
        if status in (dnf.callback.STATUS_OK, dnf.callback.STATUS_ALREADY_EXISTS, None):
            self.done = payload.download_size or self.done
        self.meter.end(self.done)
        self.current = None
        if status == dnf.callback.STATUS_FAILED and msg:
            self.owner.logError(0, "%s: %s" % (os.path.basename(str(payload)),
                                               translate.hideCredentials(str(msg))))


# dnf's actions in the rpm transaction and yum's event codes for them. The
# others (clean-up, scriptlets, verification, preparation, the end) have no
# event: yum had none for them, and a code the program does not know is one
# it can only warn about.
_EVENT_CODES = {
    dnf.transaction.PKG_INSTALL: TS_INSTALL,
    dnf.transaction.PKG_REINSTALL: TS_INSTALL,
    dnf.transaction.PKG_DOWNGRADE: TS_UPDATE,
    dnf.transaction.PKG_UPGRADE: TS_UPDATE,
    dnf.transaction.PKG_OBSOLETE: TS_OBSOLETING,
    dnf.transaction.PKG_REMOVE: TS_ERASE,
    dnf.transaction.PKG_OBSOLETED: TS_OBSOLETED,
    dnf.transaction.PKG_DOWNGRADED: TS_UPDATED,
    dnf.transaction.PKG_UPGRADED: TS_UPDATED,
    dnf.transaction.PKG_REINSTALLED: TS_UPDATED,
}


class _TransactionDisplay(dnf.callback.TransactionProgress):
    """dnf's transaction display turned into yum's: tsInit with the
    element count before the first report of the real run, and events
    with yum's codes, the package object for what is installed and the
    package's name for what is removed."""

    def __init__(self, owner, display, count):
        dnf.callback.TransactionProgress.__init__(self)
        self.owner = owner
        self.display = display
        self.count = count
        self.started = False
        self.errors = []

    def begin(self):
        if not self.started:
            self.started = True
            self.display.tsInit(self.count)

    def progress(self, package, action, ti_done, ti_total, ts_done, ts_total):
        self.begin()
        code = _EVENT_CODES.get(action)
        if code is None or package is None or ti_done is None or ti_total is None:
            return
        po = self.owner._wrap(package)
        subject = po.name if code in (TS_ERASE, TS_OBSOLETED, TS_UPDATED) else po
        self.display.event(subject, code, ti_done, ti_total, ts_done or 0, ts_total or 0)

    def scriptout(self, msgs):
        # rpm hands over an sh scriptlet's whole output at once, tens of
        # megabytes from a runaway one: it goes on in pieces of about a
        # megabyte that end after a newline (never inside a UTF-8 sequence),
        # each decoded by itself, so that no decoded copy of the whole is
        # held beside rpm's. The pieces join into the same lines.
        if not msgs:
            return
        newline = b"\n" if isinstance(msgs, bytes) else "\n"
        start = 0
        while start < len(msgs):
            cut = msgs.find(newline, start + _SCRIPTOUT_PIECE)
            end = len(msgs) if cut < 0 else cut + 1
            piece = msgs[start:end]
            if isinstance(piece, bytes):
                piece = piece.decode("utf-8", "surrogateescape")
            self.display.scriptout(None, piece)
            start = end

    def error(self, message):
        # rpm's errors go to the error log as they happen, and are kept for
        # the text of a failed transaction.
        text = translate.hideCredentials(str(message))
        self.errors.append(text)
        if self.owner is not None:
            self.owner.logError(0, text)


class _DropErrors(logging.Filter):
    """Keeps rpm's errors from dnf's own transaction display, which prints
    each to standard error: the layer's display logs them already."""

    def filter(self, record):
        return record.levelno < logging.ERROR


class YumBase(object):

    def __init__(self):
        translate.installLogHandler()
        self.conf = None
        self.repos = None
        self._base = None
        self._sackReady = False
        self._wrapped = {}
        # (the wrapped dict, its size, _availableKeys's answer for them).
        self._availableKeysMade = None
        # The one weak reference to this object that all its packages hold.
        self._selfRef = weakref.ref(self)
        self._changelogs = {}
        self._otherDataLoaded = False
        self._fileLists = None
        self.comps = None
        self.tsInfo = TransactionData()
        # dnf's package -> what the caller asked for it (_INSTALL, _UPDATE,
        # _REMOVE), in the order asked.
        self._asked = {}
        self.dsCallback = None
        # _archRanks's answer, made once the sack is there.
        self._ranks = None

    def __del__(self):
        # dnf keeps a Base whose sack was filled alive until it is closed:
        # without this every replaced object would stay in memory.
        base = getattr(self, "_base", None)
        if base is not None:
            self._base = None
            try:
                base.close()
            except Exception:
                # At interpreter exit dnf can no longer close (its modules
                # are torn down before this object); nothing is lost then.
                pass

    # Hooks ------------------------------------------------------------------

    def logInfo(self, level, text):
        """An ordinary log line at yum's detail level `level`."""
        logging.getLogger("yum").info("%s", text)

    def logError(self, level, text):
        """An error line at yum's detail level `level`."""
        logging.getLogger("yum").error("%s", text)

    # Configuration ---------------------------------------------------------

    def doConfigSetup(self, fn, root=""):
        """Reads yum.conf `fn` and the repository files it leads to.

        `root` stands for "/" when looking for yum's own files. ConfigError
        for an unusable configuration, RepoError for an unusable repository
        file."""
        self.conf = config.readConfig(fn, root)
        self._base = _Base(self, self.conf.dnf)
        with translated(Errors.RepoError):
            config.readRepos(self._base)
        self.repos = RepoStorage(self._base.repos)
        return self.conf

    def _needConfig(self):
        if self._base is None:
            raise Errors.ConfigError("yum is not configured")

    # The lock of the process -----------------------------------------------

    def doLock(self):
        """Takes yum's lock for this process; LockError when it is held elsewhere."""
        self._needConfig()
        lock.acquire(self.conf.pidfile)

    def doUnlock(self):
        """Releases yum's lock if this process holds it."""
        lock.release()

    # Repositories and transaction set ---------------------------------------

    def doRepoSetup(self):
        """Loads the metadata of the enabled repositories, one after another,
        and the installed packages; RepoError for every failure."""
        self._needConfig()
        self._sackReady = False
        self._wrapped = {}
        self._availableKeysMade = None
        self._fileLists = None
        with translated(Errors.RepoError):
            config.prepareFolders(self.conf)
            self._base.fill_sack(load_system_repo=True, load_available_repos=True)
        self._sackReady = True

    def doTsSetup(self):
        """Opens the rpm database of the installroot for the transaction set;
        YumBaseError when it cannot be read."""
        self._needConfig()
        with translated(Errors.YumBaseError):
            # dnf opens the database lazily; open it now so that an unreadable
            # database is reported here and not in the middle of a collection.
            if dnfprivate.transactionSet(self._base).openDB() != 0:
                raise Errors.YumBaseError("Cannot open the rpm database of %s"
                                          % self.conf.installroot)
            self._base.reset(goal=True)

    def _needSack(self):
        if not self._sackReady:
            raise Errors.YumBaseError("the repositories are not set up")

    @property
    def sack(self):
        """dnf's package sack; YumBaseError before doRepoSetup."""
        self._needSack()
        return self._base.sack

    @property
    def dnfBase(self):
        return self._base

    # Package objects ----------------------------------------------------------

    def _wrap(self, pkg):
        """The one package object of this YumBase for a package of its sack."""
        po = self._wrapped.get(pkg)
        if po is None:
            kind = YumInstalledPackage if pkg.reponame == _SYSTEM_REPO else YumAvailablePackage
            po = kind(self._selfRef, pkg)
            self._wrapped[pkg] = po
        return po

    def _changelogOf(self, po):
        found = self._changelogs.get((po.pkgtup, po.repoid))
        if found is None:
            found = self._changelogs.get(po.pkgtup, [])
        return found

    def _fileListOf(self, po):
        """The paths of an available package joined by NUL, once the file
        lists are loaded and the repository's file could be read; None
        otherwise (the package then asks dnf)."""
        if self._fileLists is None:
            return None
        return self._fileLists.get((po.pkgtup, po.repoid))

    def _availableKeys(self):
        """repository id -> the (name, arch, epoch, version, release) of
        this object's available packages in it; not to be changed. Made once
        for the file lists and the change logs alike: packages are only ever
        added to the wrapped ones, and a new collection starts a new dict."""
        wrapped = self._wrapped
        made = self._availableKeysMade
        if made is not None and made[0] is wrapped and made[1] == len(wrapped):
            return made[2]
        keys = {}
        for po in wrapped.values():
            if isinstance(po, YumAvailablePackage):
                keys.setdefault(po.repoid, set()).add(po.pkgtup)
        self._availableKeysMade = (wrapped, len(wrapped), keys)
        return keys

    def doPackageLists(self, pkgnarrow="all"):
        """yum's package lists: `updates` (the newest update of each
        installed name and arch), `installed`, and `available` (the newest
        version of each name and arch that is not installed as it is), each
        sorted by name and arch, and the versions of one name newest first."""
        sack = self.sack
        lists = _ListHolder()
        with translated(Errors.YumBaseError):
            query = sack.query()
            installed = query.installed()
            if pkgnarrow in ("all", "updates"):
                lists.updates = self._sorted(query.upgrades().latest())
            if pkgnarrow in ("all", "installed"):
                lists.installed = self._sorted(installed)
            if pkgnarrow in ("all", "available"):
                latest = query.available().latest()
                # Only a package whose name is installed can be installed as
                # it is; the sack picks those out without a look at the rest.
                names = list(set(p.name for p in installed))
                have = set(p.pkgtup for p in installed)
                same = [p for p in latest.filter(name=names) if p.pkgtup in have]
                if same:
                    latest = latest.difference(query.filter(pkg=same))
                lists.available = self._sorted(latest)
        return lists

    def _sorted(self, packages):
        """yum's packages of dnf's, by name, and within a name the one dnf
        installs for the name first: the machine's best architecture
        (noarch counts as the best), then the newest version. The program
        keeps the first package of each name for its table, so the row of
        a name shows the package of this machine and not the i686 copy
        that x86_64 repositories carry beside it. Several installed
        versions of one name and architecture (install-only packages)
        come newest first, and the program takes the first as the
        installed version. Packages that tie keep the order of their
        architecture and repository."""
        wrap = self._wrap
        wrapped = [wrap(pkg) for pkg in packages]
        wrapped.sort(key=_tableOrder)
        names = list(map(_nameOf, wrapped))
        count = len(wrapped)
        # Mostly every name is a run of its own, and nothing is left to order.
        if len(set(names)) == count:
            return wrapped
        ranks = self._archRanks()
        rank = ranks.get
        worst = len(ranks)

        def bestFirst(a, b):
            difference = rank(a.arch, worst) - rank(b.arch, worst)
            return difference if difference else b.dnf.evr_cmp(a.dnf)

        order = functools.cmp_to_key(bestFirst)
        start = 0
        while start < count:
            name = names[start]
            end = start + 1
            while end < count and names[end] == name:
                end += 1
            if end - start > 1:
                wrapped[start:end] = sorted(wrapped[start:end], key=order)
            start = end
        return wrapped

    def _archRanks(self):
        """architecture -> its rank on this machine, 0 the best: the
        machine's own architecture and noarch, then the other architectures
        the sack accepts in the order libsolv prefers them (the order its
        architecture policy gives them, best first)."""
        if self._ranks is None:
            machine = self._base.conf.arch
            ranks = {"noarch": 0, machine: 0}
            for arch in self.sack.list_arches() or []:
                ranks.setdefault(arch, len(set(ranks.values())))
            self._ranks = ranks
        return self._ranks

    # Groups -------------------------------------------------------------------

    def doGroupSetup(self):
        """Reads the groups of the enabled repositories into `comps`.
        GroupsError "No Groups Available in any repository" when there are
        none; a group file that cannot be read is a YumBaseError."""
        sack = self.sack
        try:
            with translated(Errors.YumBaseError):
                self._base.read_comps(arch_filter=True)
                dnfComps = self._base.comps
                groups = list(dnfComps.groups) if dnfComps is not None else []
                installed = set(p.name for p in sack.query().installed())
        except Errors.YumBaseError as error:
            # A broken group file is no reason to say there are no groups.
            raise Errors.YumBaseError("Cannot read the groups of the repositories: %s"
                                      % error) from None
        if not groups:
            self.comps = Comps([])
            raise Errors.GroupsError("No Groups Available in any repository")
        self.comps = Comps(Group(group, installed) for group in groups)
        return self.comps

    # Details loaded on demand ------------------------------------------------

    def doOtherDataSetup(self):
        """Loads the change logs of the available packages. dnf downloads a
        repository's other metadata only for a Base whose repositories ask
        for it before their first load, so a second Base loads the same
        repositories (downloading what the cache lacks, with the same
        progress); their change logs are then read from the other metadata
        files themselves, without a sack, and kept by (name, arch, epoch,
        version, release) and repository. A repository whose file cannot be
        read so is read through a sack of the second Base, as dnf gives
        them."""
        self._needSack()
        if self._otherDataLoaded:
            return
        changelogs = {}
        wanted = self._availableKeys()
        everything = set().union(*wanted.values()) if wanted else set()
        unread = []
        with translated(Errors.YumBaseError):
            base = self._otherDataBase()
            try:
                failed = []
                for repo in base.repos.iter_enabled():
                    try:
                        callback = base.loadRepo(repo)
                    except dnf.exceptions.RepoError as error:
                        dnfprivate.libdnfRepo(repo).expire()
                        if repo.skip_if_unavailable is False:
                            raise
                        logger.warning("Error: %s", error)
                        failed.append(repo)
                        continue
                    if callback is not None:
                        callback.progressbar(0, 1, repo.id)
                    path = dnfprivate.libdnfRepo(repo).getMetadataPath("other")
                    try:
                        # A repository without other metadata has no change logs.
                        found = mdparse.readChangeLogs(path, everything) if path else {}
                    except mdparse.MetadataError as error:
                        logger.debug("Change logs of %s through dnf: %s", repo.id, error)
                        unread.append(repo.id)
                        found = {}
                    for key, log in found.items():
                        changelogs[(key, repo.id)] = log
                        changelogs.setdefault(key, log)
                    if callback is not None:
                        callback.progressbar(1, 1, repo.id)
                        callback.progressbar(-1, -1, repo.id)
                for repo in failed:
                    repo.disable()
            finally:
                base.close()
            if unread:
                self._readChangeLogsThroughSack(unread, changelogs)
        self._changelogs = changelogs
        self._otherDataLoaded = True

    def _otherDataBase(self, quiet=False, only=None):
        """A Base over this object's enabled repositories (or those of
        `only`) that loads their other metadata."""
        conf = config.readConfig(self.conf.config_file_path, self.conf.configroot)
        base = _Base(self, conf.dnf, quiet)
        try:
            config.readRepos(base)
            for repo in base.repos.values():
                mine = self._base.repos.get(repo.id)
                if mine is not None and mine.enabled and (only is None or repo.id in only):
                    repo.enable()
                    repo.load_metadata_other = True
                else:
                    repo.disable()
        except BaseException:
            base.close()
            raise
        return base

    def _readChangeLogsThroughSack(self, repoids, changelogs):
        base = self._otherDataBase(quiet=True, only=repoids)
        try:
            base.fill_sack(load_system_repo=False, load_available_repos=True)
            for pkg in base.sack.query().available():
                entries = pkg.changelogs
                if not entries:
                    continue
                log = [(dayToTime(e["timestamp"]), e["author"], e["text"]) for e in entries]
                log.sort(key=lambda entry: entry[0], reverse=True)
                pkgtup = (pkg.name, pkg.arch, str(pkg.epoch), pkg.version, pkg.release)
                changelogs[(pkgtup, pkg.reponame)] = log
                changelogs.setdefault(pkgtup, log)
        finally:
            base.close()

    def doFileListsSetup(self):
        """dnf loads file lists with the repositories' primary metadata, but
        builds each package's list anew on every read, at a cost that grows
        with the number of sibling folders in the repository. The lists of
        this object's available packages are read once, here, from the
        repositories' cached filelists files and kept one text per package;
        a repository whose file cannot be read leaves its packages to dnf."""
        self._needSack()
        if self._fileLists is not None:
            return
        lists = {}
        wanted = self._availableKeys()
        with translated(Errors.YumBaseError):
            for repo in self._base.repos.iter_enabled():
                keys = wanted.get(repo.id)
                if not keys:
                    continue
                try:
                    found = mdparse.readFileLists(
                        dnfprivate.libdnfRepo(repo).getMetadataPath("filelists"), keys)
                except mdparse.MetadataError as error:
                    logger.debug("File lists of %s through dnf: %s", repo.id, error)
                    continue
                for key, text in found.items():
                    lists[(key, repo.id)] = text
        self._fileLists = lists

    # Cleaning the cache ------------------------------------------------------

    def cleanHeaders(self):
        self._needConfig()
        return cleaning.cleanHeaders(self.conf.cachedir)

    def cleanPackages(self):
        self._needConfig()
        return cleaning.cleanPackages(self.conf.cachedir)

    def cleanMetadata(self):
        self._needConfig()
        return cleaning.cleanMetadata(self.conf.cachedir)

    def cleanSqlite(self):
        self._needConfig()
        return cleaning.cleanSqlite(self.conf.cachedir)

    def cleanPickles(self):
        self._needConfig()
        return cleaning.cleanPickles(self.conf.cachedir)

    # Transactions -------------------------------------------------------------

    def _dnfPackage(self, po, installed):
        """dnf's package behind one of yum's package objects, found again by
        its version and repository when the object is of another YumBase."""
        if not isinstance(po, (YumAvailablePackage, YumInstalledPackage)):
            raise Errors.YumBaseError("Not a package: %r" % (po,))
        if isinstance(po, YumInstalledPackage) != installed:
            raise Errors.YumBaseError("Package %s is %s" % (po, "not installed" if installed
                                                            else "already installed"))
        # A package of this object's present sack; one handed out before the
        # sack was read anew (after a failed transaction) is found again.
        if po._owner() is self and self._wrapped.get(po.dnf) is po:
            return po.dnf
        with translated(Errors.YumBaseError):
            name, arch, epoch, version, release = po.pkgtup
            query = self.sack.query().filter(name=name, arch=arch, epoch=int(epoch),
                                             version=version, release=release)
            query = query.installed() if installed else query.filter(reponame=po.repoid)
            found = list(query)
        if not found:
            raise Errors.YumBaseError("Package %s is no longer %s" % (
                po, "installed" if installed else "available from " + po.repoid))
        return found[0]

    def install(self, po):
        """Marks an available package for installation."""
        pkg = self._dnfPackage(po, installed=False)
        with translated(Errors.YumBaseError):
            self._base.package_install(pkg, strict=True)
        self._asked[pkg] = _INSTALL

    def update(self, po, oldpo=None):
        """Marks an available package as the update of the installed one."""
        pkg = self._dnfPackage(po, installed=False)
        if oldpo is not None:
            old = self._dnfPackage(oldpo, installed=True)
            if old.name != pkg.name:
                raise Errors.YumBaseError("%s is no update of %s" % (po, oldpo))
        with translated(Errors.YumBaseError):
            self._base.package_upgrade(pkg)
        self._asked[pkg] = _UPDATE

    def remove(self, po):
        """Marks an installed package for removal."""
        pkg = self._dnfPackage(po, installed=True)
        with translated(Errors.YumBaseError):
            self._base.package_remove(pkg)
        self._asked[pkg] = _REMOVE

    def buildTransaction(self):
        """Resolves the marked packages, removing what needs what is
        removed, into `tsInfo`. Every marked package is in the result, or
        nothing is: a YumBaseError then says, for each marked package dnf
        cannot take, what was asked and dnf's problems with it. Returns the
        number of members."""
        if self.dsCallback is not None:
            self.dsCallback.tscheck()
        # yum took every marked package or failed, and took nothing away
        # that was not asked for, except what needed a removed package and
        # what an install replaces. dnf by default leaves out an update it
        # cannot do and says nothing (`best` is set in yum.config so that
        # it refuses instead), and with erasing allowed it removes
        # installed packages that stand in the way of an install or update:
        # erasing is allowed only when a removal is asked for, and then
        # the installs and updates are checked alone as well.
        removing = _REMOVE in self._asked.values()
        problems = []
        dnfText = ""
        with translated(Errors.YumBaseError):
            try:
                self._base.resolve(allow_erasing=removing)
            except dnf.exceptions.DepsolveError as error:
                dnfText = str(error)
                try:
                    problems = dnfprivate.goal(self._base).problem_rules()
                except hawkey.Exception:
                    # Not the solver's refusal (a module's, for instance).
                    problems = [[dnfText.strip()]]
            if removing and (problems or self._takesAwayUnasked()):
                problems += [lines for lines in self._forwardProblems() if lines not in problems]
        if problems:
            raise Errors.YumBaseError(self._refusal(problems, dnfText))
        # dnf adds no job for a package installed already, or for an update
        # older than the installed version, and tells no problem.
        with translated(Errors.YumBaseError):
            taken = set(tsi.pkg for tsi in self._base.transaction or []
                        if tsi.action in _MEMBER_STATES)
        missing = [["%s is left out of the transaction by dnf" % pkg]
                   for pkg in self._asked if pkg not in taken]
        if missing:
            raise Errors.YumBaseError(self._refusal(missing, ""))
        with translated(Errors.YumBaseError):
            self.tsInfo = self._makeTsInfo()
        self._logDependencies()
        return len(self.tsInfo)

    def _takesAwayUnasked(self):
        """Whether the resolved transaction removes a package that was not
        asked to be removed."""
        return any(tsi.action == _A.TransactionItemAction_REMOVE and tsi.pkg not in self._asked
                   for tsi in self._base.transaction or [])

    def _forwardProblems(self):
        """dnf's problems (lists of lines) with the asked installs and
        updates alone when nothing may be taken away for them; none when
        they need nothing taken away, and so what was taken is the
        removals' doing."""
        forward = [(pkg, kind) for pkg, kind in self._asked.items() if kind != _REMOVE]
        if not forward:
            return []
        goal = hawkey.Goal(self.sack)
        for pkg, kind in forward:
            selector = dnf.selector.Selector(self.sack)
            selector.set(pkg=[pkg])
            if kind == _INSTALL:
                goal.install(select=selector)
            else:
                goal.upgrade(select=selector)
        if goal.run(allow_uninstall=False, force_best=True,
                    ignore_weak_deps=not self._base.conf.install_weak_deps):
            return []
        return goal.problem_rules()

    def _refusal(self, problems, dnfText):
        """The text of a refused transaction: per marked package that dnf's
        problems (lists of lines) name, what was asked and the lines of
        every problem that names it; then the problems that name none. Only
        `dnfText`, dnf's own text of them, when none names a marked
        package."""
        told = collections.OrderedDict()
        unnamed = []
        for lines in problems:
            named = [pkg for pkg in self._asked if any(_mentions(line, pkg) for line in lines)]
            for pkg in named:
                seen = told.setdefault(pkg, [])
                for line in lines:
                    if line not in seen:
                        seen.append(line)
            if not named:
                unnamed.append(lines)
        if not told:
            return dnfText.strip() or "\n".join(" - ".join(lines) for lines in problems)
        parts = []
        for pkg, lines in told.items():
            parts.append("Cannot %s %s:" % (self._asked[pkg], _packageText(pkg)))
            parts.extend(" - " + line for line in lines)
        for lines in unnamed:
            parts.append("Problem: " + lines[0])
            parts.extend(" - " + line for line in lines[1:])
        return "\n".join(parts)

    def _makeTsInfo(self):
        goal = dnfprivate.goal(self._base)
        transaction = self._base.transaction
        items = [tsi for tsi in transaction or [] if tsi.action in _MEMBER_STATES]
        # What each package that comes in replaces: the old version of an
        # update, and what it obsoletes.
        replacedBy = {}
        for tsi in items:
            if _MEMBER_STATES[tsi.action] in _FORWARD:
                for old in goal.obsoleted_by_package(tsi.pkg):
                    replacedBy.setdefault(old, tsi.pkg)
        members = []
        for tsi in items:
            pkg = tsi.pkg
            state = _MEMBER_STATES[tsi.action]
            member = TransactionMember(self._wrap(pkg), state, pkg not in self._asked)
            if state in _FORWARD:
                for old in goal.obsoleted_by_package(pkg):
                    relation = "updates" if old.name == pkg.name else "obsoletes"
                    member.relatedto.append((self._wrap(old), relation))
                if state == TS_INSTALL and member.relatedTo("obsoletes"):
                    member.output_state = TS_OBSOLETING
            elif pkg in replacedBy:
                relation = "obsoletedby" if state == TS_OBSOLETED else "updatedby"
                member.relatedto.append((self._wrap(replacedBy[pkg]), relation))
            members.append(member)
        return TransactionData(members)

    def _logDependencies(self):
        """yum's "TSINFO: " lines for what dependency solving added: one per
        package installed or updated for a dependency (the name right after
        the keyword) and one per package erased."""
        installedNames = set(p.name for p in self.sack.query().installed())
        for member in self.tsInfo:
            if not member.isDep and member.output_state != TS_OBSOLETED:
                continue
            state = member.output_state
            if state in (TS_INSTALL, TS_OBSOLETING):
                line = "Marking %s as install (%s)" % (member.name, member.po)
                # A second version of an installed name (an install-only
                # package) is no package the dependency count knows.
                if member.name in installedNames:
                    self.logInfo(INFO_2, line)
                    continue
            elif state == TS_UPDATE:
                line = "Marking %s as update (%s)" % (member.name, member.po)
            elif state == TS_ERASE:
                line = "%s marked as erase" % member.po
            elif state == TS_OBSOLETED:
                obsoleting = member.relatedTo("obsoletedby")
                line = "%s marked as erase, obsoleted by %s" % (
                    member.po, obsoleting[0] if obsoleting else "another package")
            else:
                continue
            self.logInfo(INFO_2, "TSINFO: " + line)

    def packagesToDownload(self):
        """The packages of the transaction that are not at hand yet: those of
        remote repositories without a verified copy in the cache."""
        with translated(Errors.YumBaseError):
            pkgs = [tsi.pkg for tsi in self._base.transaction or []
                    if _MEMBER_STATES.get(tsi.action) in _FORWARD]
            remote, _ = dnfprivate.selectRemotePackages(self._base, pkgs)
            needed = []
            for pkg in remote:
                if os.path.exists(pkg.localPkg()) and pkg.verifyLocalPkg():
                    continue
                needed.append(pkg)
        return self._sorted(needed)

    def downloadPkgs(self, pkglist):
        """Downloads packages, one at a time, reporting to the repositories'
        progress meter; YumBaseError when one cannot be had."""
        meter = self.repos.progressbar
        progress = _PackageDownloadProgress(self, meter) if meter is not None else None
        try:
            with translated(Errors.YumBaseError):
                self._base.download_packages([po.dnf for po in pkglist], progress)
        finally:
            # dnf may keep its progress object; it must not keep this one.
            if progress is not None:
                progress.owner = None

    def runTransaction(self, display):
        """Runs the resolved transaction in the installroot. `display` gets
        tsInit(0) before the test transaction, tsInit(element count) before
        the real one, event(package, yum's code, amount, total, element,
        elements) while rpm works and scriptout(package, text) for scriptlet
        output; rpm's errors go to logError at level 0. A transaction that
        fails, in whole or for one package, is a YumBaseError, and leaves
        this object ready for the next one."""
        count = sum(1 for tsi in self._base.transaction or []
                    if tsi.action in dnf.yum.rpmtrans.RPM_ACTIONS_SET)
        display.tsInit(0)
        adapter = _TransactionDisplay(self, display, count)
        rpmLogger = logging.getLogger("dnf.rpm")
        dropErrors = _DropErrors()
        rpmLogger.addFilter(dropErrors)
        failure = None
        try:
            with translated(Errors.YumBaseError):
                self._base.do_transaction(display=[adapter])
                adapter.begin()
                # dnf returns normally when rpm failed single packages; its
                # command line tells that from the items' states, and so
                # must we.
                failed = [str(tsi) for tsi in self._base.transaction or []
                          if tsi.state == libdnf.transaction.TransactionItemState_ERROR]
            if failed:
                text = "Transaction failed for %s" % ", ".join(failed)
                if adapter.errors:
                    text += ":\n" + "\n".join(adapter.errors)
                failure = Errors.YumBaseError(text)
        except Errors.YumBaseError as error:
            # Raised again below without its traceback, which holds dnf's
            # frames and with them the failed run's packages.
            failure = error.with_traceback(None)
            failure.__context__ = None
        finally:
            rpmLogger.removeFilter(dropErrors)
            # rpm may keep the callback; it must not keep this object.
            adapter.owner = None
            adapter.display = None
        # dnf fills its rpm transaction set once per process: after a run, or
        # a test that failed, the set still holds elements whose memory rpm
        # has cleaned, and the next transaction's check reads them. A set of
        # its own for every run also lets go of the rpm database, its lock
        # and the scriptlet-output file between applies.
        with translated(Errors.YumBaseError):
            dnfprivate.closeTransactionSet(self._base)
        if failure is not None:
            self._afterFailedRun()
            raise failure

    def _afterFailedRun(self):
        """rpm may have installed or removed part of a failed transaction:
        the sack is read anew from the caches, downloading nothing, so that
        the next resolution starts from what is installed now. The failed
        run's objects go first, so that its sack goes with them; the package
        objects the caller kept hold a sack of their own and are found again
        by version (_dnfPackage)."""
        self.flush()
        self._sackReady = False
        self._wrapped = {}
        self._availableKeysMade = None
        with translated(Errors.YumBaseError):
            self._base.fill_sack_from_repos_in_cache(load_system_repo=True)
        self._sackReady = True

    # Cleaning up --------------------------------------------------------------

    def flush(self):
        """Forgets a finished or abandoned transaction and flushes the
        output streams; the repositories and packages stay loaded."""
        self._asked = {}
        self.tsInfo = TransactionData()
        if self._base is not None and self._sackReady:
            with translated(Errors.YumBaseError):
                self._base.reset(goal=True)
        for stream in (sys.stdout, sys.stderr):
            if stream is not None:
                try:
                    stream.flush()
                except (OSError, ValueError):
                    pass
