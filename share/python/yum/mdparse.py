# Reading a repository's file lists and change logs straight from its
# cached metadata files (filelists.xml and other.xml, compressed or not).
#
# dnf gives change logs only to a sack built afresh for them, and builds each
# package's file list anew on every read, at a cost that grows with the
# number of sibling folders in the repository. One pass of expat over the
# file gives both for every package at a fraction of that. Whoever calls
# these keeps dnf's road for a file they cannot read (an unknown
# compression, broken XML): every failure is a MetadataError.

import bz2
import datetime
import gzip
import lzma
from xml.parsers import expat

from yum.packages import dayToTime

# createrepo's metadata names its elements in a default namespace, so the
# names are read without namespace processing: a file that prefixes them
# gives no packages, and its packages keep dnf's road.
_OPENERS = {".gz": gzip.open, ".bz2": bz2.open, ".xz": lzma.open, ".xml": open}

_CHUNK = 1 << 20


class MetadataError(Exception):
    pass


def _open(path):
    for suffix, opener in _OPENERS.items():
        if path.endswith(suffix):
            return opener(path, "rb")
    raise MetadataError("%s: compression not known" % path)


def _read(path, element, wanted):
    """(name, arch, epoch, version, release) -> [(attributes, text)] of the
    elements named `element` of each package of `wanted` that the file
    lists. A package listed twice keeps its first list. The handlers run
    once per element of a file of millions: they are closures over lists
    rather than methods, and test the commonest name first."""
    found = {}
    # The package being read: (name, arch), its key once its version is
    # known, the items kept (None for a package not wanted), the attributes
    # and text parts of the element being read (None outside one).
    current = [None, None, None, None, None]

    def start(name, attributes):
        if name == element:
            if current[2] is not None:
                current[3] = attributes
                current[4] = []
        elif name == "version":
            if current[0] is not None:
                key = current[0] + (attributes.get("epoch") or "0", attributes.get("ver"),
                                    attributes.get("rel"))
                current[1] = key
                current[2] = [] if key in wanted and key not in found else None
        elif name == "package":
            current[0] = (attributes.get("name"), attributes.get("arch"))
            current[1] = current[2] = None

    def end(name):
        if name == element:
            if current[4] is not None:
                current[2].append((current[3], "".join(current[4])))
                current[4] = None
        elif name == "package":
            if current[2] is not None:
                found[current[1]] = current[2]
            current[0] = current[1] = current[2] = None

    def characters(data):
        if current[4] is not None:
            current[4].append(data)

    parser = expat.ParserCreate("UTF-8")
    parser.buffer_text = True
    parser.StartElementHandler = start
    parser.EndElementHandler = end
    parser.CharacterDataHandler = characters
    try:
        with _open(path) as stream:
            while True:
                chunk = stream.read(_CHUNK)
                parser.Parse(chunk, not chunk)
                if not chunk:
                    break
    except (OSError, EOFError, ValueError, expat.ExpatError, lzma.LZMAError) as error:
        raise MetadataError("%s: %s" % (path, error)) from None
    return found


def readFileLists(path, wanted):
    """(name, arch, epoch, version, release) -> the package's paths joined
    by NUL (which no path holds), for the packages of `wanted` that the
    filelists file at `path` lists. Folders and ghosts count as files, as in
    dnf."""
    found = _read(path, "file", wanted)
    return dict((key, "\0".join(text for _, text in items)) for key, items in found.items())


def readChangeLogs(path, wanted):
    """(name, arch, epoch, version, release) -> [(time, author, text)],
    newest first, for the packages of `wanted` with entries in the other
    metadata file at `path`. Times are those dnf gives: the entry's day
    (local time) at 12:00 UTC."""
    found = _read(path, "changelog", wanted)
    logs = {}
    for key, items in found.items():
        if not items:
            continue
        log = []
        for attributes, text in items:
            try:
                day = datetime.date.fromtimestamp(int(attributes.get("date") or 0))
            except (ValueError, OverflowError, OSError) as error:
                raise MetadataError("change log date of %s: %s" % (key[0], error)) from None
            log.append((dayToTime(day), attributes.get("author") or "", text))
        log.sort(key=lambda entry: entry[0], reverse=True)
        logs[key] = log
    return logs
