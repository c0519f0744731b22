# YumBase: yum's central object, over one dnf.Base.
#
# The order of use is yum's: doConfigSetup (yum.conf and the repository
# files), then doRepoSetup (repository metadata and the installed packages),
# then doTsSetup (the rpm transaction set). Package queries, groups and
# transactions build on the sack that doRepoSetup fills. doLock and doUnlock
# act on the lock of the process (yum.lock), whatever object calls them.
#
# Every failure of dnf, rpm or the file system leaves these methods as one
# of yum's exception types (yum.translate).

import logging
import sys

import dnf
import dnf.exceptions
import dnf.lock

from yum import Errors
from yum import config
from yum import lock
from yum import translate
from yum.repos import RepoStorage
from yum.translate import translated

# The id yum gives the installed packages' repository (dnf calls it "@System").
INSTALLED_REPO = "installed"

logger = logging.getLogger("dnf")


def _repoFailure(repo, error):
    """The text of a repository that could not be loaded, with a hint for
    kivrel repositories, whose usual trouble is their credentials."""
    text = translate.textOf(error)
    for url in list(repo.baseurl) + [repo.mirrorlist or ""]:
        credentials = translate.kivrelCredentials(url)
        if credentials is None:
            continue
        if not credentials[0] or not credentials[1]:
            return text + "\nRepository %s needs a kivrel user name and password." % repo.id
        return (text + "\nThe server may have refused the kivrel user name or password"
                " of repository %s." % repo.id)
    return text


class YumBase(object):

    def __init__(self):
        translate.installLogHandler()
        self.conf = None
        self.repos = None
        self._base = None
        self._sackReady = False

    # Configuration ---------------------------------------------------------

    def doConfigSetup(self, fn, root=""):
        """Reads yum.conf `fn` and the repository files it leads to.

        `root` stands for "/" when looking for yum's own files. ConfigError
        for an unusable configuration, RepoError for an unusable repository
        file."""
        self.conf = config.readConfig(fn, root)
        self._base = dnf.Base(self.conf.dnf)
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

    def _repoProgress(self, repo):
        """The progress meter given to dnf for one repository, or None.
        The companion script overrides it to report to the program."""
        return None

    def doRepoSetup(self):
        """Loads the metadata of the enabled repositories and the installed
        packages; RepoError for every failure."""
        self._needConfig()
        self._sackReady = False
        with translated(Errors.RepoError):
            config.prepareFolders(self.conf)
            # Each repository is loaded on its own first, so that a failure
            # names the repository it belongs to; fill_sack then finds them
            # loaded and does not fetch again.
            with dnf.lock.build_metadata_lock(self.conf.cachedir, self.conf.exit_on_lock):
                for repo in list(self._base.repos.iter_enabled()):
                    self._loadRepo(repo)
            self._base.fill_sack(load_system_repo=True, load_available_repos=True)
        self._sackReady = True

    def _loadRepo(self, repo):
        meter = self._repoProgress(repo)
        if meter is not None:
            repo.set_progress_bar(meter)
        try:
            repo.load()
        except dnf.exceptions.RepoError as error:
            if repo.skip_if_unavailable:
                logger.warning("Skipping repository %s: %s", repo.id, translate.textOf(error))
                repo.disable()
                return
            raise Errors.RepoError(_repoFailure(repo, error)) from None

    def doTsSetup(self):
        """Opens the rpm database of the installroot for the transaction set;
        YumBaseError when it cannot be read."""
        self._needConfig()
        with translated(Errors.YumBaseError):
            # dnf opens the database lazily; open it now so that an unreadable
            # database is reported here and not in the middle of a collection.
            if self._base._ts.ts.openDB() != 0:
                raise Errors.YumBaseError("Cannot open the rpm database of %s"
                                          % self.conf.installroot)
            self._base.reset(goal=True)

    @property
    def sack(self):
        """dnf's package sack; YumBaseError before doRepoSetup."""
        if not self._sackReady:
            raise Errors.YumBaseError("the repositories are not set up")
        return self._base.sack

    @property
    def dnfBase(self):
        return self._base

    # Cleaning up --------------------------------------------------------------

    def flush(self):
        """Forgets a finished or abandoned transaction and flushes the
        output streams; the repositories and packages stay loaded."""
        if self._base is not None and self._sackReady:
            with translated(Errors.YumBaseError):
                self._base.reset(goal=True)
        for stream in (sys.stdout, sys.stderr):
            if stream is not None:
                try:
                    stream.flush()
                except (OSError, ValueError):
                    pass
