# The dnf set-up shared by the benchmark floors (collect-floor.py,
# search-floor.py): a dnf configuration read from a sandbox's yum.conf the
# way the program's yum layer reads it, so that the floors and the program
# share one cache, and a Base filled from it.

import configparser
import os

import dnf
import dnf.conf


def makeConf(sandbox):
    """dnf's configuration for the sandbox folder's etc/yum.conf."""
    path = os.path.join(sandbox, "etc", "yum.conf")
    written = configparser.RawConfigParser()
    written.read(path)
    main = written["main"]
    conf = dnf.conf.Conf()
    conf.config_file_path = path
    conf.read(path)
    conf.installroot = main["installroot"]
    conf.releasever = "$releasever"
    # The paths as yum.conf writes them, as the program's yum layer takes
    # them, so that both read one cache.
    conf.cachedir = main["cachedir"]
    conf.persistdir = main["persistdir"]
    conf.logdir = os.path.dirname(main["logfile"])
    for folder in (conf.cachedir, conf.persistdir, conf.logdir):
        os.makedirs(folder, exist_ok=True)
    return conf


def filledBase(sandbox):
    """A Base on the sandbox's repositories with the installed packages and
    the repositories' metadata in its sack."""
    base = dnf.Base(makeConf(sandbox))
    base.read_all_repos()
    base.fill_sack(load_system_repo=True, load_available_repos=True)
    return base
