// The turning of a POSIX extended expression into an RE2 program that
// answers as regexec does, and the sets of characters the locale puts in a
// bracket expression.
#include "app/packagetable/linearpattern.h"

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <langinfo.h>
#include <regex.h>
#include <utility>
#include <vector>
#include <wctype.h>

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <re2/re2.h>

namespace PackageTable
{

namespace
{

using Intervals = std::vector<std::pair<uint32_t, uint32_t>>;

const uint32_t lastCodePoint = 0x10ffff;
const uint32_t lastByte = 0xff;
// RE2 takes no count above this in an interval; regcomp takes up to 32767.
const long largestCount = 1000;
// A pattern whose back-references, each copied out, make a longer program
// gets none.
const int largestProgramText = 1 << 20;

// How the current locale reads bytes: a single-byte locale reads each byte
// as a character (RE2's Latin-1), a UTF-8 one reads UTF-8; any other
// multibyte character set gets no program.
enum class Charset { Utf8, SingleByte, Other };

Charset currentCharset()
{
    if (MB_CUR_MAX == 1)
        return Charset::SingleByte;
    return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0 ? Charset::Utf8 : Charset::Other;
}

// Whether the locale orders characters by collation rules of its own. Without
// them regcomp puts in a range exactly the code points between its ends; with
// them it goes by each character's place in the collation, which only
// regexec itself can tell. glibc hands the count back in place of a pointer.
bool hasCollationRules()
{
    return uint32_t(reinterpret_cast<uintptr_t>(nl_langinfo(_NL_COLLATE_NRULES))) != 0;
}

QByteArray localeKey()
{
    return QByteArray(std::setlocale(LC_CTYPE, nullptr)) + '|'
           + QByteArray(std::setlocale(LC_COLLATE, nullptr));
}

// The code point of the UTF-8 sequence at text[i], and its length; 0 where
// the bytes are not strict UTF-8 (overlong forms, surrogates and code points
// past U+10FFFF included).
size_t decodeUtf8(const unsigned char* text, size_t length, size_t i, uint32_t& codePoint)
{
    const unsigned char lead = text[i];
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    size_t size;
    uint32_t least;
    if (lead >= 0xc2 && lead <= 0xdf) {
        size = 2;
        least = 0x80;
        codePoint = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        size = 3;
        least = 0x800;
        codePoint = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        size = 4;
        least = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (length - i < size)
        return 0;
    for (size_t k = 1; k < size; ++k) {
        if ((text[i + k] & 0xc0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (text[i + k] & 0x3f);
    }
    if (codePoint < least || codePoint > lastCodePoint
        || (codePoint >= 0xd800 && codePoint <= 0xdfff))
        return 0;
    return size;
}

size_t encodeUtf8(uint32_t codePoint, char* out)
{
    if (codePoint < 0x80) {
        out[0] = char(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        out[0] = char(0xc0 | (codePoint >> 6));
        out[1] = char(0x80 | (codePoint & 0x3f));
        return 2;
    }
    if (codePoint < 0x10000) {
        out[0] = char(0xe0 | (codePoint >> 12));
        out[1] = char(0x80 | ((codePoint >> 6) & 0x3f));
        out[2] = char(0x80 | (codePoint & 0x3f));
        return 3;
    }
    out[0] = char(0xf0 | (codePoint >> 18));
    out[1] = char(0x80 | ((codePoint >> 12) & 0x3f));
    out[2] = char(0x80 | ((codePoint >> 6) & 0x3f));
    out[3] = char(0x80 | (codePoint & 0x3f));
    return 4;
}

void normalize(Intervals& set)
{
    std::sort(set.begin(), set.end());
    Intervals merged;
    for (const auto& interval : set) {
        if (!merged.empty() && interval.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, interval.second);
        else
            merged.push_back(interval);
    }
    set.swap(merged);
}

void addMember(Intervals& set, uint32_t c)
{
    if (!set.empty() && set.back().second + 1 == c)
        set.back().second = c;
    else
        set.emplace_back(c, c);
}

// The byte classes regcomp knows, tested as its single-byte table is made.
bool byteInClass(const QByteArray& name, int c)
{
    if (name == "alpha")
        return isalpha(c);
    if (name == "upper")
        return isupper(c);
    if (name == "lower")
        return islower(c);
    if (name == "digit")
        return isdigit(c);
    if (name == "xdigit")
        return isxdigit(c);
    if (name == "space")
        return isspace(c);
    if (name == "print")
        return isprint(c);
    if (name == "punct")
        return ispunct(c);
    if (name == "graph")
        return isgraph(c);
    if (name == "cntrl")
        return iscntrl(c);
    if (name == "blank")
        return isblank(c);
    if (name == "alnum")
        return isalnum(c);
    return false;
}

bool isKnownClass(const QByteArray& name)
{
    static const char* const names[] = {"alpha", "upper", "lower", "digit", "xdigit", "space",
                                        "print", "punct", "graph", "cntrl", "blank", "alnum"};
    for (const char* known : names) {
        if (name == known)
            return true;
    }
    return false;
}

QMutex cacheMutex;

// The characters of a class: single-byte characters by the byte table, in a
// UTF-8 locale the others by their wide class, as regexec tests them. The
// whole of Unicode is gone through once per class and locale.
Intervals classMembers(const QByteArray& name, bool utf8)
{
    static QHash<QByteArray, Intervals> known;
    const QByteArray key = localeKey() + '|' + name + (utf8 ? "|u" : "|b");
    QMutexLocker locker(&cacheMutex);
    auto found = known.constFind(key);
    if (found != known.constEnd())
        return *found;
    Intervals set;
    for (uint32_t c = 1; c <= (utf8 ? 0x7f : lastByte); ++c) {
        if (byteInClass(name, int(c)))
            addMember(set, c);
    }
    if (utf8) {
        const wctype_t type = wctype(name.constData());
        for (uint32_t c = 0x80; c <= lastCodePoint; ++c) {
            if (c >= 0xd800 && c <= 0xdfff)
                continue;
            if (iswctype(wint_t(c), type))
                addMember(set, c);
        }
    }
    known.insert(key, set);
    return set;
}

// The characters regexec puts in a bracket expression, asked of regexec
// itself one character at a time: where a locale's collation decides what a
// range holds. Once per bracket expression and locale.
bool probedMembers(const QByteArray& bracket, bool utf8, Intervals& set)
{
    static QHash<QByteArray, Intervals> known;
    const QByteArray key = localeKey() + '|' + bracket + (utf8 ? "|u" : "|b");
    QMutexLocker locker(&cacheMutex);
    auto found = known.constFind(key);
    if (found != known.constEnd()) {
        set = *found;
        return true;
    }
    regex_t regex;
    if (regcomp(&regex, bracket.constData(), REG_EXTENDED | REG_NOSUB) != 0)
        return false;
    set.clear();
    char text[5];
    for (uint32_t c = 1; c <= (utf8 ? lastCodePoint : lastByte); ++c) {
        if (utf8 && c >= 0xd800 && c <= 0xdfff)
            continue;
        const size_t size = utf8 ? encodeUtf8(c, text) : (text[0] = char(c), 1);
        text[size] = '\0';
        if (regexec(&regex, text, 0, nullptr, 0) == 0)
            addMember(set, c);
    }
    regfree(&regex);
    known.insert(key, set);
    return true;
}

// Every character the set does not hold; set is normalized.
Intervals complement(const Intervals& set, bool utf8)
{
    const uint32_t last = utf8 ? lastCodePoint : lastByte;
    Intervals result;
    uint32_t next = 0;
    for (const auto& interval : set) {
        if (interval.first > next)
            result.emplace_back(next, interval.first - 1);
        next = interval.second + 1;
    }
    if (next <= last)
        result.emplace_back(next, last);
    return result;
}

QByteArray hexCharacter(uint32_t c)
{
    return "\\x{" + QByteArray::number(c, 16) + '}';
}

QByteArray setText(const Intervals& set, bool utf8)
{
    const uint32_t last = utf8 ? lastCodePoint : lastByte;
    if (set.empty())
        return "[^\\x{0}-" + hexCharacter(last) + "]";
    QByteArray text = "[";
    for (const auto& interval : set) {
        text += hexCharacter(interval.first);
        if (interval.second != interval.first)
            text += '-' + hexCharacter(interval.second);
    }
    return text + ']';
}

// Reads the expression as regcomp does with REG_EXTENDED and writes the
// RE2 text that means the same, or fails on anything it is not sure of.
class Translator
{
public:
    Translator(const QByteArray& pattern, bool utf8)
        : p(reinterpret_cast<const unsigned char*>(pattern.constData())),
          n(size_t(pattern.size())),
          utf8(utf8),
          collation(hasCollationRules())
    {
    }

    bool run(QByteArray& out)
    {
        if (!alternation(out, 0) || i != n)
            return false;
        return out.size() <= largestProgramText;
    }

    bool superset = false;

private:
    // In Latin-1 RE2 (this version) loses matches where it factors a
    // common leading character past ASCII out of the branches ("\xbca|\xbcb"
    // finds nothing): there each branch goes in a group of its own, which it
    // does not look into.
    bool alternation(QByteArray& out, int depth)
    {
        QByteArray first;
        if (!branch(first, depth))
            return false;
        if (i >= n || p[i] != '|') {
            out += first;
            return true;
        }
        const bool wrap = !utf8;
        out += wrap ? '(' + first + ')' : first;
        while (i < n && p[i] == '|') {
            ++i;
            QByteArray next;
            if (!branch(next, depth))
                return false;
            out += '|';
            out += wrap ? '(' + next + ')' : next;
        }
        return true;
    }

    bool branch(QByteArray& out, int depth)
    {
        while (i < n && p[i] != '|') {
            // Outside a group regcomp takes ")" for a plain character.
            if (p[i] == ')' && depth > 0)
                return true;
            QByteArray atom;
            bool anchor = false;
            if (p[i] == ')') {
                ++i;
                atom = hexCharacter(')');
            } else if (!readAtom(atom, anchor, depth)) {
                return false;
            }
            if (i < n && isQuantifier(p[i])) {
                // "^*" and the like: what regcomp makes of them is not sure.
                if (anchor)
                    return false;
                QByteArray quantifier;
                if (!readQuantifier(quantifier))
                    return false;
                atom += quantifier;
                // regcomp applies each further quantifier to all before it
                // ("a**" is "(a*)*"), which RE2 reads otherwise.
                while (i < n && isQuantifier(p[i])) {
                    if (!readQuantifier(quantifier))
                        return false;
                    atom = '(' + atom + ')' + quantifier;
                }
            }
            out += atom;
            if (out.size() > largestProgramText)
                return false;
        }
        return true;
    }

    static bool isQuantifier(unsigned char c)
    {
        return c == '*' || c == '+' || c == '?' || c == '{';
    }

    bool readAtom(QByteArray& atom, bool& anchor, int depth)
    {
        const unsigned char c = p[i];
        switch (c) {
        case '(': {
            ++i;
            const size_t group = groups.size();
            // Known to exist only once closed: a reference inside it fails.
            groups.emplace_back();
            closed.push_back(false);
            QByteArray body;
            if (!alternation(body, depth + 1) || i >= n || p[i] != ')')
                return false;
            ++i;
            groups[group] = body;
            closed[group] = true;
            atom = '(' + body + ')';
            return true;
        }
        case '.':
            ++i;
            atom = ".";
            return true;
        case '^':
        case '$':
            ++i;
            atom = QByteArray(1, char(c));
            anchor = true;
            return true;
        case '[':
            return readBracket(atom);
        case '\\': {
            if (i + 1 >= n)
                return false;
            const unsigned char escaped = p[i + 1];
            if (std::strchr(".[]()*+?{}|^$\\", escaped) && escaped != '\0') {
                i += 2;
                atom = hexCharacter(escaped);
                return true;
            }
            if (escaped >= '1' && escaped <= '9') {
                const size_t group = size_t(escaped - '1');
                if (group >= groups.size() || !closed[group])
                    return false;
                i += 2;
                // Whatever the reference matches, its group's body matches
                // too; a group that took no part leaves it unmatched or
                // empty, which the "?" covers.
                atom = "((" + groups[group] + ")?)";
                superset = true;
                return true;
            }
            return readGnuOperator(escaped, atom, anchor);
        }
        case '*':
        case '+':
        case '?':
        case '{':
            return false;
        default: {
            uint32_t character;
            if (!readCharacter(character))
                return false;
            atom = hexCharacter(character);
            return true;
        }
        }
    }

    // glibc's own operators: the word and space classes are bracket
    // expressions to regcomp too, and "\`" and "\'" hold at the text's ends
    // as "^" and "$" do without REG_NEWLINE. Word boundaries depend on the
    // characters around them in ways RE2 does not share: left out, they
    // leave a program that matches more.
    bool readGnuOperator(unsigned char escaped, QByteArray& atom, bool& anchor)
    {
        switch (escaped) {
        case 'w':
        case 'W':
        case 's':
        case 'S': {
            const bool word = escaped == 'w' || escaped == 'W';
            Intervals set = classMembers(word ? "alnum" : "space", utf8);
            if (word)
                set.emplace_back('_', '_');
            normalize(set);
            if (escaped == 'W' || escaped == 'S')
                set = complement(set, utf8);
            atom = setText(set, utf8);
            i += 2;
            return true;
        }
        case '`':
        case '\'':
            atom = escaped == '`' ? "^" : "$";
            anchor = true;
            i += 2;
            return true;
        case 'b':
        case 'B':
        case '<':
        case '>':
            atom.clear();
            anchor = true;
            superset = true;
            i += 2;
            return true;
        default:
            // Any other escaped character is that character to regcomp
            // ("\n" is "n", "\d" is "d"), whereas RE2 reads some of them
            // as escapes of its own: written out. A character past ASCII
            // after the backslash is not sure.
            if (escaped >= 0x80)
                return false;
            atom = hexCharacter(escaped);
            i += 2;
            return true;
        }
    }

    bool readCharacter(uint32_t& character)
    {
        if (i >= n)
            return false;
        if (!utf8) {
            character = p[i++];
            return true;
        }
        const size_t size = decodeUtf8(p, n, i, character);
        if (size == 0)
            return false;
        i += size;
        return true;
    }

    // "*", "+", "?", "{m}", "{m,}", "{m,n}", "{,n}"; counts past RE2's limit
    // fail.
    bool readQuantifier(QByteArray& quantifier)
    {
        if (p[i] != '{') {
            quantifier = QByteArray(1, char(p[i++]));
            return true;
        }
        size_t k = i + 1;
        long least = 0;
        long most = -1;
        // regcomp reads "{,n}" as "{0,n}".
        if (!(k < n && p[k] == ',') && !readCount(k, least))
            return false;
        bool open = false;
        if (k < n && p[k] == ',') {
            ++k;
            if (k < n && p[k] == '}')
                open = true;
            else if (!readCount(k, most) || most < least)
                return false;
        } else {
            most = least;
        }
        if (k >= n || p[k] != '}')
            return false;
        i = k + 1;
        quantifier = '{' + QByteArray::number(qlonglong(least));
        if (open)
            quantifier += ',';
        else if (most != least)
            quantifier += ',' + QByteArray::number(qlonglong(most));
        quantifier += '}';
        return true;
    }

    bool readCount(size_t& k, long& count)
    {
        const size_t start = k;
        count = 0;
        while (k < n && p[k] >= '0' && p[k] <= '9' && k - start < 5) {
            count = count * 10 + (p[k] - '0');
            ++k;
        }
        return k > start && (k >= n || p[k] < '0' || p[k] > '9') && count <= largestCount;
    }

    // A bracket expression as regcomp reads one: "]" first is a member, a
    // backslash is a member, "-" is one only first or last; ranges and
    // classes; collating elements and equivalence classes fail.
    bool readBracket(QByteArray& atom)
    {
        const size_t start = i;
        size_t k = i + 1;
        bool negated = false;
        if (k < n && p[k] == '^') {
            negated = true;
            ++k;
        }
        Intervals set;
        bool ranges = false;
        bool first = true;
        for (;;) {
            if (k >= n)
                return false;
            if (p[k] == ']' && !first) {
                ++k;
                break;
            }
            if (p[k] == '[' && k + 1 < n && (p[k + 1] == '.' || p[k + 1] == '=' || p[k + 1] == ':')) {
                if (p[k + 1] != ':')
                    return false;
                const size_t nameStart = k + 2;
                size_t end = nameStart;
                while (end + 1 < n && !(p[end] == ':' && p[end + 1] == ']'))
                    ++end;
                if (end + 1 >= n)
                    return false;
                const QByteArray name(reinterpret_cast<const char*>(p + nameStart),
                                      int(end - nameStart));
                if (!isKnownClass(name))
                    return false;
                k = end + 2;
                // A class cannot end a range.
                if (k + 1 < n && p[k] == '-' && p[k + 1] != ']')
                    return false;
                const Intervals members = classMembers(name, utf8);
                set.insert(set.end(), members.begin(), members.end());
                first = false;
                continue;
            }
            if (p[k] == '-' && !first && !(k + 1 < n && p[k + 1] == ']'))
                return false;
            uint32_t low;
            i = k;
            if (!readCharacter(low))
                return false;
            k = i;
            first = false;
            if (k + 1 < n && p[k] == '-' && p[k + 1] != ']') {
                if (p[k + 1] == '[')
                    return false;
                uint32_t high;
                i = k + 1;
                if (!readCharacter(high))
                    return false;
                k = i;
                if (high < low && !collation)
                    return false;
                ranges = true;
                if (high >= low)
                    set.emplace_back(low, high);
                continue;
            }
            set.emplace_back(low, low);
        }
        i = k;
        if (ranges && collation) {
            const QByteArray bracket(reinterpret_cast<const char*>(p + start), int(k - start));
            if (!probedMembers(bracket, utf8, set))
                return false;
            atom = setText(set, utf8);
            return true;
        }
        normalize(set);
        if (negated)
            set = complement(set, utf8);
        atom = setText(set, utf8);
        return true;
    }

    const unsigned char* p;
    size_t n;
    size_t i = 0;
    bool utf8;
    bool collation;
    std::vector<QByteArray> groups;
    std::vector<bool> closed;
};

} // namespace

LinearPattern::LinearPattern() = default;

LinearPattern::~LinearPattern() = default;

void LinearPattern::clear()
{
    program.reset();
    programKind = None;
}

QByteArray LinearPattern::translate(const QByteArray& pattern, Kind* kind)
{
    *kind = None;
    const Charset charset = currentCharset();
    if (charset == Charset::Other || pattern.contains('\0'))
        return QByteArray();
    Translator translator(pattern, charset == Charset::Utf8);
    QByteArray text;
    if (!translator.run(text))
        return QByteArray();
    *kind = translator.superset ? Superset : Exact;
    return text;
}

void LinearPattern::compile(const QByteArray& pattern)
{
    clear();
    Kind kind;
    const QByteArray text = translate(pattern, &kind);
    if (kind == None)
        return;
    utf8 = currentCharset() == Charset::Utf8;
    RE2::Options options;
    options.set_posix_syntax(true);
    options.set_longest_match(true);
    options.set_log_errors(false);
    options.set_encoding(utf8 ? RE2::Options::EncodingUTF8 : RE2::Options::EncodingLatin1);
    options.set_case_sensitive(true);
    // Without REG_NEWLINE a newline is a character like any other: "." and
    // "[^a]" match it, "^" and "$" hold only at the text's ends.
    options.set_never_nl(false);
    options.set_dot_nl(true);
    options.set_one_line(true);
    options.set_perl_classes(false);
    options.set_word_boundary(false);
    // Groups stay: they keep branches apart (alternation()); a search that
    // asks for no sub-match never builds them.
    options.set_never_capture(false);
    // Large sets (a class over all of Unicode) make large programs; RE2
    // keeps its memory within this and searches more slowly past it.
    options.set_max_mem(int64_t(64) << 20);
    auto compiled = std::make_unique<RE2>(re2::StringPiece(text.constData(), size_t(text.size())),
                                          options);
    if (!compiled->ok())
        return;
    program = std::move(compiled);
    programKind = kind;
}

LinearPattern::Kind LinearPattern::kind() const
{
    return programKind;
}

bool LinearPattern::reads(const char* text, size_t length) const
{
    if (!utf8)
        return true;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
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
        uint32_t codePoint;
        const size_t size = decodeUtf8(bytes, length, i, codePoint);
        if (size == 0)
            return false;
        i += size;
    }
    return true;
}

bool LinearPattern::matches(const char* text, size_t length) const
{
    return program && RE2::PartialMatch(re2::StringPiece(text, length), *program);
}

}
