// The turning of a POSIX extended expression into an RE2 program that
// answers as regexec does, the bytes that stand for characters past ASCII,
// and the judgement of which patterns glibc may be given.
#include "app/packagetable/linearpattern.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <regex.h>
#include <utility>
#include <wctype.h>

#include <re2/re2.h>

#include "app/packagetable/collation.h"
#include "app/packagetable/patternsyntax.h"

namespace PackageTable
{

namespace
{

using Node = PatternSyntax::Node;

// RE2 takes no count above this, nor nested counts whose product is above
// it: larger ones are written out.
const double largestRepeat = 1000;
// A pattern that may leave texts to regexec (back-references, word
// boundaries, what has no exact program) runs only where its repeated parts
// are small: glibc's regexec takes time that grows with their square over
// every start position, and seconds over a few kilobytes past this.
const double regexecUnits = 256;
// Characters past ASCII that a pattern names, each given a byte of its own;
// the other bytes past ASCII stand for what the pattern's bracket
// expressions tell of a character.
const size_t largestLiteralCount = 96;

// What a part can begin with: single bytes (ASCII in a UTF-8 locale), and
// past ASCII any character, the characters of some sets, or some named
// characters.
struct Beginnings
{
    std::bitset<256> bytes;
    bool any = false;
    std::vector<int> sets;
    std::vector<uint32_t> characters;

    void add(const Beginnings& more)
    {
        bytes |= more.bytes;
        any = any || more.any;
        sets.insert(sets.end(), more.sets.begin(), more.sets.end());
        characters.insert(characters.end(), more.characters.begin(), more.characters.end());
    }
    bool past() const { return any || !sets.empty() || !characters.empty(); }
};

QByteArray byteText(unsigned byte)
{
    return "\\x{" + QByteArray::number(byte, 16) + '}';
}

QByteArray classText(const std::bitset<256>& bytes)
{
    QByteArray text = "[";
    bool any = false;
    for (unsigned c = 1; c < 256; ++c) {
        if (!bytes.test(c))
            continue;
        unsigned last = c;
        while (last + 1 < 256 && bytes.test(last + 1))
            ++last;
        text += byteText(c);
        if (last > c)
            text += '-' + byteText(last);
        any = true;
        c = last;
    }
    // A set that holds nothing matches nothing.
    return any ? text + ']' : QByteArray("[^\\x00-\\x{ff}]");
}

// The length of the text's first run of ASCII, eight bytes at a time.
size_t asciiPrefix(const unsigned char* p, size_t length)
{
    size_t i = 0;
    while (i + 8 <= length) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        if ((word & 0x8080808080808080ull) != 0)
            break;
        i += 8;
    }
    while (i < length && p[i] < 0x80)
        ++i;
    return i;
}

// regexec's own answer, for the single characters and elements a bracket
// expression is asked about.
class Probe
{
public:
    explicit Probe(const QByteArray& pattern)
    {
        ok = regcomp(&regex, pattern.constData(), REG_EXTENDED | REG_NOSUB) == 0;
    }
    ~Probe()
    {
        if (ok)
            regfree(&regex);
    }
    Q_DISABLE_COPY_MOVE(Probe)

    bool matches(const char* text) const
    {
        return ok && regexec(&regex, text, 0, nullptr, 0) == 0;
    }

    bool ok;

private:
    regex_t regex;
};

} // namespace

const uint64_t LinearPattern::workBound = 300000000;

struct LinearPattern::Translation
{
    struct Set
    {
        // Members among single bytes (ASCII in a UTF-8 locale), as regexec
        // itself answers for each.
        std::bitset<256> bytes;
        // Whether it may hold characters past ASCII (UTF-8).
        bool other = false;
        bool negated = false;
        std::vector<wctype_t> classes;
        // Ranges by code point, or by sequence value where the locale has
        // collation rules.
        std::vector<std::pair<uint32_t, uint32_t>> codeRanges;
        std::vector<std::pair<uint32_t, uint32_t>> sequenceRanges;
        std::vector<uint32_t> characters;
        // The collating elements of more than one character it reads as one.
        std::vector<QByteArray> elements;
        // Its bit in the description of a character past ASCII.
        int bit = -1;

        bool holds(uint32_t c, const Collation& collation) const
        {
            bool found = std::find(characters.begin(), characters.end(), c) != characters.end();
            for (wctype_t type : classes)
                found = found || iswctype(wint_t(c), type);
            for (const auto& range : codeRanges)
                found = found || (c >= range.first && c <= range.second);
            if (!sequenceRanges.empty()) {
                const uint32_t value = collation.sequence(c);
                for (const auto& range : sequenceRanges)
                    found = found || (value >= range.first && value <= range.second);
            }
            return negated ? !found : found;
        }
    };

    std::unique_ptr<PatternSyntax> syntax;
    const Collation* collation = nullptr;
    bool utf8 = false;
    std::vector<Set> sets;
    // Characters past ASCII the pattern names, sorted; each stands as the
    // byte 0x80 plus its index.
    std::vector<uint32_t> literals;
    int bits = 0;
    // Per node: whether an anchor there can be reached having consumed
    // nothing, or something, since the start of a match; whether what
    // follows it to the end can match the empty text, or a non-empty one;
    // whether it lies in a copy of a repeated part.
    std::vector<char> beforeEmpty;
    std::vector<char> beforeSome;
    std::vector<char> afterEmpty;
    std::vector<char> afterSome;
    std::vector<char> copied;
    bool superset = false;
    bool asciiOnly = false;
    bool avoidLeads = false;

    // Bytes given so far to characters past ASCII, and to descriptions (the
    // bits of the sets that hold a character): given when a text first holds
    // such a character, the program is then written anew.
    mutable std::unordered_map<uint32_t, unsigned char> given;
    mutable std::vector<std::vector<bool>> described;
    mutable bool stale = false;
    mutable std::string buffer;

    Beginnings beginnings(int node) const;
    bool meets(const Beginnings& one, const Beginnings& other) const;
    Beginnings setBeginnings(int set) const;
    Beginnings follow(int node, const std::vector<int>& parents) const;
    bool determinate() const;

    void before(int node, bool empty, bool some, bool inCopy);
    void after(int node, bool empty, bool some);
    QByteArray emit(int node, bool copy) const;
    QByteArray setText(int set) const;
    QByteArray bytesText(const QByteArray& bytes) const;
    QByteArray repeatText(const QByteArray& body, int least, int most, double inner) const;
    double product(int node) const;
};

namespace
{

bool isDuplicating(const Node& node)
{
    // regcomp writes {m,n} as n copies and {m,} as m + 1, all but the first
    // made by duplicate_tree.
    const long copies = node.most == -1 ? long(node.least) + 1 : long(node.most);
    return copies >= 2;
}

} // namespace

// Whether an anchor can be reached with nothing or something consumed since
// the match began: regcomp's anchors hold at a match's start only at the
// text's start (a newline before it does not count without REG_NEWLINE),
// but right after a newline the match consumed, glibc's automaton takes the
// line to start.
void LinearPattern::Translation::before(int node, bool empty, bool some, bool inCopy)
{
    const Node& n = syntax->nodes[size_t(node)];
    switch (n.type) {
    case Node::Concat:
        for (int child : n.children) {
            before(child, empty, some, inCopy);
            const bool childEmpty = syntax->nullable(child);
            some = syntax->nonEmpty(child) || (some && childEmpty);
            empty = empty && childEmpty;
        }
        break;
    case Node::Alternation:
        for (int child : n.children)
            before(child, empty, some, inCopy);
        break;
    case Node::Group:
        before(n.children[0], empty, some, inCopy);
        break;
    case Node::Repeat:
        if (n.most == 0)
            break;
        if (n.most == -1 || n.most > 1)
            before(n.children[0], empty, some || syntax->nonEmpty(n.children[0]),
                   inCopy || isDuplicating(n));
        else
            before(n.children[0], empty, some, inCopy);
        break;
    case Node::Anchor:
        beforeEmpty[size_t(node)] = empty;
        beforeSome[size_t(node)] = some;
        copied[size_t(node)] = inCopy;
        break;
    default:
        break;
    }
}

void LinearPattern::Translation::after(int node, bool empty, bool some)
{
    const Node& n = syntax->nodes[size_t(node)];
    switch (n.type) {
    case Node::Concat:
        for (auto child = n.children.rbegin(); child != n.children.rend(); ++child) {
            after(*child, empty, some);
            const bool childEmpty = syntax->nullable(*child);
            some = syntax->nonEmpty(*child) || (some && childEmpty);
            empty = empty && childEmpty;
        }
        break;
    case Node::Alternation:
        for (int child : n.children)
            after(child, empty, some);
        break;
    case Node::Group:
        after(n.children[0], empty, some);
        break;
    case Node::Repeat:
        if (n.most == 0)
            break;
        if (n.most == -1 || n.most > 1)
            after(n.children[0], empty, some || syntax->nonEmpty(n.children[0]));
        else
            after(n.children[0], empty, some);
        break;
    case Node::Anchor:
        afterEmpty[size_t(node)] = empty;
        afterSome[size_t(node)] = some;
        break;
    default:
        break;
    }
}

Beginnings LinearPattern::Translation::setBeginnings(int set) const
{
    Beginnings result;
    result.bytes = sets[size_t(set)].bytes;
    if (sets[size_t(set)].other)
        result.sets.push_back(set);
    for (const QByteArray& element : sets[size_t(set)].elements)
        result.bytes.set(uchar(element.at(0)));
    return result;
}

// Whether some character can begin both. Past ASCII two sets are compared
// character by character, over all of Unicode: only for back-references,
// whose patterns are few and short.
bool LinearPattern::Translation::meets(const Beginnings& one, const Beginnings& other) const
{
    if ((one.bytes & other.bytes).any())
        return true;
    if (!one.past() || !other.past())
        return false;
    if (one.any || other.any)
        return true;
    auto holds = [this](const Beginnings& side, uint32_t c) {
        if (std::find(side.characters.begin(), side.characters.end(), c) != side.characters.end())
            return true;
        for (int set : side.sets) {
            if (sets[size_t(set)].holds(c, *collation))
                return true;
        }
        return false;
    };
    for (uint32_t c : one.characters) {
        if (holds(other, c))
            return true;
    }
    for (uint32_t c : other.characters) {
        if (holds(one, c))
            return true;
    }
    if (one.sets.empty() || other.sets.empty())
        return false;
    for (uint32_t c = 0x80; c <= 0x10ffff; ++c) {
        if (c == 0xd800)
            c = 0xe000;
        if (holds(one, c) && holds(other, c))
            return true;
    }
    return false;
}

Beginnings LinearPattern::Translation::beginnings(int node) const
{
    const Node& n = syntax->nodes[size_t(node)];
    Beginnings result;
    switch (n.type) {
    case Node::Literal:
        if (utf8 && n.character >= 0x80)
            result.characters.push_back(n.character);
        else
            result.bytes.set(n.character & 0xff);
        break;
    case Node::Set:
        result = setBeginnings(n.set);
        break;
    case Node::Any:
        result.bytes.set();
        result.any = utf8;
        break;
    case Node::Concat:
        for (int child : n.children) {
            result.add(beginnings(child));
            if (!syntax->nullable(child))
                break;
        }
        break;
    case Node::Alternation:
        for (int child : n.children)
            result.add(beginnings(child));
        break;
    case Node::Group:
        result = beginnings(n.children[0]);
        break;
    case Node::Repeat:
        if (n.most != 0)
            result = beginnings(n.children[0]);
        break;
    case Node::BackReference:
        result = beginnings(syntax->groups[size_t(n.group)]);
        break;
    default:
        break;
    }
    return result;
}

// What can come right after a node: the beginnings of the parts after it,
// up to one that must match something, and of its repetition's next round.
Beginnings LinearPattern::Translation::follow(int node, const std::vector<int>& parents) const
{
    Beginnings result;
    for (;;) {
        const int parent = parents[size_t(node)];
        if (parent < 0)
            return result;
        const Node& p = syntax->nodes[size_t(parent)];
        if (p.type == Node::Concat) {
            auto at = std::find(p.children.begin(), p.children.end(), node);
            for (++at; at != p.children.end(); ++at) {
                result.add(beginnings(*at));
                if (!syntax->nullable(*at))
                    return result;
            }
        } else if (p.type == Node::Repeat && (p.most == -1 || p.most > 1)) {
            result.add(beginnings(p.children[0]));
        }
        node = parent;
    }
}

// glibc's regexec tries, for a back-reference, every way its group and the
// parts between could have matched: over a few kilobytes that takes hours
// unless each repeated part is a single character whose run must end where
// a character it cannot match begins ("([A-Z]+)[0-9]\1"), so that it ends
// in one place only.
bool LinearPattern::Translation::determinate() const
{
    std::vector<int> parents(syntax->nodes.size(), -1);
    for (size_t k = 0; k < syntax->nodes.size(); ++k) {
        for (int child : syntax->nodes[k].children)
            parents[size_t(child)] = int(k);
    }
    for (size_t k = 0; k < syntax->nodes.size(); ++k) {
        const Node& n = syntax->nodes[k];
        if (n.type != Node::Repeat || n.least == n.most)
            continue;
        int body = n.children[0];
        while (syntax->nodes[size_t(body)].type == Node::Group)
            body = syntax->nodes[size_t(body)].children[0];
        const Node::Type type = syntax->nodes[size_t(body)].type;
        if (type != Node::Literal && type != Node::Set && type != Node::Any)
            return false;
        if (meets(beginnings(body), follow(int(k), parents)))
            return false;
    }
    return true;
}

double LinearPattern::Translation::product(int node) const
{
    const Node& n = syntax->nodes[size_t(node)];
    double inner = 1;
    for (int child : n.children)
        inner = std::max(inner, product(child));
    if (n.type == Node::Repeat)
        inner *= std::max(1, n.most == -1 ? n.least : n.most);
    return inner;
}

QByteArray LinearPattern::Translation::bytesText(const QByteArray& bytes) const
{
    QByteArray text;
    size_t k = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const size_t n = size_t(bytes.size());
    while (k < n) {
        if (!utf8 || p[k] < 0x80) {
            text += byteText(p[k++]);
            continue;
        }
        uint32_t character;
        const size_t size = PatternSyntax::decodeUtf8(p, n, k, character);
        if (size == 0)
            return QByteArray();
        text += byteText(unsigned(0x80 + (std::lower_bound(literals.begin(), literals.end(),
                                                           character)
                                          - literals.begin())));
        k += size;
    }
    return text;
}

QByteArray LinearPattern::Translation::setText(int index) const
{
    const Set& set = sets[size_t(index)];
    std::bitset<256> bytes = set.bytes;
    if (utf8) {
        for (size_t k = 0; k < literals.size(); ++k) {
            if (set.holds(literals[k], *collation))
                bytes.set(0x80 + k);
        }
        if (set.bit >= 0) {
            for (size_t k = 0; k < described.size(); ++k) {
                if (described[k][size_t(set.bit)])
                    bytes.set(0x80 + literals.size() + k);
            }
        }
    }
    QByteArray text = classText(bytes);
    if (set.elements.empty())
        return text;
    text = "(?:" + text;
    for (const QByteArray& element : set.elements)
        text += '|' + bytesText(element);
    return text + ')';
}

// "(?:body){least,most}" as RE2 takes it: counts past its limit, alone or
// multiplied by the counts inside, are written out in pieces whose
// concatenation matches the same counts.
QByteArray LinearPattern::Translation::repeatText(const QByteArray& body, int least, int most,
                                                  double inner) const
{
    const QByteArray group = "(?:" + body + ')';
    const double largest = most == -1 ? double(least) : double(most);
    if (largest * inner <= largestRepeat) {
        if (least == 0 && most == -1)
            return group + '*';
        if (least == 1 && most == -1)
            return group + '+';
        if (least == 0 && most == 1)
            return group + '?';
        if (most == -1)
            return group + '{' + QByteArray::number(least) + ",}";
        if (least == most)
            return group + '{' + QByteArray::number(least) + '}';
        return group + '{' + QByteArray::number(least) + ',' + QByteArray::number(most) + '}';
    }
    const int piece = std::max(1, int(largestRepeat / inner));
    QByteArray text;
    for (int left = least; left > 0; left -= piece)
        text += group + '{' + QByteArray::number(std::min(left, piece)) + '}';
    if (most == -1)
        return text + group + '*';
    for (int left = most - least; left > 0; left -= piece)
        text += group + "{0," + QByteArray::number(std::min(left, piece)) + '}';
    return text;
}

// The RE2 text of a node; a copy (what a back-reference may match) holds no
// anchors, which glibc does not keep in it either.
QByteArray LinearPattern::Translation::emit(int node, bool copy) const
{
    const Node& n = syntax->nodes[size_t(node)];
    switch (n.type) {
    case Node::Empty:
        return QByteArray();
    case Node::Literal:
        if (utf8 && n.character >= 0x80)
            return byteText(unsigned(0x80 + (std::lower_bound(literals.begin(), literals.end(),
                                                              n.character)
                                             - literals.begin())));
        return byteText(n.character);
    case Node::Set:
        return setText(n.set);
    case Node::Any:
        return "(?s:.)";
    case Node::Concat: {
        QByteArray text;
        for (int child : n.children)
            text += emit(child, copy);
        return text;
    }
    case Node::Alternation: {
        // In Latin-1 RE2 (this version) loses matches where it factors a
        // common leading byte past ASCII out of the branches ("\xbca|\xbcb"
        // finds nothing): each branch goes in a group of its own, which it
        // does not look into.
        QByteArray text = "(?:";
        for (size_t k = 0; k < n.children.size(); ++k)
            text += (k ? "|(" : "(") + emit(n.children[k], copy) + ')';
        return text + ')';
    }
    case Node::Group:
        return "(?:" + emit(n.children[0], copy) + ')';
    case Node::Repeat: {
        const int body = n.children[0];
        if (n.most == 0)
            return QByteArray();
        // Nothing to repeat but empty width: RE2 refuses to repeat it, and
        // no count changes what it matches beyond once.
        if (!syntax->nonEmpty(body))
            return n.least == 0 ? QByteArray() : "(?:" + emit(body, copy) + ')';
        return repeatText(emit(body, copy), n.least, n.most, product(body));
    }
    case Node::BackReference:
        // Whatever the reference matches, its group's body matches too; a
        // group that took no part leaves it unmatched or empty, which the
        // "?" covers.
        return "(?:(?:" + emit(syntax->groups[size_t(n.group)], true) + ")?)";
    case Node::Anchor:
        if (copy || copied[size_t(node)])
            return QByteArray();
        switch (n.anchor) {
        case '^':
            return beforeSome[size_t(node)] ? "(?m:^)" : "\\A";
        case '$':
            return afterSome[size_t(node)] ? "(?m:$)" : "\\z";
        case '`':
            return "\\A";
        case '\'':
            return "\\z";
        case 'B':
            return "\\B";
        default:
            return "\\b";
        }
    }
    return QByteArray();
}

LinearPattern::LinearPattern() = default;

LinearPattern::~LinearPattern() = default;

void LinearPattern::clear()
{
    program.reset();
    translation.reset();
    programKind = None;
    isSafe = false;
}

void LinearPattern::compile(const QByteArray& pattern)
{
    clear();
    const Collation& collation = Collation::current();
    const bool utf8 = collation.charset() == Collation::Utf8;
    auto t = std::make_unique<Translation>();
    t->syntax = std::make_unique<PatternSyntax>(pattern, utf8);
    t->collation = &collation;
    t->utf8 = utf8;
    const PatternSyntax& syntax = *t->syntax;
    if (syntax.tooCostly() || !syntax.valid())
        return;
    // From here on regcomp may be asked about the pattern's parts, which
    // are as safe as the whole.
    bool exact = syntax.certain() && collation.charset() != Collation::Other;
    const bool byteLocale = collation.charset() == Collation::SingleByte;
    const unsigned lastByte = byteLocale ? 255 : 127;
    t->sets.resize(syntax.sets.size());
    for (size_t k = 0; exact && k < syntax.sets.size(); ++k) {
        const PatternSyntax::CharacterSet& written = syntax.sets[k];
        Translation::Set& set = t->sets[k];
        // Sets written alike hold alike: regexec is asked once.
        auto same = std::find_if(syntax.sets.begin(), syntax.sets.begin() + long(k),
                                 [&written](const PatternSyntax::CharacterSet& earlier) {
                                     return earlier.source == written.source;
                                 });
        if (same != syntax.sets.begin() + long(k)) {
            set = t->sets[size_t(same - syntax.sets.begin())];
            set.bit = -1;
            continue;
        }
        Probe probe(written.source);
        if (!probe.ok) {
            exact = false;
            break;
        }
        for (unsigned c = 1; c <= lastByte; ++c) {
            const char text[2] = {char(c), '\0'};
            if (probe.matches(text))
                set.bytes.set(c);
        }
        set.negated = written.negated;
        set.characters = written.characters;
        for (const QByteArray& name : written.classes)
            set.classes.push_back(wctype(name.constData()));
        for (const auto& range : written.ranges) {
            if (collation.rules())
                set.sequenceRanges.emplace_back(collation.sequence(range.first),
                                                collation.sequence(range.second));
            else
                set.codeRanges.push_back(range);
        }
        bool reachesPast = set.negated || !set.classes.empty() || !set.sequenceRanges.empty();
        for (uint32_t c : set.characters)
            reachesPast = reachesPast || c >= 0x80;
        for (const auto& range : set.codeRanges)
            reachesPast = reachesPast || range.second >= 0x80;
        set.other = utf8 && reachesPast;
        // The reading past ASCII must agree with regexec's own over ASCII,
        // or it is not to be trusted (a table this program misreads).
        if (utf8) {
            for (unsigned c = 1; c <= 127; ++c) {
                if (set.holds(c, collation) != set.bytes.test(c))
                    exact = false;
            }
        }
        // regcomp builds a complex bracket, which reads a collating element
        // of more than one character as one, where the set has anything
        // past single ASCII characters (in a single-byte locale: ranges
        // under collation rules).
        const bool complex = utf8 ? reachesPast || written.symbols
                                  : (collation.rules() && !written.ranges.empty()) || written.symbols;
        if (!complex)
            continue;
        if (!collation.otherElementLeads().empty())
            t->avoidLeads = true;
        if (collation.asciiElements().empty())
            continue;
        Probe whole("^" + written.source + "$");
        for (const QByteArray& element : collation.asciiElements()) {
            if (!whole.matches(element.constData()))
                continue;
            set.elements.push_back(element);
            if (collation.beginsLonger(element))
                t->superset = true;
        }
    }

    if (exact && utf8) {
        for (const Node& node : syntax.nodes) {
            if (node.type == Node::Literal && node.character >= 0x80)
                t->literals.push_back(node.character);
        }
        for (const Translation::Set& set : t->sets) {
            for (const QByteArray& element : set.elements) {
                const auto* bytes = reinterpret_cast<const unsigned char*>(element.constData());
                size_t k = 0;
                while (k < size_t(element.size())) {
                    uint32_t c;
                    const size_t size = PatternSyntax::decodeUtf8(bytes, size_t(element.size()), k, c);
                    if (size == 0)
                        break;
                    if (c >= 0x80)
                        t->literals.push_back(c);
                    k += size;
                }
            }
        }
        std::sort(t->literals.begin(), t->literals.end());
        t->literals.erase(std::unique(t->literals.begin(), t->literals.end()), t->literals.end());
        if (t->literals.size() > largestLiteralCount)
            exact = false;
        // Sets written alike hold alike: one bit for them all.
        for (size_t k = 0; k < t->sets.size(); ++k) {
            if (!t->sets[k].other)
                continue;
            for (size_t j = 0; j < k; ++j) {
                if (t->sets[j].other && syntax.sets[j].source == syntax.sets[k].source)
                    t->sets[k].bit = t->sets[j].bit;
            }
            if (t->sets[k].bit < 0)
                t->sets[k].bit = t->bits++;
        }
    }

    const size_t count = syntax.nodes.size();
    t->beforeEmpty.assign(count, 0);
    t->beforeSome.assign(count, 0);
    t->afterEmpty.assign(count, 0);
    t->afterSome.assign(count, 0);
    t->copied.assign(count, 0);
    t->before(syntax.root, true, false, false);
    t->after(syntax.root, true, false);
    for (size_t k = 0; k < count; ++k) {
        const Node& node = syntax.nodes[k];
        if (node.type != Node::Anchor)
            continue;
        if (t->copied[k])
            t->superset = true;
        else if (node.anchor == '^' && t->beforeEmpty[k] && t->beforeSome[k])
            t->superset = true;
        else if (node.anchor == '$' && t->afterEmpty[k] && t->afterSome[k])
            t->superset = true;
    }
    if (syntax.backReferences)
        t->superset = true;
    if (syntax.wordOperators) {
        t->superset = true;
        t->asciiOnly = true;
    }

    Kind kind = exact ? (t->superset ? Superset : Exact) : None;
    // A pattern that may leave texts to regexec: its cost there must be
    // bounded.
    if (kind != Exact && syntax.repeatedUnits() > regexecUnits)
        return;
    if (syntax.backReferences && (!exact || !t->determinate()))
        return;
    isSafe = true;
    if (kind == None)
        return;
    translation = std::move(t);
    programKind = kind;
    if (!build()) {
        translation.reset();
        programKind = None;
        if (syntax.repeatedUnits() > regexecUnits)
            isSafe = false;
    }
}

bool LinearPattern::build() const
{
    Translation& t = *translation;
    const QByteArray text = t.emit(t.syntax->root, false);
    RE2::Options options;
    options.set_posix_syntax(false);
    options.set_longest_match(false);
    options.set_log_errors(false);
    options.set_encoding(RE2::Options::EncodingLatin1);
    options.set_case_sensitive(true);
    // Without REG_NEWLINE a newline is a character like any other: "." and
    // "[^a]" match it; where anchors hold is written into the program.
    options.set_never_nl(false);
    options.set_dot_nl(true);
    // Groups stay: they keep branches apart (emit()); a search that asks
    // for no sub-match never builds them.
    options.set_never_capture(false);
    options.set_max_mem(int64_t(32) << 20);
    auto compiled = std::make_unique<RE2>(re2::StringPiece(text.constData(), size_t(text.size())),
                                          options);
    t.stale = false;
    if (!compiled->ok()) {
        program.reset();
        return false;
    }
    program = std::move(compiled);
    return true;
}

bool LinearPattern::safe() const
{
    return isSafe;
}

LinearPattern::Kind LinearPattern::kind() const
{
    return programKind;
}

QByteArray LinearPattern::translate(const QByteArray& pattern, Kind* kind)
{
    LinearPattern linear;
    linear.compile(pattern);
    *kind = linear.kind();
    if (*kind == None)
        return QByteArray();
    return linear.translation->emit(linear.translation->syntax->root, false);
}

// The byte that stands for a character past ASCII: its own where the
// pattern names it, else the one for the sets that hold it, given when first
// met. 0 where all are given.
unsigned char LinearPattern::byteFor(uint32_t character) const
{
    Translation& t = *translation;
    auto known = t.given.find(character);
    if (known != t.given.end())
        return known->second;
    unsigned char byte = 0;
    auto literal = std::lower_bound(t.literals.begin(), t.literals.end(), character);
    if (literal != t.literals.end() && *literal == character) {
        byte = uchar(0x80 + (literal - t.literals.begin()));
    } else {
        std::vector<bool> description(size_t(t.bits), false);
        for (const Translation::Set& set : t.sets) {
            if (set.bit >= 0 && !description[size_t(set.bit)])
                description[size_t(set.bit)] = set.holds(character, *t.collation);
        }
        auto found = std::find(t.described.begin(), t.described.end(), description);
        const size_t index = size_t(found - t.described.begin());
        if (found == t.described.end()) {
            if (0x80 + t.literals.size() + index > 0xff)
                return 0;
            t.described.push_back(description);
            t.stale = true;
        }
        byte = uchar(0x80 + t.literals.size() + index);
    }
    t.given.emplace(character, byte);
    return byte;
}

// The text as the program reads it, in one pass: as it is where it is all
// ASCII or in a single-byte locale, else in the buffer with each character
// past ASCII replaced by its byte. False where the program does not read the
// text as regexec does (reads()) or a character gets no byte.
bool LinearPattern::prepare(const char* text, size_t length, const char*& bytes,
                            size_t& size) const
{
    Translation& t = *translation;
    bytes = text;
    size = length;
    if (!t.utf8 && !t.asciiOnly && !t.avoidLeads)
        return true;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    size_t i = asciiPrefix(p, length);
    if (i == length)
        return true;
    if (t.asciiOnly)
        return false;
    const std::vector<uint32_t>& leads = t.collation->otherElementLeads();
    if (!t.utf8) {
        for (; i < length; ++i) {
            if (std::binary_search(leads.begin(), leads.end(), uint32_t(p[i]))
                && t.collation->otherElementAt(text, length, i))
                return false;
        }
        return true;
    }
    t.buffer.assign(text, i);
    while (i < length) {
        if (p[i] < 0x80) {
            t.buffer += char(p[i++]);
            continue;
        }
        uint32_t character;
        const size_t used = PatternSyntax::decodeUtf8(p, length, i, character);
        if (used == 0)
            return false;
        if (t.avoidLeads && std::binary_search(leads.begin(), leads.end(), character)
            && t.collation->otherElementAt(text, length, i))
            return false;
        const unsigned char byte = byteFor(character);
        if (byte == 0)
            return false;
        t.buffer += char(byte);
        i += used;
    }
    bytes = t.buffer.data();
    size = t.buffer.size();
    return true;
}

bool LinearPattern::reads(const char* text, size_t length) const
{
    if (!translation)
        return false;
    const Translation& t = *translation;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const std::vector<uint32_t>& leads = t.collation->otherElementLeads();
    size_t i = 0;
    while (i < length) {
        // Runs of plain ASCII, eight bytes at a time.
        if (i + 8 <= length) {
            uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        // glibc reads a word boundary by its own word characters, which past
        // ASCII RE2's are not.
        if (t.asciiOnly)
            return false;
        uint32_t character = bytes[i];
        size_t size = 1;
        if (t.utf8) {
            // regexec takes a stray byte for a character of its own.
            size = PatternSyntax::decodeUtf8(bytes, length, i, character);
            if (size == 0)
                return false;
        }
        if (t.avoidLeads && std::binary_search(leads.begin(), leads.end(), character)
            && t.collation->otherElementAt(text, length, i))
            return false;
        i += size;
    }
    return true;
}

bool LinearPattern::matches(const char* text, size_t length) const
{
    if (!translation || !program)
        return false;
    const char* bytes;
    size_t size;
    if (!prepare(text, length, bytes, size))
        return true;
    if (translation->stale && !build())
        return true;
    return RE2::PartialMatch(re2::StringPiece(bytes, size), *program);
}

LinearPattern::Answer LinearPattern::answer(const char* text, size_t length) const
{
    if (!translation || !program)
        return Unsure;
    if (uint64_t(program->ProgramSize()) * uint64_t(length) > workBound)
        return Unsure;
    const char* bytes;
    size_t size;
    if (!prepare(text, length, bytes, size))
        return Unsure;
    if (translation->stale && !build())
        return Unsure;
    if (!RE2::PartialMatch(re2::StringPiece(bytes, size), *program))
        return No;
    return programKind == Exact ? Yes : Unsure;
}

}
