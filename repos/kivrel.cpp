// Reading, rebuilding and masking the credential segment of repository URLs.
#include "repos/kivrel.h"

#include <QLatin1String>

#include "engine/passwordmask.h"
#include "repos/entry.h"

namespace Repo
{

namespace
{

const QLatin1String segmentStart("/kivrel?");

// Any segment as stored in a URL; the parts cannot hold "&" or white space,
// because encoding escapes them.
const QLatin1String segmentPattern("/kivrel\\?[^&\\s]*=[^&\\s]*&[^&\\s]*=[^&\\s]*&path=");

bool mustEncode(ushort code)
{
    static const QLatin1String reserved("$&+,/:;=?@ \"<>#%{}|\\^~[]");
    if (code < 0x20 || code == 0x7f)
        return true;
    // C1 controls and the no-break space: QRegExp counts 0x85 and 0xa0 as
    // white space, and a password holding one would no longer be found by
    // the masking pattern.
    if (code >= 0x80 && code <= 0xa0)
        return true;
    return code < 0x80 && QString(reserved).contains(QChar(code));
}

}

QChar Kivrel::hexDigit(int value)
{
    return QLatin1Char("0123456789abcdef"[value & 0xf]);
}

int Kivrel::hexValue(QChar digit)
{
    const ushort c = digit.unicode();
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QString Kivrel::percentEncode(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        const ushort code = c.unicode();
        if (mustEncode(code)) {
            result += QLatin1Char('%');
            result += hexDigit(code >> 4);
            result += hexDigit(code);
        } else {
            result += c;
        }
    }
    return result;
}

QString Kivrel::percentDecode(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('%') && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                result += QChar(ushort(high * 16 + low));
                i += 2;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

bool Kivrel::getAuth(const QString& url, QString& key1, QString& value1, QString& key2,
                     QString& value2)
{
    // The searches deliberately run over the whole text, not one line: only
    // the first segment of a text is read.
    const int start = url.indexOf(segmentStart);
    if (start < 0)
        return false;
    const int key1Start = start + segmentStart.size();
    const int equals1 = url.indexOf(QLatin1Char('='), key1Start);
    if (equals1 < 0)
        return false;
    const int ampersand = url.indexOf(QLatin1Char('&'), equals1 + 1);
    if (ampersand < 0)
        return false;
    const int equals2 = url.indexOf(QLatin1Char('='), ampersand + 1);
    if (equals2 < 0)
        return false;
    const int pathStart = url.indexOf(QLatin1String("&path="), equals2 + 1);
    if (pathStart < 0)
        return false;
    key1 = percentDecode(url.mid(key1Start, equals1 - key1Start));
    value1 = percentDecode(url.mid(equals1 + 1, ampersand - equals1 - 1));
    key2 = percentDecode(url.mid(ampersand + 1, equals2 - ampersand - 1));
    value2 = percentDecode(url.mid(equals2 + 1, pathStart - equals2 - 1));
    return true;
}

bool Kivrel::getAuth(const Repo::Entry& entry, QString& key1, QString& value1, QString& key2,
                     QString& value2)
{
    return getAuth(entry.baseurl, key1, value1, key2, value2)
           || getAuth(entry.mirrorlist, key1, value1, key2, value2);
}

QString Kivrel::replaceAuth(QString url, const QString& key1, const QString& value1,
                            const QString& key2, const QString& value2)
{
    const QString segment = segmentStart + percentEncode(key1) + QLatin1Char('=')
                            + percentEncode(value1) + QLatin1Char('&') + percentEncode(key2)
                            + QLatin1Char('=') + percentEncode(value2)
                            + QLatin1String("&path=");
    // Replaced by hand: QString::replace(QRegExp, ...) would read "\1" in the
    // new text as a back reference.
    QRegExp pattern(segmentPattern);
    QString result;
    int from = 0;
    for (;;) {
        const int at = pattern.indexIn(url, from);
        if (at < 0)
            break;
        result += url.midRef(from, at - from);
        result += segment;
        from = at + pattern.matchedLength();
    }
    result += url.midRef(from);
    return result;
}

QString Kivrel::replaceAuth(QString url, const QString& user, const QString& password)
{
    QString key1, value1, key2, value2;
    getAuth(url, key1, value1, key2, value2);
    return replaceAuth(url, key1, user, key2, password);
}

QString Kivrel::replaceAuth(QString url, const QString& password)
{
    QString key1, value1, key2, value2;
    getAuth(url, key1, value1, key2, value2);
    return replaceAuth(url, key1, value1, key2, password);
}

QRegExp Kivrel::urlsRegExp()
{
    // The engine's pattern: the same one masks passwords in the log, in
    // error texts and in the editors, in the configuration's form and in
    // the form the downloader writes.
    return PasswordMask::regExp();
}

QRegExp Kivrel::oneUrlRegExp()
{
    return QRegExp(
        QLatin1String("^.*/kivrel\\?[^&\\s]*=[^&\\s]*&[^&\\s]*=([^&\\s]*)&path=.*$"));
}

QString Kivrel::maskPasswords(const QString& text, QChar mask)
{
    QString masked = text;
    QRegExp pattern = urlsRegExp();
    int from = 0;
    for (;;) {
        const int at = pattern.indexIn(masked, from);
        if (at < 0)
            break;
        const int passwordAt = pattern.pos(1);
        const int passwordLength = pattern.cap(1).size();
        masked.replace(passwordAt, passwordLength, QString(passwordLength, mask));
        from = at + pattern.matchedLength();
    }
    return masked;
}

}
