# yum's package objects over dnf's (hawkey) packages.
#
# The program keeps one of these per row of its package table and reads it
# long after the collection: the fields yum's packages had as attributes,
# returnSimple(field), printVer(), the relations (prco), change logs and file
# lists, and for installed packages the rpm header (`hdr`), whose presence is
# what tells an installed package from an available one. Texts are passed on
# as dnf and rpm give them, surrogate escapes (bytes that are not UTF-8)
# included, except that a text the package does not have is always None.

import datetime
import logging
import os

import rpm

from yum import Errors
from yum import dnfprivate
from yum.translate import translated

# The id yum gives the installed packages' repository (dnf calls it "@System").
INSTALLED_REPO = "installed"

# dnf's relation operators and yum's flag texts for them.
_FLAGS = {"<": "LT", "<=": "LE", "=": "EQ", "==": "EQ", ">=": "GE", ">": "GT"}

# The relation kinds a package offers through prco and returnPrco.
PRCO_KINDS = ("provides", "requires", "conflicts", "obsoletes",
              "recommends", "suggests", "supplements", "enhances")

# rpm stores a change-log entry's date at noon; repository metadata keeps
# only the day, so the same hour is put back.
_NOON = 12 * 3600
_EPOCH_DAY = datetime.date(1970, 1, 1).toordinal()


# What libsolv gives for a string it does not have, where dnf reads the
# string by its id instead of looking it up: the vendor of an installed
# package built without one. No package can tell it from a real value.
_LIBSOLV_MISSING = "<NULL>"


def dnfText(value):
    """A text field of a dnf package as yum gave it: None where the package
    has no such text. Every text field of the layer's packages, and the
    program's table rows, come through here."""
    return None if value == _LIBSOLV_MISSING else value


def _dnfTextField(field):
    """A read-only attribute: the dnf package's text field through dnfText."""
    return property(lambda self: dnfText(getattr(self.dnf, field)))


def splitEvr(text):
    """(epoch, version, release) of an rpm version text; None for a part
    the text leaves out."""
    epoch = None
    if ":" in text:
        epoch, text = text.split(":", 1)
    release = None
    if "-" in text:
        text, release = text.rsplit("-", 1)
    return (epoch, text or None, release)


def prcoTuple(reldep):
    """yum's (name, flag, (epoch, version, release)) of one dnf relation.
    Rich dependencies ("(a or b)") stay whole, as a name without a flag."""
    text = str(reldep)
    if not text.startswith("("):
        parts = text.split(" ")
        if len(parts) == 3 and parts[1] in _FLAGS:
            return (parts[0], _FLAGS[parts[1]], splitEvr(parts[2]))
    return (text, None, (None, None, None))


def dayToTime(day):
    """Seconds since the epoch of a change-log date of repository metadata:
    the day's midnight in UTC (days since 1970-01-01, counted from the
    proleptic calendar's first day) and then noon."""
    return (day.toordinal() - _EPOCH_DAY) * 86400 + _NOON


class _Package(object):
    """What installed and available packages share. `dnf` is the package of
    dnf's sack behind it; `_owner` a weak reference to the YumBase whose
    sack that is (a strong one would keep every package list alive with
    the object), one reference shared by all its packages.

    A collection makes one of these for every package of the repositories,
    and the program keeps them all: they have slots, not dictionaries, and
    hold only what names the package. The program's table keeps its own
    copy of the other fields it shows, read once (YumIO.collectRows), so
    every other field is read from dnf when it is asked for."""

    __slots__ = ("__weakref__", "_owner", "dnf", "name", "arch", "epoch", "version",
                 "release")

    # Fields returnSimple answers; any other name is a KeyError, as in yum.
    SIMPLE = frozenset(["name", "arch", "epoch", "version", "release", "repoid", "summary",
                        "description", "url", "license", "packager", "vendor", "group",
                        "sourcerpm", "buildtime", "buildhost", "size", "packagesize",
                        "installedsize"])

    def __init__(self, owner, pkg):
        self._owner = owner
        self.dnf = pkg
        self.name = pkg.name
        self.arch = pkg.arch
        self.epoch = str(pkg.epoch)
        self.version = pkg.version
        self.release = pkg.release

    @property
    def pkgtup(self):
        return (self.name, self.arch, self.epoch, self.version, self.release)

    # Identity ---------------------------------------------------------------

    def __eq__(self, other):
        if not isinstance(other, _Package):
            return NotImplemented
        return (self.pkgtup, self.repoid) == (other.pkgtup, other.repoid)

    def __ne__(self, other):
        result = self.__eq__(other)
        return result if result is NotImplemented else not result

    def __hash__(self):
        return hash((self.pkgtup, self.repoid))

    def __str__(self):
        if self.epoch == "0":
            return "%s-%s-%s.%s" % (self.name, self.version, self.release, self.arch)
        return "%s:%s-%s-%s.%s" % (self.epoch, self.name, self.version, self.release, self.arch)

    def __repr__(self):
        return "<%s %s from %s>" % (type(self).__name__, self, self.repoid)

    def printVer(self):
        """The version text as yum printed it: the epoch only when it is set."""
        if self.epoch == "0":
            return "%s-%s" % (self.version, self.release)
        return "%s:%s-%s" % (self.epoch, self.version, self.release)

    @property
    def ui_nevra(self):
        return str(self)

    # Simple fields ----------------------------------------------------------

    def returnSimple(self, varname):
        if varname not in self.SIMPLE:
            raise KeyError(varname)
        return getattr(self, varname)

    summary = _dnfTextField("summary")
    group = _dnfTextField("group")
    description = _dnfTextField("description")
    url = _dnfTextField("url")
    license = _dnfTextField("license")
    packager = _dnfTextField("packager")
    vendor = _dnfTextField("vendor")
    sourcerpm = _dnfTextField("sourcerpm")

    @property
    def buildtime(self):
        return self.dnf.buildtime

    @property
    def buildhost(self):
        # Repository metadata does not carry it; installed packages read it
        # from their header.
        return None

    @property
    def packagesize(self):
        return self.dnf.downloadsize

    @property
    def installedsize(self):
        return self.dnf.installsize

    # Relations --------------------------------------------------------------

    # Each kind is read from dnf when it is asked for and not kept: the
    # program reads four of the eight, once per Search or description, and
    # kept lists would hold every relation of every package.

    @property
    def prco(self):
        """Relation kind -> list of (name, flag, (epoch, version, release))."""
        return dict((kind, self.returnPrco(kind)) for kind in PRCO_KINDS)

    def returnPrco(self, prcotype):
        if prcotype not in PRCO_KINDS:
            return []
        return [prcoTuple(r) for r in getattr(self.dnf, prcotype)]

    # Files --------------------------------------------------------------------

    # dnf does not tell files from folders in repository metadata: every path
    # is listed as a file. dnf builds the list anew on every read, at a cost
    # that grows with the number of sibling folders in the repository, so
    # once the file lists are loaded (YumBase.doFileListsSetup) an available
    # package answers from the owner's compact copy instead.

    def _paths(self):
        return list(self.dnf.files)

    @property
    def files(self):
        return {"file": self._paths()}

    def returnFileEntries(self, ftype="file", primary_only=False):
        if ftype != "file":
            return []
        return self._paths()

    # Local files ----------------------------------------------------------------

    def localPkg(self):
        """Where the package file is, or would be once downloaded."""
        return self.dnf.localPkg()


class YumAvailablePackage(_Package):
    """A package that a repository offers. `size` is its download size."""

    __slots__ = ("repoid",)

    SIMPLE = _Package.SIMPLE | frozenset(["relativepath"])

    def __init__(self, owner, pkg):
        _Package.__init__(self, owner, pkg)
        self.repoid = pkg.reponame

    @property
    def size(self):
        return self.dnf.downloadsize

    def _paths(self):
        owner = self._owner()
        kept = owner._fileListOf(self) if owner is not None else None
        if kept is None:
            return list(self.dnf.files)
        return kept.split("\0") if kept else []

    relativepath = _dnfTextField("location")

    @property
    def changelog(self):
        """(time, author, text) per entry, newest first; empty until the
        miscellaneous data is loaded (YumBase.doOtherDataSetup)."""
        owner = self._owner()
        return owner._changelogOf(self) if owner is not None else []

    def returnChangelog(self):
        return list(self.changelog)

    def localHdr(self):
        """The local file that holds the package's header data. dnf reads
        headers from the repository metadata in the cache and never
        downloads them, so this is the package file when it is at hand and
        the repository's cached primary metadata otherwise."""
        if dnfprivate.isLocalPackage(self.dnf):
            return self.dnf.localPkg()
        try:
            return dnfprivate.libdnfRepo(self.dnf.repo).getMetadataPath("primary") or ""
        except Exception:
            return ""


class YumInstalledPackage(_Package):
    """A package of the installroot's rpm database. `size` is its installed
    size, and `hdr` its rpm header."""

    __slots__ = ("_hdr",)

    SIMPLE = _Package.SIMPLE | frozenset(["installtime"])
    repoid = INSTALLED_REPO

    def __init__(self, owner, pkg):
        _Package.__init__(self, owner, pkg)
        self._hdr = None

    @property
    def size(self):
        return self.dnf.installsize

    @property
    def hdr(self):
        if self._hdr is None:
            self._hdr = self._readHeader()
        return self._hdr

    def _readHeader(self):
        """The header from the database; an empty one, with a warning, when
        the database no longer has the package."""
        try:
            with translated(Errors.YumBaseError):
                hdr = self.dnf.get_header()
        except Errors.YumBaseError as error:
            hdr = None
            logging.getLogger("dnf").warning("Cannot read the header of %s: %s", self, error)
        return hdr if hdr is not None else rpm.hdr()

    @property
    def buildhost(self):
        return self.hdr[rpm.RPMTAG_BUILDHOST]

    @property
    def installtime(self):
        return self.hdr[rpm.RPMTAG_INSTALLTIME]

    @property
    def changelog(self):
        hdr = self.hdr
        times = hdr[rpm.RPMTAG_CHANGELOGTIME] or []
        if not isinstance(times, list):
            times = [times]
        return list(zip(times, hdr[rpm.RPMTAG_CHANGELOGNAME] or [],
                        hdr[rpm.RPMTAG_CHANGELOGTEXT] or []))

    def returnChangelog(self):
        return self.changelog

    def localPkg(self):
        # An installed package has no package file.
        return ""

    def localHdr(self):
        """The rpm database that holds the header."""
        return os.path.join(self.dnf.base.conf.installroot,
                            rpm.expandMacro("%{_dbpath}").lstrip("/"))
