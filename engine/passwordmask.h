// PasswordMask: the one pattern that finds the password of a kivrel
// credential set in a text, and the masking of every such password in lines
// that the engine logs or shows. The configuration holds the credentials as
//   /kivrel?KEY1=USER&KEY2=PASSWORD&path=REST
// and the downloader joins the file it fetches before the query, so its
// messages read
//   /kivrel/repodata/repomd.xml?KEY1=USER&KEY2=PASSWORD&path=REST
// Both forms are found; the key names are whatever the URL holds.
#pragma once

#include <QRegExp>
#include <QRegularExpression>
#include <QString>

class PasswordMask
{
public:
    // The pattern text; capture 1 is the password as the text holds it.
    static QString pattern();
    // The pattern as QRegExp, for the masked editors. Capture 1 is the
    // password; a match never spans lines.
    static QRegExp regExp();
    // The same pattern for QRegularExpression users; safe to share between
    // threads.
    static const QRegularExpression& regularExpression();

    // The text with the password of every credential set replaced by
    // hidden(); an empty password stays empty. The replacement has a fixed
    // length, so that not even the password's length shows.
    static QString mask(const QString& text);

    static QString hidden();

    PasswordMask() = delete;
};
