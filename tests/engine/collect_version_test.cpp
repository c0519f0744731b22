// yum's version number and the behaviours chosen by it, the sqlite probe,
// and the sorted name lists of the description dialog.
#include "tests/engine/collect_test.h"

namespace {

// The version number of the given text, as if the probe had read it from
// yum already.
long versionOf(YumIO& io, const char* text)
{
    CollectTestAccess::yumVersionText(io) = QString::fromLatin1(text);
    CollectTestAccess::yumVersionKnown(io) = true;
    return CollectTestAccess::yumVersion(io);
}

}

class VersionTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped())
            return;
        makeEngine();
        // The probes run under the interpreter lock; no script is needed.
        ASSERT_TRUE(YumIOTestAccess::startInterpreter(*io));
    }

    DialogAnswerer answerer;
};

TEST_F(VersionTest, VersionNumberWeighsTheFirstThreeParts)
{
    EXPECT_EQ(versionOf(*io, "3.2.19"), 30219);
    EXPECT_EQ(versionOf(*io, "2.4"), 20400);
    EXPECT_EQ(versionOf(*io, "3.4.3.1"), 30403);
    EXPECT_EQ(versionOf(*io, "3..7"), 30007);
    EXPECT_EQ(versionOf(*io, ""), 0);
    // Reading stops at the first character that is no digit.
    EXPECT_EQ(versionOf(*io, "3.2rc1.5"), 30205);
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(VersionTest, BehavioursSwitchAtTheirVersions)
{
    versionOf(*io, "3.2.2");
    EXPECT_TRUE(CollectTestAccess::hasTransTest(*io));
    versionOf(*io, "3.2.3");
    EXPECT_FALSE(CollectTestAccess::hasTransTest(*io));
    versionOf(*io, "2.4.99");
    EXPECT_FALSE(CollectTestAccess::hasDistribGroups(*io));
    versionOf(*io, "2.5.0");
    EXPECT_TRUE(CollectTestAccess::hasDistribGroups(*io));
}

TEST_F(VersionTest, VersionOutOfRangeWarnsOncePerProcess)
{
    versionOf(*io, "99999999999999999999999.1.0");
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_EQ(answerer.seen.first().title, "KUV Yum Warning");
    EXPECT_TRUE(answerer.seen.first().text.startsWith(
        "Internal error: yum version not understood: 99999999999999999999999.1.0 errno=34 ("))
        << answerer.seen.first().text.toStdString();

    versionOf(*io, "99999999999999999999999.2.0");
    EXPECT_EQ(answerer.seen.size(), 1);
}

TEST_F(VersionTest, MakeSortedOrdersByCharacterCodes)
{
    QStringList lines{"beta", "Beta", "alpha", "_x", "Alpha", "alpha"};
    EXPECT_EQ(YumIO::makeSorted(lines), "Alpha\nBeta\n_x\nalpha\nalpha\nbeta");
    // Sorted in place.
    EXPECT_EQ(lines.first(), "Alpha");
    QStringList none;
    EXPECT_EQ(YumIO::makeSorted(none), "");
}

TEST_F(CollectTest, VersionAndSqliteComeFromTheScriptOnce)
{
    EXPECT_EQ(CollectTestAccess::yumVersion(*io), 30403);
    EXPECT_TRUE(CollectTestAccess::hasDistribGroups(*io));
    EXPECT_FALSE(CollectTestAccess::hasTransTest(*io));

    // Asked once per engine: a later change in the script goes unseen.
    EXPECT_TRUE(CollectTestAccess::usesSqlite(*io));
    script("import yum\n"
           "yum.__version__ = '2.0.0'\n"
           "usesSqlite = lambda: False\n");
    EXPECT_EQ(CollectTestAccess::yumVersion(*io), 30403);
    EXPECT_TRUE(CollectTestAccess::usesSqlite(*io));
    EXPECT_TRUE(answerer.seen.isEmpty());
}
