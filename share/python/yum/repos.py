# yum's repository storage over dnf's repositories: `repos` is a real dict
# from repository id to a Repository whose `enabled` is an int, and
# enableRepo/disableRepo take yum's wildcard patterns. As in yum, the
# storage also carries the download meter (setProgressBar) and the
# metadata callback (`callback`) that report the repositories' loading.

import fnmatch

from yum import Errors
from yum.translate import rememberSecretsOf


class Repository(object):
    """One configured repository; `dnf` is dnf's repository behind it."""

    def __init__(self, dnfRepo):
        self.dnf = dnfRepo
        self.id = dnfRepo.id
        for url in list(dnfRepo.baseurl) + [dnfRepo.mirrorlist or "", dnfRepo.metalink or ""]:
            rememberSecretsOf(url)

    @property
    def enabled(self):
        return 1 if self.dnf.enabled else 0

    @property
    def name(self):
        return self.dnf.name or self.id

    @property
    def baseurl(self):
        return list(self.dnf.baseurl)

    @property
    def mirrorlist(self):
        return self.dnf.mirrorlist or None

    def isEnabled(self):
        return bool(self.enabled)

    def enable(self):
        self.dnf.enable()

    def disable(self):
        self.dnf.disable()

    def __repr__(self):
        return "<Repository %s %s>" % (self.id, "enabled" if self.enabled else "disabled")


class RepoStorage(object):
    """The repositories of one configuration, in the order dnf read them."""

    def __init__(self, dnfRepos):
        # A meter with yum's start(filename, url, basename, size, now, text),
        # update(amount_read) and end(amount_read); `url` is a location made
        # of the repository id and a file name, never a repository URL.
        self.progressbar = None
        # An object with progressbar(current, total, name) for converting
        # and reading metadata.
        self.callback = None
        self.repos = {}
        for dnfRepo in dnfRepos.values():
            self.repos[dnfRepo.id] = Repository(dnfRepo)

    def setProgressBar(self, meter):
        self.progressbar = meter

    def findRepos(self, pattern):
        """The repositories whose ids match a yum wildcard pattern (or the id)."""
        return [repo for repoid, repo in self.repos.items()
                if repoid == pattern or fnmatch.fnmatchcase(repoid, pattern)]

    def getRepo(self, repoid):
        try:
            return self.repos[repoid]
        except KeyError:
            raise Errors.RepoError("Error getting repository data for %s, repository not found"
                                   % repoid) from None

    def _change(self, pattern, enable):
        found = self.findRepos(pattern)
        if not found:
            raise Errors.RepoError("Error getting repository data for %s, repository not found"
                                   % pattern)
        for repo in found:
            if enable:
                repo.enable()
            else:
                repo.disable()
        return [repo.id for repo in found]

    def enableRepo(self, pattern):
        """Enables every matching repository; RepoError when none matches."""
        return self._change(pattern, True)

    def disableRepo(self, pattern):
        """Disables every matching repository; RepoError when none matches."""
        return self._change(pattern, False)

    def listEnabled(self):
        return [repo for repo in self.repos.values() if repo.enabled]

    def sort(self):
        return sorted(self.repos.values(), key=lambda repo: repo.id)
