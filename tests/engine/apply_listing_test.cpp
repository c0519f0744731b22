// The transaction listing, the confirmation and the estimates, through the
// real yumIOC callbacks with a yum made of stand-ins: the text the user
// confirms, yum's old and new list shapes, the internal errors of objects
// that lack what the listing reads, the size estimates of gigabyte
// transactions, the running total, the dependency lines, and rpm's codes
// that the engine does not understand.
#include "tests/engine/apply_test.h"

#include <QCoreApplication>

namespace {

// A file that exists, for packages whose file is at hand.
QByteArray existingFile()
{
    return QCoreApplication::applicationFilePath().toUtf8();
}

const quint64 gib = quint64(1) << 30;

}

TEST_F(ApplyFakeTest, ConfirmationShowsTheTransactionListingAndDownloadSize)
{
    useYum("3.4.3");
    python(R"(
yb = Yb(TsInfo(
    installed=[Member(Po('kuv-app', 'noarch', '0', '2.0', '1'))],
    updated=[Member(Po('kuv-lib', 'noarch', '0', '1.1', '1'))],
    removed=[Member(Po('kuv-local', 'noarch', '0', '1.0', '1'), 'installed')],
    depinstalled=[Member(Po('kuv-docs', 'noarch', '3', '1.0', '1'), 'kuv-extra')],
    depremoved=[Member(Po('kuv-old', 'noarch', '0', '0.9', '2'), 'installed')],
    obsoleted=[Member(Po('kuv-oldtool', 'noarch', '0', '1.0', '1'), 'installed',
                      [(Po('kuv-lib', 'noarch', '0', '1.0', '1'), 'updatedby'),
                       (Po('kuv-newtool', 'noarch', '0', '2.0', '1'), 'obsoletedby')])]))
yumIOC.listTransaction(yb)
yumIOC.reportDownloadSize([Sized(12345), Sized(1000)])
answer = yumIOC.userconfirm()
)");
    const QString expected = QStringLiteral(
        "Transaction to be performed:\n"
        "\tInstall: kuv-app 2.0-1 (noarch) [kuv-main]\n"
        "\tUpdate: kuv-lib 1.1-1 (noarch) [kuv-main]\n"
        "\tRemove: kuv-local 1.0-1 (noarch)\n"
        "Performing the following to resolve dependencies:\n"
        "\tInstall: kuv-docs 3:1.0-1 (noarch) [kuv-extra]\n"
        "\tRemove: kuv-old 0.9-2 (noarch)\n"
        "Other Transactions:\n"
        "\tObsoleting: kuv-oldtool 1.0-1 (noarch) with kuv-newtool 2.0-1 (noarch)\n"
        "Total download size: 13Kb\n");
    EXPECT_EQ(dialogs(), QStringList({"ScrollableConfirmDialog|Apply|" + expected}));
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "answer == 1"));
    EXPECT_TRUE(ApplyTestAccess::confirmed(*io));
    EXPECT_EQ(logLines().filter("Applying"), QStringList({"4/0:Applying: OK"}));
}

TEST_F(ApplyFakeTest, ListingOfExplicitInstallsAloneHasNoFurtherBlocks)
{
    useYum("3.4.3");
    python(R"(
yumIOC.listTransaction(Yb(TsInfo(installed=[Member(Po('kuv-app', 'noarch', '0', '2.0', '1')),
                                            Member(Po('kuv-docs', 'noarch', '0', '1.0', '1'))])))
)");
    EXPECT_EQ(ApplyTestAccess::transactionText(*io),
              "Transaction to be performed:\n"
              "\tInstall: kuv-app 2.0-1 (noarch) [kuv-main]\n"
              "\tInstall: kuv-docs 1.0-1 (noarch) [kuv-main]\n");
    EXPECT_EQ(dialogs(), QStringList());
}

TEST_F(ApplyFakeTest, OldYumHandsTheListsAsATupleAndRelatesPackageTuples)
{
    useYum("2.3.1");
    python(R"(
yumIOC.listTransaction(Yb(OldTsInfo(
    updated=[Member(Po('kuv-lib', 'noarch', '0', '1.1', '1'))],
    depupdated=[Member(Po('kuv-notes', 'noarch', '1', '2.0', '1'))],
    obsoleted=[Member(Po('kuv-oldtool', 'noarch', '0', '1.0', '1'), 'installed',
                      [(('kuv-newtool', 'noarch', '0', '2.0', '1'), 'obsoletedby')])])))
)");
    EXPECT_EQ(ApplyTestAccess::transactionText(*io),
              "Transaction to be performed:\n"
              "\tUpdate: kuv-lib 1.1-1 (noarch) [kuv-main]\n"
              "Performing the following to resolve dependencies:\n"
              "\tUpdate: kuv-notes 1:2.0-1 (noarch) [kuv-main]\n"
              "Other Transactions:\n"
              "\tObsoleting: kuv-oldtool 1.0-1 (noarch) with kuv-newtool 2.0-1 (noarch)\n");
    EXPECT_EQ(dialogs(), QStringList());
}

TEST_F(ApplyFakeTest, OldYumListsThatAreNoSevenTupleFailTheListing)
{
    useYum("2.3.1");
    python(R"(
class ListTsInfo(TsInfo):
    def makelists(self):
        return [[] for name in LISTS]
class SixTsInfo(TsInfo):
    def makelists(self):
        return tuple([] for name in LISTS[:6])
raised = []
for info in (ListTsInfo(), SixTsInfo()):
    try:
        yumIOC.listTransaction(Yb(info))
    except RuntimeError:
        raised.append(type(info).__name__)
)");
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "raised == ['ListTsInfo', 'SixTsInfo']"));
    EXPECT_EQ(dialogs(),
              QStringList({"QMessageBox|KUV Yum Error|Internal error: yumIO.makelists() did not "
                           "return a tuple\n",
                           "QMessageBox|KUV Yum Error|Internal error: yumIO.makelists() returned "
                           "tuple of incorrect size\n"}));
    EXPECT_EQ(ApplyTestAccess::transactionText(*io), QString());
}

TEST_F(ApplyFakeTest, MembersLackingWhatTheListingReadsFailItBeforeAnyEstimate)
{
    useYum("3.4.3");
    addEntry("kuv-app", Package::Available, 50000);
    python(R"(
class Bare(object):
    pass
app = Member(Po('kuv-app', 'noarch', '0', '2.0', '1'))
old = Po('kuv-oldtool', 'noarch', '0', '1.0', '1')
noRelation = Member(old, 'installed')
del noRelation.relatedto
cases = [
    TsInfo(installed=[app], removed=[Bare()]),
    TsInfo(installed=[app], obsoleted=[noRelation]),
    TsInfo(installed=[app], obsoleted=[Member(old, 'installed', [(app.po, 'updatedby')])]),
    TsInfo(installed=[app], obsoleted=[Member(old, 'installed', [(Bare(), 'obsoletedby')])]),
]
raised = 0
for info in cases:
    try:
        yumIOC.listTransaction(Yb(info))
    except RuntimeError:
        raised += 1
)");
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "raised == 4"));
    EXPECT_EQ(dialogs(), QStringList({
                             "QMessageBox|KUV Yum Error|Internal error: txmbr lacks pkgtup\n",
                             "QMessageBox|KUV Yum Error|Internal error: package has no relatedto\n",
                             "QMessageBox|KUV Yum Error|Internal error: couldn't find obsoletedby "
                             "package\n",
                             "QMessageBox|KUV Yum Error|Internal error: couldn't find obsoletedby "
                             "package\n",
                         }));
    // The listing stopped before the sizes were noted.
    EXPECT_EQ(ApplyTestAccess::installBytes(*io), 0u);
    EXPECT_EQ(ApplyTestAccess::rpmUnits(*io), 0u);
}

TEST_F(ApplyFakeTest, EstimatesOfGigabyteTransactionsNeitherWrapNorFallBelowTheMinimum)
{
    useYum("3.4.3");
    addEntry("kuv-app", Package::Available, 3 * gib);
    addEntry("kuv-lib", Package::Updatable, 2 * gib, 5 * gib);
    addEntry("kuv-local", Package::Installed, 0);
    python("here = '" + existingFile() + "'\n" + R"(
yumIOC.listTransaction(Yb(TsInfo(
    installed=[Member(Po('kuv-app', 'noarch', '0', '2.0', '1', local=''))],
    updated=[Member(Po('kuv-lib', 'noarch', '0', '1.1', '1', local=here))],
    removed=[Member(Po('kuv-local', 'noarch', '0', '1.0', '1'), 'installed')],
    obsoleted=[Member(Po('kuv-unknown', 'noarch', '0', '1.0', '1'), 'installed',
                      [(Po('kuv-app', 'noarch', '0', '2.0', '1'), 'obsoletedby')])])))
)");
    // The app is to be fetched, the library's file is at hand; the package
    // the table does not know adds nothing.
    EXPECT_EQ(ApplyTestAccess::installBytes(*io), 5 * gib);
    EXPECT_EQ(ApplyTestAccess::downloadBytes(*io), 3 * gib);
    // Three units per byte installed, a fifth of the old library's size,
    // and the removal of an empty package counts 10240.
    EXPECT_EQ(ApplyTestAccess::rpmUnits(*io), 9 * gib + 6 * gib + gib + 10240);
    EXPECT_EQ(ApplyTestAccess::updatedNames(*io), QSet<QString>({"kuv-lib"}));

    python("answer = yumIOC.userconfirm()");
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "answer == 1"));
    // 24000 steps shared in proportion: 3 of 5 gigabytes are downloads.
    EXPECT_EQ(ApplyTestAccess::downloadShare(*io), 14400u);
    // yum 3.4.3 without delta rpms: no rebuild and no test transaction.
    EXPECT_EQ(ApplyTestAccess::runningTotal(*io), 14400u + 9100u);
}

TEST_F(ApplyFakeTest, DownloadShareOfPetabyteTransactionsStaysInProportion)
{
    // Bytes times the 24000 steps no longer fit in 64 bits here.
    useYum("3.4.3");
    addEntry("kuv-app", Package::Available, 3 * (gib << 20));
    addEntry("kuv-docs", Package::Available, 2 * (gib << 20));
    python("here = '" + existingFile() + "'\n" + R"(
yumIOC.listTransaction(Yb(TsInfo(
    installed=[Member(Po('kuv-app', 'noarch', '0', '2.0', '1', local=''))],
    depinstalled=[Member(Po('kuv-docs', 'noarch', '0', '1.0', '1', local=here))])))
answer = yumIOC.userconfirm()
)");
    EXPECT_EQ(ApplyTestAccess::downloadBytes(*io), 3 * (gib << 20));
    EXPECT_EQ(ApplyTestAccess::downloadShare(*io), 14400u);
}

TEST_F(ApplyFakeTest, RunningTotalAddsTheRebuildAndTestSharesOfOlderYum)
{
    // Before 3.2.3 yum reported its test transaction; delta rpms add the
    // rebuild. Nothing to install leaves no download share.
    useYum("3.2.2", true);
    python("answer = yumIOC.userconfirm()");
    EXPECT_EQ(ApplyTestAccess::downloadShare(*io), 0u);
    EXPECT_EQ(ApplyTestAccess::runningTotal(*io), 2000u + 2000u + 9100u);
}

TEST_F(ApplyFakeTest, CancelAnswersNoAndLogsIt)
{
    useYum("3.4.3");
    answerer.setAnswer(DialogAnswerer::Reject);
    ApplyTestAccess::downloadShare(*io) = 777;
    python(R"(
yumIOC.listTransaction(Yb(TsInfo(installed=[Member(Po('kuv-app', 'noarch', '0', '2.0', '1'))])))
answer = yumIOC.userconfirm()
)");
    ASSERT_EQ(dialogs().size(), 1);
    EXPECT_TRUE(dialogs().first().startsWith("ScrollableConfirmDialog|Apply|Transaction to be performed:\n"));
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "answer == 0"));
    EXPECT_FALSE(ApplyTestAccess::confirmed(*io));
    EXPECT_EQ(logLines().filter("Applying"), QStringList({"4/0:Not Applying: Canceled"}));
    // The running phase is not set up.
    EXPECT_EQ(ApplyTestAccess::downloadShare(*io), 777u);
}

TEST_F(ApplyFakeTest, DependencyLinesCountPackagesAndMissingHeaders)
{
    useYum("3.4.3");
    python("here = '" + existingFile() + "'\n" + R"(
lib = Po('kuv-lib', 'noarch', '0', '1.1', '1', local='')
docs = Po('kuv-docs', 'noarch', '0', '1.0', '1', local=here)
notes = Po('kuv-notes', 'noarch', '0', '1.0', '1', local=here)
)");
    struct Named {
        const char* name;
        Package::State state;
    };
    for (Named named : {Named{"kuv-lib", Package::Updatable}, Named{"kuv-docs", Package::Available},
                        Named{"kuv-notes", Package::Installed}}) {
        Package::Entry* entry = addEntry(named.name, named.state, 1000);
        Python::PyGILStateWrapper guard(true);
        const QByteArray variable = QByteArray(named.name).mid(4);
        PyObject* po = YumIOTestAccess::python(*io).pyr(variable.constData());
        ASSERT_NE(po, nullptr);
        entry->po = po;
    }
    // As the apply leaves them for one marked update and one install.
    ApplyTestAccess::resolvePackages(*io) = 3;
    ApplyTestAccess::resolveCheckActs(*io) = 3;
    ApplyTestAccess::resolveDoneActs(*io) = 3;

    python(R"(
yumIOC.log(3, 'TSINFO: Marking kuv-docs as install (kuv-docs-1.0-1.noarch)')
yumIOC.log(3, 'TSINFO: Marking kuv-lib as update (kuv-lib-1.1-1.noarch)')
yumIOC.log(3, 'TSINFO: Updating kuv-lib to kuv-lib-1.1-1.noarch')
yumIOC.log(3, 'TSINFO: kuv-old-1.0-1.noarch marked as erase')
yumIOC.log(3, 'TSINFO: Obsoleting kuv-lib with kuv-docs')
)");
    EXPECT_EQ(dialogs(), QStringList());
    // 1 for the install, 2 for each update, 1 + 1 for the obsoleting pair;
    // the library's header is missing (twice asked for), the others' not.
    EXPECT_EQ(ApplyTestAccess::resolvePackages(*io), 3u + 1 + 2 + 2 + 2);
    EXPECT_EQ(ApplyTestAccess::resolveHeaders(*io), 2u);
    EXPECT_EQ(logLines().filter("TSINFO").size(), 5);

    python("yumIOC.dsRestartLoop()\nyumIOC.dsTsCheck()");
    EXPECT_EQ(ApplyTestAccess::resolveCheckActs(*io), 10u);
    EXPECT_EQ(ApplyTestAccess::resolveDoneActs(*io), 13u);
    EXPECT_EQ(ApplyTestAccess::resolveActs(*io), 13u + 10 * 2);
    EXPECT_EQ(ApplyTestAccess::itemPosition(*io), 10u);
    // Positions go on past 32 bits.
    ApplyTestAccess::resolveCheckActs(*io) = 5 * gib;
    python("yumIOC.dsTsCheck()");
    EXPECT_EQ(ApplyTestAccess::itemPosition(*io), 5 * gib + 10);

    // Lines that cannot be right change nothing and are reported.
    python(R"(
yumIOC.log(3, 'TSINFO: Marking kuv-notes as install (kuv-notes-1.0-1.noarch)')
yumIOC.log(3, 'TSINFO: Marking kuv-ghost as install (kuv-ghost-1.0-1.noarch)')
yumIOC.log(3, 'TSINFO: Marking kuv-docs')
yumIOC.log(3, 'TSINFO: Obsoleting kuv-lib by kuv-docs')
yumIOC.log(3, 'TSINFO: Erasing everything')
)");
    EXPECT_EQ(dialogs(),
              QStringList({
                  "QMessageBox|KUV Yum Error|Internal error: TSINFO mentions intent to install or "
                  "upgrade package that already seems up-to-date: kuv-notes",
                  "QMessageBox|KUV Yum Error|Internal error: TSINFO mentions unknown package: "
                  "kuv-ghost",
                  "QMessageBox|KUV Yum Error|Internal error: unexpected TSINFO: Marking kuv-docs",
                  "QMessageBox|KUV Yum Error|Internal error: unexpected TSINFO: Obsoleting kuv-lib "
                  "by kuv-docs",
                  "QMessageBox|KUV Yum Error|Internal error: unexpected TSINFO: Erasing everything",
              }));
    EXPECT_EQ(ApplyTestAccess::resolvePackages(*io), 10u);
    EXPECT_EQ(ApplyTestAccess::resolveHeaders(*io), 2u);
}

TEST_F(ApplyFakeTest, OutputAfterTheTransactionAddsWhatWasDone)
{
    useYum("3.4.3");
    python(R"(
result = yumIOC.postTransactionOutput(Yb(TsInfo(
    installed=[Member(Po('kuv-app', 'noarch', '0', '2.0', '1'))],
    depinstalled=[Member(Po('kuv-docs', 'noarch', '0', '1.0', '1'))],
    updated=[Member(Po('kuv-lib', 'noarch', '0', '1.1', '1'))],
    removed=[Member(Po('kuv-local', 'noarch', '0', '1.0', '1'), 'installed')],
    obsoleted=[Member(Po('kuv-oldtool', 'noarch', '0', '1.0', '1'), 'installed')])))
)");
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "result == ''"));
    EXPECT_EQ(ApplyTestAccess::transactionText(*io),
              "\tRemoved: kuv-local 1.0-1 (noarch)\n"
              "\tInstalled: kuv-app 2.0-1 (noarch)\n"
              "\tDependency Installed: kuv-docs 1.0-1 (noarch)\n"
              "\tUpdated: kuv-lib 1.1-1 (noarch)\n"
              "\tObsoleted: kuv-oldtool 1.0-1 (noarch)\n");
}

TEST_F(ApplyFakeTest, CodesNotUnderstoodAreLoggedOnceEachWithoutABox)
{
    useYum("3.4.3");
    const int start = logLines().size();
    // rpm calls back many times for each package: a code the engine does
    // not know must neither stop the transaction with a box nor flood the log.
    python(R"(
for element in range(3):
    yumIOC.tsEvent('kuv-lib', 999, 1, 2, element, 3)
    yumIOC.tsCallback(0, 0, 0, None, None)
    yumIOC.tsCallback(0x10000, 0, 0, None, None)
yumIOC.tsEvent('kuv-lib', 70, 1, 2, 1, 3)
yumIOC.tsCallback(4 | 8, 0, 0, None, None)
)");
    EXPECT_EQ(logLines(start),
              QStringList({"2/0:Internal error: YumIO::tsEvent action=999 not understood; ignoring",
                           "2/0:Internal error: YumIO::tsCallback what=0 not understood; ignoring",
                           "2/0:Internal error: YumIO::tsCallback what=65536 not understood; "
                           "ignoring"}));
    EXPECT_EQ(dialogs(), QStringList());
}
