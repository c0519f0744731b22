# Cleaning yum's cache, which dnf lays out as one folder per repository
# (<id>-<hash>/repodata for the metadata, <id>-<hash>/packages for the
# downloaded packages) and its converted metadata (<id>.solv,
# <id>-*.solvx) beside them. Each clean* returns yum's result: a tuple of a
# code (0 on success) and a list of message lines.
#
# Only regular files inside the configured cache folder are removed; links
# are never followed, and a cache folder that is not an absolute path below
# "/" is refused.

import errno
import fnmatch
import os

# dnf never downloads separate headers; yum kept them as *.hdr.
_HEADERS = ("*.hdr",)
_PACKAGES = ("*.rpm", "*.drpm")
_METADATA = ("*.xml", "*.xml.*", "*.sqlite", "*.sqlite.*", "*.yaml", "*.yaml.*", "mirrorlist")
_CONVERTED = ("*.solv", "*.solvx")


def _usable(cachedir):
    return (isinstance(cachedir, str) and os.path.isabs(cachedir)
            and os.path.normpath(cachedir) != "/")


def _repositoryFolders(cachedir):
    """The per-repository folders of the cache."""
    try:
        names = sorted(os.listdir(cachedir))
    except FileNotFoundError:
        return []
    return [os.path.join(cachedir, name) for name in names
            if os.path.isdir(os.path.join(cachedir, name))
            and not os.path.islink(os.path.join(cachedir, name))]


def _matching(folder, patterns, recursive):
    """Regular files in `folder` whose names match one of `patterns`."""
    found = []
    if not os.path.isdir(folder) or os.path.islink(folder):
        return found
    if recursive:
        walk = os.walk(folder, followlinks=False)
    else:
        walk = [(folder, [], os.listdir(folder))]
    for base, _, names in walk:
        for name in sorted(names):
            path = os.path.join(base, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            if any(fnmatch.fnmatchcase(name, pattern) for pattern in patterns):
                found.append(path)
    return found


def _remove(cachedir, kind, collect):
    """Removes what `collect` finds; yum's (code, messages)."""
    if not _usable(cachedir):
        return 1, ["Cannot clean the %s: the cache folder %r is not usable" % (kind, cachedir)]
    try:
        paths = collect(cachedir)
    except OSError as error:
        return 1, ["Cannot read the cache folder %s: %s" % (cachedir, error.strerror)]
    removed = 0
    failures = []
    for path in paths:
        try:
            os.unlink(path)
            removed += 1
        except OSError as error:
            if error.errno != errno.ENOENT:
                failures.append("Cannot remove %s: %s" % (path, error.strerror))
    messages = ["%d %s files removed" % (removed, kind)]
    return (1 if failures else 0), failures + messages


def cleanHeaders(cachedir):
    return _remove(cachedir, "header", lambda top: [
        path for folder in _repositoryFolders(top)
        for path in _matching(os.path.join(folder, "headers"), _HEADERS, True)])


def cleanPackages(cachedir):
    return _remove(cachedir, "package", lambda top: [
        path for folder in _repositoryFolders(top)
        for path in _matching(os.path.join(folder, "packages"), _PACKAGES, True)])


def cleanMetadata(cachedir):
    def collect(top):
        paths = []
        for folder in _repositoryFolders(top):
            paths += _matching(os.path.join(folder, "repodata"), _METADATA, True)
            paths += _matching(folder, ("metalink.xml", "mirrorlist"), False)
        return paths
    return _remove(cachedir, "metadata", collect)


def cleanSqlite(cachedir):
    # dnf's converted metadata stands where yum kept its sqlite files.
    return _remove(cachedir, "sqlite", lambda top: _matching(top, _CONVERTED, False))


def cleanPickles(cachedir):
    # The converted cache is not pickled: there is never anything to remove.
    if not _usable(cachedir):
        return 1, ["Cannot clean the pickle files: the cache folder %r is not usable" % cachedir]
    return 0, ["0 pickle files removed"]
