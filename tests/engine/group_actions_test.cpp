// Marked groups on apply, through the real engine, script and yum layer on
// a sandbox: a group passes its action to its members, logs each decision
// at level 4, and asks when a member already has a contradicting action;
// the answer decides the member's action, Cancel ends the apply before yum
// is called.
#include "tests/engine/apply_test.h"

namespace {

const QStringList before = {"kuv-kernel-1.0-1", "kuv-kernel-1.1-1", "kuv-lib-1.0-1",
                            "kuv-local-1.0-1",  "kuv-notes-1.0-1",  "kuv-oldtool-1.0-1"};

// Groups of the new shape made of plain dictionaries, whose keys() are
// views; all of them hold kuv-lib, which has an update, and a name that no
// package has.
const char* const sharedGroups = R"(
class Group(object):
    def __init__(self, name, mandatory, default=()):
        self.name, self.user_visible, self.installed = name, True, False
        self.mandatory_packages = dict.fromkeys(mandatory, 1)
        self.default_packages = dict.fromkeys(default, 1)
        self.optional_packages, self.conditional_packages = {'kuv-unknown': 1}, {}
broken = Group('Broken', ['kuv-app'])
del broken.default_packages
engineObject.collectGroupInfo = lambda: [Group('Libraries', ['kuv-lib'], ['kuv-docs']),
    Group('Cleanup', ['kuv-lib', 'kuv-notes']), Group('Purge', ['kuv-lib']), broken]
)";

}

class SharedGroupsTest : public ApplyTest
{
protected:
    void SetUp() override
    {
        CollectTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        script(sharedGroups);
        ASSERT_TRUE(io->collect(withoutRemote()));
        ASSERT_EQ(dialogs(), QStringList());
        // Groups are handled in list order: put them in the order named.
        for (const char* name : {"Libraries", "Cleanup", "Purge"}) {
            Package::Entry* group = find(name, true);
            ASSERT_NE(group, nullptr) << name;
            YumIOTestAccess::entries(*io).removeOne(group);
            YumIOTestAccess::entries(*io).append(group);
        }
    }

    QStringList groupLines(int from) { return logLines(from).filter(QRegExp("^0/4:")); }
};

TEST_F(ApplyTest, GroupMarkedInstallInstallsItsRequiredMembers)
{
    Package::Entry* apps = find("KUV Applications", true);
    ASSERT_NE(apps, nullptr);
    apps->action = Package::Install;
    const int logStart = io->logList.lockedCount();

    EXPECT_TRUE(io->apply());

    // kuv-app brings the update of kuv-lib it needs; the conditional
    // kuv-suite is not required.
    EXPECT_EQ(sandbox.installedPackages(),
              QStringList({"kuv-app-2.0-1", "kuv-docs-1.0-1", "kuv-kernel-1.0-1",
                           "kuv-kernel-1.1-1", "kuv-lib-1.1-1", "kuv-local-1.0-1",
                           "kuv-notes-1.0-1", "kuv-oldtool-1.0-1"}));
    EXPECT_EQ(logLines(logStart).filter("For group"),
              QStringList({"0/4:For group KUV Applications, marking package kuv-app for Install",
                           "0/4:For group KUV Applications, marking package kuv-docs for Install"}));
    EXPECT_EQ(find("kuv-docs")->markedBy, apps);
    EXPECT_EQ(find("kuv-suite")->groupAction, Package::NoAction);
}

TEST_F(SharedGroupsTest, ConflictAnswersDecideTheMembersActions)
{
    Package::Entry* lib = find("kuv-lib");
    Package::Entry* notes = find("kuv-notes");
    Package::Entry* cleanup = find("Cleanup", true);
    ASSERT_TRUE(lib && notes && cleanup);

    // Marked by an earlier group, then resolved earlier; Cancel at the
    // third question ends the apply before yum hears of it.
    find("Libraries", true)->action = Package::Update;
    cleanup->action = Package::Remove;
    find("Purge", true)->action = Package::Remove;
    answerer.pressButtons({1, 2});
    int logStart = io->logList.lockedCount();
    EXPECT_FALSE(io->apply());
    ASSERT_EQ(answerer.seen.size(), 2);
    EXPECT_EQ(dialogs()[0], "QMessageBox|Apply|Package kuv-lib is included in group Cleanup which "
                            "was marked for Remove,\nso the package would be marked for Remove,\n"
                            "but it also was part of group Libraries and so was marked for Update."
                            "\nHow do you wish to proceed?");
    EXPECT_EQ(answerer.seen[0].buttons, QStringList({"Remove", "Update", "Cancel"}));
    EXPECT_EQ(dialogs()[1], "QMessageBox|Apply|Package kuv-lib is included in group Purge which "
                            "was marked for Remove,\nso the package would be marked for Remove,\n"
                            "but you resolved an earlier conflict by marking it for Update.\n"
                            "How do you wish to proceed?");
    EXPECT_EQ(sandbox.installedPackages(), before);
    EXPECT_EQ(lib->groupAction, Package::Update);
    EXPECT_EQ(lib->markedBy, nullptr);
    EXPECT_EQ(notes->markedBy, cleanup);
    EXPECT_EQ(groupLines(logStart),
              QStringList({"0/4:For group Libraries, marking package kuv-lib for Update",
                           "0/4:For group Libraries, marking package kuv-docs for Install",
                           "0/4:Manually resolving conflict: marking package kuv-lib for Update",
                           "0/4:For group Cleanup, marking package kuv-notes for Remove"}));

    // A group whose member lists cannot be had stops the apply too.
    for (const char* name : {"Libraries", "Cleanup", "Purge"})
        find(name, true)->action = Package::NoAction;
    find("Broken", true)->action = Package::Install;
    answerer.seen.clear();
    EXPECT_FALSE(io->apply());
    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|Internal error: group lacks "
                                      "required package lists"}));

    // Marked individually: a Remove group can remove a member marked for
    // Update, and yum does so.
    find("Broken", true)->action = Package::NoAction;
    lib->action = Package::Update;
    cleanup->action = Package::Remove;
    answerer.seen.clear();
    answerer.pressButtons({0});
    logStart = io->logList.lockedCount();
    EXPECT_TRUE(io->apply());
    ASSERT_EQ(answerer.seen.size(), 2);
    EXPECT_EQ(dialogs()[0], "QMessageBox|Apply|Package kuv-lib is included in group Cleanup which "
                            "was marked for Remove,\nso the package would be marked for Remove,\n"
                            "but it was marked individually for Update.\nHow do you wish to proceed?");
    EXPECT_EQ(answerer.seen[0].buttons, QStringList({"Remove", "Update", "Cancel"}));
    EXPECT_EQ(groupLines(logStart).first(),
              "0/4:Manually resolving conflict: marking package kuv-lib for Remove");
    EXPECT_EQ(sandbox.installedPackages(), QStringList({"kuv-kernel-1.0-1", "kuv-kernel-1.1-1",
                                                "kuv-local-1.0-1", "kuv-oldtool-1.0-1"}));
}

TEST_F(SharedGroupsTest, ARemoveGroupRemovesItsUpdatableMemberThatHasNoMarkOfItsOwn)
{
    Package::Entry* lib = find("kuv-lib");
    Package::Entry* purge = find("Purge", true);
    ASSERT_TRUE(lib && purge);
    // kuv-lib has an update, so its row is Updatable, not Installed.
    ASSERT_EQ(lib->state, Package::Updatable);
    ASSERT_EQ(lib->action, Package::NoAction);
    purge->action = Package::Remove;
    const int logStart = io->logList.lockedCount();

    EXPECT_TRUE(io->apply());

    // No question about the member and no error: the transaction removes
    // it, and only it.
    EXPECT_EQ(dialogs(), QStringList({"ScrollableConfirmDialog|Apply|Transaction to be performed:\n"
                                      "\tRemove: kuv-lib 1.0-1 (noarch)\nTotal download size: 0b\n"}));
    EXPECT_EQ(groupLines(logStart),
              QStringList({"0/4:For group Purge, marking package kuv-lib for Remove"}));
    EXPECT_EQ(lib->groupAction, Package::Remove);
    EXPECT_EQ(lib->markedBy, purge);
    QStringList after = before;
    after.removeOne("kuv-lib-1.0-1");
    EXPECT_EQ(sandbox.installedPackages(), after);
}
