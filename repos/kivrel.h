// Credentials that travel inside repository URLs: the segment
//   /kivrel?<key1>=<user>&<key2>=<password>&path=<rest of the URL>
// with all four parts percent-encoded. This is the one place that knows the
// segment's grammar, and the one pattern that finds its password for masking.
#pragma once

#include <QChar>
#include <QRegExp>
#include <QString>

namespace Repo
{

class Entry;

class Kivrel
{
public:
    // The first segment of the text, decoded. False, with the outputs left
    // untouched, when the text holds no complete segment.
    static bool getAuth(const QString& url, QString& key1, QString& value1, QString& key2,
                        QString& value2);
    // The base URLs first, else the mirror list URL.
    static bool getAuth(const Repo::Entry& entry, QString& key1, QString& value1, QString& key2,
                        QString& value2);

    // Every segment of the text rebuilt from the given parts; a text without
    // a segment comes back unchanged.
    static QString replaceAuth(QString url, const QString& key1, const QString& value1,
                               const QString& key2, const QString& value2);
    // Keeps the key names of the text's first segment.
    static QString replaceAuth(QString url, const QString& user, const QString& password);
    // Keeps the key names and the user of the text's first segment.
    static QString replaceAuth(QString url, const QString& password);

    // Finds segments in a text of several URLs, also in the form the
    // downloader logs, where the relative path sits before the query
    // ("/kivrel/repodata/repomd.xml?user=u&password=p&path=repo").
    // Capture 1 is the encoded password.
    static QRegExp urlsRegExp();
    // Matches a whole single URL that holds a segment; capture 1 is the
    // encoded password.
    static QRegExp oneUrlRegExp();

    // The text with every password that urlsRegExp finds replaced by as many
    // mask characters, so positions in the text stay valid. Everything that
    // shows or logs URLs goes through this.
    static QString maskPasswords(const QString& text, QChar mask = QLatin1Char('*'));

    // Escapes the characters that would end or split a part of the segment,
    // and control characters, as "%" and two lower-case hex digits; every
    // character from 0x80 up becomes the escaped bytes of its UTF-8 form,
    // so the result is ASCII.
    static QString percentEncode(const QString& text);
    // "%" and two hex digits of either case back to text, in one pass:
    // "%2541" gives "%41". Consecutive escapes that form UTF-8 give its
    // characters; any other escape gives the character of its code, as
    // files written before UTF-8 escaping have them ("%e9" is U+00E9).
    static QString percentDecode(const QString& text);

private:
    static QChar hexDigit(int value);
    static int hexValue(QChar digit);
};

}
