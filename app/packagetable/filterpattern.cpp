// The package filter's pattern: trimming, the run every match holds, and
// the roads a text is matched by, fastest first.
#include "app/packagetable/filterpattern.h"

#include <cstring>

#include <QLatin1String>

namespace PackageTable
{

namespace
{

bool isQuantifier(QChar c)
{
    return c == QLatin1Char('*') || c == QLatin1Char('+') || c == QLatin1Char('?')
           || c == QLatin1Char('{');
}

// Whether the character at position is escaped: an odd run of backslashes
// stands right before it.
bool isEscaped(const QString& text, int position)
{
    int backslashes = 0;
    while (position - backslashes > 0 && text.at(position - backslashes - 1) == QLatin1Char('\\'))
        ++backslashes;
    return backslashes % 2 == 1;
}

// The end of the bracket expression opening at begin, or 0 where it has
// none before end.
size_t bracketEnd(const char* p, size_t begin, size_t end)
{
    size_t i = begin + 1;
    if (i < end && p[i] == '^')
        ++i;
    // A ']' first is one of the set.
    if (i < end && p[i] == ']')
        ++i;
    while (i < end && p[i] != ']') {
        if (p[i] == '[' && i + 1 < end && (p[i + 1] == ':' || p[i + 1] == '=' || p[i + 1] == '.')) {
            const char close[] = {p[i + 1], ']', '\0'};
            const char* found = static_cast<const char*>(memmem(p + i + 2, end - i - 2, close, 2));
            if (!found)
                return 0;
            i = size_t(found - p) + 2;
            continue;
        }
        ++i;
    }
    return i < end ? i + 1 : 0;
}

// The least count of the quantifier at begin and where it ends; false where
// it does not read as one.
bool readQuantifier(const char* p, size_t begin, size_t end, long& least, size_t& after)
{
    if (p[begin] != '{') {
        least = p[begin] == '+' ? 1 : 0;
        after = begin + 1;
        return true;
    }
    size_t i = begin + 1;
    least = 0;
    size_t digits = 0;
    while (i < end && p[i] >= '0' && p[i] <= '9' && digits < 6) {
        least = least * 10 + (p[i] - '0');
        ++i;
        ++digits;
    }
    if (i < end && p[i] == ',') {
        ++i;
        while (i < end && p[i] >= '0' && p[i] <= '9')
            ++i;
    } else if (digits == 0) {
        return false;
    }
    if (i >= end || p[i] != '}')
        return false;
    after = i + 1;
    return true;
}

// Whether text holds the operator op (an unescaped one, outside every
// bracket expression).
bool holdsOperator(const QByteArray& text, char op)
{
    const char* p = text.constData();
    const size_t end = size_t(text.size());
    size_t i = 0;
    while (i < end) {
        if (p[i] == '\\') {
            i += 2;
        } else if (p[i] == '[') {
            const size_t after = bracketEnd(p, i, end);
            if (after == 0)
                return false;
            i = after;
        } else if (p[i] == op) {
            return true;
        } else {
            ++i;
        }
    }
    return false;
}

} // namespace

FilterPattern::FilterPattern() = default;

FilterPattern::~FilterPattern()
{
    if (regexStatus == 0)
        regfree(&regex);
}

QString FilterPattern::trimmedPattern(const QString& text)
{
    const QLatin1String any(".*");
    QString trimmed = text;
    // "?foo", "*foo" and the like do not compile: such a star stays. So does
    // one before a "^", which glibc's regexec lets hold right after a newline
    // the ".*" took ("\nx" matches ".*^x", not "^x").
    while (trimmed.startsWith(any) && !(trimmed.size() > 2 && isQuantifier(trimmed.at(2)))
           && !holdsOperator(trimmed.mid(2).toUtf8(), '^'))
        trimmed.remove(0, 2);
    // "foo\.*" is foo followed by dots, not foo followed by anything; and
    // "x$.*" holds before a newline, "x$" only at the end.
    while (trimmed.endsWith(any) && !isEscaped(trimmed, trimmed.size() - 2)
           && !holdsOperator(trimmed.left(trimmed.size() - 2).toUtf8(), '$'))
        trimmed.chop(2);
    return trimmed;
}

// Reads the expression atom by atom: a plain character (or an escaped
// special one) extends the current run; anything else (a bracket
// expression, a dot, an anchor, a group, another escape) ends it; a
// quantifier that allows none takes its character out of the run and ends
// it, one that needs it at least once ends the run after it. Runs inside
// groups are not kept: a group may be optional as a whole.
QByteArray FilterPattern::requiredLiteral(const QByteArray& pattern)
{
    const char* p = pattern.constData();
    const size_t end = qstrnlen(p, uint(pattern.size()));
    QByteArray best;
    QByteArray run;
    int depth = 0;
    auto endRun = [&]() {
        if (depth == 0 && run.size() > best.size())
            best = run;
        run.clear();
    };
    size_t i = 0;
    while (i < end) {
        const char c = p[i];
        // The atom at i: a character's bytes (literal) or none.
        size_t next = i + 1;
        QByteArray atom;
        bool plain = false;
        switch (c) {
        case '|':
            return QByteArray();
        case '*':
        case '+':
        case '?':
        case '{':
            // Nothing to repeat: not a reading to trust.
            return QByteArray();
        case '\\':
            if (i + 1 >= end)
                return QByteArray();
            if (std::strchr(".[]()*+?{}|^$\\", p[i + 1])) {
                atom = QByteArray(1, p[i + 1]);
                plain = true;
            }
            next = i + 2;
            // The rest of an escaped multibyte character.
            while (next < end && (uchar(p[next]) & 0xc0) == 0x80)
                ++next;
            break;
        case '[':
            next = bracketEnd(p, i, end);
            if (next == 0)
                return QByteArray();
            break;
        case '(':
            endRun();
            ++depth;
            // A quantifier right inside a group: not a reading to trust.
            if (next < end && isQuantifier(QLatin1Char(p[next])))
                return QByteArray();
            i = next;
            continue;
        case ')':
            endRun();
            if (--depth < 0)
                return QByteArray();
            break;
        case '.':
        case '^':
        case '$':
        case ']':
        case '}':
            break;
        default:
            while (next < end && (uchar(p[next]) & 0xc0) == 0x80)
                ++next;
            atom = QByteArray(p + i, int(next - i));
            plain = true;
            break;
        }
        i = next;
        long least = 1;
        const bool quantified = i < end && isQuantifier(QLatin1Char(p[i]));
        if (quantified) {
            if (!readQuantifier(p, i, end, least, i))
                return QByteArray();
            // A quantifier of a quantifier: not a reading to trust.
            if (i < end && isQuantifier(QLatin1Char(p[i])))
                return QByteArray();
        }
        if (plain && least > 0)
            run += atom;
        if (!plain || quantified)
            endRun();
    }
    endRun();
    return best;
}

bool FilterPattern::runsSafely(const std::string& bytes)
{
    LinearPattern linear;
    linear.compile(QByteArray::fromStdString(bytes));
    return linear.safe();
}

void FilterPattern::set(const std::string& bytes)
{
    if (regexStatus == 0)
        regfree(&regex);
    regexStatus = -1;
    linear.clear();
    const size_t length = std::strlen(bytes.c_str());
    isLiteral = length > 0 && bytes.find_first_of(".[]()*+?{}|^$\\") >= length;
    if (isLiteral) {
        regexStatus = regcomp(&regex, bytes.c_str(), REG_EXTENDED | REG_NOSUB);
    } else {
        // The reading and judging come before regcomp, which must never see
        // a pattern that would crash it.
        linear.compile(QByteArray::fromStdString(bytes));
        if (linear.safe())
            regexStatus = regcomp(&regex, bytes.c_str(), REG_EXTENDED | REG_NOSUB);
    }
    isLiteral = isLiteral && regexStatus == 0;
    literal = isLiteral ? QByteArray(bytes.c_str(), int(length)) : QByteArray();
    requiredRun = regexStatus != 0 ? QByteArray()
                  : isLiteral      ? literal
                                   : requiredLiteral(QByteArray(bytes.c_str(), int(length)));
}

bool FilterPattern::compiled() const
{
    return regexStatus == 0;
}

const QByteArray& FilterPattern::required() const
{
    return requiredRun;
}

// A text without the pattern's required run is turned down at once.
bool FilterPattern::matches(const char* text, size_t length) const
{
    if (regexStatus != 0)
        return true;
    // Texts are valid UTF-8, so a byte match never starts inside a character.
    if (isLiteral)
        return memmem(text, length, literal.constData(), size_t(literal.size())) != nullptr;
    if (!requiredRun.isEmpty()
        && !memmem(text, length, requiredRun.constData(), size_t(requiredRun.size())))
        return false;
    return matchesExpression(text, length);
}

// The bounded-time program answers where it can; no text a repository sends
// can then make the window wait for longer than one pass through it. What it
// leaves goes to regexec over a short text (REG_STARTEND spares regexec
// measuring it again), and counts as a match over a long one. Kept out of
// matches(), which runs for every text and mostly ends in its plain-string
// tests.
bool FilterPattern::matchesExpression(const char* text, size_t length) const
{
    switch (linear.answer(text, length)) {
    case LinearPattern::No:
        return false;
    case LinearPattern::Yes:
        return true;
    case LinearPattern::Unsure:
        break;
    }
    if (length > regexecTextLimit)
        return true;
    regmatch_t range[1];
    range[0].rm_so = 0;
    range[0].rm_eo = regoff_t(length);
    return regexec(&regex, text, 1, range, REG_STARTEND) == 0;
}

}
