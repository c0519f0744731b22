// What was read, written back, reads the same: random configurations made of
// the lines that matter to the reader (headers, keys with separators and
// continuation lines, comments, stray bytes, NULs and carriage returns) are
// read, written, and read again.
#include <iostream>
#include <random>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "repos/yumconfio.h"
#include "tests/repos/conftree.h"

namespace
{

class Generator
{
public:
    explicit Generator(unsigned seed)
        : random(seed)
    {
    }

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }

    // Any bytes but a newline.
    QByteArray junk(int most)
    {
        QByteArray bytes;
        for (int n = below(most + 1); n > 0; --n) {
            char c = char(below(256));
            bytes += c == '\n' ? '\0' : c;
        }
        return bytes;
    }

    QByteArray pick(const QList<QByteArray>& choices) { return choices[below(choices.size())]; }

    QByteArray value()
    {
        switch (below(5)) {
        case 0:
            return QByteArray();
        case 1:
            return pick({"0", "1", "0 ", "no", " 0"});
        case 2:
            return pick({"http://a http://b", "file:///x\t", " http://u:pw@h/", "ftp://c \r"});
        default:
            return junk(12);
        }
    }

    QByteArray line(bool inYumConf)
    {
        switch (below(inYumConf ? 9 : 8)) {
        case 0:
            return "[" + pick({"a", "b", "c", " d ", "main", "e]f", "", "x\r", "g\tg"}) + "]";
        case 1:
        case 2:
            return pick({"name", "baseurl", "mirrorlist", "enabled", "gpgcheck", "cost",
                         "password", " name", "name ", "Name"})
                   + pick({"=", ":", " = ", "\t:"}) + value();
        case 3:
            return pick({" ", "\t", "  "}) + junk(8);
        case 4:
            return "#" + junk(10);
        case 5:
            return QByteArray();
        case 6:
            // Anything at all, a malformed header now and then.
            return junk(16);
        case 7:
            return pick({"\r", "\0", "[open", "=", ":"});
        default:
            return pick({"[main]", "cachedir=/var/x", "gpgcheck=1", "enabled=0", "keepcache=0"});
        }
    }

    QByteArray file(bool inYumConf)
    {
        QByteArray bytes;
        for (int n = below(12); n > 0; --n)
            bytes += line(inYumConf) + "\n";
        // Now and then a last line without its newline.
        if (below(4) == 0)
            bytes += line(inYumConf);
        return bytes;
    }

private:
    std::mt19937 random;
};

// Everything a read yields that a write must keep.
QStringList readState(const YumConfIO& conf)
{
    QStringList state{conf.mainText};
    for (const Repo::Entry& e : conf.entries) {
        state.append(QStringList{e.id, e.name, e.baseurl, e.mirrorlist, QString::number(e.enabled),
                                 QString::number(e.gpgcheck), e.other, e.file,
                                 QString::number(e.sortPosition)}
                         .join(QLatin1Char('|')));
    }
    return state;
}

}

TEST(ConfRoundTrip, WhatWasReadIsWrittenSoThatItReadsTheSame)
{
    Generator generate(20240611);
    int refusedReads = 0;
    int identifierQuestions = 0;
    int roundTrips = 0;
    for (int round = 0; round < 400; ++round) {
        ConfTree tree;
        tree.write("etc/yum.conf", generate.file(true));
        const char* const names[] = {"etc/yum.repos.d/a.repo", "etc/yum.repos.d/b.repo",
                                     "etc/yum/repos.d/c.repo"};
        for (const char* name : names) {
            if (generate.below(3) != 0)
                tree.write(name, generate.file(false));
        }

        QList<YumRepoEnabled> options;
        QHash<QString, bool> used;
        QStringList sink;
        YumConfIO conf(options, used);
        conf.setErrorSink(&sink);
        if (!conf.read(nullptr)) {
            ++refusedReads;
            continue;
        }
        const QStringList read = readState(conf);
        if (!conf.write(nullptr)) {
            // Only the question about empty or repeated identifiers, which
            // the sink answers No, may stop the write.
            ASSERT_EQ(sink.size(), 1) << round;
            EXPECT_TRUE(sink[0].endsWith("  Proceed?")) << sink[0].toStdString();
            ++identifierQuestions;
            continue;
        }
        ASSERT_TRUE(sink.isEmpty()) << round << sink.join('\n').toStdString();
        const QMap<QString, QString> written = tree.snapshot();

        QHash<QString, bool> usedAgain;
        YumConfIO again(options, usedAgain);
        again.setErrorSink(&sink);
        ASSERT_TRUE(again.read(nullptr)) << round << sink.join('\n').toStdString();
        EXPECT_EQ(readState(again), read) << round;
        // The first write normalises; the second changes nothing.
        ASSERT_TRUE(again.write(nullptr)) << round;
        EXPECT_EQ(tree.snapshot(), written) << round;
        ++roundTrips;
    }
    // Enough of each road was taken for the test to mean something.
    EXPECT_GT(roundTrips, 100);
    EXPECT_GT(refusedReads, 10);
    EXPECT_GT(identifierQuestions, 10);
    std::cout << roundTrips << " round trips, " << refusedReads << " refused reads, "
              << identifierQuestions << " identifier questions\n";
}
