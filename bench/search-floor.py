#!/usr/bin/python3
# The yardstick of the first Search in bench/startup: dnf's API reading the
# same data that the program's first Search reads, on the same sandbox and
# cache, done as plainly as the API allows. The set-up that the program has
# done before any Search (configuration, repositories, the installed and
# available packages, the table's entries) is not timed. Timed: loading the
# repositories' change logs (a second Base, as dnf gives them only so), the
# installed packages' headers, and then, for every package of the table,
# each field a Search matches (name, version, repository, architecture,
# size, summary, description, group, vendor, build time, install time,
# package file, source package, licence, packager, URL, relocations,
# provides, requires, conflicts, obsoletes, files, change log) turned into
# text and matched by itself until one matches.
#
#   HOME=SANDBOX/home search-floor.py SANDBOX PATTERN
#
# Prints one line: "floor SECONDS MATCHES PACKAGES TOTAL MAXRSS_KB": the
# timed part, the matches, the packages, the seconds of the whole read from
# before dnf is imported (the API's full read, set-up included), and the
# process's peak resident memory.

import time

processStarted = time.perf_counter()

import os  # noqa: E402
import re  # noqa: E402
import resource  # noqa: E402
import sys  # noqa: E402

import dnf  # noqa: E402
import rpm  # noqa: E402

from floorbase import filledBase, makeConf  # noqa: E402


def relations(reldeps):
    return "\n".join(sorted(str(r) for r in reldeps))


def changeLogText(entries):
    return "\n\n".join("* %s %s\n%s" % (time.strftime("%a %b %d %Y", time.gmtime(when)),
                                        author, text) for when, author, text in entries)


def main():
    sandbox = os.path.abspath(sys.argv[1])
    pattern = re.compile(sys.argv[2])

    # What the program has done before its first Search.
    base = filledBase(sandbox)
    query = base.sack.query()
    table = {}
    for pkg in query.upgrades().latest():
        table.setdefault(pkg.name, pkg)
    for pkg in query.installed():
        table.setdefault(pkg.name, pkg)
    for pkg in query.available().latest():
        table.setdefault(pkg.name, pkg)

    started = time.perf_counter()

    # The repositories' change logs, by package.
    other = dnf.Base(makeConf(sandbox))
    other.read_all_repos()
    for repo in other.repos.iter_enabled():
        repo.load_metadata_other = True
    other.fill_sack(load_system_repo=False, load_available_repos=True)
    changelogs = {}
    for pkg in other.sack.query().available():
        changelogs[(pkg.name, pkg.arch, pkg.evr)] = [
            (int(time.mktime(e["timestamp"].timetuple())), e["author"], e["text"])
            for e in pkg.changelogs]

    # The installed packages answer from their headers.
    headers = {}
    ts = rpm.TransactionSet(base.conf.installroot)
    for header in ts.dbMatch():
        headers[header[rpm.RPMTAG_NAME]] = header

    def fields(pkg):
        header = headers.get(pkg.name) if pkg.reponame == "@System" else None
        yield pkg.name
        yield "%s-%s" % (pkg.version, pkg.release)
        yield pkg.reponame
        yield pkg.arch
        yield str(pkg.installsize if header is not None else pkg.downloadsize)
        yield pkg.summary or ""
        yield pkg.description or ""
        yield pkg.group or ""
        yield pkg.vendor or ""
        yield time.ctime(pkg.buildtime)
        yield time.ctime(header[rpm.RPMTAG_INSTALLTIME]) if header is not None else ""
        yield pkg.location or ""
        yield pkg.sourcerpm or ""
        yield pkg.license or ""
        yield pkg.packager or ""
        yield pkg.url or ""
        yield "\n".join(header[rpm.RPMTAG_PREFIXES] or []) if header is not None else ""
        yield relations(pkg.provides)
        yield relations(pkg.requires)
        yield relations(pkg.conflicts)
        yield relations(pkg.obsoletes)
        yield "\n".join(sorted(set(pkg.files)))
        if header is not None:
            yield changeLogText(zip(header[rpm.RPMTAG_CHANGELOGTIME],
                                    header[rpm.RPMTAG_CHANGELOGNAME],
                                    header[rpm.RPMTAG_CHANGELOGTEXT]))
        else:
            yield changeLogText(changelogs.get((pkg.name, pkg.arch, pkg.evr), []))

    matches = 0
    for pkg in table.values():
        for text in fields(pkg):
            if pattern.search(text):
                matches += 1
                break

    now = time.perf_counter()
    print("floor %.3f %d %d %.3f %d" % (now - started, matches, len(table), now - processStarted,
                                        resource.getrusage(resource.RUSAGE_SELF).ru_maxrss))
    other.close()
    base.close()


main()
