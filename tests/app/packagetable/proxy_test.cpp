// The package filter and sort: state and groups filters, the regular
// expression in Filter and Search mode, the trimming of ".*", the run every
// match holds, the rows' texts, the cached decisions and search texts, and
// the order by typed values.
#include "tests/app/packagetable/packagetable_test.h"


using namespace PackageTableTesting;
using PackageTable::Model;
using PackageTable::SearchTexts;
using PackageTable::SortFilterProxyModel;

namespace
{

class ProxyTest : public PackageTableTest
{
protected:
    void addMixed()
    {
        add({"bash", "5.1-2", Package::Updatable, Package::Ordinary, 100, 10, "updates"});
        add({"gcc", "12.2-1", Package::Available, Package::Ordinary, 200, 20, "base"});
        add({"vim", "9.0-1", Package::Installed, Package::Ordinary, 300, 30, "installed"});
        add({"Development Tools", "", Package::Available, Package::Group});
        add({"office", "1-1", Package::Installed, Package::Suite, 400, 40, "installed"});
    }

    QStringList sortedShown() const
    {
        QStringList names = shownNames();
        names.sort();
        return names;
    }

    // The names shown after sorting by column.
    QStringList sortedBy(int column, Qt::SortOrder order = Qt::AscendingOrder)
    {
        proxy->sort(column, order);
        return shownNames();
    }
};

TEST_F(ProxyTest, DotStarShowsEveryRowThatPassesStateAndGroups)
{
    addMixed();
    for (PackageTable::Mode mode : {PackageTable::Filter, PackageTable::Search}) {
        proxy->setMode(mode);
        for (const QString& pattern : {QString(".*"), QString(), QString(".*.*")}) {
            proxy->setFilterRegExp(pattern);
            EXPECT_EQ(proxy->rowCount(), 5) << pattern.toStdString();
        }
        proxy->setGroupsFilter(false);
        EXPECT_EQ(sortedShown(), (QStringList{"bash", "gcc", "office", "vim"}));
        proxy->setGroupsFilter(true);
    }
    // An empty pattern asks no field of any package.
    EXPECT_TRUE(fakeTexts.asked.isEmpty());
}

TEST_F(ProxyTest, StateFiltersChooseByInstallationState)
{
    addMixed();
    proxy->setStateFilter(PackageTable::ViewUpdatable);
    EXPECT_EQ(sortedShown(), QStringList{"bash"});
    proxy->setStateFilter(PackageTable::ViewInstallable);
    EXPECT_EQ(sortedShown(), (QStringList{"Development Tools", "gcc"}));
    proxy->setStateFilter(PackageTable::ViewRemovable);
    EXPECT_EQ(sortedShown(), (QStringList{"bash", "office", "vim"}));
    proxy->setStateFilter(PackageTable::ViewAll);
    EXPECT_EQ(proxy->rowCount(), 5);
}

TEST_F(ProxyTest, GroupsStayHiddenWhateverThePattern)
{
    addMixed();
    fakeTexts.set("Development Tools", SearchTexts::Name, "Development Tools");
    proxy->setGroupsFilter(false);
    for (PackageTable::Mode mode : {PackageTable::Filter, PackageTable::Search}) {
        proxy->setMode(mode);
        proxy->setFilterRegExp("Development");
        EXPECT_EQ(proxy->rowCount(), 0);
        proxy->setFilterRegExp(".*");
        EXPECT_FALSE(shownNames().contains("Development Tools"));
    }
    proxy->setGroupsFilter(true);
    EXPECT_TRUE(shownNames().contains("Development Tools"));
}

TEST_F(ProxyTest, FilterModeMatchesTheVisibleColumnsJoinedByOneBlank)
{
    addMixed();
    proxy->setFilterRegExp("bash 5\\.1");
    EXPECT_EQ(shownNames(), QStringList{"bash"});
    proxy->setFilterRegExp("bash  5\\.1");
    EXPECT_EQ(proxy->rowCount(), 0);
    // Repository, architecture, size text and time text are all part of it.
    proxy->setFilterRegExp("^gcc 12\\.2-1 base x86_64 200b t20$");
    EXPECT_EQ(shownNames(), QStringList{"gcc"});
    // The summary is not a column.
    (*io)[2]->summary = "editor";
    proxy->setFilterRegExp("editor");
    EXPECT_EQ(proxy->rowCount(), 0);
    EXPECT_TRUE(fakeTexts.asked.isEmpty());
}

// The rows' texts are made once and matched by every later pattern: each
// row's own text, whatever the texts before it, and made anew where a field
// was given a new value since.
TEST_F(ProxyTest, EveryPatternMatchesEachRowsOwnCurrentText)
{
    add({QString::fromUtf8("caf\xc3\xa9"), "1-1", Package::Available, Package::Ordinary, 100, 10});
    add({QStringLiteral("nul") + QChar(0) + QStringLiteral("tail"), "2-1"});
    add({"vim", "9.0-1", Package::Installed, Package::Ordinary, 300, 30, "installed"});
    proxy->setFilterRegExp(QString::fromUtf8("^caf\xc3\xa9 1-1 base x86_64 100b t10$"));
    EXPECT_EQ(proxy->rowCount(), 1);
    // A text ends at its first NUL, and the next row's starts after it.
    proxy->setFilterRegExp("tail");
    EXPECT_EQ(proxy->rowCount(), 0);
    proxy->setFilterRegExp("^nul$");
    EXPECT_EQ(proxy->rowCount(), 1);
    proxy->setFilterRegExp("^vim 9\\.0-1 installed x86_64 300b t30$");
    EXPECT_EQ(shownNames(), QStringList{"vim"});

    // The last field of the text, given a new value, counts at the next
    // pattern; so does the first.
    (*io)[2]->buildTimeText = "t99";
    proxy->setFilterRegExp("t99$");
    EXPECT_EQ(shownNames(), QStringList{"vim"});
    (*io)[2]->name = "nvim";
    (*io)[0]->buildTimeText = "t99";
    proxy->setFilterRegExp("^nvim|t99$");
    EXPECT_EQ(shownNames().size(), 2);
    proxy->setFilterRegExp("^vim");
    EXPECT_EQ(proxy->rowCount(), 0);
}

TEST_F(ProxyTest, PatternsAreCaseSensitive)
{
    addMixed();
    proxy->setFilterRegExp("GCC");
    EXPECT_EQ(proxy->rowCount(), 0);
    proxy->setFilterRegExp("gcc");
    EXPECT_EQ(shownNames(), QStringList{"gcc"});
    proxy->setFilterRegExp("Development");
    EXPECT_EQ(shownNames(), QStringList{"Development Tools"});
    proxy->setFilterRegExp("development");
    EXPECT_EQ(proxy->rowCount(), 0);
}

TEST_F(ProxyTest, PatternsAreExtendedExpressions)
{
    addMixed();
    proxy->setFilterRegExp("^(bash|vim) ");
    EXPECT_EQ(sortedShown(), (QStringList{"bash", "vim"}));
    proxy->setFilterRegExp("[0-9]{2}\\.[0-9]");
    EXPECT_EQ(shownNames(), QStringList{"gcc"});
    proxy->setFilterRegExp("^o.+e ");
    EXPECT_EQ(shownNames(), QStringList{"office"});
}

TEST_F(ProxyTest, PlainTextPatternsMatchTheirCharactersAnywhere)
{
    add({QString::fromUtf8("kdé-utils"), "1-1", Package::Installed});
    add({"kde-utils", "1-1", Package::Installed});
    add({"/usr/bin", "1-1", Package::Installed});
    proxy->setFilterRegExp(QString::fromUtf8("dé-"));
    EXPECT_EQ(shownNames(), QStringList{QString::fromUtf8("kdé-utils")});
    proxy->setFilterRegExp(QString::fromUtf8("é"));
    EXPECT_EQ(proxy->rowCount(), 1);
    proxy->setFilterRegExp("/usr/bin 1-1");
    EXPECT_EQ(shownNames(), QStringList{"/usr/bin"});
    proxy->setFilterRegExp("utils 1-2");
    EXPECT_EQ(proxy->rowCount(), 0);
    proxy->setFilterRegExp("kde-utils");
    EXPECT_TRUE(proxy->matches("a kde-utils b"));
    EXPECT_FALSE(proxy->matches("KDE-UTILS"));
}

TEST_F(ProxyTest, AnInvalidPatternShowsEveryRowThatPassesTheOtherFilters)
{
    addMixed();
    proxy->setFilterRegExp("bash(");
    EXPECT_EQ(proxy->rowCount(), 5);
    EXPECT_TRUE(proxy->matches("anything"));
    proxy->setStateFilter(PackageTable::ViewRemovable);
    EXPECT_EQ(sortedShown(), (QStringList{"bash", "office", "vim"}));
    proxy->setFilterRegExp("bash");
    EXPECT_EQ(shownNames(), QStringList{"bash"});
    EXPECT_FALSE(proxy->matches("anything"));
}

TEST_F(ProxyTest, TrimmingDropsOnlyAnUnescapedDotStarAtEitherEnd)
{
    const QList<QPair<QString, QString>> cases = {
        {".*", ""},
        {".*.*", ""},
        {"", ""},
        {".*gcc.*", "gcc"},
        {".*.*gcc.*.*", "gcc"},
        {"g.*c", "g.*c"},
        {"foo\\.*", "foo\\.*"},
        {"foo\\\\.*", "foo\\\\"},
        {"foo\\\\\\.*", "foo\\\\\\.*"},
        {"[\\].*", "[\\]"},
        {".*?x", ".*?x"},
        {".*+x", ".*+x"},
        {".**x", ".**x"},
        {".*{2}x", ".*{2}x"},
        {"^.*", "^"},
        {".*x.*?", "x.*?"},
        // glibc lets "^" hold right after a newline ".*" took, and "$"
        // right before one: such a ".*" stays.
        {".*^x", ".*^x"},
        {"x$.*", "x$.*"},
        {".*[^x]$", "[^x]$"},
        {".*x\\^.*", "x\\^"},
        {".*[$^]x.*", "[$^]x"},
    };
    for (const auto& item : cases)
        EXPECT_EQ(SortFilterProxyModel::trimmedPattern(item.first), item.second)
            << item.first.toStdString();
}

TEST_F(ProxyTest, AnEscapedDotStarStillFilters)
{
    add({"libfoo", "1-1", Package::Available});
    add({"foo..bar", "1-1", Package::Available});
    add({"bar", "1-1", Package::Available});
    // foo followed by dots: a pattern, not "foo\" (which does not compile
    // and would show every row).
    proxy->setFilterRegExp("foo\\.*");
    EXPECT_EQ(sortedShown(), (QStringList{"foo..bar", "libfoo"}));
    proxy->setFilterRegExp("foo\\.\\.*bar");
    EXPECT_EQ(shownNames(), QStringList{"foo..bar"});
    proxy->setFilterRegExp(".*?bar");
    EXPECT_EQ(sortedShown(), (QStringList{"bar", "foo..bar"}));
}

TEST_F(ProxyTest, SearchTriesAPackagesFieldsInOrderUntilOneMatches)
{
    add({"bash", "5.1-2", Package::Installed});
    proxy->setMode(PackageTable::Search);
    fakeTexts.set("bash", SearchTexts::Summary, "The GNU Bourne Again shell");
    proxy->setFilterRegExp("Bourne");
    EXPECT_EQ(shownNames(), QStringList{"bash"});
    QList<int> fields;
    for (const auto& asked : fakeTexts.asked)
        fields << asked.second;
    EXPECT_EQ(fields, (QList<int>{SearchTexts::Name, SearchTexts::VerRel, SearchTexts::Repo,
                                  SearchTexts::Arch, SearchTexts::Size, SearchTexts::Summary}));

    fakeTexts.asked.clear();
    proxy->setFilterRegExp("nowhere");
    EXPECT_EQ(proxy->rowCount(), 0);
    fields.clear();
    for (const auto& asked : fakeTexts.asked)
        fields << asked.second;
    // The six read before are not asked again.
    EXPECT_EQ(fields, (QList<int>{SearchTexts::Description, SearchTexts::Group, SearchTexts::Vendor,
                                  SearchTexts::BuildTime, SearchTexts::InstallTime,
                                  SearchTexts::BinaryRpm, SearchTexts::SourceRpm,
                                  SearchTexts::License, SearchTexts::Packager, SearchTexts::Url,
                                  SearchTexts::Relocations, SearchTexts::Provides,
                                  SearchTexts::Requires, SearchTexts::Conflicts,
                                  SearchTexts::Obsoletes, SearchTexts::Files,
                                  SearchTexts::ChangeLog}));
    EXPECT_EQ(SearchTexts::packageFields().size(), 23);
}

TEST_F(ProxyTest, SearchTriesAGroupsEightFields)
{
    add({"Editors", "", Package::Available, Package::Group});
    proxy->setMode(PackageTable::Search);
    fakeTexts.set("Editors", SearchTexts::ConditionalPkgs, "vim-X11\nemacs-gtk");
    proxy->setFilterRegExp("emacs");
    EXPECT_EQ(shownNames(), QStringList{"Editors"});
    QList<int> fields;
    for (const auto& asked : fakeTexts.asked)
        fields << asked.second;
    EXPECT_EQ(fields, (QList<int>{SearchTexts::Name, SearchTexts::RequiredGroups,
                                  SearchTexts::DefaultMetaPkgs, SearchTexts::OptionalMetaPkgs,
                                  SearchTexts::MandatoryPkgs, SearchTexts::DefaultPkgs,
                                  SearchTexts::OptionalPkgs, SearchTexts::ConditionalPkgs}));
}

TEST_F(ProxyTest, SearchFindsFileListsAndChangeLogs)
{
    add({"coreutils", "9.1-1", Package::Installed});
    add({"bash", "5.1-2", Package::Installed});
    add({"zsh", "5.9-1", Package::Available, Package::Suite});
    fakeTexts.set("coreutils", SearchTexts::Files, "/usr/bin/cat\n/usr/bin/ls");
    fakeTexts.set("bash", SearchTexts::ChangeLog,
                  "* Wed Jun 30 1993 Chet Ramey\n- fix CVE-2022-3715");
    fakeTexts.set("zsh", SearchTexts::Requires, "libc.so.6\nlibncursesw.so.6");
    proxy->setMode(PackageTable::Search);

    proxy->setFilterRegExp("/usr/bin/ls$");
    EXPECT_EQ(shownNames(), QStringList{"coreutils"});
    proxy->setFilterRegExp("CVE-[0-9]+-3715");
    EXPECT_EQ(shownNames(), QStringList{"bash"});
    proxy->setFilterRegExp("ncursesw");
    EXPECT_EQ(shownNames(), QStringList{"zsh"});
    // ^ anchors at the start of the whole field, not of each line.
    proxy->setFilterRegExp("^/usr/bin/ls");
    EXPECT_EQ(proxy->rowCount(), 0);
}

TEST_F(ProxyTest, SearchMatchesEachFieldByItself)
{
    add({"bash", "5.1-2", Package::Installed});
    fakeTexts.set("bash", SearchTexts::Name, "bash");
    fakeTexts.set("bash", SearchTexts::VerRel, "5.1-2");
    proxy->setFilterRegExp("bash 5");
    EXPECT_EQ(shownNames(), QStringList{"bash"});
    proxy->setMode(PackageTable::Search);
    EXPECT_EQ(proxy->rowCount(), 0);
    fakeTexts.set("bash", SearchTexts::Description, "Run bash 5 anywhere");
    proxy->setSearchTexts(&fakeTexts);
    proxy->setFilterRegExp("bash 5");
    EXPECT_EQ(shownNames(), QStringList{"bash"});
    // Changing the mode back re-filters with the pattern already set.
    proxy->setMode(PackageTable::Filter);
    EXPECT_EQ(shownNames(), QStringList{"bash"});
}

TEST_F(ProxyTest, DecisionsAreKeptUntilAFilterOrThePatternChanges)
{
    addMixed();
    proxy->setFilterRegExp("gcc");
    EXPECT_EQ(shownNames(), QStringList{"gcc"});
    // A name that no longer matches: the decision made for the entry stands.
    (*io)[1]->name = "clang";
    proxy->setFilter(false);
    EXPECT_EQ(proxy->rowCount(), 5);
    EXPECT_FALSE(proxy->getFilter());
    proxy->setFilter(true);
    EXPECT_EQ(shownNames(), QStringList{"clang"});
    proxy->setFilterRegExp("gcc");
    EXPECT_EQ(shownNames(), QStringList{"clang"});

    proxy->setStateFilter(PackageTable::ViewInstallable);
    EXPECT_EQ(proxy->rowCount(), 0);
    proxy->setStateFilter(PackageTable::ViewAll);
    (*io)[1]->name = "gcc";
    proxy->setGroupsFilter(false);
    EXPECT_EQ(shownNames(), QStringList{"gcc"});
    (*io)[1]->name = "clang";
    proxy->setFilterRegExp("clang");
    EXPECT_EQ(shownNames(), QStringList{"clang"});
    (*io)[1]->name = "gcc";
    proxy->setMode(PackageTable::Search);
    proxy->setMode(PackageTable::Filter);
    EXPECT_EQ(proxy->rowCount(), 0);
}

TEST_F(ProxyTest, ANewPatternDecidesEveryRowBeforeTheViewAsks)
{
    add({"a", "1-1", Package::Installed});
    add({"b", "1-1", Package::Installed});
    add({"c", "1-1", Package::Installed});
    proxy->setMode(PackageTable::Search);
    proxy->setFilterRegExp("nothing");
    EXPECT_EQ(fakeTexts.asked.size(), 3 * 23);
    // Asking the view's questions afterwards reads nothing more.
    fakeTexts.asked.clear();
    proxy->invalidate();
    EXPECT_EQ(proxy->rowCount(), 0);
    EXPECT_TRUE(fakeTexts.asked.isEmpty());
}

TEST_F(ProxyTest, ARecollectionDecidesAnewForTheNewEntries)
{
    add({"gcc", "12-1", Package::Available});
    proxy->setFilterRegExp("gcc");
    EXPECT_EQ(shownNames(), QStringList{"gcc"});
    // The new entry is likely to get the address of the one deleted.
    recollect({{"clang", "15-1", Package::Available}});
    EXPECT_EQ(proxy->rowCount(), 0);
    recollect({{"gcc", "13-1", Package::Available}, {"gcc-c++", "13-1", Package::Available}});
    EXPECT_EQ(sortedShown(), (QStringList{"gcc", "gcc-c++"}));

    proxy->setMode(PackageTable::Search);
    fakeTexts.set("gcc", SearchTexts::Url, "https://gcc.gnu.org");
    proxy->setFilterRegExp("gnu\\.org");
    EXPECT_EQ(shownNames(), QStringList{"gcc"});
    // Texts read for the old entries are not used for the new ones.
    fakeTexts.table.clear();
    fakeTexts.asked.clear();
    recollect({{"gcc", "14-1", Package::Available}});
    EXPECT_EQ(proxy->rowCount(), 0);
    EXPECT_EQ(fakeTexts.asked.size(), 23);
}

TEST_F(ProxyTest, LoadedExtraDataIsReadAgain)
{
    add({"bash", "5.1-2", Package::Available});
    proxy->setMode(PackageTable::Search);
    proxy->setFilterRegExp("CVE-1");
    EXPECT_EQ(proxy->rowCount(), 0);
    // The change logs arrive after a failed first load.
    fakeTexts.set("bash", SearchTexts::ChangeLog, "- fix CVE-1");
    emit io->collectedExtraData();
    proxy->setFilterRegExp("CVE-1");
    EXPECT_EQ(shownNames(), QStringList{"bash"});
}

TEST_F(ProxyTest, NumericColumnsSortByValueTiesByName)
{
    const quint64 gib = Q_UINT64_C(1) << 30;
    add({"ten", "1-1", Package::Installed, Package::Ordinary, 10, 5});
    add({"nine", "1-1", Package::Available, Package::Suite, 9, -5});
    add({"three-gib", "1-1", Package::Updatable, Package::Group, 3 * gib, 2000000000});
    add({"beyond-signed", "1-1", Package::Installed, Package::Ordinary,
         (Q_UINT64_C(1) << 63) + 5, 1});
    add({"also-ten", "1-1", Package::Installed, Package::Ordinary, 10, 5});
    (*io)[0]->action = Package::Remove;
    (*io)[1]->action = Package::Install;
    (*io)[4]->action = Package::Update;

    EXPECT_EQ(sortedBy(Model::SizeColumn),
              (QStringList{"nine", "also-ten", "ten", "three-gib", "beyond-signed"}));
    EXPECT_EQ(sortedBy(Model::SizeColumn, Qt::DescendingOrder),
              (QStringList{"beyond-signed", "three-gib", "ten", "also-ten", "nine"}));
    EXPECT_EQ(sortedBy(Model::BuildTimeColumn),
              (QStringList{"nine", "beyond-signed", "also-ten", "ten", "three-gib"}));
    EXPECT_EQ(sortedBy(Model::ActionColumn),
              (QStringList{"also-ten", "nine", "ten", "beyond-signed", "three-gib"}));
    EXPECT_EQ(sortedBy(Model::StateColumn),
              (QStringList{"three-gib", "nine", "also-ten", "beyond-signed", "ten"}));
    EXPECT_EQ(sortedBy(Model::KindColumn),
              (QStringList{"nine", "three-gib", "also-ten", "beyond-signed", "ten"}));
}

TEST_F(ProxyTest, TextColumnsSortByTextTiesByName)
{
    add({"zlib", "1.2-1", Package::Installed, Package::Ordinary, 1, 1, "base", "x86_64"});
    add({"acl", "2.3-1", Package::Installed, Package::Ordinary, 1, 1, "updates", "noarch"});
    add({"bc", "10.0-1", Package::Installed, Package::Ordinary, 1, 1, "base", "i686"});
    add({"Zeta", "1.2-1", Package::Installed, Package::Ordinary, 1, 1, "base", "x86_64"});

    EXPECT_EQ(sortedBy(Model::NameColumn), (QStringList{"Zeta", "acl", "bc", "zlib"}));
    EXPECT_EQ(sortedBy(Model::RepositoryColumn), (QStringList{"Zeta", "bc", "zlib", "acl"}));
    // Version texts compare as text: "10.0" before "2.3".
    EXPECT_EQ(sortedBy(Model::VersionColumn), (QStringList{"Zeta", "zlib", "bc", "acl"}));
    EXPECT_EQ(sortedBy(Model::ArchitectureColumn), (QStringList{"bc", "acl", "Zeta", "zlib"}));
}

TEST_F(ProxyTest, SortingSurvivesARecollectionAndAFilterChange)
{
    add({"b", "1-1", Package::Installed, Package::Ordinary, 20});
    add({"a", "1-1", Package::Installed, Package::Ordinary, 30});
    add({"c", "1-1", Package::Installed, Package::Ordinary, 10});
    proxy->sort(Model::SizeColumn, Qt::AscendingOrder);
    EXPECT_EQ(shownNames(), (QStringList{"c", "b", "a"}));
    recollect({{"x", "1-1", Package::Installed, Package::Ordinary, 5},
               {"y", "1-1", Package::Installed, Package::Ordinary, 3},
               {"z", "1-1", Package::Available, Package::Ordinary, 4}});
    EXPECT_EQ(shownNames(), (QStringList{"y", "z", "x"}));
    proxy->setStateFilter(PackageTable::ViewRemovable);
    EXPECT_EQ(shownNames(), (QStringList{"y", "x"}));
    proxy->setFilter(false);
    EXPECT_EQ(shownNames(), (QStringList{"y", "z", "x"}));
    proxy->setFilter(true);
    EXPECT_EQ(shownNames(), (QStringList{"y", "x"}));
}

TEST_F(ProxyTest, RowsABroaderPatternBringsBackTakeTheirSortedPlace)
{
    for (const char* name : {"delta", "alpha", "echo", "charlie", "bravo"})
        add({name, "1-1", Package::Installed});
    proxy->sort(Model::NameColumn, Qt::AscendingOrder);
    proxy->setFilterRegExp("^(delta|bravo) ");
    EXPECT_EQ(shownNames(), (QStringList{"bravo", "delta"}));
    proxy->setFilterRegExp("^(alpha|bravo|delta) ");
    EXPECT_EQ(shownNames(), (QStringList{"alpha", "bravo", "delta"}));
    proxy->setFilterRegExp(".*");
    EXPECT_EQ(shownNames(), (QStringList{"alpha", "bravo", "charlie", "delta", "echo"}));
}

}

// Each row's text is its fields in UTF-8 as Qt would encode them (a lone
// surrogate as '?'), joined by blanks: a pattern of exactly that text shows
// the row and no other.
TEST_F(ProxyTest, RowTextsAreTheFieldsInUtf8)
{
    add({QString::fromUtf8("a\xe2\x82\xac" "bcdefgh"), "1-1"});
    add({QStringLiteral("x") + QChar(0xd834) + QChar(0xdd1e) + QStringLiteral("yzabcde"), "2-1"});
    add({QStringLiteral("lone") + QChar(0xd800) + QStringLiteral("abcd") + QChar(0xdc00), "3-1",
         Package::Available, Package::Ordinary, 100, 10, QString::fromUtf8("r\xc3\xa9po")});
    add({"Development Tools", "", Package::Available, Package::Group});
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString text = QString::fromUtf8(model->visibleText(row).toUtf8());
        QString pattern = QStringLiteral("^");
        for (QChar c : text) {
            if (QStringLiteral(".[]()*+?{}|^$\\").contains(c))
                pattern += QLatin1Char('\\');
            pattern += c;
        }
        pattern += QLatin1Char('$');
        proxy->setFilterRegExp(pattern);
        EXPECT_EQ(shownNames(), QStringList{model->entry(row)->name}) << text.toStdString();
    }
}

TEST_F(ProxyTest, RequiredLiteralIsTheLongestRunEveryMatchHolds)
{
    const QList<QPair<QByteArray, QByteArray>> cases = {
        {"libbench17777\\.so", "libbench17777.so"},
        {"Version 1\\.0 of big-01999\\.", "Version 1.0 of big-01999."},
        {"bench\\(big-04242\\)", "bench(big-04242)"},
        {"", ""},
        // Alternation, at the top or in a group, leaves nothing required.
        {"foobar|x", ""},
        {"longliteral(a|b)", ""},
        // Brackets, dots, anchors and groups end runs.
        {"ab[c-z]defg", "defg"},
        {"abcd[]xyz]ef", "abcd"},
        {"abc[[:alpha:]]de", "abc"},
        {"ab.cde", "cde"},
        {"^python3-", "python3-"},
        {"abc$", "abc"},
        {"xy(abcdef)z", "xy"},
        {"(abcdef)?xyz", "xyz"},
        // An optional character leaves the run; one needed at least once
        // ends it.
        {"colou?r", "colo"},
        {"abcx*yz", "abc"},
        {"abcx+yz", "abcx"},
        {"abcx{0,3}yz", "abc"},
        {"abcx{,3}yz", "abc"},
        {"abcx{2}yz", "abcx"},
        {"abc\\.?de", "abc"},
        {"xyzé?abcdef", "abcdef"},
        {"é?ab", "ab"},
        {"xé+ab", "xé"},
        // Escaped specials are plain; other escapes and back references end
        // runs.
        {"a\\*b\\[c\\\\d", "a*b[c\\d"},
        {"(ab)\\1cdef", "cdef"},
        {"abc\\wdefg", "defg"},
        // Readings not to trust give nothing.
        {"ab+?cdef", ""},
        {"abc{x", ""},
        {"*abc", ""},
        {"abc)", ""},
        {"abc[def", ""},
    };
    for (const auto& item : cases)
        EXPECT_EQ(SortFilterProxyModel::requiredLiteral(item.first), item.second)
            << item.first.toStdString();
}
