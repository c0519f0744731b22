// Applying marked packages through the real engine, companion script and
// yum layer on a sandbox: the transaction is listed and confirmed in the
// relay's dialog and then changes the installroot's rpm database; Cancel,
// an unresolvable transaction, a mark that cannot be put into the script's
// lists and every failure after the confirmation change nothing and answer
// false. A confirmation counts for the apply it was given in only.
#include "tests/engine/apply_test.h"

namespace {

const QStringList before = TestSandbox::installedAtStart();

}

TEST_F(ApplyTest, ConfirmedTransactionChangesExactlyWhatWasMarked)
{
    ASSERT_EQ(sandbox.installedPackages(), before);
    mark("kuv-lib", Package::Update);
    mark("kuv-app", Package::Install);
    mark("kuv-local", Package::Remove);

    EXPECT_TRUE(io->apply());

    // kuv-app pulls in kuv-docs for the virtual name it requires.
    EXPECT_EQ(sandbox.installedPackages(),
              QStringList({"kuv-app-2.0-1", "kuv-docs-1.0-1", "kuv-kernel-1.0-1",
                           "kuv-kernel-1.1-1", "kuv-lib-1.1-1", "kuv-notes-1.0-1",
                           "kuv-oldtool-1.0-1"}));
    // The repositories are file:// ones: nothing is downloaded.
    EXPECT_EQ(dialogs(), QStringList({"ScrollableConfirmDialog|Apply|"
                                      + TestSandbox::appLibLocalTransaction()}));
    EXPECT_EQ(logTexts(Log::Action), QStringList({"Initialization", "Applying", "Applying: OK"}));
    EXPECT_EQ(logTexts(Log::Error), QStringList());
    // The dependency line named a package the table offers.
    EXPECT_EQ(logTexts(Log::Info).filter("TSINFO: "),
              QStringList({"TSINFO: Marking kuv-docs as install (kuv-docs-1.0-1.noarch)"}));
}

// The update of an install-only package installs beside the versions there
// (three stay within dnf's limit), and is listed as what it is, an install.
// Collected anew, the entry shows the newest installed version.
TEST_F(ApplyTest, UpdateOfAnInstallOnlyPackageInstallsItBesideTheOthers)
{
    mark("kuv-kernel", Package::Update);

    EXPECT_TRUE(io->apply());

    QStringList after = before;
    after.insert(2, "kuv-kernel-1.2-1");
    EXPECT_EQ(sandbox.installedPackages(), after);
    EXPECT_EQ(dialogs(), QStringList({"ScrollableConfirmDialog|Apply|"
                                      "Transaction to be performed:\n"
                                      "\tInstall: kuv-kernel 1.2-1 (noarch) [kuv-main]\n"
                                      "Total download size: 0b\n"}));
    EXPECT_EQ(logTexts(Log::Error), QStringList());

    io->clear();
    ASSERT_TRUE(io->collect(withoutRemote()));
    Package::Entry* kernel = find("kuv-kernel");
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(kernel->state, Package::Installed);
    EXPECT_EQ(kernel->verRel, "1.2-1");
    EXPECT_EQ(kernel->next, nullptr);
}

TEST_F(ApplyTest, CancelChangesNothingAndKeepsTheMarks)
{
    answerer.setAnswer(DialogAnswerer::Reject);
    mark("kuv-lib", Package::Update);
    mark("kuv-app", Package::Install);

    EXPECT_FALSE(io->apply());

    EXPECT_EQ(sandbox.installedPackages(), before);
    ASSERT_EQ(dialogs().size(), 1);
    EXPECT_TRUE(dialogs().first().startsWith("ScrollableConfirmDialog|Apply|"));
    EXPECT_EQ(logTexts(Log::Action).last(), "Not Applying: Canceled");
    EXPECT_EQ(find("kuv-lib")->action, Package::Update);
    EXPECT_EQ(find("kuv-app")->action, Package::Install);

    // The same object applies afterwards.
    answerer.setAnswer(DialogAnswerer::Accept);
    EXPECT_TRUE(io->apply());
    EXPECT_TRUE(sandbox.installedPackages().contains("kuv-app-2.0-1"));
}

TEST_F(ApplyTest, UnresolvableTransactionReportsYumsErrorAndChangesNothing)
{
    // kuv-app needs the library that is to be removed.
    mark("kuv-app", Package::Install);
    mark("kuv-lib", Package::Remove);
    const int logStart = io->logList.lockedCount();

    EXPECT_FALSE(io->apply());

    EXPECT_EQ(sandbox.installedPackages(), before);
    const QStringList shown = dialogs();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown.first().startsWith("ScrollableErrorDialog|KUV Yum Error|"));
    EXPECT_TRUE(shown.first().contains("kuv-app"));
    EXPECT_TRUE(shown.first().endsWith("\nError applying changes"));
    EXPECT_EQ(logTexts(Log::Error, logStart).last(), "Error applying changes");
    EXPECT_FALSE(logTexts(Log::Action).contains("Applying: OK"));
}

TEST_F(ApplyTest, EmptyMarksApplyNothing)
{
    EXPECT_FALSE(io->apply());
    EXPECT_EQ(dialogs(), QStringList());
    EXPECT_TRUE(logTexts(Log::Info).contains("Nothing to do"));
    EXPECT_EQ(sandbox.installedPackages(), before);
}

TEST_F(ApplyTest, RemovingAnUpdatablePackageRemovesItsInstalledVersion)
{
    mark("kuv-lib", Package::Remove);

    EXPECT_TRUE(io->apply());

    EXPECT_EQ(sandbox.installedPackages(), QStringList({"kuv-kernel-1.0-1", "kuv-kernel-1.1-1",
                                                "kuv-local-1.0-1", "kuv-notes-1.0-1",
                                                "kuv-oldtool-1.0-1"}));
    ASSERT_EQ(dialogs().size(), 1);
    EXPECT_TRUE(dialogs().first().contains("\tRemove: kuv-lib 1.0-1 (noarch)\n"));
}

TEST_F(ApplyTest, MarkThatCannotJoinTheListsAppliesNothing)
{
    Package::Entry* app = find("kuv-app");
    Package::Entry* lib = find("kuv-lib");
    ASSERT_NE(app, nullptr);
    ASSERT_NE(lib, nullptr);
    ASSERT_NE(lib->next, nullptr);
    app->action = Package::Install;
    lib->action = Package::Update;
    Py_ssize_t appReferences = 0;
    {
        Python::PyGILStateWrapper guard(true);
        appReferences = Py_REFCNT(app->po);
        // An installed version that has lost its object: the update pair
        // cannot be made.
        lib->next->releasePo();
    }
    const int logStart = io->logList.lockedCount();

    EXPECT_FALSE(io->apply());

    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|Unable to add old package to "
                                      "pair for updated package kuv-lib"}));
    // The script was never called, and the half-built lists are gone with
    // the references they held.
    EXPECT_FALSE(logTexts(Log::Info, logStart).contains("Resolving dependencies"));
    EXPECT_EQ(sandbox.installedPackages(), before);
    Python::PyGILStateWrapper guard(true);
    EXPECT_EQ(Py_REFCNT(app->po), appReferences);
}

TEST_F(ApplyTest, UpdateWithoutInstalledVersionAppliesNothing)
{
    Package::Entry* app = find("kuv-app");
    ASSERT_NE(app, nullptr);
    app->action = Package::Update;

    EXPECT_FALSE(io->apply());

    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|Unable to find installed "
                                      "version for package update kuv-app"}));
    EXPECT_FALSE(logTexts(Log::Info).contains("Resolving dependencies"));
}

TEST_F(ApplyTest, FailuresAfterTheConfirmationAreNeverSuccess)
{
    mark("kuv-app", Package::Install);
    Package::Entry* app = find("kuv-app");
    ASSERT_NE(app, nullptr);
    Py_ssize_t appReferences = 0;
    {
        Python::PyGILStateWrapper guard(true);
        appReferences = Py_REFCNT(app->po);
    }
    // Each stand-in apply asks the user, who says yes, and then fails. The
    // exception is made afresh in the call, so that nothing outside it keeps
    // the call's lists alive.
    script(R"(
import yumIOC
def failingWith(kind, *arguments):
    def apply(installs, updates, removes):
        yumIOC.userconfirm()
        raise kind(*arguments)
    return apply
)");

    script("engineObject.apply = failingWith(ZeroDivisionError, 'not one of yum')");
    EXPECT_FALSE(io->apply());
    script("engineObject.apply = failingWith(BrokenPipeError, 32, 'Broken pipe')");
    EXPECT_FALSE(io->apply());
    script("engineObject.apply = failingWith(FileNotFoundError, 2, 'No such file or directory')");
    EXPECT_FALSE(io->apply());

    const QStringList shown = dialogs();
    ASSERT_EQ(shown.size(), 6) << shown.join("\n---\n").toStdString();
    EXPECT_EQ(shown[0], "ScrollableConfirmDialog|Apply|");
    EXPECT_EQ(shown[1], "QMessageBox|KUV Yum Error|Internal error: python exception occurred "
                        "from C code\n");
    EXPECT_EQ(shown[2], "ScrollableConfirmDialog|Apply|");
    EXPECT_EQ(shown[3], "ScrollableErrorDialog|KUV Yum Error|Error applying changes: Exiting on "
                        "Broken Pipe");
    EXPECT_EQ(shown[4], "ScrollableConfirmDialog|Apply|");
    // Any other error of the system is one of yum's, with its text.
    EXPECT_EQ(shown[5], "ScrollableErrorDialog|KUV Yum Error|[Errno 2] No such file or "
                        "directory\nError applying changes");
    EXPECT_EQ(logTexts(Log::Action).filter("Applying: OK").size(), 3);
    EXPECT_EQ(sandbox.installedPackages(), before);
    // The lists went with each failure, their references with them.
    Python::PyGILStateWrapper guard(true);
    EXPECT_EQ(Py_REFCNT(app->po), appReferences);
}

// The user's yes belongs to the apply it was given in: a later apply whose
// script returns without asking is no success, and neither is one that
// fails with one of yum's errors after a yes.
TEST_F(ApplyTest, AConfirmationCountsForItsOwnApplyOnly)
{
    mark("kuv-app", Package::Install);
    script(R"(
import yumIOC
import yum.Errors
def confirming(installs, updates, removes):
    yumIOC.userconfirm()
def silent(installs, updates, removes):
    pass
def confirmingThenFailing(installs, updates, removes):
    yumIOC.userconfirm()
    raise yum.Errors.YumBaseError('the disk is full')
)");

    script("engineObject.apply = confirming");
    EXPECT_TRUE(io->apply());
    script("engineObject.apply = silent");
    EXPECT_FALSE(io->apply());
    script("engineObject.apply = confirmingThenFailing");
    EXPECT_FALSE(io->apply());
    script("engineObject.apply = silent");
    EXPECT_FALSE(io->apply());

    EXPECT_EQ(dialogs().filter("ScrollableConfirmDialog").size(), 2);
    EXPECT_EQ(logTexts(Log::Error).last(), "Error applying changes");
    EXPECT_EQ(sandbox.installedPackages(), before);
}
