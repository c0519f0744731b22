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
        conf.read(path)

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
    return YumConf(conf, configroot, path)


class _RepoFileReader(dnf.conf.read.RepoReader):
    """dnf's reader of repository sections, as strict as yum: a repository
    file that cannot be parsed fails the whole read instead of being skipped
    with a warning. (Single bad sections are still skipped with a warning,
    as yum did.)"""

    def __iter__(self):
        yield from self._get_repos(self.conf.config_file_path)
        files = []
        for folder in self.conf.reposdir:
            files += glob.glob(os.path.join(folder, "*.repo"))
        files.sort(key=lambda path: dnf.util.split_path(path[:-5]))
        for path in files:
            yield from self._get_repos(path)


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
