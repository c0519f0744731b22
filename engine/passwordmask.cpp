// The kivrel password pattern and the masking of texts with it.
#include "engine/passwordmask.h"

#include <QRegularExpressionMatchIterator>

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
    if (!text.contains(QLatin1String("kivrel")))
        return text;
    QString masked;
    int copied = 0;
    QRegularExpressionMatchIterator matches = regularExpression().globalMatch(text);
    while (matches.hasNext()) {
        QRegularExpressionMatch match = matches.next();
        if (match.capturedLength(1) == 0)
            continue;
        masked += text.midRef(copied, match.capturedStart(1) - copied);
        masked += hidden();
        copied = match.capturedEnd(1);
    }
    masked += text.midRef(copied);
    return masked;
}
