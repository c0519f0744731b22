// The reading of an extended expression as regcomp reads it, and the
// measures of what it would cost glibc.
#include "app/packagetable/patternsyntax.h"

#include <algorithm>
#include <cstring>

namespace PackageTable
{

namespace
{

bool isQuantifier(unsigned char c)
{
    return c == '*' || c == '+' || c == '?' || c == '{';
}

// regcomp takes counts up to RE_DUP_MAX.
const int largestCount = 32767;
// regcomp keeps the name of a class or collating symbol in a buffer of this
// size, ending NUL included.
const size_t largestName = 32;

const char* const classNames[] = {"alpha", "upper", "lower", "digit", "xdigit", "space",
                                  "print", "punct", "graph", "cntrl", "blank", "alnum"};

bool isClassName(const QByteArray& name)
{
    for (const char* known : classNames) {
        if (name == known)
            return true;
    }
    return false;
}

} // namespace

size_t PatternSyntax::decodeUtf8(const unsigned char* text, size_t length, size_t i,
                                 uint32_t& codePoint)
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
    if (codePoint < least || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint <= 0xdfff))
        return 0;
    return size;
}

namespace
{

size_t utf8Length(uint32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

} // namespace

PatternSyntax::PatternSyntax(const QByteArray& pattern, bool utf8)
    : p(reinterpret_cast<const unsigned char*>(pattern.constData())),
      n(qstrnlen(pattern.constData(), uint(pattern.size()))),
      utf8(utf8)
{
    groups.push_back(-1);
    closed.push_back(false);
    int result;
    if (!alternation(0, result) || i != n) {
        // Only a ')' closing no group stops the reading early, and outside a
        // group regcomp reads it as a character: anything else is an error.
        isValid = false;
        return;
    }
    root = result;
    measure();
}

bool PatternSyntax::valid() const
{
    return isValid && !costly;
}

bool PatternSyntax::certain() const
{
    return isCertain;
}

bool PatternSyntax::tooCostly() const
{
    return costly;
}

double PatternSyntax::units() const
{
    return expanded;
}

double PatternSyntax::repeatedUnits() const
{
    return repeated;
}

bool PatternSyntax::nullable(int node) const
{
    return canBeEmpty[size_t(node)] != 0;
}

bool PatternSyntax::nonEmpty(int node) const
{
    return canBeNonEmpty[size_t(node)] != 0;
}

int PatternSyntax::add(Node node)
{
    nodes.push_back(std::move(node));
    return int(nodes.size()) - 1;
}

bool PatternSyntax::alternation(int depth, int& result)
{
    int first;
    if (!branch(depth, first))
        return false;
    if (i >= n || p[i] != '|') {
        result = first;
        return true;
    }
    Node node;
    node.type = Node::Alternation;
    node.children.push_back(first);
    while (i < n && p[i] == '|') {
        ++i;
        int next;
        if (!branch(depth, next))
            return false;
        node.children.push_back(next);
    }
    result = add(std::move(node));
    return true;
}

bool PatternSyntax::branch(int depth, int& result)
{
    Node node;
    node.type = Node::Concat;
    while (i < n && p[i] != '|' && !(p[i] == ')' && depth > 0)) {
        int item;
        if (!atom(depth, item))
            return false;
        while (i < n && isQuantifier(p[i])) {
            // "^*", "\<+" and the like: regcomp has nothing to repeat.
            if (nodes[size_t(item)].type == Node::Anchor)
                return false;
            if (!quantifier(item, item))
                return false;
        }
        node.children.push_back(item);
    }
    if (node.children.size() == 1) {
        result = node.children.front();
        return true;
    }
    if (node.children.empty())
        node.type = Node::Empty;
    result = add(std::move(node));
    return true;
}

bool PatternSyntax::atom(int depth, int& result)
{
    const unsigned char c = p[i];
    Node node;
    switch (c) {
    case '(': {
        // glibc's parser recurses once per group level, and so does this
        // one: deeper nesting could overflow either stack.
        if (depth + 1 > maxDepth) {
            costly = true;
            return false;
        }
        ++i;
        const int number = int(groups.size());
        groups.push_back(-1);
        // A group is there to refer to only once it is closed.
        closed.push_back(false);
        int body;
        if (!alternation(depth + 1, body) || i >= n || p[i] != ')')
            return false;
        ++i;
        groups[size_t(number)] = body;
        closed[size_t(number)] = true;
        node.type = Node::Group;
        node.group = number;
        node.children.push_back(body);
        break;
    }
    case '*':
    case '+':
    case '?':
    case '{':
        return false;
    case '.':
        ++i;
        node.type = Node::Any;
        break;
    case '^':
    case '$':
        ++i;
        node.type = Node::Anchor;
        node.anchor = char(c);
        break;
    case '[':
        return bracket(result);
    case '\\': {
        if (i + 1 >= n)
            return false;
        const unsigned char escaped = p[i + 1];
        if (escaped >= '1' && escaped <= '9') {
            const size_t number = size_t(escaped - '0');
            if (number >= groups.size() || !closed[number])
                return false;
            i += 2;
            node.type = Node::BackReference;
            node.group = int(number);
            backReferences = true;
            break;
        }
        if (std::strchr("wWsS", escaped) && escaped != '\0') {
            CharacterSet set;
            set.source = QByteArray(reinterpret_cast<const char*>(p + i), 2);
            set.negated = escaped == 'W' || escaped == 'S';
            if (escaped == 'w' || escaped == 'W') {
                set.classes.push_back("alnum");
                set.characters.push_back('_');
            } else {
                set.classes.push_back("space");
            }
            i += 2;
            sets.push_back(std::move(set));
            node.type = Node::Set;
            node.set = int(sets.size()) - 1;
            break;
        }
        if (std::strchr("bB<>`'", escaped) && escaped != '\0') {
            i += 2;
            node.type = Node::Anchor;
            node.anchor = char(escaped);
            if (std::strchr("bB<>", escaped))
                wordOperators = true;
            break;
        }
        // Any other escaped character is that character; past ASCII,
        // regcomp reads the rest of it byte by byte.
        ++i;
        uint32_t character;
        if (!this->character(character))
            return false;
        if (escaped >= 0x80)
            isCertain = false;
        node.type = Node::Literal;
        node.character = character;
        break;
    }
    default: {
        uint32_t character;
        if (!this->character(character))
            return false;
        node.type = Node::Literal;
        node.character = character;
        break;
    }
    }
    result = add(std::move(node));
    return true;
}

bool PatternSyntax::character(uint32_t& result)
{
    if (i >= n)
        return false;
    if (utf8) {
        const size_t size = decodeUtf8(p, n, i, result);
        if (size > 0) {
            i += size;
            return true;
        }
        // A byte that is no character: regcomp reads it a way of its own.
        isCertain = false;
    }
    result = p[i++];
    return true;
}

// "{n}", "{n,}", "{n,m}", "{,m}" and "{,}", as regcomp's fetch_number reads
// them: only digits, a comma and the closing brace.
bool PatternSyntax::count(int& value, bool& present)
{
    present = false;
    long number = 0;
    while (i < n && p[i] >= '0' && p[i] <= '9') {
        present = true;
        number = std::min<long>(number * 10 + (p[i] - '0'), largestCount + 1);
        ++i;
    }
    value = int(number);
    return i < n && (p[i] == ',' || p[i] == '}');
}

bool PatternSyntax::quantifier(int operand, int& result)
{
    Node node;
    node.type = Node::Repeat;
    node.children.push_back(operand);
    const unsigned char c = p[i++];
    if (c == '*') {
        node.least = 0;
        node.most = -1;
    } else if (c == '+') {
        node.least = 1;
        node.most = -1;
    } else if (c == '?') {
        node.least = 0;
        node.most = 1;
    } else {
        int least;
        bool present;
        if (!count(least, present))
            return false;
        // "{}" and "{" followed by anything but a count or a comma.
        if (!present && p[i] != ',')
            return false;
        int most = least;
        if (p[i] == ',') {
            ++i;
            bool bounded;
            if (!count(most, bounded) || p[i] != '}')
                return false;
            if (!bounded)
                most = -1;
        }
        ++i;
        if (most != -1 && least > most)
            return false;
        if ((most == -1 ? least : most) > largestCount)
            return false;
        node.least = least;
        node.most = most;
    }
    result = add(std::move(node));
    return true;
}

// One element of a bracket expression: a character (its code point, or
// byte), a class or a collating symbol or equivalence class, as regcomp's
// parse_bracket_element reads it. A hyphen is a character only first, last
// or as the end of a range.
bool PatternSyntax::bracketElement(bool acceptHyphen, uint32_t& character, bool& isClass,
                                   bool& symbol, CharacterSet& set)
{
    isClass = false;
    symbol = false;
    if (i >= n)
        return false;
    if (p[i] == '[' && i + 1 < n && (p[i + 1] == '.' || p[i + 1] == '=' || p[i + 1] == ':')) {
        const unsigned char delimiter = p[i + 1];
        i += 2;
        QByteArray name;
        for (;;) {
            if (name.size() >= int(largestName) || i >= n)
                return false;
            const unsigned char c = p[i++];
            if (i >= n)
                return false;
            if (c == delimiter && p[i] == ']')
                break;
            name += char(c);
        }
        ++i;
        if (delimiter == ':') {
            if (!isClassName(name))
                return false;
            set.classes.push_back(name);
            isClass = true;
            return true;
        }
        // What a collating symbol or an equivalence class holds depends on
        // the locale's collation: regcomp alone knows.
        symbol = true;
        set.symbols = true;
        isCertain = false;
        if (delimiter == '=')
            isClass = true;
        character = uchar(name.isEmpty() ? 0 : name.at(0));
        return true;
    }
    if (p[i] == '-' && !acceptHyphen && !(i + 1 < n && p[i + 1] == ']'))
        return false;
    return this->character(character);
}

bool PatternSyntax::bracket(int& result)
{
    const size_t start = i;
    ++i;
    CharacterSet set;
    if (i < n && p[i] == '^') {
        set.negated = true;
        ++i;
    }
    bool first = true;
    for (;;) {
        if (i >= n)
            return false;
        // "]" first is one of the set.
        if (p[i] == ']' && !first) {
            ++i;
            break;
        }
        uint32_t low = 0;
        bool isClass;
        bool symbol;
        if (!bracketElement(first, low, isClass, symbol, set))
            return false;
        first = false;
        if (i >= n)
            return false;
        // A class or an equivalence class ends no range: a hyphen after one
        // must be the last member.
        if (isClass || p[i] != '-')
            goto member;
        if (i + 1 >= n)
            return false;
        // "-" before the closing bracket is a member.
        if (p[i + 1] == ']')
            goto member;
        {
            ++i;
            uint32_t high = 0;
            bool highClass;
            bool highSymbol;
            if (!bracketElement(true, high, highClass, highSymbol, set))
                return false;
            if (highClass)
                return false;
            if (!symbol && !highSymbol)
                set.ranges.emplace_back(low, high);
            continue;
        }
    member:
        if (!isClass && !symbol)
            set.characters.push_back(low);
    }
    set.source = QByteArray(reinterpret_cast<const char*>(p + start), int(i - start));
    sets.push_back(std::move(set));
    Node node;
    node.type = Node::Set;
    node.set = int(sets.size()) - 1;
    result = add(std::move(node));
    return true;
}

// Whether each node can match the empty and a non-empty text (children come
// before their parents), and what the whole costs glibc: its regcomp writes
// out every counted repetition and builds the closures of the parts that
// may match nothing, which grow with the square of a run of them; anchors
// repeated inside such parts multiply its work; and its regexec recurses
// without end on a back-reference inside a repetition to a group that may
// match nothing.
void PatternSyntax::measure()
{
    canBeEmpty.assign(nodes.size(), 0);
    canBeNonEmpty.assign(nodes.size(), 0);
    for (size_t k = 0; k < nodes.size(); ++k) {
        const Node& node = nodes[k];
        bool empty = false;
        bool nonEmpty = false;
        switch (node.type) {
        case Node::Empty:
        case Node::Anchor:
            empty = true;
            break;
        case Node::Literal:
        case Node::Set:
        case Node::Any:
            nonEmpty = true;
            break;
        case Node::Concat:
            empty = true;
            for (int child : node.children) {
                empty = empty && canBeEmpty[size_t(child)];
                nonEmpty = nonEmpty || canBeNonEmpty[size_t(child)];
            }
            break;
        case Node::Alternation:
            for (int child : node.children) {
                empty = empty || canBeEmpty[size_t(child)];
                nonEmpty = nonEmpty || canBeNonEmpty[size_t(child)];
            }
            break;
        case Node::Repeat:
            empty = node.least == 0 || canBeEmpty[size_t(node.children[0])];
            nonEmpty = node.most != 0 && canBeNonEmpty[size_t(node.children[0])];
            break;
        case Node::Group:
            empty = canBeEmpty[size_t(node.children[0])];
            nonEmpty = canBeNonEmpty[size_t(node.children[0])];
            break;
        case Node::BackReference:
            empty = canBeEmpty[size_t(groups[size_t(node.group)])];
            nonEmpty = canBeNonEmpty[size_t(groups[size_t(node.group)])];
            break;
        }
        canBeEmpty[k] = empty;
        canBeNonEmpty[k] = nonEmpty;
    }

    double nullableItems = 0;
    double repeatedAnchors = 0;
    double loopAnchors = 0;
    // The stack holds (node, copies, inside a loop over a part that may
    // match nothing, inside any repetition that repeats).
    struct Visit
    {
        int node;
        double copies;
        // The copies, a loop over a part that may match nothing counted as
        // ten: regcomp's closures cycle through it.
        double weight;
        bool nullableLoop;
        bool repeated;
    };
    std::vector<Visit> stack{{root, 1, 1, false, false}};
    while (!stack.empty()) {
        const Visit visit = stack.back();
        stack.pop_back();
        const Node& node = nodes[size_t(visit.node)];
        double units = 0;
        switch (node.type) {
        case Node::Empty:
        case Node::Concat:
            break;
        case Node::Literal:
            units = double(utf8 ? utf8Length(node.character) : 1);
            break;
        case Node::Set:
            units = 3;
            break;
        case Node::Any:
        case Node::Alternation:
        case Node::Repeat:
            units = 1;
            break;
        case Node::Group:
            units = 2;
            break;
        case Node::BackReference:
            units = 1;
            if (visit.repeated)
                costly = true;
            break;
        case Node::Anchor:
            units = node.anchor == 'b' || node.anchor == 'B' ? 3 : 1;
            if (visit.repeated || node.anchor == 'b' || node.anchor == 'B')
                repeatedAnchors += visit.copies;
            if (visit.nullableLoop)
                loopAnchors += visit.copies;
            break;
        }
        expanded += units * visit.weight;
        if (visit.repeated)
            repeated += units * visit.weight;
        if (node.type == Node::Concat) {
            for (int child : node.children) {
                if (canBeEmpty[size_t(child)])
                    nullableItems += visit.copies;
                stack.push_back({child, visit.copies, visit.weight, visit.nullableLoop,
                                  visit.repeated});
            }
        } else if (node.type == Node::Repeat) {
            const int body = node.children[0];
            // regcomp writes {m,n} as n copies, {m,} as m + 1 of which the
            // last loops; "*" and "?" keep one.
            const double copies = node.most == -1 ? double(node.least) + 1 : double(node.most);
            const bool loop = node.most == -1;
            const bool emptyBody = canBeEmpty[size_t(body)];
            if (emptyBody)
                nullableItems += visit.copies * copies;
            else if (node.most != node.least)
                nullableItems += visit.copies * (loop ? 1 : double(node.most - node.least));
            const double weight = loop && emptyBody ? 10 : 1;
            const bool repeats = loop || node.most > 1;
            stack.push_back({body, visit.copies * copies, visit.weight * copies * weight,
                             visit.nullableLoop || (loop && emptyBody), visit.repeated || repeats});
        } else {
            for (int child : node.children)
                stack.push_back({child, visit.copies, visit.weight, visit.nullableLoop,
                                 visit.repeated});
        }
    }
    if (expanded > maxUnits || nullableItems > maxNullableItems || repeatedAnchors > 32
        || loopAnchors > 4)
        costly = true;
}

}
