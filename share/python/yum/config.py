# Reading yum.conf into dnf's configuration.
#
# dnf reads most of yum's [main] keys itself; this module adds what yum
# meant and dnf does not: yum's defaults, its "logfile" key, and a
# configuration root that stands for "/" when yum's own files are looked for.
# dnf's own files (/etc/dnf/dnf.conf, /etc/dnf/vars, the host's repository
# folders) are never read.
#
# Paths: a path that yum.conf sets is used as written; a default is placed
# under the installroot, as yum placed its cache, log and persistent data.

import configparser
import glob
import logging
import os

import dnf.conf
import dnf.conf.read
import dnf.exceptions
import dnf.rpm
import dnf.util
import libdnf.conf
import rpm

from yum import Errors
from yum import dnfprivate
from yum.translate import translated

# yum's defaults for the paths it put under the installroot.
DEFAULT_CACHEDIR = "/var/cache/yum/$basearch/$releasever"
DEFAULT_PERSISTDIR = "/var/lib/yum"
DEFAULT_LOGFILE = "/var/log/yum.log"
VARSDIR = "/etc/yum/vars"

# Where yum's lock file lives, below the installroot.
PIDFILE = "/var/run/yum.pid"


def yumConfPath(configroot):
    """yum.conf below a configuration root: /etc/yum/yum.conf if it exists."""
    first = configroot + "/etc/yum/yum.conf"
    return first if os.path.exists(first) else configroot + "/etc/yum.conf"


def defaultRepoDirs(configroot):
    return [configroot + "/etc/yum/repos.d", configroot + "/etc/yum.repos.d"]


def _underRoot(installroot, path):
    return os.path.normpath(installroot.rstrip("/") + "/" + path.lstrip("/"))


class YumConf(object):
    """yum's view of the configuration: the settings the program reads and the
    dnf configuration behind them (`dnf`)."""

    def __init__(self, dnfConf, configroot, path):
        self.dnf = dnfConf
        self.configroot = configroot
        self.config_file_path = path
        # yum's substitution variables ("basearch", "arch", "releasever", and
        # those of the vars folder); a dict, so callers may index it directly.
        self.yumvar = dnfConf.substitutions

    def __getattr__(self, name):
        # Settings that yum and dnf share (keepcache, debuglevel, exclude...).
        return getattr(self.dnf, name)

    @property
    def installroot(self):
        return self.dnf.installroot

    @property
    def cachedir(self):
        return self.dnf.cachedir

    @property
    def persistdir(self):
        return self.dnf.persistdir

    @property
    def logdir(self):
        return self.dnf.logdir

    @property
    def reposdir(self):
        return list(self.dnf.reposdir)

    @property
    def pidfile(self):
        return _underRoot(self.installroot, PIDFILE)


def _mainSection(path):
    """yum.conf's [main] keys as yum spells them (dnf drops those it lacks)."""
    parser = configparser.RawConfigParser(strict=False, interpolation=None)
    try:
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            parser.read_file(f, path)
    except OSError as error:
        raise Errors.ConfigError("Cannot read yum configuration file %s: %s"
                                 % (path, error.strerror)) from None
    except configparser.Error as error:
        raise Errors.ConfigError("Error parsing yum configuration file %s: %s"
                                 % (path, error)) from None
    if not parser.has_section("main"):
        return {}
    return dict(parser.items("main"))


def _releasever(installroot):
    # yum took the version of the distribution's release package in the
    # installroot and kept "$releasever" unreplaced when there was none.
    # rpm creates a database where it finds none, so a root without one is
    # not asked: reading the configuration changes nothing on disk.
    dbpath = rpm.expandMacro("%{_dbpath}")
    if not os.path.isdir(_underRoot(installroot, dbpath)):
        return "$releasever"
    try:
        found = dnf.rpm.detect_releasever(installroot)
    except dnf.exceptions.Error:
        found = None
    return found or "$releasever"


def _notUtf8(path):
    """(line number, section) of the first line of a file, comments left
    aside, whose bytes are not UTF-8; None when there is none or the file
    cannot be read. The section is the name of the last section header
    before it (the header itself counts), None before the first one."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    section = None
    for number, line in enumerate(data.splitlines(), 1):
        stripped = line.strip()
        if stripped.startswith(b"[") and b"]" in stripped:
            name = stripped[1:stripped.index(b"]")]
            # Bytes that are not UTF-8 are most likely another tool's
            # Latin-1; shown so, the user recognises the name.
            try:
                section = name.decode("utf-8")
            except UnicodeDecodeError:
                section = name.decode("latin-1")
        if not stripped or stripped[:1] in (b"#", b";"):
            continue
        try:
            line.decode("utf-8")
        except UnicodeDecodeError:
            return number, section
    return None


def _notUtf8Text(path):
    """What to tell about a file that dnf's parser refused because it is not
    UTF-8: which repository and line, never the line itself (it may hold a
    password). None when the file is UTF-8, so the refusal had another
    cause."""
    found = _notUtf8(path)
    if found is None:
        return None
    number, section = found
    if section is None or section == "main":
        return ("Cannot read yum configuration file %s: line %d holds bytes that are not"
                " UTF-8 text. Save the file as UTF-8." % (path, number))
    return ("Cannot read repository %s in %s: line %d holds bytes that are not UTF-8 text."
            " Save the file as UTF-8; in URLs, write such characters percent-encoded."
            % (section, path, number))


def readConfig(path, configroot=""):
    """The YumConf of the yum.conf at `path`; ConfigError when it is unusable.

    `configroot` is the folder that stands for "/" for yum's own files (the
    repository folders and the vars folder when yum.conf does not move them).
    Nothing on disk changes here."""
    configroot = (configroot or "").rstrip("/")
    if not os.path.isfile(path):
        raise Errors.ConfigError("Config file %s does not exist" % path)
    main = _mainSection(path)

    conf = dnf.conf.Conf()
    with translated(Errors.ConfigError):
        conf.config_file_path = path
        try:
            conf.read(path)
        except (TypeError, UnicodeError):
            # libdnf's parser hands back bytes that are not UTF-8 as text its
            # own bindings then refuse.
            text = _notUtf8Text(path)
            if text is None:
                raise
            raise Errors.ConfigError(text) from None

        installroot = conf.installroot or "/"
        conf.installroot = installroot
        subst = conf.substitutions
        subst.update_from_etc(configroot or "/", varsdir=(VARSDIR,))
        conf.varsdir = [configroot + VARSDIR]
        # A releasever of the vars folder wins over the detected one, as in yum.
        conf.releasever = subst.get("releasever") or _releasever(installroot)

        def expand(text):
            return libdnf.conf.ConfigParser.substitute(text, subst)

        if "reposdir" not in main:
            conf.reposdir = defaultRepoDirs(configroot)
        conf.cachedir = expand(main["cachedir"] if "cachedir" in main
                               else _underRoot(installroot, DEFAULT_CACHEDIR))
        conf.persistdir = expand(main["persistdir"] if "persistdir" in main
                                 else _underRoot(installroot, DEFAULT_PERSISTDIR))
        if "logdir" in main:
            conf.logdir = expand(main["logdir"])
        elif "logfile" in main:
            conf.logdir = os.path.dirname(expand(main["logfile"])) or "/"
        else:
            conf.logdir = os.path.dirname(_underRoot(installroot, DEFAULT_LOGFILE))

        # yum knew no weak dependencies, no delta rebuilds here (applydeltarpm
        # fails on this system), one download at a time (parallel meters would
        # interleave), and no protected packages outside its plugins.
        conf.install_weak_deps = False
        conf.deltarpm = False
        conf.max_parallel_downloads = 1
        conf.protected_packages = []
        # yum removed only what was asked for and what needed it, never
        # the packages that had come in as dependencies.
        conf.clean_requirements_on_remove = False
        # yum took every package it was asked to install or update, or
        # failed and said why; dnf by default leaves out one it cannot take.
        conf.best = True
    return YumConf(conf, configroot, path)


class _RepoFileReader(dnf.conf.read.RepoReader):
    """dnf's reader of repository sections, as strict as yum: a repository
    file that cannot be parsed fails the whole read instead of being skipped
    with a warning. (Single bad sections are still skipped with a warning,
    as yum did.)"""

    def __iter__(self):
        yield from self._reposOf(self.conf.config_file_path)
        files = []
        for folder in self.conf.reposdir:
            files += glob.glob(os.path.join(folder, "*.repo"))
        files.sort(key=lambda path: dnf.util.split_path(path[:-5]))
        for path in files:
            yield from self._reposOf(path)

    def _reposOf(self, path):
        try:
            yield from dnfprivate.repoSections(self, path)
        except (TypeError, UnicodeError):
            # A file written by a tool that does not write UTF-8: libdnf's
            # parser passes its bytes on as text that its own bindings then
            # refuse, in a TypeError that names neither file nor section.
            text = _notUtf8Text(path)
            if text is None:
                raise
            raise Errors.RepoError(text) from None


def readRepos(base):
    """Adds the repositories of yum.conf and the repository files to a
    dnf.Base; dnf's ConfigError for a file that cannot be parsed."""
    for repo in _RepoFileReader(base.conf, None):
        try:
            base.repos.add(repo)
        except dnf.exceptions.ConfigError as error:
            # A second section of the same id: yum kept the first one too.
            logging.getLogger("dnf").warning("%s", error)


def prepareFolders(yumConf):
    """Creates the folders dnf writes to; an OSError is the caller's to translate."""
    for folder in (yumConf.cachedir, yumConf.persistdir, yumConf.logdir):
        os.makedirs(folder, exist_ok=True)
