# File lists and change logs read straight from the repositories' cached
# metadata files: the same texts dnf gives for every available package, and
# dnf's own road where a file cannot be read.

import gzip
import os
import tempfile
import unittest

import layertest
from layertest import OnSandbox, loaded

layertest.script()  # puts the script's folder, and so the yum package, on sys.path
import yumIOC  # noqa: E402
from yum import mdparse  # noqa: E402


def collected():
    y = loaded()
    lists = y.collectAll()
    return y, lists.available + y.collectUpdates()


class FromTheCache(OnSandbox):

    RESET_CALLS = True

    def testFileListsAreDnfsForEveryAvailablePackage(self):
        y, available = collected()
        dnfs = dict((po, sorted(po.dnf.files)) for po in available)
        y.collectFileLists()
        for po in available:
            # Answered from the kept copy, not by dnf.
            self.assertIsNotNone(y._fileListOf(po), po)
            self.assertEqual(sorted(po.returnFileEntries("file")), dnfs[po], po)
            self.assertEqual(sorted(po.files["file"]), dnfs[po], po)
        self.assertTrue(any(len(paths) > 1 for paths in dnfs.values()))

    def testChangeLogsAreThoseOfDnfsSack(self):
        y, available = collected()
        y.collectOtherData()
        repoids = sorted(set(po.repoid for po in available))
        throughDnf = {}
        y._readChangeLogsThroughSack(repoids, throughDnf)
        self.assertTrue(throughDnf)
        for po in available:
            expected = throughDnf.get((po.pkgtup, po.repoid), throughDnf.get(po.pkgtup, []))
            self.assertEqual(po.returnChangelog(), expected, po)
        self.assertTrue(any(len(po.returnChangelog()) > 1 for po in available))

    def testAnUnreadableFileLeavesItsRepositoryToDnf(self):
        y, available = collected()
        throughDnf = dict((po, sorted(po.dnf.files)) for po in available)
        real = mdparse.readChangeLogs, mdparse.readFileLists

        def refuse(path, wanted):
            raise mdparse.MetadataError("%s: compression not known" % path)

        mdparse.readChangeLogs = mdparse.readFileLists = refuse
        try:
            y.collectOtherData()
            y.collectFileLists()
        finally:
            mdparse.readChangeLogs, mdparse.readFileLists = real
        lib = [po for po in available if po.name == "kuv-lib"][0]
        self.assertEqual(len(lib.returnChangelog()), 2)
        self.assertIsNone(y._fileListOf(lib))
        for po in available:
            self.assertEqual(sorted(po.returnFileEntries("file")), throughDnf[po])


class Parsing(unittest.TestCase):

    def write(self, text, name="other.xml.gz"):
        folder = tempfile.mkdtemp()
        self.addCleanup(lambda: [os.remove(os.path.join(folder, f)) for f in os.listdir(folder)]
                        and os.rmdir(folder))
        path = os.path.join(folder, name)
        with gzip.open(path, "wb") as stream:
            stream.write(text.encode("utf-8"))
        return path

    def testOnlyWantedPackagesAreKeptNewestEntryFirstWithTextsUnescaped(self):
        path = self.write(
            '<?xml version="1.0" encoding="UTF-8"?>\n'
            '<otherdata xmlns="http://linux.duke.edu/metadata/other" packages="2">\n'
            '<package pkgid="a" name="one" arch="noarch">\n'
            '  <version epoch="0" ver="1" rel="2"/>\n'
            '  <changelog author="Ann &lt;ann@x&gt; - 1-1" date="1600000000">- old</changelog>\n'
            '  <changelog author="Bob - 1-2" date="1700000000">- fix &amp; caf\u00e9</changelog>\n'
            '</package>\n'
            '<package pkgid="b" name="two" arch="x86_64">\n'
            '  <version epoch="1" ver="3" rel="4"/>\n'
            '  <changelog author="Cy" date="1700000000">- two</changelog>\n'
            '</package>\n'
            '</otherdata>\n')
        one = ("one", "noarch", "0", "1", "2")
        logs = mdparse.readChangeLogs(path, {one, ("two", "x86_64", "0", "3", "4")})
        self.assertEqual(list(logs), [one])
        self.assertEqual([(author, text) for _, author, text in logs[one]],
                         [("Bob - 1-2", "- fix & caf\u00e9"), ("Ann <ann@x> - 1-1", "- old")])
        self.assertGreater(logs[one][0][0], logs[one][1][0])
        self.assertEqual(logs[one][0][0] % 86400, 12 * 3600)

    def testFolderAndFileEntriesAreKeptInOrder(self):
        path = self.write(
            '<filelists packages="1"><package pkgid="a" name="one" arch="noarch">'
            '<version epoch="0" ver="1" rel="2"/><file type="dir">/usr/share/one</file>'
            '<file>/usr/share/one/a&amp;b</file><file type="ghost">/var/one</file>'
            '</package></filelists>', "filelists.xml.gz")
        found = mdparse.readFileLists(path, {("one", "noarch", "0", "1", "2")})
        self.assertEqual(found[("one", "noarch", "0", "1", "2")].split("\0"),
                         ["/usr/share/one", "/usr/share/one/a&b", "/var/one"])

    def throughExpat(self, path, wanted):
        return dict((key, "\0".join(text for _, text in items))
                    for key, items in mdparse._parse(path, "file", wanted).items())

    def testTheQuickScanReadsWhatExpatReadsAndLeavesOtherLayoutsToIt(self):
        one = ("one", "noarch", "0", "1", "2")
        two = ("t\u00e9&o", "x86_64", "3", "4", "5")
        wanted = {one, two}
        createrepo = (
            '<?xml version="1.0" encoding="UTF-8"?>\n'
            '<filelists xmlns="http://linux.duke.edu/metadata/filelists" packages="4">\n'
            '<package pkgid="a" name="one" arch="noarch">\n'
            '  <version epoch="0" ver="1" rel="2"/>\n'
            '  <file type="dir">/usr/share/one</file>\n'
            '  <file>/usr/share/one/caf&#233; &amp; &#x2F;x &gt; &quot;q&quot;</file>\n'
            '</package>\n'
            '<package pkgid="b" name="t&#xe9;&amp;o" arch="x86_64">\n'
            '  <version epoch="3" ver="4" rel="5"/>\n'
            '  <file type="ghost">/var/two</file>\n'
            '</package>\n'
            '<package pkgid="c" name="one" arch="noarch">\n'
            '  <version epoch="0" ver="1" rel="2"/>\n'
            '  <file>/listed/twice</file>\n'
            '</package>\n'
            '<package pkgid="d" name="unwanted" arch="noarch">\n'
            '  <version epoch="0" ver="1" rel="2"/>\n'
            '  <file>/not/kept</file>\n'
            '</package>\n'
            '</filelists>\n')
        path = self.write(createrepo, "filelists.xml.gz")
        expected = self.throughExpat(path, wanted)
        self.assertEqual(expected[one].split("\0"),
                         ["/usr/share/one", '/usr/share/one/caf\u00e9 & /x > "q"'])
        self.assertEqual(expected[two], "/var/two")
        scanned = mdparse._read(path, mdparse._FILE, mdparse._joinedPaths, wanted)
        self.assertIsNotNone(scanned)
        self.assertEqual(mdparse.readFileLists(path, wanted), expected)
        # Packages split across every read of the file.
        real = mdparse._CHUNK
        mdparse._CHUNK = 7
        try:
            self.assertIsNotNone(mdparse._read(path, mdparse._FILE, mdparse._joinedPaths, wanted))
            self.assertEqual(mdparse.readFileLists(path, wanted), expected)
        finally:
            mdparse._CHUNK = real

        strays = [
            createrepo.replace('pkgid="b" name="t&#xe9;&amp;o"', "pkgid='b' name='t&#xe9;&amp;o'"),
            createrepo.replace("/var/two", "<![CDATA[/var/two]]>"),
            createrepo.replace("</package>\n<package pkgid=\"c\"",
                               "</package>\n<!-- <file>/x</file> -->\n<package pkgid=\"c\""),
            createrepo.replace('<version epoch="3" ver="4" rel="5"/>',
                               '<version ver="4" epoch="3" rel="5"/>'),
            createrepo.replace("<file>/not/kept</file>", "<file/><other>/not/kept</other>"),
            createrepo.replace("<file>/listed/twice</file>", "<file>/listed\r\n/twice</file>"),
        ]
        for stray in strays:
            path = self.write(stray, "filelists.xml.gz")
            self.assertIsNone(mdparse._read(path, mdparse._FILE, mdparse._joinedPaths, wanted), stray)
            self.assertEqual(mdparse.readFileLists(path, wanted), self.throughExpat(path, wanted))
            self.assertEqual(mdparse.readFileLists(path, wanted)[two], "/var/two")

        for broken in ("&nbsp;", "&#0;", "&amp"):
            path = self.write(createrepo.replace("/var/two", "/var/" + broken), "filelists.xml.gz")
            with self.assertRaises(mdparse.MetadataError):
                mdparse.readFileLists(path, wanted)

    def testBrokenOrUnknownFilesAreMetadataErrors(self):
        broken = self.write("<filelists><package name='one'", "filelists.xml.gz")
        with self.assertRaises(mdparse.MetadataError):
            mdparse.readFileLists(broken, set())
        with self.assertRaises(mdparse.MetadataError):
            mdparse.readFileLists(broken.replace(".gz", ".zst"), set())
        # A cached file damaged inside its compressed stream.
        whole = self.write("<filelists>" + "<package/>" * 5000 + "</filelists>", "filelists.xml.gz")
        with open(whole, "r+b") as stream:
            stream.seek(40)
            stream.write(b"\xff" * 16)
        with self.assertRaises(mdparse.MetadataError):
            mdparse.readFileLists(whole, set())


if __name__ == "__main__":
    unittest.main(verbosity=2)
