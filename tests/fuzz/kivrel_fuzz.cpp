// Fuzzes the credential segment of repository URLs: decoding arbitrary text,
// and the round trip of any user, password and key names through a URL.
// The input is UTF-8 text; U+0001 separates key1, user, key2, password and a
// free URL text, in that order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QString>
#include <QStringList>

#include "engine/passwordmask.h"
#include "repos/kivrel.h"

namespace
{

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// What a stored part may hold: the segment's grammar and the configuration
// file's lines depend on it.
bool safelyEncoded(const QString& encoded)
{
    for (QChar c : encoded) {
        const ushort code = c.unicode();
        if (code <= 0x20 || code >= 0x7f)
            return false;
        if (c == QLatin1Char('&') || c == QLatin1Char('=') || c == QLatin1Char('?')
            || c == QLatin1Char('/'))
            return false;
    }
    return true;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    Repo::Kivrel::percentDecode(text);

    QStringList parts = text.split(QChar(1));
    while (parts.size() < 5)
        parts.append(QString());
    const QString& key1 = parts[0];
    const QString& user = parts[1];
    const QString& key2 = parts[2];
    const QString& password = parts[3];
    const QString& freeUrl = parts[4];

    for (int i = 0; i < 4; ++i) {
        const QString encoded = Repo::Kivrel::percentEncode(parts[i]);
        check(safelyEncoded(encoded));
        check(Repo::Kivrel::percentDecode(encoded) == parts[i]);
    }

    // Arbitrary URL texts: no crash, and a text without a segment stays.
    QString k1, v1, k2, v2;
    const bool found = Repo::Kivrel::getAuth(freeUrl, k1, v1, k2, v2);
    const QString replaced = Repo::Kivrel::replaceAuth(freeUrl, key1, user, key2, password);
    Repo::Kivrel::replaceAuth(freeUrl, user, password);
    Repo::Kivrel::replaceAuth(freeUrl, password);
    Repo::Kivrel::maskPasswords(freeUrl);
    PasswordMask::mask(freeUrl);
    if (!found)
        check(replaced == freeUrl);

    // Any parts survive a trip through a URL.
    const QString url = Repo::Kivrel::replaceAuth(
        QStringLiteral("https://repo.example.com/kivrel?user=&password=&path=el/$basearch/"), key1,
        user, key2, password);
    check(Repo::Kivrel::getAuth(url, k1, v1, k2, v2));
    check(k1 == key1 && v1 == user && k2 == key2 && v2 == password);

    // Masked, the password is gone and the rest is as it was.
    const QString masked = PasswordMask::mask(url);
    check(Repo::Kivrel::getAuth(masked, k1, v1, k2, v2));
    check(k1 == key1 && v1 == user && k2 == key2);
    check(v2 == (password.isEmpty() ? QString() : PasswordMask::hidden()));
    const QString starred = Repo::Kivrel::maskPasswords(url);
    check(starred.size() == url.size());
    check(Repo::Kivrel::getAuth(starred, k1, v1, k2, v2));
    check(v2 == QString(Repo::Kivrel::percentEncode(password).size(), QLatin1Char('*')));
    return 0;
}
