// The filter's linear-time road set against regexec: over many patterns and
// texts (brackets, classes, anchors, newlines, non-ASCII and stray bytes, in
// a UTF-8 and a single-byte locale) both must give one answer; a Search
// over a field of a megabyte must come back with regexec's answer; and the
// patterns glibc would crash or freeze on are not run.
#include "tests/app/packagetable/packagetable_test.h"

#include <clocale>
#include <regex.h>
#include <string>
#include <vector>

#include "app/packagetable/linearpattern.h"
#include "tests/common/locales.h"
#include "tests/common/regexecanswer.h"

using namespace PackageTableTesting;
using PackageTable::LinearPattern;
using PackageTable::SearchTexts;
using PackageTable::SortFilterProxyModel;

namespace
{

const char* const patterns[] = {
    // What the proxy's and the sandbox's tests search for.
    "bash", "bash 5", "bash 5\\.1", "bash  5\\.1", "^vim", "t99$", "^nvim|t99$", "CVE-[0-9]+-3715",
    "CVE-1", "[0-9]{2}\\.[0-9]", "^o.+e ", "^[abc] ", "^[bc] ", "/usr/bin/ls$", "^/usr/bin/ls",
    "foo\\.*", "foo\\.\\.*bar", "dé-", "é", "^caf\xc3\xa9 1-1", "gnu\\.org", "kde-utils", "^u",
    "utils 1-2", "ncursesw", "GCC", "^short",
    // The patterns glibc's matcher takes quadratic time over.
    "(a|aa)*b", "[A-Z]+[0-9]",
    // Bracket expressions: "]" first, "-" first or last, a backslash as a
    // member, classes, ranges, and what only regexec reads.
    "[]a]", "[^]a]", "[a-]", "[-a]", "[\\]", "[\\]]", "[a\\]b", "[[:alpha:]]+",
    "[[:upper:]][[:lower:]]", "[[:digit:][:space:]]", "[^[:alnum:]]", "[[:punct:]]",
    "[[:xdigit:]]{2}", "[[:blank:]]", "[[:cntrl:]]", "[[:graph:]]", "[[:print:]]", "[à-ÿ]",
    "[^a-z]", "[a-zA-Z0-9_]+@", "[.]", "[*+?]", "[$^]", "[[.a.]]", "[[=e=]]", "[[:foo:]]",
    "[a-c-e]", "[z-a]", "[é-ü]", "[^é]", "[é]", "[日本]+", "[[:alpha:]]é", "[%--]", "[!-/]",
    // Anchors and newlines (no REG_NEWLINE: a newline is a character).
    "^a", "a$", "^$", "a^b", "a$b", "^", "$", "a\nb", ".", "a.b", "a[^x]b", "(^a|b$)", "(^)*a",
    "x(^|y)", "^*a", "a|", "|a", "()", "(|a)b", "a()b", "^(foo|bar)$", "line1.line2", "1$",
    // Quantifiers, the usual ones and the odd.
    "a{2}", "a{2,}", "a{2,3}", "a{,3}", "a{0}", "a{1000}", "a{1001}", "a**", "a+?", "(ab)+",
    "(a*)*", "(a*)+b", "a{2}{3}", "x*", "a?b?c?", "ab*c", "a.*b", "x+y+z+", "(foo|bar)baz",
    "((((a))))", "a|b|c|d", ".{3}$", "ß{2}", "a{02}", "a{1,1}", "^a{2,}$", "a{2,}b", "(ab){1,}$",
    // Escapes: the special characters, glibc's own operators, and those
    // that mean something else elsewhere.
    "\\.", "\\*", "\\\\", "\\(", "\\)", "\\{", "\\}", "\\w+", "\\W", "\\s", "\\S", "\\bfoo",
    "\\<foo\\>", "\\`a", "a\\'", "\\n", "\\t", "\\d", "\\x41", "\\B", "\\w*\\b", "\\Wb",
    "a\\>", "\\<", "\\S+$", "\\s\\S", "\\`*", "a{,3}b", "a{,1}", "(ab){,2}$",
    "\\0", "\\z", "\\_", "\\-", "\\ ", "\\é", "\\%", "\\/", "a\\|b", "x)|y", "(a))",
    // Plain characters that look special.
    "]", "}", "a]b", "a}b", ")", "a)", "a|b)", "(", "{", "a{", "a{x}", "*a", "+",
    // Back-references.
    "(a)\\1", "(.)\\1", "([A-Z])[0-9]\\1", "(a|b)\\1", "(a)?b\\1", "(a*)\\1b", "((a)b)\\2",
    "(a)(b)\\2\\1", "\\1(a)", "(a)|b\\1", "(a\\1)", "[\\1]", "\\w[)]", "[(]\\w|b",
    // Characters past ASCII.
    "é+", ".é", "caf.", "ü|ö", "üa|üb", "x(üa|üb|c)y", "(é|ê)+", "日本|日", "日本", "😀",
    "e\xcc\x81", "[[:space:]]y", "[[:digit:]]{2}", "[[:upper:]]", "[[:lower:]]+",
    // Other.
    "", " ", "Mixed", "[A-Z][a-z]+ [A-Z]", "(^|[^a-z])b", "[^[:space:]]+$",
};

const char* const texts[] = {
    "", "a", "b", "ab", "aab", "aaab", "aa", "bash 5.1-2", "bash  5.1", "vim", "nvim t99",
    "CVE-2022-3715", "12.5", "office ", "a ", "c 1", "/usr/bin/ls", "/usr/bin/cat\n/usr/bin/ls",
    "foo", "foo...",
    "foo..bar", "caf\xc3\xa9 1-1 base", "dé-x", "gnu.org", "ABC1", "ABCDEF", "]", "a]b", "\\", "]a",
    "-", "a-", "\n", "a\nb", "line1\nline2", "x\ny", "A", "Z9", "é", "É", "ü", "ÿ", "à", "ß",
    "ßß", "日本語", "😀", "e", "ê", "tab\there", "\x01" "ctl", "foo bar", "foobar", "word_1 word2",
    "  ", "xyz", "aa bb", "abab", "abba", "ba", "ab1b", "Z1Z", "A1B", "user@host", "a{2}", "a}b",
    "a)", "a|b)", "(", "{", "x*", "*+?", "$^", ".", "a.b", "a\nx\nb", "ab\n", "\nab",
    "Mixed Case Text 123", "e\xcc\x81", "\xc2\xa0", "\xe2\x80\xa8", "x\xe3\x80\x80y",
    "\xef\xbc\x91\xef\xbc\x92", "\xe2\x85\xab", "\xc7\x85", "kde-utils 1-2", "%", "!", "/",
    "foo baz", "barbaz", "üb", "xüay", "xüby", "xcy", "éêé", "日", "x(y", "z\xc3\xa9", "GCC 12",
    "short", "u", "1\n", "1", "aaaa", "bb", "d", "n", "t", "x41", "0", "z", "_", "a|b", "x)", "y",
    "%/", "\\é", "aaa", "ababab",
};

// Each pattern regcomp takes against each text, through the proxy (every
// road it has: plain string, required run, RE2, regexec) and through the
// RE2 program alone where it claims to answer as regexec does. Returns how
// many patterns had an exact program.
int compareEverywhere(const char* locale)
{
    SortFilterProxyModel proxy(PackageTable::ViewAll, true, nullptr, nullptr);
    int exact = 0;
    for (const char* pattern : patterns) {
        const std::string bytes = SortFilterProxyModel::trimmedPattern(QString::fromUtf8(pattern))
                                      .toStdString();
        proxy.setFilterRegExp(QString::fromUtf8(pattern));
        // A pattern glibc would take hours over is not run: every row shows,
        // as for one regcomp rejects.
        if (!SortFilterProxyModel::runsSafely(QString::fromUtf8(pattern))) {
            EXPECT_TRUE(proxy.matches("no such text")) << locale << ": " << pattern;
            continue;
        }
        if (regexecAnswer(bytes, "") < 0)
            continue;
        LinearPattern linear;
        linear.compile(QByteArray::fromStdString(bytes));
        if (linear.kind() == LinearPattern::Exact)
            ++exact;
        for (const char* text : texts) {
            const std::string utf8 = QString::fromUtf8(text).toStdString();
            const bool expected = regexecAnswer(bytes, utf8) == 1;
            EXPECT_EQ(proxy.matches(QString::fromUtf8(text)), expected)
                << locale << ": pattern \"" << pattern << "\" text \"" << text << "\"";
            if (linear.kind() == LinearPattern::None || !linear.reads(utf8.data(), utf8.size()))
                continue;
            const bool found = linear.matches(utf8.data(), utf8.size());
            if (linear.kind() == LinearPattern::Exact) {
                EXPECT_EQ(found, expected) << locale << ": RE2 on pattern \"" << pattern
                                           << "\" text \"" << text << "\"";
            } else if (expected) {
                EXPECT_TRUE(found) << locale << ": the superset misses pattern \"" << pattern
                                   << "\" text \"" << text << "\"";
            }
        }
    }
    return exact;
}

// Code points enough to meet every class and range: all of the first three
// planes and some of the last.
std::vector<std::string> codePointTexts(bool utf8)
{
    std::vector<std::string> result;
    if (!utf8) {
        for (int c = 1; c < 256; ++c)
            result.emplace_back(1, char(c));
        return result;
    }
    for (uint c = 1; c < 0x30000; ++c) {
        if (c >= 0xd800 && c <= 0xdfff)
            continue;
        result.push_back(QString::fromUcs4(&c, 1).toStdString());
    }
    for (uint c = 0xe0000; c < 0xe0200; ++c)
        result.push_back(QString::fromUcs4(&c, 1).toStdString());
    return result;
}

void compareBrackets(bool utf8)
{
    const char* const brackets[] = {
        "[[:alpha:]]", "[[:upper:]]", "[[:lower:]]", "[[:digit:]]", "[[:xdigit:]]",
        "[[:space:]]", "[[:print:]]", "[[:punct:]]", "[[:graph:]]", "[[:cntrl:]]",
        "[[:blank:]]", "[[:alnum:]]", "[^[:alpha:][:digit:]]", "[A-Z]", "[a-z0-9]", "[^a-z]",
        "[!-~]", "[]a-]", "[^]]",
    };
    const std::vector<std::string> characters = codePointTexts(utf8);
    for (const char* bracket : brackets) {
        LinearPattern linear;
        linear.compile(bracket);
        ASSERT_EQ(linear.kind(), LinearPattern::Exact) << bracket;
        regex_t regex;
        ASSERT_EQ(regcomp(&regex, bracket, REG_EXTENDED | REG_NOSUB), 0);
        int differences = 0;
        for (const std::string& character : characters) {
            const bool expected = regexec(&regex, character.c_str(), 0, nullptr, 0) == 0;
            if (linear.matches(character.data(), character.size()) != expected && ++differences < 4)
                ADD_FAILURE() << bracket << " differs on \"" << character << "\"";
        }
        regfree(&regex);
        EXPECT_EQ(differences, 0) << bracket;
    }
}

class LinearPatternTest : public PackageTableTest
{
};

} // namespace

TEST(LinearPatternRoads, RegexecAndTheLinearRoadGiveOneAnswerInAUtf8Locale)
{
    LocaleScope scope("C.UTF-8");
    ASSERT_TRUE(scope.ok);
    const int exact = compareEverywhere("C.UTF-8");
    // Most patterns must take the linear road, or the comparison proves
    // little.
    EXPECT_GT(exact, 120);
    for (const char* pattern : {"(a|aa)*b", "[A-Z]+[0-9]", "CVE-[0-9]+-3715", "^nvim|t99$",
                                "[[:alpha:]]é", "[^é]", "a\nb", "[\\]]", "\\w+", "\\S\\'", "a{,3}",
                                "a**", "a)", "\\n", "\\d"}) {
        LinearPattern linear;
        linear.compile(pattern);
        EXPECT_EQ(linear.kind(), LinearPattern::Exact) << pattern;
    }
    for (const char* pattern : {"[[.a.]]", "[[=e=]]", "\\é"}) {
        LinearPattern linear;
        linear.compile(pattern);
        EXPECT_EQ(linear.kind(), LinearPattern::None) << pattern;
    }
    for (const char* pattern : {"([A-Z])[0-9]\\1", "\\<foo\\>", "\\bx\\B"}) {
        LinearPattern linear;
        linear.compile(pattern);
        EXPECT_EQ(linear.kind(), LinearPattern::Superset) << pattern;
    }
}

TEST(LinearPatternRoads, RegexecAndTheLinearRoadGiveOneAnswerInASingleByteLocale)
{
    LocaleScope scope("C");
    ASSERT_TRUE(scope.ok);
    EXPECT_GT(compareEverywhere("C"), 120);
}

// Locales with collation rules of their own put characters in a range by
// their place in the collation; a machine without them skips, unless they
// are required (scripts/run-tests makes them).
TEST(LinearPatternRoads, RegexecAndTheLinearRoadGiveOneAnswerInCollatingLocales)
{
    int tried = 0;
    for (const char* locale : {"en_US.UTF-8", "de_DE.UTF-8", "sv_SE.UTF-8", "de_DE.ISO-8859-1",
                               "cs_CZ.UTF-8", "tr_TR.UTF-8"}) {
        LocaleScope scope(locale);
        if (!scope.ok) {
            if (localesRequired())
                ADD_FAILURE() << locale << " is missing (build/locales, LOCPATH)";
            continue;
        }
        ++tried;
        EXPECT_GT(compareEverywhere(locale), 120) << locale;
        compareBrackets(MB_CUR_MAX > 1);
    }
    if (tried == 0)
        GTEST_SKIP() << "no locale with collation rules here";
}

TEST(LinearPatternRoads, BracketExpressionsHoldTheCharactersRegexecPutsInThem)
{
    {
        LocaleScope scope("C.UTF-8");
        ASSERT_TRUE(scope.ok);
        compareBrackets(true);
    }
    LocaleScope scope("C");
    ASSERT_TRUE(scope.ok);
    compareBrackets(false);
}

TEST(LinearPatternRoads, StrayBytesAreLeftToRegexecInAUtf8Locale)
{
    LocaleScope scope("C.UTF-8");
    ASSERT_TRUE(scope.ok);
    LinearPattern linear;
    linear.compile("a[^b]c");
    ASSERT_EQ(linear.kind(), LinearPattern::Exact);
    const std::string valid = "a\xc3\xa9" "c and more ASCII text than eight bytes";
    EXPECT_TRUE(linear.reads(valid.data(), valid.size()));
    for (const std::string& stray : {std::string("a\xff" "c"), std::string("a\xc3"),
                                    std::string("abcdefghij\x80"), std::string("a\xc0\xaf" "c"),
                                    std::string("a\xed\xa0\x80" "c"),
                                    std::string("a\xf4\x90\x80\x80" "c")})
        EXPECT_FALSE(linear.reads(stray.data(), stray.size())) << stray;
    // A single-byte locale reads every byte as a character, as regexec
    // there does.
    LocaleScope single("C");
    ASSERT_TRUE(single.ok);
    linear.compile("a[^b]c");
    ASSERT_EQ(linear.kind(), LinearPattern::Exact);
    const std::string stray = "a\xff" "c";
    EXPECT_TRUE(linear.reads(stray.data(), stray.size()));
    EXPECT_TRUE(linear.matches(stray.data(), stray.size()));
    EXPECT_EQ(regexecAnswer("a[^b]c", stray), 1);
}

// glibc's regexec takes minutes over such a field (every start position is
// tried again); the Search must come back, with regexec's answer.
TEST_F(LinearPatternTest, ASearchOverAMegabyteFieldComesBackWithRegexecsAnswer)
{
    const int megabyte = 1 << 20;
    QString upper(megabyte, QLatin1Char('A'));
    for (int i = 0; i < upper.size(); i += 7)
        upper[i] = QLatin1Char('A' + i % 26);
    add({"upper", "1-1"});
    add({"upper-digit", "1-1"});
    add({"as", "1-1"});
    add({"as-b", "1-1"});
    fakeTexts.set("upper", SearchTexts::Summary, upper);
    fakeTexts.set("upper-digit", SearchTexts::Summary, upper + QLatin1String("7 é"));
    fakeTexts.set("as", SearchTexts::Summary, QString(megabyte, QLatin1Char('a')));
    fakeTexts.set("as-b", SearchTexts::Description, QString(megabyte, QLatin1Char('a')) + 'b');
    proxy->setMode(PackageTable::Search);

    proxy->setFilterRegExp("[A-Z]+[0-9]");
    EXPECT_EQ(shownNames(), QStringList{"upper-digit"});
    proxy->setFilterRegExp("(a|aa)*b");
    // Each package's name holds a "b" only in "as-b"; the long field of
    // "as" has none.
    EXPECT_EQ(shownNames(), QStringList{"as-b"});
    proxy->setFilterRegExp("(a|aa)*aab");
    EXPECT_EQ(shownNames(), QStringList{"as-b"});
    // glibc's word class is a bracket expression RE2 is given too.
    proxy->setFilterRegExp("\\w+[0-9] ");
    EXPECT_EQ(shownNames(), QStringList{"upper-digit"});
    // A word boundary RE2 leaves out: it rules out the field without a
    // digit; the one with a digit is too long for regexec and is shown.
    proxy->setFilterRegExp("\\<[A-Z]+[0-9]");
    EXPECT_EQ(shownNames(), QStringList{"upper-digit"});
    // A back-reference, the same.
    proxy->setFilterRegExp("([A-Z]+)[0-9]\\1");
    EXPECT_EQ(shownNames(), QStringList{"upper-digit"});
}

// Past a few kilobytes regexec's time on a back-reference grows too fast to
// wait for: a long field that RE2's looser reading cannot rule out is
// shown, a short one is decided by regexec.
TEST_F(LinearPatternTest, ABackReferencePatternShowsALongFieldItCannotRuleOut)
{
    add({"long", "1-1"});
    add({"short", "1-1"});
    add({"other", "1-1"});
    fakeTexts.set("long", SearchTexts::Summary, QString(64 * 1024, QLatin1Char('A')) + "1B");
    fakeTexts.set("short", SearchTexts::Summary, "A1B and C2C");
    fakeTexts.set("other", SearchTexts::Summary, "A1B");
    proxy->setMode(PackageTable::Search);
    proxy->setFilterRegExp("([A-Z])[0-9]\\1");
    QStringList shown = shownNames();
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"long", "short"}));
}

// glibc's regcomp overflows its stack on huge expansions and deep nesting,
// and takes minutes over repeated parts that may match nothing or that hold
// anchors; its regexec recurses without end on a repeated back-reference to
// a group that may match nothing, and takes hours over a few kilobytes where
// a back-reference follows a run that may end anywhere. Such patterns are
// not run (every row shows, as for one regcomp rejects); the patterns a user
// types, ranges, classes and counted repetitions up to a thousand included,
// are.
TEST(LinearPatternRoads, PatternsGlibcWouldCrashOrFreezeOnAreNotRunOthersAre)
{
    const std::vector<std::string> running = {
        "bash", "^python3-", "x86_64 [0-9.]+Mb", "[a-z]{1,1000}", "[[:alpha:]]{1,1000}x",
        "(\\w|\\s){1000}x", "[^#-+[:blank:][:alnum:]]{1}{1000}!!", "e*{1000}", "x{1000}{3}",
        "(a|b)*a(a|b){20}", "(^a|b)+$", "\\<foo\\>", "([A-Z]+)[0-9]\\1", "([a-z]+)-\\1", "(.)\\1",
        "(^a)\\1b", "(a)?b\\1", "(ab|a)(c|bc)\\1\\2", "(" + std::string(150, '(') + "a"
                                                             + std::string(151, ')'),
    };
    std::string boundaries;
    for (int i = 0; i < 40; ++i)
        boundaries += "\\b";
    const std::vector<std::string> refused = {
        "(e)*{32767}+", "[0-9[:cntrl:][:alnum:]]*%?{32767}+", "(|a)\\1+*", "(a|)\\1{1,}*",
        "(e*|e+)\\1*+*", "e*{32767}", "x{1000}{1000}", "((a|)*){1000}", "(^|a)*{20}",
        boundaries, std::string(250, '(') + "a" + std::string(250, ')'), "(a*)\\1b", "(.*)\\1",
        "([a-z]+)\\1x", "(a|b)+\\1", "\\<[a-z]{1,1000}x", "([a-z]+)\\1{2}",
    };
    for (const char* locale : {"C.UTF-8", "en_US.UTF-8", "de_DE.ISO-8859-1"}) {
        LocaleScope scope(locale);
        if (!scope.ok) {
            if (localesRequired())
                ADD_FAILURE() << locale << " is missing (build/locales, LOCPATH)";
            continue;
        }
        SortFilterProxyModel proxy(PackageTable::ViewAll, true, nullptr, nullptr);
        for (const std::string& pattern : running) {
            EXPECT_TRUE(SortFilterProxyModel::runsSafely(QString::fromStdString(pattern)))
                << locale << ": " << pattern;
            proxy.setFilterRegExp(QString::fromStdString(pattern));
            for (const char* text : {"no such text", "123", "aab"})
                EXPECT_EQ(proxy.matches(text), regexecAnswer(pattern, text) == 1)
                    << locale << ": " << pattern.substr(0, 40) << " over " << text;
        }
        for (const std::string& pattern : refused) {
            EXPECT_FALSE(SortFilterProxyModel::runsSafely(QString::fromStdString(pattern)))
                << locale << ": " << pattern.substr(0, 40);
            proxy.setFilterRegExp(QString::fromStdString(pattern));
            EXPECT_TRUE(proxy.matches("no such text")) << locale << ": " << pattern.substr(0, 40);
        }
    }
}
