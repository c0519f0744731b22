// The credential dialog on its own: what it shows of a repository, that no
// password shows, the answer of each button and key, and what each answer
// puts into the entry.
#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include "repos/entry.h"
#include "repos/kivrel.h"
#include "repos/repoauthdialog.h"
#include "tests/repos/conftree.h"

using RepoAuth::Dialog;

namespace
{

QLabel* label(Dialog& dialog, const char* name)
{
    QLabel* found = dialog.findChild<QLabel*>(QLatin1String(name));
    if (!found)
        ADD_FAILURE() << "no label " << name;
    return found;
}

QLineEdit* edit(Dialog& dialog, const char* name)
{
    QLineEdit* found = dialog.findChild<QLineEdit*>(QLatin1String(name));
    if (!found)
        ADD_FAILURE() << "no edit " << name;
    return found;
}

QPushButton* button(Dialog& dialog, const QString& text)
{
    for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

// Asks about the entry and acts once the question is open (the dialog is
// the visible active modal widget with its answer buttons enabled); returns
// the answer. A question that never opens or is never answered fails the
// test instead of hanging it.
int ask(Dialog& dialog, Repo::Entry& entry, std::function<void()> act)
{
    bool acted = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&]() {
        QPushButton* skip = button(dialog, "Skip All");
        if (!acted && QApplication::activeModalWidget() == &dialog && dialog.isVisible() && skip
            && skip->isEnabled()) {
            acted = true;
            act();
        } else if (clock.elapsed() > 10000) {
            ADD_FAILURE() << (acted ? "the question stayed open" : "the question never opened");
            dialog.done(-1);
        }
    });
    poll.start(10);
    const int answer = dialog.exec(&entry);
    EXPECT_TRUE(acted);
    return answer;
}

void type(Dialog& dialog, const QString& user, const QString& password)
{
    QTest::keyClicks(edit(dialog, "userEdit"), user);
    QTest::keyClicks(edit(dialog, "passwordEdit"), password);
}

// Types text beyond Latin-1, as an input method commits it: QTest's key
// clicks cannot send such characters.
void commit(QLineEdit* edit, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(edit, &event);
}

Repo::Entry kivrelEntry(const QString& id, const QString& baseurl, const QString& mirrorlist = {})
{
    Repo::Entry entry;
    entry.id = id;
    entry.name = "Repository " + id;
    entry.baseurl = baseurl;
    entry.mirrorlist = mirrorlist;
    return entry;
}

// The dialog leaves the busy cursor behind when hidden, as the main window
// expects; the tests give it back.
void clearOverrideCursors()
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

class RepoAuthDialog : public ::testing::Test
{
protected:
    ~RepoAuthDialog() override
    {
        dialog.setVisible(false);
        clearOverrideCursors();
    }

    Dialog dialog{nullptr};
};

}

TEST_F(RepoAuthDialog, ShowsTheRepositoryAndNamesTheFieldsAfterTheUrlKeys)
{
    Repo::Entry entry = kivrelEntry("secure", "https://host/kivrel?login=&secret=&path=repo");
    entry.name = "Secure <b>bold</b>";
    const Repo::Entry before = entry;

    const int answer = ask(dialog, entry, [&]() {
        EXPECT_EQ(dialog.windowTitle(), "KUV Authentication");
        EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(label(dialog, "idValue")->text(), "secure");
        // Shown as written, never as rich text.
        EXPECT_EQ(label(dialog, "nameValue")->text(), "Secure <b>bold</b>");
        EXPECT_EQ(label(dialog, "nameValue")->textFormat(), Qt::PlainText);
        EXPECT_EQ(label(dialog, "urlsValue")->text(), before.baseurl);
        EXPECT_EQ(label(dialog, "mirrorlistValue")->text(), "");
        EXPECT_EQ(label(dialog, "userLabel")->text(), "login");
        EXPECT_EQ(label(dialog, "passwordLabel")->text(), "secret");
        EXPECT_EQ(edit(dialog, "userEdit")->text(), "");
        EXPECT_EQ(edit(dialog, "passwordEdit")->text(), "");
        EXPECT_EQ(edit(dialog, "passwordEdit")->echoMode(), QLineEdit::Password);
        EXPECT_EQ(dialog.focusWidget(), edit(dialog, "userEdit"));
        EXPECT_TRUE(button(dialog, "OK")->isDefault());
        button(dialog, "Skip All")->click();
    });

    EXPECT_EQ(answer, Dialog::SkipAll);
    EXPECT_EQ(entry.baseurl, before.baseurl);
}

TEST_F(RepoAuthDialog, MasksEveryPasswordInTheUrlsItShows)
{
    // The first segment asks for credentials; a second URL line and the
    // mirror list (in the form the downloader writes) hold passwords.
    Repo::Entry entry = kivrelEntry(
        "mixed",
        "http://a/kivrel?user=&password=&path=one\nhttp://b/kivrel?user=bob&password=hunter2&path=two",
        "http://m/kivrel/repodata/repomd.xml?user=bob&password=mirrorpw&path=three");
    const Repo::Entry before = entry;

    QStringList shown;
    const int answer = ask(dialog, entry, [&]() {
        shown << label(dialog, "urlsValue")->text() << label(dialog, "mirrorlistValue")->text();
        type(dialog, "carol", "typedpw");
        shown << label(dialog, "urlsValue")->text() << label(dialog, "mirrorlistValue")->text();
        button(dialog, "Skip All")->click();
    });

    ASSERT_EQ(shown.size(), 4);
    for (const QString& text : shown) {
        EXPECT_FALSE(text.contains("hunter2")) << text.toStdString();
        EXPECT_FALSE(text.contains("mirrorpw")) << text.toStdString();
        EXPECT_FALSE(text.contains("typedpw")) << text.toStdString();
    }
    // The preview carries the typed name and as many mask characters as the
    // password has, in every URL.
    const QChar mask(dialog.style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter));
    const QString segment = "/kivrel?user=carol&password=" + QString(7, mask) + "&path=";
    EXPECT_EQ(shown[2], "http://a" + segment + "one\nhttp://b" + segment + "two");
    EXPECT_EQ(shown[3], "http://m/kivrel/repodata/repomd.xml?user=bob&password=" + QString(8, mask)
                            + "&path=three");

    EXPECT_EQ(answer, Dialog::SkipAll);
    EXPECT_EQ(entry.baseurl, before.baseurl);
    EXPECT_EQ(entry.mirrorlist, before.mirrorlist);
}

TEST_F(RepoAuthDialog, OkPutsTheTypedCredentialsEncodedIntoEveryUrl)
{
    Repo::Entry entry = kivrelEntry("enc",
                                    "http://h/kivrel?user=&password=&path=r\n"
                                    "http://g/kivrel?user=&password=&path=s",
                                    "http://h/kivrel?user=&password=&path=list");

    const int answer = ask(dialog, entry, [&]() {
        type(dialog, "a b&c", "p/w%d=1");
        button(dialog, "OK")->click();
    });

    EXPECT_EQ(answer, Dialog::OK);
    const QString segment = "/kivrel?user=a%20b%26c&password=p%2fw%25d%3d1&path=";
    EXPECT_EQ(entry.baseurl, "http://h" + segment + "r\nhttp://g" + segment + "s");
    EXPECT_EQ(entry.mirrorlist, "http://h" + segment + "list");
    QString key1, user, key2, password;
    ASSERT_TRUE(Repo::Kivrel::getAuth(entry.mirrorlist, key1, user, key2, password));
    EXPECT_EQ(user, "a b&c");
    EXPECT_EQ(password, "p/w%d=1");
}

TEST_F(RepoAuthDialog, OkKeepsPasswordsItShowedMaskedButDoesNotRebuild)
{
    // The downloader's form is masked on screen but is no segment that an
    // answer rebuilds: its password must reach the entry as it was.
    const QString logged = "http://m/kivrel/repodata/repomd.xml?user=bob&password=keepme&path=x";
    Repo::Entry entry = kivrelEntry("r", "http://h/kivrel?user=&password=&path=r\n" + logged, logged);

    const int answer = ask(dialog, entry, [&]() {
        EXPECT_FALSE(label(dialog, "urlsValue")->text().contains("keepme"));
        EXPECT_FALSE(label(dialog, "mirrorlistValue")->text().contains("keepme"));
        type(dialog, "u", "p");
        button(dialog, "OK")->click();
    });

    EXPECT_EQ(answer, Dialog::OK);
    EXPECT_EQ(entry.baseurl, "http://h/kivrel?user=u&password=p&path=r\n" + logged);
    EXPECT_EQ(entry.mirrorlist, logged);
}

TEST_F(RepoAuthDialog, EachButtonGivesItsAnswerAndOnlyTheCredentialAnswersTakeTheFields)
{
    struct Case
    {
        QString button;
        int answer;
        bool takesCredentials;
    };
    const QList<Case> cases = {{"Quit", Dialog::Quit, false},
                               {"Disable for Session", Dialog::Disable, false},
                               {"Skip All", Dialog::SkipAll, false},
                               {"Apply to All", Dialog::ApplyAll, true},
                               {"Apply to All with this Host", Dialog::ApplyHost, true},
                               {"OK", Dialog::OK, true}};
    QSignalSpy finished(&dialog, &QDialog::finished);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QSignalSpy rejected(&dialog, &QDialog::rejected);

    // One dialog asks one question after the other, as in the check.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button.toStdString());
        Repo::Entry entry = kivrelEntry("r", "http://h/kivrel?user=&password=&path=r");
        const QString before = entry.baseurl;
        finished.clear();
        accepted.clear();
        rejected.clear();

        const int answer = ask(dialog, entry, [&]() {
            // The fields of the previous question are gone.
            EXPECT_EQ(edit(dialog, "userEdit")->text(), "");
            EXPECT_EQ(edit(dialog, "passwordEdit")->text(), "");
            type(dialog, "u", "p");
            QTest::mouseClick(button(dialog, c.button), Qt::LeftButton);
        });

        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(dialog.result(), c.answer);
        EXPECT_EQ(entry.baseurl,
                  c.takesCredentials ? "http://h/kivrel?user=u&password=p&path=r" : before);
        // The dialog stays up for the next question; the answers that end
        // the asking cannot be given again before it.
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(button(dialog, "OK")->isEnabled());
        EXPECT_FALSE(button(dialog, "Skip All")->isEnabled());
        EXPECT_FALSE(button(dialog, "Quit")->isEnabled());
        EXPECT_FALSE(button(dialog, "Disable for Session")->isEnabled());
        ASSERT_EQ(finished.count(), 1);
        EXPECT_EQ(finished[0][0].toInt(), c.answer);
        EXPECT_EQ(accepted.count(), c.answer == Dialog::OK ? 1 : 0);
        EXPECT_EQ(rejected.count(), c.answer == Dialog::SkipAll ? 1 : 0);
    }
}

TEST_F(RepoAuthDialog, ReturnAnswersWithTheDefaultButton)
{
    Repo::Entry entry = kivrelEntry("r", "http://h/kivrel?user=&password=&path=r");
    const int answer = ask(dialog, entry, [&]() {
        type(dialog, "u", "p");
        QTest::keyClick(edit(dialog, "passwordEdit"), Qt::Key_Return);
    });
    EXPECT_EQ(answer, Dialog::OK);
    EXPECT_EQ(entry.baseurl, "http://h/kivrel?user=u&password=p&path=r");
}

TEST_F(RepoAuthDialog, AnswersGivenWhileNoQuestionIsOpenAreIgnored)
{
    Repo::Entry entry = kivrelEntry("r", "http://h/kivrel?user=&password=&path=r");
    const int answer = ask(dialog, entry, [&]() {
        type(dialog, "u", "p");
        button(dialog, "OK")->click();
        // A second click in the same pass of the event loop.
        button(dialog, "Apply to All")->click();
    });
    EXPECT_EQ(answer, Dialog::OK);

    // Between questions the apply buttons are still enabled, and Escape and
    // the close button still reach the dialog.
    button(dialog, "Apply to All")->click();
    button(dialog, "Apply to All with this Host")->click();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.close();
    EXPECT_EQ(dialog.result(), Dialog::OK);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(entry.baseurl, "http://h/kivrel?user=u&password=p&path=r");
}

TEST_F(RepoAuthDialog, CredentialsBeyondAsciiRoundTripExactly)
{
    const QString user = QString::fromUtf8("J\u00f6rg \u674e");
    const QString withUser = "http://h/kivrel?user=J%c3%b6rg%20%e6%9d%8e&password=";
    const QChar mask(dialog.style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter));
    const struct
    {
        const char* password;
        const char* encoded;
    } cases[] = {{"caf\u00e9", "caf%c3%a9"},
                 {"\u043f\u0430\u0440\u043e\u043b\u044c", "%d0%bf%d0%b0%d1%80%d0%be%d0%bb%d1%8c"},
                 {"\u5bc6\u7801", "%e5%af%86%e7%a0%81"},
                 {"\U0001f600x", "%f0%9f%98%80x"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoded);
        const QString password = QString::fromUtf8(c.password);
        Repo::Entry entry = kivrelEntry("u8", "http://h/kivrel?user=&password=&path=r",
                                        "http://h/kivrel?user=&password=&path=list");
        QString preview;
        ASSERT_EQ(ask(dialog, entry, [&]() {
                      commit(edit(dialog, "userEdit"), user);
                      commit(edit(dialog, "passwordEdit"), password);
                      preview = label(dialog, "urlsValue")->text();
                      button(dialog, "OK")->click();
                  }),
                  Dialog::OK);
        // One mask a character in the preview; the UTF-8 bytes escaped in
        // the URLs.
        EXPECT_EQ(preview, withUser + QString(password.toUcs4().size(), mask) + "&path=r");
        EXPECT_EQ(entry.baseurl, withUser + c.encoded + "&path=r");
        EXPECT_EQ(entry.mirrorlist, withUser + c.encoded + "&path=list");

        // Asked again, the dialog fills in exactly what was typed and shows
        // no password; OK writes the same URLs back.
        const Repo::Entry stored = entry;
        ASSERT_EQ(ask(dialog, entry, [&]() {
                      EXPECT_EQ(edit(dialog, "userEdit")->text(), user);
                      EXPECT_EQ(edit(dialog, "passwordEdit")->text(), password);
                      const QString shown = label(dialog, "urlsValue")->text();
                      EXPECT_FALSE(shown.contains(password) || shown.contains(c.encoded))
                          << shown.toStdString();
                      button(dialog, "OK")->click();
                  }),
                  Dialog::OK);
        EXPECT_EQ(entry.baseurl, stored.baseurl);
        EXPECT_EQ(entry.mirrorlist, stored.mirrorlist);
    }
}
