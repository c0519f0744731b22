// Credentials inside repository URLs: encoding, reading, rebuilding, masking.
#include <gtest/gtest.h>

#include <QString>

#include "repos/entry.h"
#include "repos/kivrel.h"
#include "tests/repos/conftree.h"

using Repo::Kivrel;

namespace
{

struct Auth
{
    bool found = false;
    QString key1 = "unset", value1 = "unset", key2 = "unset", value2 = "unset";
};

Auth authOf(const QString& text)
{
    Auth a;
    a.found = Kivrel::getAuth(text, a.key1, a.value1, a.key2, a.value2);
    return a;
}

}

TEST(KivrelEncoding, EscapesEachReservedCharacterInLowerCase)
{
    const QString reserved = "$&+,/:;=?@ \"<>#%{}|\\^~[]";
    ASSERT_EQ(reserved.size(), 24);
    for (QChar c : reserved) {
        const QString expected = QString("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        EXPECT_EQ(Kivrel::percentEncode(c), expected) << "character " << c.unicode();
    }
    EXPECT_EQ(Kivrel::percentEncode(" /:"), "%20%2f%3a");
}

TEST(KivrelEncoding, LeavesAsciiLettersDigitsAndMarksAlone)
{
    EXPECT_EQ(Kivrel::percentEncode("Abc-09_.!*'()"), "Abc-09_.!*'()");
}

// dnf reads repository files as UTF-8 only: what the program writes into a
// URL is ASCII, whatever the user typed.
TEST(KivrelEncoding, EscapesEveryCharacterBeyondAsciiAsItsUtf8Bytes)
{
    EXPECT_EQ(Kivrel::percentEncode(QString::fromUtf8("caf\u00e9")), "caf%c3%a9");
    EXPECT_EQ(Kivrel::percentEncode(QString(QChar(0xff))), "%c3%bf");
    EXPECT_EQ(Kivrel::percentEncode(QString::fromUtf8("\u043f\u0430\u0440\u043e\u043b\u044c")),
              "%d0%bf%d0%b0%d1%80%d0%be%d0%bb%d1%8c");
    EXPECT_EQ(Kivrel::percentEncode(QString::fromUtf8("\u5bc6\u7801")), "%e5%af%86%e7%a0%81");
    // A surrogate pair is one character of four bytes.
    EXPECT_EQ(Kivrel::percentEncode(QString::fromUtf8("a\U0001f600b")), "a%f0%9f%98%80b");
    // A lone surrogate has no UTF-8 form.
    EXPECT_EQ(Kivrel::percentEncode(QString(QChar(0xd800))), "%ef%bf%bd");
}

TEST(KivrelEncoding, EscapesControlCharactersSoNoValueCanBreakALine)
{
    EXPECT_EQ(Kivrel::percentEncode("a\nb"), "a%0ab");
    EXPECT_EQ(Kivrel::percentEncode("\t\r"), "%09%0d");
    EXPECT_EQ(Kivrel::percentEncode(QString(QChar(0x7f))), "%7f");
    EXPECT_EQ(Kivrel::percentEncode(QString(QChar(0x01))), "%01");
    // White space to the masking pattern, so it must not stay raw either.
    EXPECT_EQ(Kivrel::percentEncode(QString(QChar(0xa0))), "%c2%a0");
    EXPECT_EQ(Kivrel::percentEncode(QString(QChar(0x85))), "%c2%85");
    const QString encoded = Kivrel::percentEncode(QString("x\ny[evil]\r\n"));
    EXPECT_FALSE(encoded.contains('\n'));
    EXPECT_FALSE(encoded.contains('\r'));
    EXPECT_EQ(Kivrel::percentDecode(encoded), "x\ny[evil]\r\n");
}

TEST(KivrelEncoding, EncodedPercentSignIsNotEncodedTwice)
{
    EXPECT_EQ(Kivrel::percentEncode("100%"), "100%25");
    EXPECT_EQ(Kivrel::percentEncode("%25"), "%2525");
    EXPECT_EQ(Kivrel::percentDecode(Kivrel::percentEncode("%25%")), "%25%");
}

TEST(KivrelDecoding, DecodesOnePassEitherCase)
{
    EXPECT_EQ(Kivrel::percentDecode("%2541"), "%41");
    EXPECT_EQ(Kivrel::percentDecode("a%2Fb%2fc"), "a/b/c");
    EXPECT_EQ(Kivrel::percentDecode("%e9"), QString(QChar(0xe9)));
}

TEST(KivrelDecoding, EscapesFormingUtf8GiveItsCharactersOthersTheirCode)
{
    // Files written before UTF-8 escaping read as they always did.
    EXPECT_EQ(Kivrel::percentDecode("caf%e9"), QString::fromUtf8("caf\u00e9"));
    EXPECT_EQ(Kivrel::percentDecode("%e9%e9"), QString::fromUtf8("\u00e9\u00e9"));
    EXPECT_EQ(Kivrel::percentDecode("%85"), QString(QChar(0x85)));
    EXPECT_EQ(Kivrel::percentDecode("caf%c3%a9"), QString::fromUtf8("caf\u00e9"));
    EXPECT_EQ(Kivrel::percentDecode("%C3%A9"), QString::fromUtf8("\u00e9"));
    EXPECT_EQ(Kivrel::percentDecode("%e5%af%86%e7%a0%81"), QString::fromUtf8("\u5bc6\u7801"));
    EXPECT_EQ(Kivrel::percentDecode("%f0%9f%98%80"), QString::fromUtf8("\U0001f600"));
    // Not UTF-8: a lead byte before a byte that cannot follow it, a cut-off
    // sequence, an escaped surrogate, an overlong form.
    EXPECT_EQ(Kivrel::percentDecode("%c3%28"), QString::fromUtf8("\u00c3("));
    EXPECT_EQ(Kivrel::percentDecode("%c3"), QString(QChar(0xc3)));
    EXPECT_EQ(Kivrel::percentDecode("%e5%af"), QString::fromUtf8("\u00e5\u00af"));
    EXPECT_EQ(Kivrel::percentDecode("%ed%a0%80"), QString::fromUtf8("\u00ed\u00a0\u0080"));
    EXPECT_EQ(Kivrel::percentDecode("%c0%af"), QString::fromUtf8("\u00c0\u00af"));
    // Only consecutive escapes form a character; decoded text never does.
    EXPECT_EQ(Kivrel::percentDecode("%c3x%a9"), QString::fromUtf8("\u00c3x\u00a9"));
    EXPECT_EQ(Kivrel::percentDecode(QString::fromUtf8("%c3\u00a9")), QString::fromUtf8("\u00c3\u00a9"));
    EXPECT_EQ(Kivrel::percentDecode("%25c3%25a9"), "%c3%a9");
    // A valid sequence after a stray byte is still found.
    EXPECT_EQ(Kivrel::percentDecode("%a9%c3%a9"), QString::fromUtf8("\u00a9\u00e9"));
}

TEST(KivrelDecoding, KeepsPercentWithoutTwoHexDigits)
{
    EXPECT_EQ(Kivrel::percentDecode("%"), "%");
    EXPECT_EQ(Kivrel::percentDecode("ab%4"), "ab%4");
    EXPECT_EQ(Kivrel::percentDecode("%zz%4g"), "%zz%4g");
    EXPECT_EQ(Kivrel::percentDecode("%%41"), "%A");
}

TEST(KivrelGetAuth, ReadsTheFirstSegmentDecoded)
{
    const Auth a = authOf("http://h/kivrel?user%20name=joe%26co&pass=p%3d1&path=repo/x86\n"
                          "http://g/kivrel?u=second&p=two&path=r");
    ASSERT_TRUE(a.found);
    EXPECT_EQ(a.key1, "user name");
    EXPECT_EQ(a.value1, "joe&co");
    EXPECT_EQ(a.key2, "pass");
    EXPECT_EQ(a.value2, "p=1");
}

TEST(KivrelGetAuth, IncompleteOrMissingSegmentLeavesOutputsAlone)
{
    for (const QString& text : {QString("http://h/repo"), QString("http://h/kivrel?user=u&path=r"),
                                QString("http://h/kivrel?user=u&pass=p"), QString()}) {
        const Auth a = authOf(text);
        EXPECT_FALSE(a.found) << text.toStdString();
        EXPECT_EQ(a.key1, "unset");
        EXPECT_EQ(a.value2, "unset");
    }
}

TEST(KivrelGetAuth, EntryFallsBackToMirrorList)
{
    Repo::Entry entry;
    entry.baseurl = "http://h/plain";
    entry.mirrorlist = "http://m/kivrel?u=a&p=b&path=list";
    QString k1, v1, k2, v2;
    ASSERT_TRUE(Kivrel::getAuth(entry, k1, v1, k2, v2));
    EXPECT_EQ(v1, "a");
    EXPECT_EQ(v2, "b");

    entry.baseurl = "http://h/kivrel?x=1&y=2&path=r";
    ASSERT_TRUE(Kivrel::getAuth(entry, k1, v1, k2, v2));
    EXPECT_EQ(k1, "x");
    EXPECT_EQ(v2, "2");
}

TEST(KivrelReplaceAuth, RebuildsEverySegmentOfSeveralUrls)
{
    const QString urls = "http://a/kivrel?user=&pass=&path=one\nhttp://b/kivrel?user=&pass=&path=two";
    const QString replaced = Kivrel::replaceAuth(urls, "joe", "s e/cret");
    EXPECT_EQ(replaced, "http://a/kivrel?user=joe&pass=s%20e%2fcret&path=one\n"
                        "http://b/kivrel?user=joe&pass=s%20e%2fcret&path=two");
    const Auth a = authOf(replaced);
    EXPECT_EQ(a.value1, "joe");
    EXPECT_EQ(a.value2, "s e/cret");
}

TEST(KivrelReplaceAuth, PasswordOnlyKeepsKeysAndUser)
{
    const QString url = "http://a/kivrel?login=joe&secret=old&path=r";
    EXPECT_EQ(Kivrel::replaceAuth(url, QString("new")), "http://a/kivrel?login=joe&secret=new&path=r");
}

TEST(KivrelReplaceAuth, TextWithoutSegmentComesBackUnchanged)
{
    const QString url = "http://a/repo?user=x&pass=y&path=r";
    EXPECT_EQ(Kivrel::replaceAuth(url, "k", "v", "k2", "v2"), url);
    EXPECT_EQ(Kivrel::replaceAuth(url, "u", "p"), url);
    EXPECT_EQ(Kivrel::replaceAuth(url, "p"), url);
}

TEST(KivrelReplaceAuth, EmptyUserAndPasswordStillFormASegment)
{
    const QString replaced = Kivrel::replaceAuth("http://a/kivrel?u=x&p=y&path=r", "", "");
    EXPECT_EQ(replaced, "http://a/kivrel?u=&p=&path=r");
    const Auth a = authOf(replaced);
    EXPECT_TRUE(a.found);
    EXPECT_EQ(a.value1, "");
    EXPECT_EQ(a.value2, "");
}

TEST(KivrelReplaceAuth, SpecialCharactersRoundTrip)
{
    const QString user = "a b&c=d/e%f\\1";
    const QString password = "p\nq\tr";
    const QString replaced = Kivrel::replaceAuth("http://a/kivrel?u=&p=&path=r", user, password);
    EXPECT_TRUE(replaced.contains("a%20b%26c%3dd%2fe%25f%5c1"));
    EXPECT_FALSE(replaced.contains('\n'));
    const Auth a = authOf(replaced);
    EXPECT_EQ(a.value1, user);
    EXPECT_EQ(a.value2, password);
    // The segment stays replaceable after a control character went in.
    EXPECT_EQ(authOf(Kivrel::replaceAuth(replaced, "x", "y")).value2, "y");
}

TEST(KivrelRegExps, UrlsRegExpCapturesPasswordAlsoBeforeSlashAndAtEnd)
{
    QRegExp re = Kivrel::urlsRegExp();
    ASSERT_GE(re.indexIn("http://h/kivrel?u=a&p=s3cret&path=/abs/repo"), 0);
    EXPECT_EQ(re.cap(1), "s3cret");
    ASSERT_GE(re.indexIn("http://h/kivrel?u=a&p=tail&path="), 0);
    EXPECT_EQ(re.cap(1), "tail");
    ASSERT_GE(re.indexIn("http://h/kivrel?u=a&p=plain&path=repo"), 0);
    EXPECT_EQ(re.cap(1), "plain");
    EXPECT_LT(re.indexIn("http://h/repo?u=a&p=x&path=r"), 0);
}

TEST(KivrelRegExps, OneUrlRegExpMatchesAWholeUrl)
{
    QRegExp re = Kivrel::oneUrlRegExp();
    ASSERT_TRUE(re.exactMatch("http://h/kivrel?u=a&p=pw&path=r/x"));
    EXPECT_EQ(re.cap(1), "pw");
    EXPECT_FALSE(re.exactMatch("http://h/r/x"));
    // Hand-written passwords hold what encoding would escape; the mirror
    // list field must hide them whole, as the log does.
    ASSERT_TRUE(re.exactMatch("http://h/kivrel?u=a&p=x&y z&path=r"));
    EXPECT_EQ(re.cap(1), "x&y z");
    ASSERT_TRUE(re.exactMatch("http://h/kivrel/repodata/repomd.xml?u=a&p=hush&path=r"));
    EXPECT_EQ(re.cap(1), "hush");
}

TEST(KivrelMasking, MasksEveryPasswordKeepingLength)
{
    const QString text = "http://a/kivrel?u=joe&p=one&path=/r\n"
                         "http://b/kivrel?u=ann&p=second&path=\n"
                         "http://c/plain";
    EXPECT_EQ(Kivrel::maskPasswords(text),
              "http://a/kivrel?u=joe&p=***&path=/r\n"
              "http://b/kivrel?u=ann&p=******&path=\n"
              "http://c/plain");
    EXPECT_EQ(Kivrel::maskPasswords("http://a/kivrel?u=joe&p=pw&path=r", QChar(0x25cf)),
              QString("http://a/kivrel?u=joe&p=%1%1&path=r").arg(QChar(0x25cf)));
}

TEST(KivrelMasking, MasksTheDownloadersForm)
{
    const QString logged = "Downloading http://host/kivrel/repodata/repomd.xml?user=u&password=hush&path=repo";
    const QString masked = Kivrel::maskPasswords(logged);
    EXPECT_FALSE(masked.contains("hush"));
    EXPECT_EQ(masked, "Downloading http://host/kivrel/repodata/repomd.xml?user=u&password=****&path=repo");
    QRegExp re = Kivrel::urlsRegExp();
    ASSERT_GE(re.indexIn(logged), 0);
    EXPECT_EQ(re.cap(1), "hush");
}

TEST(KivrelMasking, TextWithoutPasswordIsUnchanged)
{
    EXPECT_EQ(Kivrel::maskPasswords("no urls here"), "no urls here");
    EXPECT_EQ(Kivrel::maskPasswords("http://a/kivrel?u=joe&p=&path=r"), "http://a/kivrel?u=joe&p=&path=r");
}
