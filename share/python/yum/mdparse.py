# Reading a repository's file lists and change logs straight from its
# cached metadata files (filelists.xml and other.xml, compressed or not).
#
# dnf gives change logs only to a sack built afresh for them, and builds each
# package's file list anew on every read, at a cost that grows with the
# number of sibling folders in the repository. One pass over the file gives
# both for every package at a fraction of that. Whoever calls these keeps
# dnf's road for a file they cannot read (an unknown compression, broken
# XML): every failure is a MetadataError.
#
# The pass is a scan with regular expressions over the layout that
# createrepo writes (double-quoted attributes, plain texts with the five
# entities and character references, no comments, CDATA or carriage
# returns), each package checked to hold no element the scan skipped. A file
# that strays from that layout anywhere is read again through expat, which
# gives the same results for every well-formed file, only some times slower:
# expat calls back into Python for every element of a file of millions.

import bz2
import datetime
import gzip
import lzma
import re
import zlib
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


class _Irregular(Exception):
    """The file strays from createrepo's layout: expat reads it."""


_HEAD = re.compile(rb'\s*<package pkgid="[^"<]*" name="([^"<]*)" arch="([^"<]*)">\s*'
                   rb'<version epoch="([^"<]*)" ver="([^"<]*)" rel="([^"<]*)"/>')
_ROOT_START = re.compile(rb'\s*<(?:filelists|otherdata)(?:\s+[\w:.-]+="[^"<]*")*\s*>')
_ROOT_END = re.compile(rb'\s*</(?:filelists|otherdata)>\s*')
_FILE = re.compile(rb'<file(?: type="(?:dir|ghost)")?>([^<]*)</file>')
_CHANGELOG = re.compile(rb'<changelog author="([^"<]*)" date="([0-9]+)">([^<]*)</changelog>')
_REFERENCE = re.compile(r'&([^;&]*)(;?)')
_NAMED = {"lt": "<", "gt": ">", "amp": "&", "quot": '"', "apos": "'"}


def _character(match):
    """The character a reference stands for. An entity that is none of the
    five, or an unclosed one, is left to expat, which refuses the file."""
    name, closed = match.groups()
    if not closed:
        raise _Irregular()
    if name in _NAMED:
        return _NAMED[name]
    digits, base = (name[2:], 16) if name.startswith("#x") else (name[1:], 10)
    if not name.startswith("#") or not digits.isalnum():
        raise _Irregular()
    try:
        code = int(digits, base)
    except ValueError:
        raise _Irregular() from None
    if code > 0x10FFFF or 0xD800 <= code <= 0xDFFF or code in (0xFFFE, 0xFFFF) \
            or (code < 0x20 and code not in (0x9, 0xA, 0xD)):
        raise _Irregular()
    return chr(code)


def _text(raw):
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        raise _Irregular() from None
    return _REFERENCE.sub(_character, text) if "&" in text else text


def _scan(path, items, convert, wanted):
    """(name, arch, epoch, version, release) -> convert(the raw groups of
    `items`) for each package of `wanted` that the file lists, a package
    listed twice keeping its first list; _Irregular where anything else
    stands between the tags. Each package is converted as soon as it is
    read, so that the raw texts of a whole file are never kept."""
    found = {}
    rest = b""
    started = False
    with _open(path) as stream:
        while True:
            chunk = stream.read(_CHUNK)
            block = rest + chunk
            if chunk:
                end = block.rfind(b"</package>")
                if end < 0:
                    rest = block
                    continue
                rest = block[end + len(b"</package>"):]
                block = block[:end]
            if not started:
                if block.startswith(b"<?xml"):
                    block = block[block.find(b"?>") + 2:]
                root = _ROOT_START.match(block)
                if root is None:
                    raise _Irregular()
                block = block[root.end():]
                started = True
            # Comments, CDATA, processing instructions and carriage
            # returns are expat's.
            if b"<!" in block or b"<?" in block or b"\r" in block or b"\0" in block:
                raise _Irregular()
            pieces = block.split(b"</package>")
            if not chunk:
                if _ROOT_END.fullmatch(pieces.pop()) is None:
                    raise _Irregular()
            for piece in pieces:
                head = _HEAD.match(piece)
                if head is None:
                    raise _Irregular()
                body = piece[head.end():]
                matched = items.findall(body)
                # Two tags per item, and nothing else.
                if body.count(b"<") != 2 * len(matched):
                    raise _Irregular()
                name, arch, epoch, version, release = head.groups()
                if b"&" in head.group(0):
                    key = (_text(name), _text(arch), _text(epoch) or "0", _text(version),
                           _text(release))
                else:
                    key = (name.decode(), arch.decode(), epoch.decode() or "0", version.decode(),
                           release.decode())
                if key in wanted and key not in found:
                    found[key] = convert(matched)
            if not chunk:
                return found


def _read(path, items, convert, wanted):
    """_scan's packages; None where the scan finds the file irregular, for
    the caller to read it through expat."""
    try:
        try:
            return _scan(path, items, convert, wanted)
        except UnicodeDecodeError:
            raise _Irregular() from None
    except _Irregular:
        return None
    except (OSError, EOFError, ValueError, lzma.LZMAError, zlib.error) as error:
        raise MetadataError("%s: %s" % (path, error)) from None


def _parse(path, element, wanted):
    """The elements named `element` of each package of `wanted`, as
    [(attributes, text)], read through expat. The handlers run once per
    element: they are closures over lists rather than methods, and test the
    commonest name first."""
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
    except (OSError, EOFError, ValueError, expat.ExpatError, lzma.LZMAError, zlib.error) as error:
        raise MetadataError("%s: %s" % (path, error)) from None
    return found


def _joinedPaths(paths):
    return _text(b"\0".join(paths))


def readFileLists(path, wanted):
    """(name, arch, epoch, version, release) -> the package's paths joined
    by NUL (which no path holds), for the packages of `wanted` that the
    filelists file at `path` lists. Folders and ghosts count as files, as in
    dnf."""
    found = _read(path, _FILE, _joinedPaths, wanted)
    if found is None:
        found = dict((key, "\0".join(text for _, text in items))
                     for key, items in _parse(path, "file", wanted).items())
    return found


def readChangeLogs(path, wanted):
    """(name, arch, epoch, version, release) -> [(time, author, text)],
    newest first, for the packages of `wanted` with entries in the other
    metadata file at `path`. Times are those dnf gives: the entry's day
    (local time) at 12:00 UTC."""
    # Authors and dates repeat across a repository: each is converted once.
    times = {}
    authors = {}

    def entryTime(date):
        found = times.get(date)
        if found is None:
            try:
                found = dayToTime(datetime.date.fromtimestamp(int(date or 0)))
            except (ValueError, OverflowError, OSError) as error:
                raise MetadataError("change log date %r: %s" % (date, error)) from None
            times[date] = found
        return found

    def authorText(raw):
        found = authors.get(raw)
        if found is None:
            found = authors[raw] = _text(raw)
        return found

    found = _read(path, _CHANGELOG,
                  lambda entries: [(entryTime(date), authorText(author), _text(text))
                                   for author, date, text in entries], wanted)
    if found is None:
        found = dict((key, [(entryTime(attributes.get("date")),
                             attributes.get("author") or "", text)
                            for attributes, text in items])
                     for key, items in _parse(path, "changelog", wanted).items())
    logs = {}
    for key, log in found.items():
        if not log:
            continue
        if len(log) > 1:
            log.sort(key=_entryTime, reverse=True)
        logs[key] = log
    return logs


def _entryTime(entry):
    return entry[0]
