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

TEST(KivrelEncoding, LeavesLettersDigitsAndLatinLettersAlone)
{
    EXPECT_EQ(Kivrel::percentEncode("Abc-09_.!*'()\u00e9\u00ff"), "Abc-09_.!*'()\u00e9\u00ff");
}

TEST(KivrelEncoding, EscapesControlCharactersSoNoValueCanBreakALine)
{
    EXPECT_EQ(Kivrel::percentEncode("a\nb"), "a%0ab");
    EXPECT_EQ(Kivrel::percentEncode("\t\r"), "%09%0d");
    EXPECT_EQ(Kivrel::percentEncode(QString(QChar(0x7f))), "%7f");
    EXPECT_EQ(Kivrel::percentEncode(QString(QChar(0x01))), "%01");
    // White space to the masking pattern, so it must not stay raw either.
    EXPECT_EQ(Kivrel::percentEncode(QString(QChar(0xa0))), "%a0");
    EXPECT_EQ(Kivrel::percentEncode(QString(QChar(0x85))), "%85");
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
