#!/usr/bin/python3
# A configuration root of its own for the tests of several architectures:
# small packages built for x86_64, i686 and noarch with rpmbuild --target,
# one file:// repository, and an installroot holding a multilib pair or two.
# The shared sandbox stays noarch only; its package set is pinned by many
# tests.
#
#   multiarchroot.py TARGET
#
# TARGET afterwards holds what scripts/make-sandbox makes, for these
# packages: etc/yum.conf, etc/yum.repos.d/multi.repo (repository
# "kuv-multi"), repos/multi, root/ (the installroot), home/.rpmmacros (HOME
# for every rpm or dnf run against root/), cache/, persist/ and log/. rpm
# never reaches the host: every run has a HOME and a database path of its own.

import concurrent.futures
import os
import subprocess
import sys

REPO_ID = "kuv-multi"

# (name, version, architecture, requirement or None)
PACKAGES = [
    # Both architectures of one version, as x86_64 repositories hold them.
    ("ma", "1.0", "x86_64", None),
    ("ma", "1.0", "i686", None),
    # The newer version for the other architecture only.
    ("mv", "1.0", "x86_64", None),
    ("mv", "2.0", "i686", None),
    # An installed multilib pair with an update for both.
    ("foo", "1.0", "x86_64", None),
    ("foo", "1.0", "i686", None),
    ("foo", "1.1", "x86_64", None),
    ("foo", "1.1", "i686", None),
    # An installed multilib pair with no other version anywhere.
    ("bar", "1.0", "x86_64", None),
    ("bar", "1.0", "i686", None),
    # An update that needs what no repository has, beside a good one.
    ("brk", "1.0", "noarch", None),
    ("brk", "1.1", "noarch", "nothere"),
    ("ok", "1.0", "noarch", None),
    ("ok", "1.1", "noarch", None),
    # An installed multilib pair whose update exists for one architecture.
    ("mlb", "1.0", "x86_64", None),
    ("mlb", "1.0", "i686", None),
    ("mlb", "1.1", "x86_64", None),
]

IN_REPOSITORY = ["ma-1.0-1.x86_64", "ma-1.0-1.i686", "mv-1.0-1.x86_64", "mv-2.0-1.i686",
                 "foo-1.1-1.x86_64", "foo-1.1-1.i686", "brk-1.1-1.noarch", "ok-1.1-1.noarch",
                 "mlb-1.1-1.x86_64"]

INSTALLED = ["foo-1.0-1.x86_64", "foo-1.0-1.i686", "bar-1.0-1.x86_64", "bar-1.0-1.i686",
             "brk-1.0-1.noarch", "ok-1.0-1.noarch", "mlb-1.0-1.x86_64", "mlb-1.0-1.i686"]

# Each architecture's copy has a file of its own, so that both install side
# by side as a multilib pair does.
SPEC = """Name:      %(name)s
Version:   %(version)s
Release:   1
Summary:   %(name)s for %(arch)s
License:   MIT
Group:     Applications/System
AutoReq:   no
%(requires)s
%%description
A package of the architecture tests.

%%install
mkdir -p %%{buildroot}/usr/share/%(name)s
echo "%(name)s %(version)s" > %%{buildroot}/usr/share/%(name)s/%(arch)s.txt

%%files
/usr/share/%(name)s
"""


def run(command, env, cwd=None):
    result = subprocess.run(command, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise RuntimeError("%s failed (exit %d):\n%s" % (
            " ".join(command), result.returncode, result.stdout.decode("utf-8", "replace")))


def buildOne(work, package):
    name, version, arch, requires = package
    nvra = "%s-%s-1.%s" % (name, version, arch)
    top = os.path.join(work, nvra)
    home = os.path.join(top, "home")
    db = os.path.join(top, "db")
    os.makedirs(home)
    os.makedirs(db)
    with open(os.path.join(home, ".rpmmacros"), "w") as f:
        f.write("%_dbpath " + db + "\n")
    spec = os.path.join(top, name + ".spec")
    with open(spec, "w") as f:
        f.write(SPEC % {"name": name, "version": version, "arch": arch,
                        "requires": "Requires:  %s\n" % requires if requires else ""})
    env = dict(os.environ, HOME=home, LC_ALL="C", TMPDIR=top, SOURCE_DATE_EPOCH="1577836800")
    run(["rpmbuild", "-bb", "--quiet", "--target", arch,
         "--define", "_topdir " + top, "--define", "_dbpath " + db,
         "--define", "_tmppath " + top, "--define", "_rpmdir " + work,
         "--define", "_build_name_fmt %%{NAME}-%%{VERSION}-%%{RELEASE}.%%{ARCH}.rpm",
         "--define", "debug_package %{nil}", spec], env)
    path = os.path.join(work, nvra + ".rpm")
    if not os.path.isfile(path):
        raise RuntimeError("rpmbuild made no " + nvra + ".rpm")
    return path


def make(target):
    """Fills the empty or missing folder `target`; RuntimeError with the
    failing tool's output when a step fails."""
    target = os.path.abspath(target)
    rpms = os.path.join(target, "rpms")
    repo = os.path.join(target, "repos", "multi")
    root = os.path.join(target, "root")
    home = os.path.join(target, "home")
    for folder in (rpms, repo, home, os.path.join(root, "var", "lib", "rpm"),
                   os.path.join(root, "var", "run"), os.path.join(target, "etc", "yum.repos.d"),
                   os.path.join(target, "cache"), os.path.join(target, "persist"),
                   os.path.join(target, "log")):
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(home, ".rpmmacros"), "w") as f:
        f.write("%_dbpath /var/lib/rpm\n")

    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        built = list(pool.map(lambda package: buildOne(rpms, package), PACKAGES))
    byName = dict((os.path.basename(path)[:-len(".rpm")], path) for path in built)

    env = dict(os.environ, HOME=home, LC_ALL="C")
    for nvra in IN_REPOSITORY:
        os.link(byName[nvra], os.path.join(repo, nvra + ".rpm"))
    run(["createrepo_c", "--quiet", repo], env)
    run(["rpm", "--root", root, "--initdb"], env)
    run(["rpm", "--root", root, "-i", "--nosignature"] + [byName[nvra] for nvra in INSTALLED], env)

    with open(os.path.join(target, "etc", "yum.conf"), "w") as f:
        f.write("[main]\n"
                "installroot=%(t)s/root\n"
                "cachedir=%(t)s/cache\n"
                "reposdir=%(t)s/etc/yum.repos.d\n"
                "persistdir=%(t)s/persist\n"
                "logfile=%(t)s/log/yum.log\n"
                "keepcache=0\n"
                "debuglevel=2\n"
                "exactarch=1\n"
                "obsoletes=1\n"
                "gpgcheck=0\n"
                "plugins=0\n" % {"t": target})
    with open(os.path.join(target, "etc", "yum.repos.d", "multi.repo"), "w") as f:
        f.write("[%s]\nname=KUV Architectures\nbaseurl=file://%s\nenabled=1\ngpgcheck=0\n"
                % (REPO_ID, repo))
    return target


if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1].startswith("-"):
        sys.stderr.write("usage: multiarchroot.py TARGET\n")
        sys.exit(2)
    try:
        make(sys.argv[1])
    except (RuntimeError, OSError) as error:
        sys.stderr.write("multiarchroot.py: %s\n" % error)
        sys.exit(1)
