// Groups in both of yum's shapes, through the engine's collection on a
// sandbox whose packages are real and whose group information is made up
// here: small Python objects stand in for what collectGroupInfo() returns,
// and yum's version number chooses the shape.
#include "tests/engine/collect_test.h"

namespace {

// Group objects as yum 2.5 and later give them.
const char* const newShapeGroups =
    "class FakeGroup(object):\n"
    "    def __init__(self, name, installed, mandatory=(), visible=True, **kinds):\n"
    "        if name is not None:\n"
    "            self.name = name\n"
    "        if visible is not None:\n"
    "            self.user_visible = visible\n"
    "        self.installed = installed\n"
    "        self.mandatory_packages = dict((n, 1) for n in mandatory)\n"
    "        self.default_packages = dict((n, 1) for n in kinds.get('default', ()))\n"
    "        self.optional_packages = dict((n, 1) for n in kinds.get('optional', ()))\n"
    "        self.conditional_packages = dict((n, 'x') for n in kinds.get('conditional', ()))\n";

// One group-information object as yum before 2.5 gave it.
const char* const oldShapeInfo =
    "class FakeInfo(object):\n"
    "    pass\n"
    "info = FakeInfo()\n"
    "info.visible_groups = ['Tools', 'Base', 'Top', 'Cycle A', 'Cycle B', 'Desktop', 'Lost',\n"
    "                       'Tools']\n"
    "info.group_installed = {'Tools': True, 'Base': True, 'Top': True, 'Cycle A': True,\n"
    "                        'Cycle B': True, 'Desktop': False, 'Lost': True}\n"
    "info.mandatory_pkgs = {'Tools': ['kuv-lib', 'kuv-notes'], 'Base': ['kuv-notes'],\n"
    "                       'Top': [], 'Cycle A': ['kuv-notes'], 'Cycle B': ['kuv-local'],\n"
    "                       'Desktop': ['kuv-app']}\n"
    "info.default_pkgs = {'Tools': ['kuv-docs', 'kuv-app']}\n"
    "info.optional_pkgs = {'Tools': []}\n"
    "info.sub_groups = {'Tools': [], 'Base': [], 'Top': ['Base', 'Tools', 'Nowhere'],\n"
    "                   'Cycle A': ['Cycle B'], 'Cycle B': ['Cycle A'], 'Desktop': [],\n"
    "                   'Lost': []}\n"
    "info.default_metapkgs = {'Top': ['meta-b', 'Meta-a']}\n"
    "info.optional_metapkgs = {'Top': []}\n";

}

class GroupShapeTest : public CollectTest
{
protected:
    // Makes the script's object hand out `expression` as its groups, after
    // running `setup`.
    void offerGroups(const QByteArray& setup, const QByteArray& expression)
    {
        script(setup + "engineObject.collectGroupInfo = lambda: " + expression + "\n");
    }

    void pretendYumVersion(const char* version)
    {
        script(QByteArray("import yum\nyum.__version__ = '") + version + "'\n");
    }
};

TEST_F(GroupShapeTest, NewShapeSkipsHiddenAndRepeatedGroups)
{
    offerGroups(newShapeGroups,
                "[FakeGroup('Shown', False, ['kuv-app']),"
                " FakeGroup('Hidden', False, visible=False),"
                " FakeGroup('Unmarked', False, visible=None),"
                " FakeGroup('Shown', True, ['kuv-lib']),"
                " FakeGroup('Plain', True),"
                " FakeGroup('Current', True, ['kuv-notes', 'kuv-oldtool', 'kuv-app', 'kuv-none']),"
                " FakeGroup('Stale', True, ['kuv-notes', 'kuv-lib'])]");
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_EQ(dialogs(), QStringList());

    QStringList groups = names().filter(QRegExp("^@"));
    EXPECT_EQ(groups, QStringList({"@Current", "@Plain", "@Shown", "@Stale"}));
    // The first group of a name wins.
    EXPECT_EQ(find("Shown", true)->state, Package::Available);
    // No mandatory members: installed and up to date.
    EXPECT_EQ(find("Plain", true)->state, Package::Installed);
    // Available and unknown members do not make a group out of date.
    EXPECT_EQ(find("Current", true)->state, Package::Installed);
    EXPECT_EQ(find("Stale", true)->state, Package::Updatable);
    // A package and a group of one name are two entries.
    EXPECT_NE(find("kuv-lib"), nullptr);
}

TEST_F(GroupShapeTest, NewShapeGroupWithoutNameFailsTheCollection)
{
    offerGroups(newShapeGroups, "[FakeGroup('Fine', False), FakeGroup(None, False)]");
    EXPECT_FALSE(io->collect(withoutRemote()));
    EXPECT_EQ(io->count(), 0);
    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|Internal error: group without name"}));
}

TEST_F(GroupShapeTest, NewShapeGroupWithoutInstalledFlagFailsTheCollection)
{
    offerGroups(QByteArray(newShapeGroups) + "flagless = FakeGroup('Flagless', False)\n"
                                            "del flagless.installed\n",
                "[flagless]");
    EXPECT_FALSE(io->collect(withoutRemote()));
    EXPECT_EQ(dialogs(),
              QStringList({"QMessageBox|KUV Yum Error|Internal error: cannot find group's installed flag"}));
}

TEST_F(GroupShapeTest, NewShapeMemberListsAreSortedAndHaveNoOldLists)
{
    offerGroups(newShapeGroups,
                "[FakeGroup('Mixed', False, ['zeta', 'Alpha', 'alpha'], default=['b', 'a'],"
                " optional=[], conditional=['c'])]");
    ASSERT_TRUE(io->collect(withoutRemote()));
    Package::Entry* mixed = find("Mixed", true);
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(io->getMandatoryPkgs(*mixed), "Alpha\nalpha\nzeta");
    EXPECT_EQ(io->getDefaultPkgs(*mixed), "a\nb");
    EXPECT_EQ(io->getOptionalPkgs(*mixed), "");
    EXPECT_EQ(io->getConditionalPkgs(*mixed), "c");
    EXPECT_EQ(io->getRequiredGroups(*mixed), "");
    EXPECT_EQ(io->getDefaultMetaPkgs(*mixed), "");
    EXPECT_EQ(io->getOptionalMetaPkgs(*mixed), "");
    EXPECT_EQ(dialogs(), QStringList());
}

TEST_F(GroupShapeTest, OldShapeStatesFollowMandatoryPackagesAndSubGroups)
{
    pretendYumVersion("2.4.1");
    offerGroups(oldShapeInfo, "info");
    ASSERT_TRUE(io->collect(withoutRemote()));

    QStringList groups = names().filter(QRegExp("^@"));
    EXPECT_EQ(groups, QStringList({"@Base", "@Cycle A", "@Cycle B", "@Desktop", "@Lost", "@Tools",
                                   "@Top"}));
    EXPECT_EQ(find("Tools", true)->state, Package::Updatable);
    EXPECT_EQ(find("Base", true)->state, Package::Installed);
    // Out of date through its sub group alone; an unknown sub group is
    // no concern.
    EXPECT_EQ(find("Top", true)->state, Package::Updatable);
    // Sub groups that name each other end the test.
    EXPECT_EQ(find("Cycle A", true)->state, Package::Installed);
    EXPECT_EQ(find("Cycle B", true)->state, Package::Installed);
    EXPECT_EQ(find("Desktop", true)->state, Package::Available);

    // "Lost" has no mandatory list: reported, and counted as up to date.
    EXPECT_EQ(find("Lost", true)->state, Package::Installed);
    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|Internal error: "
                                      "groupInfo.mandatory_pkgs[Lost] not evaluable"}));

    // Every group shares the one information object.
    EXPECT_EQ(find("Tools", true)->po, find("Base", true)->po);
}

TEST_F(GroupShapeTest, OldShapeMemberListsIncludeSubGroupsAndMetaPackages)
{
    pretendYumVersion("2.4.1");
    offerGroups(oldShapeInfo, "info");
    ASSERT_TRUE(io->collect(withoutRemote()));
    answerer.seen.clear();

    Package::Entry* tools = find("Tools", true);
    Package::Entry* top = find("Top", true);
    ASSERT_NE(tools, nullptr);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(io->getMandatoryPkgs(*tools), "kuv-lib\nkuv-notes");
    EXPECT_EQ(io->getDefaultPkgs(*tools), "kuv-app\nkuv-docs");
    EXPECT_EQ(io->getOptionalPkgs(*tools), "");
    EXPECT_EQ(io->getConditionalPkgs(*tools), "");
    EXPECT_EQ(io->getRequiredGroups(*top), "Base\nNowhere\nTools");
    EXPECT_EQ(io->getDefaultMetaPkgs(*top), "Meta-a\nmeta-b");
    EXPECT_EQ(io->getOptionalMetaPkgs(*top), "");
    EXPECT_EQ(dialogs(), QStringList());

    // A list that lacks the group is reported and read as empty.
    EXPECT_EQ(io->getDefaultMetaPkgs(*tools), "");
    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|Internal error: "
                                      "groupInfo.default_metapkgs[Tools] not evaluable"}));
}

TEST_F(GroupShapeTest, OldShapeGroupWithoutInstalledFlagFailsTheCollection)
{
    pretendYumVersion("2.2.0");
    offerGroups(QByteArray(oldShapeInfo) + "del info.group_installed['Base']\n", "info");
    EXPECT_FALSE(io->collect(withoutRemote()));
    EXPECT_EQ(io->count(), 0);
    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|Internal error: cannot find "
                                      "groupInfo.group_installed['Base']"}));
}

TEST_F(GroupShapeTest, OldShapeWithoutVisibleGroupsFailsTheCollection)
{
    pretendYumVersion("2.4.1");
    offerGroups(QByteArray(oldShapeInfo) + "del info.visible_groups\n", "info");
    EXPECT_FALSE(io->collect(withoutRemote()));
    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|Internal error: "
                                      "groupInfo.visible_groups not evaluable"}));
}

TEST_F(GroupShapeTest, NoGroupsAvailableIsNoFailure)
{
    script("import yum.Errors\n"
           "def _noGroups():\n"
           "    raise yum.Errors.GroupsError('No Groups Available in any repository')\n"
           "engineObject.setupTsGroup = _noGroups\n"
           "engineObject.collectGroupInfo = lambda: []\n");
    ASSERT_TRUE(io->collect(withoutRemote()));
    EXPECT_TRUE(names().filter(QRegExp("^@")).isEmpty());
    EXPECT_NE(find("kuv-lib"), nullptr);
    EXPECT_EQ(dialogs(), QStringList());
}

TEST_F(GroupShapeTest, GroupFailuresEndTheCollectionWithTheirTexts)
{
    script("import yum.Errors\n"
           "def _otherGroupsError():\n"
           "    raise yum.Errors.GroupsError('comps file is damaged')\n"
           "engineObject.setupTsGroup = _otherGroupsError\n");
    EXPECT_FALSE(io->collect(withoutRemote()));
    EXPECT_EQ(dialogs(), QStringList({"QMessageBox|KUV Yum Error|Internal error: execution of "
                                      "yumIO.setupTsGroup failed"}));
    // The reason stays in the log.
    EXPECT_TRUE(logLines().contains("3/0:comps file is damaged"));

    answerer.seen.clear();
    io->clear();
    script("import yum.Errors\n"
           "def _baseError():\n"
           "    raise yum.Errors.YumBaseError('groups went missing')\n"
           "engineObject.setupTsGroup = _baseError\n");
    EXPECT_FALSE(io->collect(withoutRemote()));
    EXPECT_EQ(dialogs(), QStringList({"ScrollableErrorDialog|KUV Yum Error|groups went missing\n"
                                      "Unable to collect groups"}));

    answerer.seen.clear();
    io->clear();
    script("def _noInfo():\n"
           "    raise ValueError('broken script')\n"
           "engineObject.collectGroupInfo = _noInfo\n");
    EXPECT_FALSE(io->collect(withoutRemote()));
    ASSERT_EQ(answerer.seen.size(), 2) << dialogs().join("\n").toStdString();
    EXPECT_EQ(answerer.seen.last().text, "Internal error: execution of yumIO.collectGroupInfo failed");
    EXPECT_EQ(io->count(), 0);
}
