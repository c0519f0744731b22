// Fuzzes the package filter's pattern road: a pattern as typed and a text
// as the table holds it (valid UTF-8), matched as the filter matches them,
// in one of the test locales. A crash or a run past libFuzzer's -timeout is
// a pattern the road gave glibc that it should not have; and wherever the
// road gave the pattern to glibc, its answer over a text regexec decides
// must be regexec's own. A pattern the road will not run must be one that
// would crash or freeze glibc, or one regcomp rejects.
//
// The input: a byte choosing the locale, the pattern, a NUL, the text.
#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <regex.h>
#include <string>

#include <QByteArray>
#include <QString>

#include "app/packagetable/filterpattern.h"
#include "app/packagetable/patternsyntax.h"
#include "tests/common/regexecanswer.h"

namespace
{

void check(bool condition)
{
    if (!condition)
        std::abort();
}

const char* const locales[] = {"C.UTF-8",     "C",           "en_US.UTF-8",     "cs_CZ.UTF-8",
                               "de_DE.UTF-8", "tr_TR.UTF-8", "de_DE.ISO-8859-1"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const char* locale = locales[data[0] % (sizeof locales / sizeof locales[0])];
    if (!std::setlocale(LC_ALL, locale))
        std::setlocale(LC_ALL, "C.UTF-8");
    const char* rest = reinterpret_cast<const char*>(data + 1);
    const size_t length = size - 1;
    const char* nul = static_cast<const char*>(std::memchr(rest, '\0', length));
    const size_t patternLength = nul ? size_t(nul - rest) : length;
    const QString typed = QString::fromUtf8(rest, int(patternLength));
    // The table's texts come from QString: valid UTF-8, up to a NUL.
    const std::string text = nul ? QString::fromUtf8(nul + 1, int(length - patternLength - 1))
                                       .toStdString()
                                 : std::string();
    const std::string trimmed = PackageTable::FilterPattern::trimmedPattern(typed).toStdString();

    PackageTable::FilterPattern pattern;
    pattern.set(trimmed);
    const bool road = pattern.matches(text.c_str(), std::strlen(text.c_str()));

    const std::string bytes = typed.toStdString();
    if (pattern.compiled()) {
        if (std::strlen(text.c_str()) <= PackageTable::FilterPattern::regexecTextLimit)
            check(road == (regexecAnswer(bytes, text.c_str()) == 1));
        return 0;
    }
    check(road);
    // A pattern the reading takes for one regcomp rejects (not for one too
    // costly, which glibc must not see) must be one regcomp rejects. regcomp
    // writes out repetitions before it finds an error further on ("a++++(":
    // two to the power of the pluses), so only few are given to it.
    const PackageTable::PatternSyntax syntax(QByteArray::fromStdString(trimmed), MB_CUR_MAX > 1);
    if (!syntax.valid() && !syntax.tooCostly() && trimmed.size() < 256
        && std::count_if(trimmed.begin(), trimmed.end(),
                         [](char c) { return std::strchr("*+?{", c) && c != '\0'; })
               <= 4)
        check(regexecAnswer(bytes, "") < 0);
    return 0;
}
