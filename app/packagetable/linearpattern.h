// A POSIX extended expression, as regcomp reads it with REG_EXTENDED |
// REG_NOSUB in the current locale, turned into an RE2 program that answers
// whether a text matches in time linear in the text: glibc's regexec tries
// every start position, and a long field (a repository's 1 MB summary) makes
// it quadratic or worse. Only what is known to read the same on both sides
// is turned: bracket expressions become explicit sets of the characters the
// locale puts in them; collating elements, equivalence classes, escapes
// RE2 reads otherwise and multibyte character sets other than UTF-8 leave
// no program.
#pragma once

#include <cstddef>
#include <memory>

#include <QByteArray>
#include <QtGlobal>

namespace re2
{
class RE2;
}

namespace PackageTable
{

class LinearPattern
{
public:
    enum Kind {
        // No program: every text goes to regexec.
        None,
        // The program matches exactly the texts regexec matches, among
        // those it reads (reads()).
        Exact,
        // The program matches every text regexec matches, and maybe more:
        // back-references are read as a copy of their group or nothing, word
        // boundaries as nothing. A text it does not match cannot match.
        Superset,
    };

    LinearPattern();
    ~LinearPattern();
    Q_DISABLE_COPY_MOVE(LinearPattern)

    // pattern: bytes that regcomp accepted with the flags above. Reads the
    // locale's character set, classes and collation at the call.
    void compile(const QByteArray& pattern);
    void clear();
    Kind kind() const;
    // Whether the program reads the text's characters as regexec does: any
    // text in a single-byte locale, valid UTF-8 in a UTF-8 one (regexec
    // takes a stray byte for a character of its own, RE2 does not).
    bool reads(const char* text, size_t length) const;
    // Whether the program matches anywhere in the text; false without one.
    bool matches(const char* text, size_t length) const;

    // The RE2 text of a pattern in the current locale and its kind; empty
    // with None.
    static QByteArray translate(const QByteArray& pattern, Kind* kind);

private:
    std::unique_ptr<re2::RE2> program;
    Kind programKind = None;
    bool utf8 = false;
};

}
