// The package filter's pattern as it is matched against a text: regcomp's
// reading of it (REG_EXTENDED | REG_NOSUB), the plain-string tests that
// answer most texts at once, the bounded-time program (LinearPattern), and
// regexec for what that cannot tell over texts short enough to wait for.
// A pattern the program will not give glibc (one that would crash or freeze
// regcomp or regexec) is one regcomp rejects: it matches every text.
#pragma once

#include <cstddef>
#include <regex.h>
#include <string>

#include <QByteArray>
#include <QString>

#include "app/packagetable/linearpattern.h"

namespace PackageTable
{

class FilterPattern
{
public:
    FilterPattern();
    ~FilterPattern();
    Q_DISABLE_COPY_MOVE(FilterPattern)

    // bytes: the trimmed pattern as an 8-bit string (regcomp reads it up to
    // its first NUL). Reads the locale at the call.
    void set(const std::string& bytes);
    // Whether the last pattern set compiled and runs: false before the
    // first, and for one regcomp rejects or the program does not run.
    bool compiled() const;
    // Whether the pattern matches anywhere in the text, up to length (its
    // first NUL, where it has one); true for every text while none is
    // compiled.
    bool matches(const char* text, size_t length) const;
    // What every match contains, or empty: a text without it cannot match.
    // Never holds a NUL.
    const QByteArray& required() const;

    // The pattern as it is compiled: leading and trailing ".*" dropped, but
    // only where the dot is not escaped, no quantifier would be left without
    // an operand, and no "^" (leading) or "$" (trailing) in the rest could
    // hold after a newline the ".*" took: glibc's regexec lets such an
    // anchor hold there.
    static QString trimmedPattern(const QString& text);
    // The longest run of characters (UTF-8, as compiled) that every match of
    // the extended expression must contain, or empty where none can be told
    // for sure: any alternation gives none, and so does anything this reading
    // of the syntax is unsure of. The text of a run that holds no NUL.
    static QByteArray requiredLiteral(const QByteArray& pattern);
    // Whether the program gives the pattern (already trimmed) to regcomp and
    // regexec: false for one regcomp rejects, and for one that would crash
    // or freeze them.
    static bool runsSafely(const std::string& bytes);

    // Past this length a text the bounded-time program cannot decide counts
    // as a match: regexec's time grows too fast to be waited for in the
    // window's thread.
    static const size_t regexecTextLimit = 4096;

private:
    bool matchesExpression(const char* text, size_t length) const;

    // The result of the last regcomp; -1 before the first, and for a pattern
    // not given to it.
    int regexStatus = -1;
    regex_t regex;
    LinearPattern linear;
    // A compiled pattern without any character that is special in an
    // extended expression matches exactly where its bytes occur: such a
    // pattern is looked for as a plain string, much faster than regexec.
    QByteArray literal;
    bool isLiteral = false;
    QByteArray requiredRun;
};

}
