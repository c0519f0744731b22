// Reading, rebuilding and masking the credential segment of repository URLs.
#include "repos/kivrel.h"

#include <QByteArray>
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

// The characters below 0x80 that would end or split a part of the segment,
// or break its line. Everything from 0x80 up is escaped as UTF-8 bytes
// instead (percentEncode).
bool mustEscapeAscii(ushort code)
{
    static const QLatin1String reserved("$&+,/:;=?@ \"<>#%{}|\\^~[]");
    if (code < 0x20 || code == 0x7f)
        return true;
    return QString(reserved).contains(QChar(code));
}

// The length of the well-formed UTF-8 sequence that starts at `at`, or 0
// when the bytes there form none (a stray continuation byte, a cut-off
// sequence, an overlong form, a surrogate, a code above U+10FFFF).
int utf8SequenceLength(const QByteArray& bytes, int at)
{
    const uchar lead = uchar(bytes[at]);
    int length;
    uchar low = 0x80, high = 0xbf;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0)
            low = 0xa0;
        else if (lead == 0xed)
            high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0)
            low = 0x90;
        else if (lead == 0xf4)
            high = 0x8f;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    const uchar second = uchar(bytes[at + 1]);
    if (second < low || second > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        const uchar next = uchar(bytes[at + i]);
        if (next < 0x80 || next > 0xbf)
            return 0;
    }
    return length;
}

// The text of a run of bytes that came from consecutive escapes: each
// well-formed UTF-8 sequence as its character, every other byte as the
// character of its code, as files written before the escapes were UTF-8
// hold them.
QString decodeEscapedBytes(const QByteArray& bytes)
{
    QString text;
    int at = 0;
    while (at < bytes.size()) {
        const int length = utf8SequenceLength(bytes, at);
        if (length > 1) {
            text += QString::fromUtf8(bytes.constData() + at, length);
            at += length;
        } else {
            text += QChar(ushort(uchar(bytes[at])));
            ++at;
        }
    }
    return text;
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
    auto escape = [&result](uchar byte) {
        result += QLatin1Char('%');
        result += hexDigit(byte >> 4);
        result += hexDigit(byte);
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const ushort code = c.unicode();
        if (code < 0x80) {
            if (mustEscapeAscii(code))
                escape(uchar(code));
            else
                result += c;
            continue;
        }
        // dnf reads repository files as UTF-8 only, and a URL may hold
        // nothing but ASCII: the character goes in as the escaped bytes of
        // its UTF-8 form, a surrogate pair as one character. A lone
        // surrogate has no UTF-8 form and becomes the replacement character.
        QString character(c);
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            character += text[++i];
        else if (c.isSurrogate())
            character = QChar(QChar::ReplacementCharacter);
        for (char byte : character.toUtf8())
            escape(uchar(byte));
    }
    return result;
}

QString Kivrel::percentDecode(const QString& text)
{
    QString result;
    result.reserve(text.size());
    QByteArray run;
    int i = 0;
    while (i < text.size()) {
        // A run of consecutive escapes is decoded as a whole, so that the
        // bytes of one UTF-8 sequence give its character.
        run.clear();
        while (i + 2 < text.size() && text[i] == QLatin1Char('%')) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0)
                break;
            run += char(high * 16 + low);
            i += 3;
        }
        if (!run.isEmpty()) {
            result += decodeEscapedBytes(run);
            continue;
        }
        result += text[i];
        ++i;
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
    // The engine's pattern inside a whole line: it takes a password written
    // unencoded with "&" or blanks in it, and the downloader's form. Of a
    // line with several segments it captures only the last one: the mirror
    // list field masks with urlsRegExp, which finds them all.
    return QRegExp(QLatin1String("^.*") + PasswordMask::pattern() + QLatin1String(".*$"));
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
