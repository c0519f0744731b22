# Every name the layer borrows from dnf's and libdnf's Python code that is
# not part of their public interface, each reached through one function here
# and nowhere else, so that this file is the list to check against a new dnf.
# What breaks if dnf renames or reshapes one:
#
# dnf.Base._add_repo_to_sack(repo)  base._Base overrides it to load each
#     repository itself. Renamed, dnf loads them on its own: the metadata
#     progress and the download failures noted for error texts vanish, with
#     no error.
# dnf.Base._ts (its .ts, an rpm.TransactionSet)  doTsSetup opens the rpm
#     database through it: an AttributeError leaves doTsSetup, so setupTs
#     fails and nothing is collected.
# dnf.Base._closeRpmDB()  runTransaction closes the transaction set after
#     every run: renamed, a second transaction after a failed one runs rpm's
#     check on a set that still holds the failed run's cleaned elements and
#     crashes the process.
# dnf.Base._goal (obsoleted_by_package)  the relations of a resolved
#     transaction (updates, obsoletes): buildTransaction fails with an
#     AttributeError.
# dnf.Base._select_remote_pkgs(pkgs)  the packages to download:
#     packagesToDownload fails with an AttributeError, so no apply can run.
# dnf.repo.Repo._repo (libdnf's repository: expire, getMetadataPath)  the
#     change logs and file lists read from the cached metadata, and localHdr:
#     details fail with an AttributeError; localHdr answers "".
# dnf.repo.Repo._md_pload._mirror_failure_cb  librepo's texts of failed
#     downloads: without them the noting is skipped and a repository error
#     carries only dnf's own text.
# dnf.package.Package._is_local_pkg()  localHdr fails with an AttributeError.
# dnf.conf.read.RepoReader._get_repos(path)  the repository sections of one
#     file, which config._RepoFileReader reads: doConfigSetup fails with an
#     AttributeError.

import dnf


def addRepoToSack(base, repo):
    """dnf's own loading of `repo` into the sack, under the override."""
    dnf.Base._add_repo_to_sack(base, repo)


def transactionSet(base):
    """The rpm.TransactionSet of dnf's transaction wrapper, for the rpm
    database of the installroot."""
    return base._ts.ts


def closeTransactionSet(base):
    """Closes dnf's rpm transaction set with the rpm database, its lock and
    the scriptlet-output file it was given; the next use opens a new one."""
    base._closeRpmDB()


def goal(base):
    """The solver goal of the last resolve."""
    return base._goal


def selectRemotePackages(base, pkgs):
    """(remote, local): the packages of remote repositories and the rest."""
    return base._select_remote_pkgs(pkgs)


def libdnfRepo(repo):
    """The libdnf repository behind a dnf.repo.Repo."""
    return repo._repo


def mirrorFailurePayload(repo):
    """(payload, its failure callback) of a repository's metadata download;
    None for either when this dnf has none."""
    payload = getattr(repo, "_md_pload", None)
    return payload, getattr(payload, "_mirror_failure_cb", None)


def setMirrorFailure(payload, callback):
    """Sets the payload's failure callback; None returns to its class's."""
    if callback is None:
        del payload._mirror_failure_cb
    else:
        payload._mirror_failure_cb = callback


def isLocalPackage(pkg):
    """Whether a dnf package lives outside a remote repository."""
    return pkg._is_local_pkg()


def repoSections(reader, path):
    """The repositories of one file, as dnf's reader reads them."""
    return reader._get_repos(path)
