// Values that dnf would read otherwise than the editor shows them: the rule
// agrees with the dnf installed here both ways, the writer refuses each such
// value and writes nothing, and files that already hold such values go back
// as they were read.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegExp>

#include "repos/entry.h"
#include "repos/repoeditor/filetext.h"
#include "repos/valuecheck.h"
#include "repos/yumconfio.h"
#include "tests/repos/conftree.h"

using Repo::Entry;
using Repo::ValueCheck;

namespace
{

Entry section(const QString& id, const QString& name, const QString& file)
{
    Entry e;
    e.id = id;
    e.name = name;
    e.baseurl = "file:///srv/r";
    e.file = file;
    return e;
}

// A name as dnf gives it: each line trimmed, the lines joined, the
// identifier for none.
QString dnfName(const Entry& e)
{
    QStringList lines = e.name.split('\n');
    for (QString& line : lines)
        line = line.trimmed();
    const QString name = lines.join('\n').trimmed();
    return name.isEmpty() ? e.id : name;
}

}

class ValueRule : public ConfIOTest
{
protected:
    // dnf's reading of the configuration root, or a failure of the test.
    QJsonObject dnfView() { return readByDnf(conf.reposdirs); }

    // Whether dnf reads the file holding the entry as exactly that one
    // repository, with the values the editor shows.
    bool asShown(const QJsonObject& view, const Entry& e)
    {
        QJsonArray repos;
        for (const QJsonValue& repo : view["repos"].toArray()) {
            if (repo["file"].toString() == QFileInfo(e.file).fileName())
                repos.append(repo);
        }
        if (repos.size() != 1)
            return false;
        const QJsonObject repo = repos[0].toObject();
        // dnf keeps the empty line of an empty first line or of a blank
        // line between two URLs as an empty URL, which it passes over.
        QStringList urls;
        for (const QJsonValue& url : repo["baseurl"].toArray()) {
            if (!url.toString().isEmpty())
                urls << url.toString();
        }
        auto stored = [&](const char* key) {
            return RepoEditor::FileText::stored(repo[key].toString());
        };
        auto on = [](Entry::TriState value, bool byDefault) {
            return value == Entry::Yes || (value == Entry::Default && byDefault);
        };
        return stored("id") == e.id && stored("name") == dnfName(e)
               && urls == e.baseurl.split(QRegExp("\\s+"), Qt::SkipEmptyParts)
               && repo["mirrorlist"].toString() == e.mirrorlist
               && repo["enabled"].toBool() == on(e.enabled, conf.enabledDefault)
               && repo["gpgcheck"].toBool() == on(e.gpgcheck, conf.gpgcheckDefault);
    }

    // Runs a write that must fail with one error and leave every file as it
    // was; returns the error.
    QString refusedWrite()
    {
        const QMap<QString, QString> before = tree.snapshot();
        QStringList errors;
        conf.setErrorSink(&errors);
        EXPECT_FALSE(conf.write(nullptr));
        conf.setErrorSink(nullptr);
        EXPECT_EQ(tree.snapshot(), before);
        EXPECT_EQ(errors.size(), 1);
        return errors.value(0);
    }
};

// Sections the writer takes are read by dnf exactly as the editor shows
// them; each value the rule refuses, written as it used to be, is read by
// dnf as other repositories or options, or not at all.
TEST_F(ValueRule, TheRuleAgreesWithDnfBothWays)
{
    tree.write("etc/yum.conf", "[main]\n");
    ASSERT_TRUE(conf.read(nullptr));
    QList<Entry> taken;
    Entry e = section("a-b_c.d:E9", "Two\n  lines, [brackets] and = signs", "taken1.repo");
    e.baseurl = "file:///srv/a\n\nfile:///srv/b";
    e.enabled = Entry::Yes;
    e.gpgcheck = Entry::Yes;
    e.other = "# a comment\n; another\nexclude=foo\n  bar\n\npriority=5\n";
    taken << e;
    e = section("Main", "Upper main", "taken2.repo");
    e.baseurl.clear();
    e.mirrorlist = "file:///srv/mirrors";
    e.enabled = Entry::No;
    e.other = "metadata_expire = 1d\n";
    taken << e;
    // Placed by a relative name, in yum.conf itself.
    taken << section("in-conf", "In yum.conf",
                     QDir(conf.reposdirs.first()).relativeFilePath(YumConfIO::fileName()));
    conf.entries = taken;
    {
        BoxWatcher boxes;
        ASSERT_TRUE(conf.write(nullptr));
        EXPECT_TRUE(boxes.boxes.isEmpty());
    }
    taken = conf.entries;

    // Each refused value in a file of its own, as the writer wrote it before
    // it refused.
    struct Refused
    {
        Entry entry;
        QByteArray text;
    };
    QList<Refused> refused;
    auto refuse = [&](Entry entry, const QByteArray& text) {
        entry.file = tree.path(QString("%1/refused%2.repo").arg(firstRepoDir()).arg(refused.size()));
        refused.append({entry, text});
    };
    const QString cafe = RepoEditor::FileText::stored(QString::fromUtf8("caf\xc3\xa9"));
    for (const QString& id : {QString("x]y"), QString("br[ack]et"), cafe, QString("a b"),
                              QString("a=c"), QString("main"), QString("x-$basearch")}) {
        refuse(section(id, "n", ""), "[" + id.toLatin1() + "]\nname=n\nbaseurl=file:///srv/r\n");
    }
    refuse(section("named", "x\n [notasection]", ""),
           "[named]\nname=x\n [notasection]\nbaseurl=file:///srv/r\n");
    refuse(section("named", "x\ny", ""), "[named]\nname=x\ny\nbaseurl=file:///srv/r\n");
    Entry urls = section("urls", "n", "");
    urls.baseurl = "file:///srv/r\n[evil]";
    refuse(urls, "[urls]\nname=n\nbaseurl=file:///srv/r\n        [evil]\n");
    Entry mirror = section("ml", "n", "");
    mirror.baseurl.clear();
    mirror.mirrorlist = "http://m/\n\t[b]";
    refuse(mirror, "[ml]\nname=n\nmirrorlist=http://m/\n\t[b]\n");
    const QList<QPair<QString, QByteArray>> others = {
        {"exclude=a\n[evil]", "exclude=a\n[evil]\n"},
        {"garbage", "garbage\n"},
        {"metadata_expire: 1d", "metadata_expire: 1d\n"},
        {"  exclude=a", "  exclude=a\n"},
        {"a=b\n# note\n  c", "a=b\n# note\n  c\n"},
        {"enabled = 0", "enabled = 0\n"},
    };
    for (const auto& other : others) {
        Entry o = section("o", "n", "");
        o.other = other.first;
        refuse(o, "[o]\nname=n\nbaseurl=file:///srv/r\n" + other.second);
    }
    for (const Refused& r : refused) {
        conf.entries = taken;
        conf.entries.append(r.entry);
        EXPECT_TRUE(refusedWrite().startsWith("Repository " + r.entry.id + " cannot be written: "))
            << r.text.toStdString();
        QFile file(r.entry.file);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(r.text);
    }

    const QJsonObject view = dnfView();
    for (const Entry& entry : taken) {
        EXPECT_TRUE(ValueCheck::problems(entry).isEmpty()) << entry.id.toStdString();
        EXPECT_TRUE(asShown(view, entry)) << entry.id.toStdString();
    }
    for (const Refused& r : refused) {
        EXPECT_FALSE(ValueCheck::problems(r.entry).isEmpty()) << r.text.toStdString();
        EXPECT_FALSE(asShown(view, r.entry)) << r.text.toStdString();
    }
    // The other options the writer took reach dnf as well, and dnf found
    // nothing to complain about in its files.
    for (const QJsonValue& repo : view["repos"].toArray()) {
        if (repo["id"] == "a-b_c.d:E9") {
            EXPECT_EQ(repo["exclude"].toArray(), (QJsonArray{"foo", "bar"}));
            EXPECT_EQ(repo["priority"].toInt(), 5);
        }
    }
    for (const QJsonValue& line : view["log"].toArray()) {
        for (const Entry& entry : taken) {
            EXPECT_FALSE(line.toString().contains(QFileInfo(entry.file).fileName())
                         || line.toString().contains("'" + entry.id + "'"))
                << line.toString().toStdString();
        }
    }
}

// The writer names the value at fault and writes nothing: also for a
// repository "main" that a relative name would put into yum.conf, where it
// would join [main], and for a copy of a section into another file, which
// never held its identifier.
TEST_F(ValueRule, TheWriterSaysWhichValueItRefuses)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\nname=A\n");
    tree.write("etc/yum.repos.d/b.repo", "[x]y]\nname=B\n");
    ASSERT_TRUE(conf.read(nullptr));
    const QList<Entry> read = conf.entries;
    conf.entries.first().id = "main";
    conf.entries.first().file =
        QDir(conf.reposdirs.first()).relativeFilePath(YumConfIO::fileName());
    EXPECT_EQ(refusedWrite(), "Repository main cannot be written: Identifier main names the main "
                              "section, not a repository; errno = 22 (Invalid argument).");
    conf.entries = read;
    conf.entries.last().file = tree.path("etc/yum.repos.d/a.repo");
    EXPECT_TRUE(refusedWrite().startsWith("Repository x]y cannot be written: Identifier"));

    // Each edge of the identifier's characters is taken, the character
    // past it refused.
    QStringList errors;
    conf.setErrorSink(&errors);
    for (const QString& id : {"a", "z", "A", "Z", "0", "9", "-", "_", ".", ":"}) {
        conf.entries = read.mid(0, 1);
        conf.entries.first().id = id;
        EXPECT_TRUE(conf.write(nullptr)) << id.toStdString();
    }
    conf.setErrorSink(nullptr);
    EXPECT_EQ(errors, QStringList());
    for (const QString& id : {"`", "{", "@", "[", "/", ";", ",", "^"}) {
        conf.entries = read.mid(0, 1);
        conf.entries.first().id = "x" + id;
        EXPECT_TRUE(refusedWrite().startsWith("Repository x" + id + " cannot be written: Identifier"))
            << id.toStdString();
    }
}

// Files that hold such values already are read, and written back byte for
// byte, also when other sections of the same files change; the sections
// keep their values when the table turns them on or off, or when a
// credential in their URLs changes.
TEST_F(ValueRule, FilesThatHoldSuchValuesGoBackAsTheyWereRead)
{
    // Every "[main]" line of yum.conf is its main section.
    const QByteArray conf1 = "[main]\n\n[main]\nname=Main again\n";
    const QByteArray odd = "[x]y]\n"
                           "name=x\n"
                           " [notasection]\n"
                           "baseurl=http://h/kivrel?u=a&p=b&path=r\n"
                           "        [evil]\n"
                           "garbage\n"
                           "metadata_expire: 1d\n"
                           "#c\n"
                           "  more\n"
                           "\n"
                           "[ok]\n"
                           "name=fine\n";
    const QByteArray other = "[caf\xc3\xa9]\nname=c\n\n[a b]\n\n[main]\nname=M\n";
    tree.write("etc/yum.conf", conf1);
    tree.write("etc/yum.repos.d/odd.repo", odd);
    tree.write("etc/yum.repos.d/other.repo", other);
    // It holds a password already, so a write leaves its mode as it is.
    const QByteArray oddPath = QFile::encodeName(tree.path("etc/yum.repos.d/odd.repo"));
    ASSERT_EQ(::chmod(oddPath.constData(), 0600), 0);
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(ids(), (QStringList{"x]y", "ok", QString::fromLatin1("caf\xc3\xa9"), "a b", "main"}));
    const QMap<QString, QString> before = tree.snapshot();
    BoxWatcher boxes;
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_EQ(tree.snapshot(), before);

    ASSERT_TRUE(conf.read(nullptr));
    Entry& x = conf.entries[0];
    x.enabled = Entry::No;
    x.baseurl.replace("u=a&p=b", "u=a&p=c");
    conf.entries[1].name = "changed";
    conf.entries[2].gpgcheck = Entry::Yes;
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(tree.read("etc/yum.conf"), conf1);
    EXPECT_EQ(tree.read("etc/yum.repos.d/odd.repo"),
              QByteArray(odd)
                  .replace("p=b", "p=c")
                  .replace("        [evil]\n", "        [evil]\nenabled=0\n")
                  .replace("name=fine", "name=changed"));
    EXPECT_EQ(tree.read("etc/yum.repos.d/other.repo"),
              QByteArray(other).replace("name=c\n", "name=c\ngpgcheck=1\n"));
    // And once more, from what was written.
    ASSERT_TRUE(conf.write(nullptr));
    EXPECT_TRUE(boxes.boxes.isEmpty());

    // A held value exempts only itself: another refused value in the same
    // file, in a field of its own or a new section's identifier, is refused.
    const QList<Entry> written = conf.entries;
    conf.entries[0].other += "\n[evil]";
    EXPECT_TRUE(refusedWrite().startsWith("Repository x]y cannot be written: Other Options"));
    conf.entries = written;
    conf.entries.append(section("c d", "n", tree.path("etc/yum.repos.d/odd.repo")));
    EXPECT_TRUE(refusedWrite().startsWith("Repository c d cannot be written: Identifier"));
}

// A section with no File goes to the file named after its identifier: the
// UTF-8 of the identifier as shown, not its bytes encoded a second time.
TEST_F(ValueRule, AFileNamedAfterItsIdentifierIsTheOneThatHoldsIt)
{
    const QByteArray text = "[caf\xc3\xa9]\nname=c\n";
    tree.write("etc/yum.conf", "[main]\n");
    ASSERT_TRUE(conf.read(nullptr));
    tree.write(firstRepoDir() + "/caf\xc3\xa9.repo", text);
    ASSERT_TRUE(conf.read(nullptr));
    ASSERT_EQ(conf.entries.size(), 1);
    conf.entries.first().file.clear();
    BoxWatcher boxes;
    EXPECT_TRUE(conf.write(nullptr));
    EXPECT_TRUE(boxes.boxes.isEmpty());
    QList<QByteArray> names;
    for (const QString& name : QDir(tree.path(firstRepoDir())).entryList(QDir::Files))
        names << QFile::encodeName(name);
    EXPECT_EQ(names, QList<QByteArray>{"caf\xc3\xa9.repo"});
    EXPECT_EQ(tree.read(firstRepoDir() + "/caf\xc3\xa9.repo"), text);
}
