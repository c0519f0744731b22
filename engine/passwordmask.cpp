// The password patterns and the masking of texts with them.
#include "engine/passwordmask.h"

#include <algorithm>

#include <QRegularExpressionMatchIterator>
#include <QVector>

namespace
{

// The characters [start, end) of one password in a text.
struct Span
{
    int start;
    int end;
};

// "scheme://user:password@": the user runs to the first ":", the password
// to the last "@" before the host's "/" or a blank, so that an unencoded
// "@" in a password does not leave its tail readable.
const QRegularExpression& userInfoExpression()
{
    static const QRegularExpression expression(QStringLiteral("://[^/?#@\\s:]*:([^/\\s]*)@"));
    return expression;
}

// An option line; leading blanks are allowed, so that an option that ended
// up on a continuation line is still hidden. The value runs to the end of
// its line, blanks and all.
const QRegularExpression& optionExpression()
{
    static const QRegularExpression expression(
        QStringLiteral("^[ \\t]*(?:proxy_)?password[ \\t]*[=:][ \\t]*([^\\n]*)"),
        QRegularExpression::MultilineOption);
    return expression;
}

// Cheap tests first: most log lines hold none of the forms.
bool mayHoldPassword(const QString& text)
{
    return text.contains(QLatin1String("kivrel")) || text.contains(QLatin1String("://"))
           || text.contains(QLatin1String("password"));
}

void collect(const QRegularExpression& expression, const QString& text, QVector<Span>& spans,
             bool firstOnly)
{
    QRegularExpressionMatchIterator matches = expression.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        if (match.capturedLength(1) == 0)
            continue;
        spans.append({match.capturedStart(1), match.capturedEnd(1)});
        if (firstOnly)
            return;
    }
}

// The passwords of every form, sorted and with overlapping ones merged.
QVector<Span> passwordSpans(const QString& text, bool firstOnly)
{
    QVector<Span> spans;
    if (!mayHoldPassword(text))
        return spans;
    for (const QRegularExpression* expression :
         {&PasswordMask::regularExpression(), &userInfoExpression(), &optionExpression()}) {
        collect(*expression, text, spans, firstOnly);
        if (firstOnly && !spans.isEmpty())
            return spans;
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.start < b.start; });
    QVector<Span> merged;
    for (const Span& span : spans) {
        if (!merged.isEmpty() && span.start <= merged.last().end)
            merged.last().end = std::max(merged.last().end, span.end);
        else
            merged.append(span);
    }
    return merged;
}

}

QString PasswordMask::pattern()
{
    // Read the way the credentials are parsed: the first key runs to the
    // first "=", the user to the next "&", the second key to the next "=",
    // and the password to "&path=". A password or user that a hand-written
    // file holds unencoded ("&", blanks) is therefore still found whole.
    // Matches stay within one line.
    return QStringLiteral("/kivrel(?:/[^?\\s]*)?\\?[^=\\n]*=[^&\\n]*&[^=\\n]*=((?:[^&\\n]|&(?!path=))*)&path=");
}

QRegExp PasswordMask::regExp()
{
    return QRegExp(pattern());
}

const QRegularExpression& PasswordMask::regularExpression()
{
    static const QRegularExpression expression(pattern());
    return expression;
}

QString PasswordMask::hidden()
{
    return QStringLiteral("********");
}

QString PasswordMask::mask(const QString& text)
{
    const QVector<Span> spans = passwordSpans(text, false);
    if (spans.isEmpty())
        return text;
    QString masked;
    int copied = 0;
    for (const Span& span : spans) {
        masked += text.midRef(copied, span.start - copied);
        masked += hidden();
        copied = span.end;
    }
    masked += text.midRef(copied);
    return masked;
}

bool PasswordMask::holdsPassword(const QString& text)
{
    return !passwordSpans(text, true).isEmpty();
}
