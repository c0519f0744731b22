// A POSIX extended expression read as glibc's regcomp reads it with
// REG_EXTENDED | REG_NOSUB (its own operators \w \s \b \< \` and the rest
// included), as a tree; and what the tree's shape costs glibc, so that a
// pattern whose expansion, nesting or anchors would make regcomp or regexec
// overflow the stack or run for minutes is told before glibc ever sees it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include <QByteArray>

namespace PackageTable
{

class PatternSyntax
{
public:
    struct Node
    {
        enum Type {
            Empty,
            Literal,
            Set,
            Any,
            Concat,
            Alternation,
            Repeat,
            Group,
            BackReference,
            Anchor,
        };
        Type type = Empty;
        // Literal: a code point in a UTF-8 locale, else a byte.
        uint32_t character = 0;
        // Set: index into sets.
        int set = -1;
        // Repeat: the counts; most is -1 without a bound.
        int least = 0;
        int most = 0;
        // Group and BackReference: the group's number, from 1.
        int group = 0;
        // Anchor: ^ $ ` ' b B < >, as written after the backslash where it
        // has one.
        char anchor = 0;
        std::vector<int> children;
    };

    // A bracket expression, or one of \w \W \s \S, which regcomp builds as
    // one.
    struct CharacterSet
    {
        // As written, so that regcomp can be asked what it holds.
        QByteArray source;
        bool negated = false;
        // Holds [. .] or [= =], alone or as the end of a range.
        bool symbols = false;
        std::vector<QByteArray> classes;
        // Ranges as written, by their first and last characters.
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        std::vector<uint32_t> characters;
    };

    // pattern: up to its first NUL, as regcomp reads the C string.
    PatternSyntax(const QByteArray& pattern, bool utf8);

    // Whether regcomp takes the pattern, as far as this reading tells.
    bool valid() const;
    // Whether every construct has a reading this program is sure of:
    // collating symbols, equivalence classes, an escaped character past ASCII
    // and bytes that are no character leave it unsure.
    bool certain() const;
    // Whether glibc's regcomp or regexec would overflow the stack or run for
    // minutes on it: nesting past maxDepth, counted repetitions that expand
    // past maxUnits or into long runs of parts that may match nothing,
    // anchors inside repeated parts that may match nothing, a
    // back-reference inside a repetition.
    bool tooCostly() const;
    // The size of the pattern with every counted repetition written out, in
    // glibc's nodes, about; and the part of it inside repetitions, which
    // regexec goes through again and again.
    double units() const;
    double repeatedUnits() const;

    // Whether the node can match the empty text, and a non-empty one.
    bool nullable(int node) const;
    bool nonEmpty(int node) const;

    std::vector<Node> nodes;
    int root = -1;
    std::vector<CharacterSet> sets;
    // The body of each group by number; [0] is unused.
    std::vector<int> groups;
    bool backReferences = false;
    bool wordOperators = false;

    // The code point of strict UTF-8 at text[i] and its length; 0 where the
    // bytes are no character (overlong forms, surrogates and code points past
    // U+10FFFF included).
    static size_t decodeUtf8(const unsigned char* text, size_t length, size_t i,
                             uint32_t& codePoint);

    static const int maxDepth = 200;
    static constexpr double maxUnits = 20000;
    static constexpr double maxNullableItems = 2500;

private:
    int add(Node node);
    bool alternation(int depth, int& result);
    bool branch(int depth, int& result);
    bool atom(int depth, int& result);
    bool quantifier(int operand, int& result);
    bool count(int& value, bool& present);
    bool bracket(int& result);
    bool bracketElement(bool first, uint32_t& character, bool& isClass, bool& symbol,
                        CharacterSet& set);
    bool character(uint32_t& result);
    void measure();

    const unsigned char* p;
    size_t n;
    size_t i = 0;
    bool utf8;
    bool isValid = true;
    bool isCertain = true;
    bool costly = false;
    double expanded = 0;
    double repeated = 0;
    std::vector<bool> closed;
    std::vector<char> canBeEmpty;
    std::vector<char> canBeNonEmpty;
};

}
