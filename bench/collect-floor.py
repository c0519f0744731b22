#!/usr/bin/python3
# The floor of the collection benchmark (bench/collect): what the engine's
# collection costs at the least, done as plainly as dnf's Python API allows
# on the same sandbox and cache. It reads the sandbox's yum.conf and
# repository files, fills the sack with the installed packages and the
# repositories' metadata, and reads from the upgrades, the installed and
# the available packages the fields the engine keeps for every entry:
# name, epoch, version, release, repository, architecture, size, summary,
# build time and rpm group.
#
#   HOME=SANDBOX/home collect-floor.py SANDBOX
#
# Prints one line: "floor WALL CPU WORK_WALL WORK_CPU UPGRADES INSTALLED
# AVAILABLE MAXRSS_KB": seconds from before dnf is imported to the last field
# read, and from after the import (the work a second collection repeats),
# the counts, and the process's peak resident memory.

import time

started = time.perf_counter()
startedCpu = time.process_time()

import os  # noqa: E402
import resource  # noqa: E402
import sys  # noqa: E402

import floorbase  # noqa: E402  (imports dnf)

imported = time.perf_counter()
importedCpu = time.process_time()


def main():
    base = floorbase.filledBase(os.path.abspath(sys.argv[1]))
    query = base.sack.query()

    def fields(pkg, size):
        return (pkg.name, pkg.epoch, pkg.version, pkg.release, pkg.reponame, pkg.arch, size,
                pkg.summary, pkg.buildtime, pkg.group)

    upgrades = [fields(p, p.downloadsize) for p in query.upgrades().latest()]
    installed = [fields(p, p.installsize) for p in query.installed()]
    available = [fields(p, p.downloadsize) for p in query.available().latest()]
    now, nowCpu = time.perf_counter(), time.process_time()
    print("floor %.3f %.3f %.3f %.3f %d %d %d %d"
          % (now - started, nowCpu - startedCpu, now - imported, nowCpu - importedCpu,
             len(upgrades), len(installed), len(available),
             resource.getrusage(resource.RUSAGE_SELF).ru_maxrss))
    base.close()


main()
