// What the current locale's character set and collation tell about how
// glibc's regcomp and regexec read a pattern and a text: whether bytes are
// read as UTF-8, as single-byte characters or otherwise; where a range in a
// bracket expression goes by the collation, the collation sequence value
// each character has there; and the collating elements of more than one
// character (Czech "ch", Hungarian "dzs", "l·" in many locales), which a
// bracket expression regexec builds as a complex one reads as one
// character.
#pragma once

#include <cstdint>
#include <vector>

#include <QByteArray>

namespace PackageTable
{

class Collation
{
public:
    enum Charset { Utf8, SingleByte, Other };

    // The facts of the locale in force at the call (LC_CTYPE and
    // LC_COLLATE), read once per locale and kept for the process.
    static const Collation& current();

    Charset charset() const;
    // Whether the locale has collation rules of its own: ranges then hold
    // the characters whose sequence value lies between their ends'.
    bool rules() const;
    // The sequence value regcomp gives a character (a code point; in a
    // single-byte locale, the wide character of a byte); ~0 for one the
    // collation leaves out, which no range holds.
    uint32_t sequence(uint32_t character) const;

    // The elements of more than one character whose first character is
    // ASCII, as bytes in the locale's encoding.
    const std::vector<QByteArray>& asciiElements() const;
    // The first characters of the other such elements: code points in a
    // UTF-8 locale, bytes in a single-byte one. Sorted.
    const std::vector<uint32_t>& otherElementLeads() const;
    // Whether one of those other elements begins at text[i] (where a lead
    // begins).
    bool otherElementAt(const char* text, size_t length, size_t i) const;
    // Whether a longer element begins with this one ("dzs" with "dz"):
    // regexec reads the longest, which an alternation cannot tell.
    bool beginsLonger(const QByteArray& element) const;

private:
    Collation();

    Charset set = Other;
    bool hasRules = false;
    const char* table = nullptr;
    std::vector<QByteArray> ascii;
    std::vector<uint32_t> otherLeads;
    // Sorted by their bytes.
    std::vector<QByteArray> others;
    std::vector<QByteArray> elements;
};

}
