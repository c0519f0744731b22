// A POSIX extended expression, as regcomp reads it with REG_EXTENDED |
// REG_NOSUB in the current locale, turned into an RE2 program that answers
// whether a text matches in time linear in the text: glibc's regexec tries
// every start position, and a long field (a repository's 1 MB summary) makes
// it quadratic or worse. The program reads bytes: in a UTF-8 locale each
// character past ASCII is first replaced by one byte that stands for what
// the pattern can tell of it (which of its bracket expressions hold it, or
// which of its literal characters it is), so that even a class over all of
// Unicode repeated a thousand times stays a small program. Bracket
// expressions hold what the locale puts in them (ranges by the collation's
// sequence values, multi-character collating elements where regexec reads
// them); anchors hold where glibc's regexec lets them hold, newline quirks
// included. What it cannot read for sure leaves no program, or one that
// matches at least every text regexec matches.
//
// It also tells the patterns glibc must not be given: those on which
// regcomp or regexec overflow the stack or run for minutes (PatternSyntax),
// and those with back-references or word boundaries whose regexec may take
// seconds over a few kilobytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <QByteArray>
#include <QtGlobal>

namespace re2
{
class RE2;
}

namespace PackageTable
{

class PatternSyntax;

class LinearPattern
{
public:
    enum Kind {
        // No program: every text goes to regexec.
        None,
        // The program matches exactly the texts regexec matches, among
        // those it reads (reads()).
        Exact,
        // The program matches every text regexec matches among those it
        // reads, and maybe more: back-references are read as a copy of
        // their group or nothing, word boundaries as ASCII ones, anchors
        // where glibc is not known to hold them as where it may.
        Superset,
    };

    enum Answer { No, Yes, Unsure };

    // Matching gives bytes to characters past ASCII as texts bring them and
    // writes the program anew: one thread at a time.
    LinearPattern();
    ~LinearPattern();
    Q_DISABLE_COPY_MOVE(LinearPattern)

    // pattern: bytes up to the first NUL, as regcomp would read them. Reads
    // the locale's character set, classes and collation at the call.
    void compile(const QByteArray& pattern);
    void clear();
    // Whether regcomp and regexec may be given the pattern: false for one
    // that regcomp would reject too, or that would crash or freeze them.
    bool safe() const;
    Kind kind() const;
    // Whether the program reads the text's characters as regexec does:
    // valid UTF-8 in a UTF-8 locale (regexec takes a stray byte for a
    // character of its own), ASCII only where the pattern has word
    // boundaries, and no collating element of more than one character that
    // begins past ASCII (a Thai or Lao leading vowel and the letter after
    // it) where the pattern has a bracket expression that reads them.
    bool reads(const char* text, size_t length) const;
    // Whether the program matches anywhere in the text; false without one.
    // The text is taken as read (reads()).
    bool matches(const char* text, size_t length) const;
    // What the program can tell of a text: Unsure where it has none, where
    // it does not read the text, where it is a superset that matches, and
    // where running it over a text this long could take longer than the
    // window may wait.
    Answer answer(const char* text, size_t length) const;

    // The RE2 text of a pattern in the current locale and its kind; empty
    // with None. In a UTF-8 locale it reads the bytes that stand for
    // characters past ASCII.
    static QByteArray translate(const QByteArray& pattern, Kind* kind);

    // The program's length times the text's above which a text counts as
    // one the program cannot decide in bounded time: where RE2's automaton
    // gives up, its fallback takes time that grows with both (about a second
    // at this bound).
    static const uint64_t workBound;

private:
    struct Translation;
    bool prepare(const char* text, size_t length, const char*& bytes, size_t& size) const;
    unsigned char byteFor(uint32_t character) const;
    bool build() const;

    std::unique_ptr<Translation> translation;
    mutable std::unique_ptr<re2::RE2> program;
    Kind programKind = None;
    bool isSafe = false;
};

}
