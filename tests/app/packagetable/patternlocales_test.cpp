// Filter and Search through the real proxy, in every test locale, set against
// regcomp and regexec (REG_EXTENDED | REG_NOSUB) over generated patterns and
// texts that cover POSIX extended expressions and glibc's own operators, and
// over fixed rows where regexec was once seen to answer otherwise than the
// bounded-time road. A pattern the program will not run is one regcomp
// rejects to it: every row shows.
#include "tests/app/packagetable/packagetable_test.h"

#include <cctype>
#include <clocale>
#include <cstdio>
#include <memory>
#include <map>
#include <random>
#include <regex.h>
#include <set>
#include <string>
#include <vector>

#include "app/packagetable/linearpattern.h"
#include "tests/common/locales.h"

using namespace PackageTableTesting;
using PackageTable::SearchTexts;
using PackageTable::SortFilterProxyModel;

namespace
{

// The pattern as typed, compiled by regcomp; each text's answer from regexec.
class Regexec
{
public:
    explicit Regexec(const std::string& pattern)
    {
        compiled = regcomp(&regex, pattern.c_str(), REG_EXTENDED | REG_NOSUB) == 0;
    }
    ~Regexec()
    {
        if (compiled)
            regfree(&regex);
    }
    Q_DISABLE_COPY_MOVE(Regexec)

    // True where regcomp rejected the pattern: every row shows then.
    bool matches(const std::string& text)
    {
        if (!compiled)
            return true;
        auto known = answers.find(text);
        if (known != answers.end())
            return known->second;
        const bool found = regexec(&regex, text.c_str(), 0, nullptr, 0) == 0;
        answers.emplace(text, found);
        return found;
    }

private:
    regex_t regex;
    bool compiled;
    std::map<std::string, bool> answers;
};

// Characters the patterns and texts are made of: letters of the languages
// of the test locales ("ch" is one collating element in Czech, "l·" in
// several), letters with case rules of their own (ı, İ), a title-case
// digraph, the newline and what is special in an expression.
const char* const letters[] = {"a", "b", "c", "h",  "x",  "C", "H", "X", "z", "s", "d",
                               "l", "_", "1", "0",  " ",  "-", ".", "\n", "\xc3\xa9",
                               "\xc3\xbc", "\xc3\x9f", "\xc4\xb1", "\xc4\xb0", "\xc4\x8d",
                               "\xc5\x99", "\xc2\xb7", "\xc7\x85", "#"};
const int letterCount = int(sizeof letters / sizeof letters[0]);

// Random expressions over the whole of the extended syntax regcomp reads,
// some of which it rejects.
class PatternMaker
{
public:
    explicit PatternMaker(unsigned seed)
        : random(seed)
    {
    }

    std::string pattern()
    {
        groups = 0;
        return alternation(0);
    }

    std::string text()
    {
        std::string result;
        const int length = pick(9);
        for (int i = 0; i < length; ++i)
            result += letter();
        return result;
    }

private:
    int pick(int n) { return int(random() % unsigned(n)); }

    std::string letter() { return letters[pick(letterCount)]; }

    std::string alternation(int depth)
    {
        std::string result = branch(depth);
        while (pick(5) == 0)
            result += "|" + branch(depth);
        return result;
    }

    std::string branch(int depth)
    {
        std::string result;
        const int pieces = pick(5);
        for (int i = 0; i < pieces; ++i) {
            result += atom(depth);
            if (pick(3) == 0)
                result += quantifier();
            if (pick(8) == 0)
                result += quantifier();
        }
        return result;
    }

    std::string quantifier()
    {
        static const char* const forms[] = {"*", "+", "?", "{2}", "{1,}", "{0,2}", "{,2}",
                                            "{1,3}", "{0}", "{3}"};
        return forms[pick(int(sizeof forms / sizeof forms[0]))];
    }

    std::string atom(int depth)
    {
        switch (pick(22)) {
        case 0:
            return ".";
        case 1:
        case 2:
        case 3:
            return bracket();
        case 4:
        case 5:
            if (depth < 3) {
                ++groups;
                return "(" + alternation(depth + 1) + ")";
            }
            return letter();
        case 6:
            return "\\" + std::to_string(1 + pick(groups + 1));
        case 7:
            return pick(2) ? "^" : "$";
        case 8:
            return pick(2) ? "\\`" : "\\'";
        case 9: {
            static const char* const words[] = {"\\<", "\\>", "\\b", "\\B"};
            return words[pick(4)];
        }
        case 10: {
            static const char* const classes[] = {"\\w", "\\W", "\\s", "\\S"};
            return classes[pick(4)];
        }
        case 11: {
            static const char* const escapes[] = {"\\.", "\\*", "\\[", "\\(", "\\{", "\\|",
                                                  "\\\\", "\\^", "\\$", "\\n", "\\d", "\\)"};
            return escapes[pick(int(sizeof escapes / sizeof escapes[0]))];
        }
        case 12:
            return pick(2) ? "]" : "}";
        default:
            return letter();
        }
    }

    std::string bracketMember()
    {
        static const char* const classes[] = {"[:alpha:]", "[:upper:]", "[:lower:]", "[:digit:]",
                                              "[:space:]", "[:punct:]", "[:alnum:]", "[:blank:]",
                                              "[:cntrl:]", "[:print:]", "[:graph:]", "[:xdigit:]"};
        switch (pick(10)) {
        case 0:
        case 1:
            return classes[pick(int(sizeof classes / sizeof classes[0]))];
        case 2:
        case 3:
        case 4:
            return memberLetter() + "-" + memberLetter();
        case 5: {
            static const char* const symbols[] = {"[.a.]", "[.ch.]", "[.-.]", "[=a=]", "[=e=]",
                                                  "[=\xc3\xa9=]"};
            return symbols[pick(int(sizeof symbols / sizeof symbols[0]))];
        }
        default:
            return memberLetter();
        }
    }

    // A letter that stands for itself inside a bracket expression.
    std::string memberLetter()
    {
        std::string result;
        do
            result = letter();
        while (result == "-");
        return result;
    }

    std::string bracket()
    {
        std::string result = "[";
        if (pick(3) == 0)
            result += "^";
        if (pick(8) == 0)
            result += "]";
        const int members = 1 + pick(3);
        for (int i = 0; i < members; ++i)
            result += bracketMember();
        if (pick(8) == 0)
            result += "-";
        return result + "]";
    }

    std::mt19937 random;
    int groups = 0;
};

// Patterns regexec once answered otherwise than the program, and those that
// crash or freeze glibc's own regcomp or regexec.
const char* const fixedPatterns[] = {
    "(^a)\\1b", "(a$)\\1", "(\\`a)\\1b", "[^a-z]", "^[^a-z]$", "^[^x]$", "^\\S$", "^\\W$",
    "[A-F]z", "#[^_][[:alpha:]]0", "$.", ".^", "\\W^", "$\\s", "(^X){2}", "(^a|b)+$", ".*^x",
    "x$.*", "a^", "(\\n|)^x", "x(\\n)*$", "[[:alpha:]]{1,1000}h", "x[a-z]{1,1000}", "\\<[a-z]+",
    "([A-Z]+)[0-9]\\1", "(.)\\1", "l[^x]", "[^a]h", "c[[:alpha:]]", "^[[.ch.]]$",
};
const char* const fixedTexts[] = {
    "aab", "a", "aa", "ch", "Ch", "cH", "CH", "l\xc2\xb7", "L\xc2\xb7", "Csz", "#dz\xc7\x85" "0",
    "\n", "x\n", "\nx", "XX", "ba", "a\nb", "", " \n", "_\n", "xch", "hh", "A1A", "chh",
    // Collating elements that begin past ASCII (Thai, a decomposed Cyrillic
    // letter), and the letters alone.
    "\xe0\xb9\x80\xe0\xb8\x81", "\xe0\xb9\x80", "\xd0\xb8\xcc\x86", "\xd0\xb8", "dzs", "Dz",
};
const char* const crashingPatterns[] = {
    "(e)*{32767}+", "[0-9[:cntrl:][:alnum:]]*%?{32767}+", "(|a)\\1+*", "(a|)\\1{1,}*",
    "(e*|e+)\\1*+*", "e*{32767}",
};

std::string printable(const std::string& bytes)
{
    std::string result;
    for (unsigned char c : bytes) {
        if (c == '\n') {
            result += "\\n";
        } else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            result += hex;
        } else {
            result += char(c);
        }
    }
    return result;
}

class PatternLocalesTest : public PackageTableTest, public ::testing::WithParamInterface<const char*>
{
protected:
    // The source rows the proxy shows.
    std::set<int> shownRows() const
    {
        std::set<int> rows;
        for (int row = 0; row < proxy->rowCount(); ++row)
            rows.insert(proxy->mapToSource(proxy->index(row, 0)).row());
        return rows;
    }

    // One entry per text, named by it; its summary is another text, so that
    // a Search reads two texts of an entry besides its empty fields.
    void addEntries(const std::vector<std::string>& texts)
    {
        for (size_t i = 0; i < texts.size(); ++i) {
            const QString name = QString::fromStdString(texts[i]);
            add({name});
            fakeTexts.set(name, SearchTexts::Name, name);
            fakeTexts.set(name, SearchTexts::Summary,
                          QString::fromStdString(texts[(i * 7 + 3) % texts.size()]));
        }
    }

    // Every row regexec matches in the mode, none other. Returns how many
    // rows differed; the first few are reported.
    int compare(const std::string& pattern, int& reported)
    {
        int differences = 0;
        const QString typed = QString::fromStdString(pattern);
        const bool runs = SortFilterProxyModel::runsSafely(typed);
        std::unique_ptr<Regexec> oracle;
        if (runs)
            oracle = std::make_unique<Regexec>(pattern);
        for (PackageTable::Mode mode : {PackageTable::Filter, PackageTable::Search}) {
            proxy->setMode(mode);
            proxy->setFilterRegExp(typed);
            const std::set<int> shown = shownRows();
            for (int row = 0; row < model->rowCount(); ++row) {
                bool expected = true;
                std::string seen;
                if (oracle && mode == PackageTable::Filter) {
                    seen = model->visibleText(row).toStdString();
                    expected = oracle->matches(seen);
                } else if (oracle) {
                    expected = false;
                    const Package::Entry& entry = *(*io)[row];
                    for (SearchTexts::Field field : SearchTexts::packageFields()) {
                        const std::string text = fakeTexts.table
                                                     .value(QPair<QString, int>(entry.name,
                                                                                int(field)))
                                                     .toStdString();
                        if (oracle->matches(text)) {
                            expected = true;
                            seen = text;
                            break;
                        }
                    }
                    if (!expected)
                        seen = entry.name.toStdString();
                }
                if ((shown.count(row) != 0) == expected)
                    continue;
                ++differences;
                if (++reported <= 25)
                    ADD_FAILURE() << GetParam() << ", "
                                  << (mode == PackageTable::Filter ? "Filter" : "Search")
                                  << ": pattern \"" << printable(pattern) << "\" "
                                  << (expected ? "hides" : "shows") << " the row of \""
                                  << printable(seen) << "\", which regexec "
                                  << (expected ? "matches" : "does not match");
            }
        }
        return differences;
    }
};

std::string localeTestName(const ::testing::TestParamInfo<const char*>& info)
{
    std::string name = info.param;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

} // namespace

TEST_P(PatternLocalesTest, FilterAndSearchShowTheRowsRegexecMatches)
{
    LocaleScope scope(GetParam());
    if (!scope.ok) {
        if (localesRequired())
            FAIL() << GetParam() << " is missing (build/locales, LOCPATH)";
        GTEST_SKIP() << GetParam() << " is not on this machine";
    }
    PatternMaker maker(20261210u);
    std::vector<std::string> texts(std::begin(fixedTexts), std::end(fixedTexts));
    std::set<std::string> seen(texts.begin(), texts.end());
    while (texts.size() < 60) {
        const std::string text = maker.text();
        if (seen.insert(text).second)
            texts.push_back(text);
    }
    addEntries(texts);

    int reported = 0;
    int differences = 0;
    for (const char* pattern : fixedPatterns)
        differences += compare(pattern, reported);
    int run = 0;
    int exact = 0;
    for (int i = 0; i < 400; ++i) {
        const std::string pattern = maker.pattern();
        const QString typed = QString::fromStdString(pattern);
        if (SortFilterProxyModel::runsSafely(typed)) {
            ++run;
            PackageTable::LinearPattern linear;
            linear.compile(QByteArray::fromStdString(
                SortFilterProxyModel::trimmedPattern(typed).toStdString()));
            if (linear.kind() == PackageTable::LinearPattern::Exact)
                ++exact;
        }
        differences += compare(pattern, reported);
    }
    EXPECT_EQ(differences, 0) << GetParam();
    // The comparison proves little if the program runs few of them (about a
    // quarter do not compile), or the bounded-time road answers few.
    EXPECT_GT(run, 250) << GetParam();
    EXPECT_GT(exact, 150) << GetParam();
}

// glibc's regcomp overflows its stack on the first two, its regexec on the
// next three, and takes minutes over the last: none of them is run, every
// row shows, as for a pattern regcomp rejects.
TEST_P(PatternLocalesTest, PatternsThatCrashOrFreezeGlibcShowEveryRow)
{
    LocaleScope scope(GetParam());
    if (!scope.ok) {
        if (localesRequired())
            FAIL() << GetParam() << " is missing (build/locales, LOCPATH)";
        GTEST_SKIP() << GetParam() << " is not on this machine";
    }
    addEntries({"a", "e", "b", ""});
    for (const char* pattern : crashingPatterns) {
        const QString typed = QString::fromUtf8(pattern);
        EXPECT_FALSE(SortFilterProxyModel::runsSafely(typed)) << pattern;
        for (PackageTable::Mode mode : {PackageTable::Filter, PackageTable::Search}) {
            proxy->setMode(mode);
            proxy->setFilterRegExp(typed);
            EXPECT_EQ(proxy->rowCount(), 4) << pattern;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, PatternLocalesTest, ::testing::ValuesIn(testLocales()),
                         localeTestName);
