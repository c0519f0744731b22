// The repository form: the credential fields and the URLs kept in step both
// ways, the status rules in their order and colours, what OK, Reset and
// Cancel leave in the entry and the session flags, sort positions that the
// field cannot hold, values the file held kept as warnings, and passwords
// that never show in an edited URL or option line.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QStringList>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include "foundation/colors.h"
#include "foundation/passwdlineedit.h"
#include "foundation/passwdtextedit.h"
#include "repos/entry.h"
#include "repos/repoeditor/configdialog.h"
#include "tests/repos/conftree.h"

using RepoEditor::ConfigDialog;

namespace
{

class RepoForm : public ConfIOTest
{
protected:
    // Reads a configuration whose yum.conf holds the given [main] lines.
    void readConf(const QByteArray& mainLines = {})
    {
        tree.write("etc/yum.conf", "[main]\n" + mainLines);
        ASSERT_TRUE(conf.read(nullptr));
        dialog = std::make_unique<ConfigDialog>(&conf, nullptr);
    }

    template <typename T>
    T* field(const char* name)
    {
        T* found = dialog->findChild<T*>(QLatin1String(name));
        if (!found)
            ADD_FAILURE() << "no field " << name;
        return found;
    }

    // Runs the form on the entry; `act` works in the open form and must
    // close it. A form left open fails the test instead of hanging it.
    int run(Repo::Entry& entry, std::function<void()> act)
    {
        dialog->setEntry(&entry);
        QTimer::singleShot(0, [&]() {
            act();
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the form stayed open";
                dialog->done(-1);
            }
        });
        return dialog->exec();
    }

    // The credential fields' labels and texts, in form order.
    QStringList auth()
    {
        return {field<QLabel>("authNameLabel")->text(), field<QLineEdit>("authName")->text(),
                field<QLabel>("authPasswordLabel")->text(), field<QLineEdit>("authPassword")->text()};
    }
    QString status() { return field<QLabel>("status")->text(); }
    QColor statusColour() { return field<QLabel>("status")->palette().color(QPalette::WindowText); }

    std::unique_ptr<ConfigDialog> dialog;
};

// Types text as an input method commits it; QTest's key clicks cannot send
// characters beyond Latin-1.
void commit(QLineEdit* edit, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(edit, &event);
}

// One of the form's URL or option editors, read as the user sees it and as
// the form takes it.
struct Editor
{
    QWidget* widget;

    QString shown() const
    {
        if (auto* line = qobject_cast<QLineEdit*>(widget))
            return line->displayText();
        return qobject_cast<QTextEdit*>(widget)->document()->toPlainText();
    }
    QString real() const
    {
        if (auto* line = qobject_cast<PasswdLineEdit*>(widget))
            return line->realText();
        if (auto* text = qobject_cast<PasswdTextEdit*>(widget))
            return text->realPlainText();
        return qobject_cast<QTextEdit*>(widget)->toPlainText();
    }
    void setCursor(int at)
    {
        if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            line->setCursorPosition(at);
            return;
        }
        auto* text = qobject_cast<QTextEdit*>(widget);
        QTextCursor cursor = text->textCursor();
        cursor.setPosition(at);
        text->setTextCursor(cursor);
    }
    void type(QChar c)
    {
        if (c == '\n')
            QTest::keyClick(widget, Qt::Key_Return);
        else
            QTest::keyClick(widget, c.toLatin1());
    }
};

// Whether the text holds any character of the password: each of its
// characters appears nowhere else in the texts these tests use.
bool showsAnyOf(const QString& text, const QString& password)
{
    for (const QChar c : password) {
        if (text.contains(c))
            return true;
    }
    return false;
}

// What Select All and Copy put on the clipboard.
QString copied(QWidget* edit)
{
    QApplication::clipboard()->clear();
    QTest::keySequence(edit, QKeySequence::SelectAll);
    QTest::keySequence(edit, QKeySequence::Copy);
    return QApplication::clipboard()->text();
}

}

TEST_F(RepoForm, CredentialFieldsAndUrlsFollowEachOther)
{
    readConf();
    Repo::Entry entry;
    entry.id = "k";
    entry.baseurl = "http://a/kivrel?user=joe&pass=&path=r\nhttp://b/kivrel?user=joe&pass=&path=s";
    entry.mirrorlist = "http://m/kivrel?user=joe&pass=&path=list";
    dialog->setEntry(&entry);
    dialog->show();

    auto* urls = field<PasswdTextEdit>("urls");
    auto* mirrorList = field<PasswdLineEdit>("mirrorList");
    auto* authName = field<QLineEdit>("authName");
    auto* authPassword = field<QLineEdit>("authPassword");
    EXPECT_EQ(auth(), QStringList({"user", "joe", "pass", ""}));
    EXPECT_EQ(status(), "No Kivrel Authentication Password specified");
    EXPECT_EQ(statusColour(), QColor(Colors::warning()));

    // Typed credentials reach every segment, encoded as UTF-8, and the
    // password stays hidden on screen.
    authName->selectAll();
    commit(authName, QString::fromUtf8("J\xc3\xbcrgen A"));
    commit(authPassword, QString::fromUtf8("\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c"));
    const QString segment = "/kivrel?user=J%c3%bcrgen%20A&pass=%d0%bf%d0%b0%d1%80%d0%be%d0%bb%d1%8c&path=";
    EXPECT_EQ(urls->realPlainText(), "http://a" + segment + "r\nhttp://b" + segment + "s");
    EXPECT_EQ(mirrorList->realText(), "http://m" + segment + "list");
    EXPECT_FALSE(urls->toPlainText().contains("%d0%bf"));
    EXPECT_FALSE(mirrorList->text().contains("%d0%bf"));
    EXPECT_EQ(status(), "");
    EXPECT_EQ(statusColour(), QLabel().palette().color(QPalette::WindowText));

    // URL edits show up in the fields: new key names and decoded values.
    urls->setRealPlainText("http://c/kivrel?login=ann&secret=x%26y&path=r");
    EXPECT_EQ(auth(), QStringList({"login", "ann", "secret", "x&y"}));
    // Without base URLs the mirror list's segment counts; a password
    // character replaced by another changes nothing on screen, yet reaches
    // the field.
    urls->setRealPlainText("");
    mirrorList->setRealText("http://m/kivrel?user=bo&pass=abc&path=list");
    EXPECT_EQ(authPassword->text(), "abc");
    mirrorList->setRealText("http://m/kivrel?user=bo&pass=abd&path=list");
    EXPECT_EQ(authPassword->text(), "abd");
    // No segment left: empty, disabled fields under their own names.
    mirrorList->setRealText("http://m/list");
    EXPECT_EQ(auth(), QStringList({"Name", "", "Password", ""}));
    EXPECT_FALSE(authName->isEnabled() || authPassword->isEnabled());
}

TEST_F(RepoForm, StatusRulesInTheirOrder)
{
    readConf();
    Repo::Entry added;
    dialog->setEntry(&added);
    dialog->show();
    EXPECT_EQ(field<QComboBox>("enabled")->currentIndex(), 1);
    EXPECT_EQ(field<QComboBox>("gpgcheck")->currentIndex(), 1);
    EXPECT_EQ(field<QDoubleSpinBox>("sortPosition")->value(), 0.0);

    const QColor none = QLabel().palette().color(QPalette::WindowText);
    const QColor error(Colors::error()), warning(Colors::warning()), ok(Colors::ok());
    const QString repoDir = conf.reposdirs.first();
    auto* file = field<QLineEdit>("file");
    const struct
    {
        std::function<void()> edit;
        QString text;
        QColor colour;
    } steps[] = {
        {[] {}, "No Identifier specified", error},
        {[&] { field<QLineEdit>("identifier")->setText("x"); },
         "No URLs or Mirror list URL specified", warning},
        // A mirror list alone is enough.
        {[&] { field<PasswdLineEdit>("mirrorList")->setRealText("http://m/list"); }, "", none},
        // What the writer refuses is an error before OK.
        {[&] { file->setText(repoDir + "/x"); }, "File lacks .repo suffix", error},
        // Outside every directory comes before the missing suffix.
        {[&] { file->setText(tree.path("srv/x")); }, "File is not in any reposdir directory",
         error},
        // A folder whose name only begins with a repository directory's.
        {[&] { file->setText(repoDir + ".old/x.repo"); }, "File is not in any reposdir directory",
         error},
        {[&] { file->setText(repoDir + "/sub/x.repo"); }, "File is not in any reposdir directory",
         error},
        // A relative name goes where the writer puts it, and says so.
        {[&] { file->setText("x.repo"); }, "File will be " + repoDir + "/x.repo", ok},
        {[&] { file->setText("x"); }, "File lacks .repo suffix", error},
        {[&] { file->setText(YumConfIO::fileName()); }, "", none},
        {[&] { file->setText(repoDir + "/x.repo"); }, "", none},
        {[&] { field<PasswdTextEdit>("urls")->setRealPlainText("http://a/kivrel?u=&p=&path=r"); },
         "No Kivrel Authentication Name specified", warning},
        {[&] { QTest::keyClicks(field<QLineEdit>("authName"), "n"); },
         "No Kivrel Authentication Password specified", warning},
        {[&] { QTest::keyClicks(field<QLineEdit>("authPassword"), "p"); }, "", none},
        {[&] { field<QLineEdit>("identifier")->clear(); }, "No Identifier specified", error},
    };
    int n = 0;
    for (const auto& step : steps) {
        step.edit();
        EXPECT_EQ(status(), step.text) << "step " << n;
        EXPECT_EQ(statusColour(), step.colour) << "step " << n;
        ++n;
    }
}

TEST_F(RepoForm, OkWritesBackAndSetsTheSessionFlagWhileResetAndCancelLeaveTheEntry)
{
    tree.write("etc/yum.repos.d/a.repo", "[a]\nname=A\nbaseurl=http://a/\ngpgcheck=0\n");
    readConf("enabled=0\n");
    ASSERT_EQ(conf.entries.size(), 1);
    Repo::Entry& entry = conf.entries.first();
    used["a"] = true;  // switched on in the table
    auto* name = field<QLineEdit>("name");
    auto* enabled = field<QComboBox>("enabled");
    auto* gpgcheck = field<QComboBox>("gpgcheck");

    auto okAfter = [&](std::function<void()> edit) {
        return run(entry, [&] {
            edit();
            field<QPushButton>("ok")->click();
        });
    };

    // Opened and taken unchanged: nothing happens.
    EXPECT_EQ(okAfter([&] {
                  EXPECT_EQ(enabled->itemText(1), "Default (No)");
                  EXPECT_EQ(gpgcheck->itemText(1), "Default (No)");
                  EXPECT_EQ(gpgcheck->currentIndex(), 0);
                  EXPECT_FALSE(field<QPushButton>("reset")->isEnabled());
              }),
              QDialog::Rejected);
    EXPECT_EQ(run(entry, [&] {
                  name->setText("B");
                  field<QPushButton>("reset")->click();
                  EXPECT_EQ(name->text(), "A");
                  EXPECT_FALSE(field<QPushButton>("reset")->isEnabled());
                  name->setText("C");
                  field<QPushButton>("cancel")->click();
              }),
              QDialog::Rejected);
    EXPECT_EQ(entry.name, "A");
    EXPECT_TRUE(used["a"]);

    // Left at Default, the flag follows yum.conf's default.
    EXPECT_EQ(okAfter([&] {
                  name->setText("B");
                  gpgcheck->setCurrentIndex(2);
              }),
              QDialog::Accepted);
    EXPECT_EQ(entry.name, "B");
    EXPECT_EQ(entry.enabled, Repo::Entry::Default);
    EXPECT_EQ(entry.gpgcheck, Repo::Entry::Yes);
    EXPECT_FALSE(used["a"]);

    // A new identifier gets its own flag; the former one's stays.
    EXPECT_EQ(okAfter([&] {
                  field<QLineEdit>("identifier")->setText("b");
                  enabled->setCurrentIndex(2);
              }),
              QDialog::Accepted);
    EXPECT_EQ(entry.id, "b");
    EXPECT_EQ(entry.enabled, Repo::Entry::Yes);
    EXPECT_TRUE(used["b"]);
    EXPECT_FALSE(used["a"]);
    EXPECT_EQ(okAfter([&] { enabled->setCurrentIndex(0); }), QDialog::Accepted);
    EXPECT_EQ(entry.enabled, Repo::Entry::No);
    EXPECT_FALSE(used["b"]);
}

TEST_F(RepoForm, SortPositionsAreNeverClampedSilently)
{
    readConf();
    Repo::Entry many;
    many.id = "x";
    many.mirrorlist = "http://m/";
    many.sortPosition = 150.0;  // a file of 150 sections
    EXPECT_EQ(run(many, [&] {
                  field<QLineEdit>("name")->setText("renamed");
                  field<QPushButton>("ok")->click();
              }),
              QDialog::Accepted);
    EXPECT_EQ(many.sortPosition, 150.0);

    // A position the field cannot hold is refused where the user sees it,
    // and OK waits until one is chosen.
    Repo::Entry odd = many;
    odd.sortPosition = 2.25;
    EXPECT_EQ(run(odd, [&] {
                  EXPECT_EQ(status(), "Sort Position 2.25 does not fit the field: choose one "
                                      "from 0.0 to 1000000000.0");
                  EXPECT_EQ(statusColour(), QColor(Colors::error()));
                  field<QLineEdit>("name")->setText("moved");
                  field<QPushButton>("ok")->click();
                  EXPECT_TRUE(dialog->isVisible());
                  field<QDoubleSpinBox>("sortPosition")->setValue(3.0);
                  EXPECT_EQ(status(), "");
                  field<QPushButton>("ok")->click();
              }),
              QDialog::Accepted);
    EXPECT_EQ(odd.sortPosition, 3.0);
}

// Every character of a URL or option line that holds a password deleted and
// typed again, and the whole text typed afresh, in each editor: no
// character of the password is ever drawn or copied, whole, cut short or
// parted from its key, and the form still takes the real text.
TEST_F(RepoForm, NoPasswordShowsOrIsCopiedWhileItsTextIsBrokenAndRetyped)
{
    readConf();
    const QString pw = "ZQ9XJ7VK";
    const QString segment = "/kivrel?user=joe&password=" + pw + "&path=";
    Repo::Entry entry;
    entry.id = "k";
    dialog->setEntry(&entry);
    dialog->show();
    const struct
    {
        const char* field;
        QString text;
    } cases[] = {
        {"mirrorList", "http://host" + segment + "list"},
        // Two segments: both masked.
        {"mirrorList", "http://a" + segment + "r http://b" + segment + "s"},
        {"urls", "http://a" + segment + "r\nhttp://joe:" + pw + "@b/repo"},
        {"other", "password=" + pw + "\nproxy_password = " + pw + "\nproxy=http://me:" + pw + "@p:3128"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        Editor edit{dialog->findChild<QWidget*>(c.field)};
        ASSERT_NE(edit.widget, nullptr);
        Repo::Entry filled = entry;
        filled.mirrorlist = c.field == QLatin1String("mirrorList") ? c.text : QString();
        filled.baseurl = c.field == QLatin1String("urls") ? c.text : QString();
        filled.other = c.field == QLatin1String("other") ? c.text : QString();
        dialog->setEntry(&filled);
        edit.widget->setFocus();
        EXPECT_FALSE(showsAnyOf(edit.shown(), pw)) << edit.shown().toStdString();
        int leaks = 0;
        for (int i = 0; i < c.text.size(); ++i) {
            edit.setCursor(i + 1);
            QTest::keyClick(edit.widget, Qt::Key_Backspace);
            ASSERT_EQ(edit.real(), QString(c.text).remove(i, 1));
            const QString shown = edit.shown();
            const QString clip = copied(edit.widget);
            if (showsAnyOf(shown, pw) || clip != shown) {
                if (++leaks <= 3)
                    ADD_FAILURE() << "character " << i << " deleted: shown " << shown.toStdString()
                                  << ", copied " << clip.toStdString();
            }
            edit.setCursor(i);
            edit.type(c.text[i]);
            ASSERT_EQ(edit.real(), c.text);
            if (showsAnyOf(edit.shown(), pw) && ++leaks <= 3)
                ADD_FAILURE() << "character " << i << " typed again: shown " << edit.shown().toStdString();
        }
        EXPECT_EQ(leaks, 0);

        // Typed afresh, one character after another.
        QTest::keySequence(edit.widget, QKeySequence::SelectAll);
        QTest::keyClick(edit.widget, Qt::Key_Delete);
        ASSERT_EQ(edit.real(), QString());
        leaks = 0;
        for (const QChar ch : c.text) {
            edit.type(ch);
            if (showsAnyOf(edit.shown(), pw) || showsAnyOf(copied(edit.widget), pw)) {
                if (++leaks <= 3)
                    ADD_FAILURE() << "typed: shown " << edit.shown().toStdString();
            }
            edit.setCursor(edit.real().size());
        }
        EXPECT_EQ(leaks, 0);
        EXPECT_EQ(edit.real(), c.text);
        // Typed in order, only the password ends up hidden.
        const QChar mask(edit.widget->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                         edit.widget));
        EXPECT_EQ(edit.shown(), QString(c.text).replace(pw, QString(pw.size(), mask)));
    }

    // A password typed into its field goes into both segments of the mirror
    // list, and neither shows it.
    Repo::Entry two = entry;
    two.mirrorlist = "http://a/kivrel?user=joe&password=&path=r http://b/kivrel?user=joe&password=&path=s";
    dialog->setEntry(&two);
    auto* authPassword = field<QLineEdit>("authPassword");
    ASSERT_TRUE(authPassword->isEnabled());
    QTest::keyClicks(authPassword, pw);
    auto* mirrorList = field<PasswdLineEdit>("mirrorList");
    EXPECT_EQ(mirrorList->realText(), "http://a" + segment + "r http://b" + segment + "s");
    EXPECT_FALSE(showsAnyOf(mirrorList->displayText(), pw)) << mirrorList->displayText().toStdString();
    EXPECT_FALSE(showsAnyOf(copied(mirrorList), pw));
}

// Each value that dnf would read as another repository or other options, or
// skip along with its file, is an error, and OK waits until it is mended;
// values dnf reads as shown pass. A missing identifier does not hide such a
// value from OK.
TEST_F(RepoForm, ValuesDnfWouldReadOtherwiseAreErrorsAndOkWaits)
{
    readConf();
    Repo::Entry entry;
    entry.id = "good";
    entry.baseurl = "file:///srv/r";
    auto* identifier = field<QLineEdit>("identifier");
    auto* name = field<QLineEdit>("name");
    auto* urls = field<PasswdTextEdit>("urls");
    auto* mirrorList = field<PasswdLineEdit>("mirrorList");
    auto* other = field<PasswdTextEdit>("other");
    auto* file = field<QLineEdit>("file");
    auto* ok = field<QPushButton>("ok");
    const QString anyCharacter = "Identifier may hold only ASCII letters, digits and \"-_.:\"";
    const struct
    {
        std::function<void(const QString&)> set;
        QString bad;
        QString text;
        QString good;
    } cases[] = {
        {[&](const QString& v) { identifier->setText(v); }, "x]y", anyCharacter, "a-b_c.d:E9"},
        {[&](const QString& v) {
             identifier->selectAll();
             commit(identifier, v);
         }, QString::fromUtf8("caf\xc3\xa9"),
         anyCharacter, "good"},
        {[&](const QString& v) { identifier->setText(v); }, "main",
         "Identifier main names the main section, not a repository", "Main"},
        {[&](const QString& v) { name->setText(v); }, "x\n [notasection]",
         "Name line 2 would begin a repository of its own", "x\n  continued"},
        {[&](const QString& v) { name->setText(v); }, "x\ny", "Name has a line break", "x [y] = z"},
        {[&](const QString& v) { urls->setRealPlainText(v); }, "file:///srv/r\n[evil]",
         "URLs line 2 would begin a repository of its own", "file:///srv/r\n\nfile:///srv/s"},
        {[&](const QString& v) { mirrorList->setRealText(v); }, "http://m/\n\t[b]",
         "Mirror list URL line 2 would begin a repository of its own", "http://m/"},
        {[&](const QString& v) { other->setRealPlainText(v); }, "exclude=a\n[evil]",
         "Other Options line 2 would begin a repository of its own",
         "# comment\n; another\nexclude=a\n  b\n\npriority=5"},
        {[&](const QString& v) { other->setRealPlainText(v); }, "garbage",
         "Other Options line 1 is neither an option (key=value) nor a comment", "a=b"},
        {[&](const QString& v) { other->setRealPlainText(v); }, "  exclude=a",
         "Other Options line 1 begins with a blank but continues no option", "exclude=a"},
        // Blanks alone would join the form's last option above them.
        {[&](const QString& v) { other->setRealPlainText(v); }, "   \nexclude=a",
         "Other Options line 1 begins with a blank but continues no option", "exclude=a"},
        {[&](const QString& v) { other->setRealPlainText(v); }, "a=b\n# note\n  c",
         "Other Options line 3 begins with a blank but continues no option", "a=b\n  c\n# note"},
        {[&](const QString& v) { other->setRealPlainText(v); }, "name: a=b",
         "Other Options line 1 sets name, which has a field of its own", "name_x=a"},
        {[&](const QString& v) { file->setText(v); }, "sub/x.repo",
         "File is not in any reposdir directory", ""},
    };
    EXPECT_EQ(run(entry, [&] {
                  int n = 0;
                  for (const auto& c : cases) {
                      c.set(c.bad);
                      EXPECT_EQ(status(), c.text) << "case " << n;
                      EXPECT_EQ(statusColour(), QColor(Colors::error())) << "case " << n;
                      ok->click();
                      EXPECT_TRUE(dialog->isVisible()) << "case " << n;
                      c.set(c.good);
                      EXPECT_EQ(status(), "") << "case " << n;
                      ++n;
                  }
                  // Each edge of the identifier's characters is taken, the
                  // character past it refused.
                  for (const QString& id : {"a", "z", "A", "Z", "0", "9", "-", "_", ".", ":"}) {
                      identifier->setText(id);
                      EXPECT_EQ(status(), "") << id.toStdString();
                  }
                  for (const QString& id : {"`", "{", "@", "[", "/", ";", ",", "^"}) {
                      identifier->setText("x" + id);
                      EXPECT_EQ(status(), anyCharacter) << id.toStdString();
                  }
                  identifier->setText("good");
                  // The missing identifier shows first; OK still waits for
                  // the name.
                  identifier->clear();
                  name->setText("x\n[y]");
                  EXPECT_EQ(status(), "No Identifier specified");
                  ok->click();
                  EXPECT_TRUE(dialog->isVisible());
                  name->setText("mended");
                  ok->click();
              }),
              QDialog::Accepted);
    EXPECT_EQ(entry.id, "");
    EXPECT_EQ(entry.name, "mended");
    EXPECT_EQ(entry.other, "name_x=a");
}

// Values the rule refuses that the file already held are kept as it holds
// them: the form warns about each and OK takes an edit of another field. The
// same value changed, or moved to a file that never held it, is an error
// again, and a held value exempts no other refused value beside it.
TEST_F(RepoForm, ValuesTheFileHeldAreWarningsUntilChanged)
{
    tree.write("etc/yum.repos.d/a.repo",
               "[x]y]\nname=Bracket\nbaseurl=file:///srv/b\n\n"
               "[named]\nname=x\n [notasection]\nbaseurl=file:///srv/n\n");
    readConf();
    const QString anyCharacter = "Identifier may hold only ASCII letters, digits and \"-_.:\"";
    const QString held = " (kept as the file holds it; dnf reads it otherwise)";
    auto* identifier = field<QLineEdit>("identifier");
    auto* name = field<QLineEdit>("name");
    auto* urls = field<PasswdTextEdit>("urls");
    auto* other = field<PasswdTextEdit>("other");
    auto* file = field<QLineEdit>("file");
    auto* ok = field<QPushButton>("ok");
    const QColor warning(Colors::warning());
    const QColor error(Colors::error());

    Repo::Entry bracket = *entry("x]y");
    EXPECT_EQ(run(bracket, [&] {
                  EXPECT_EQ(status(), anyCharacter + held);
                  EXPECT_EQ(statusColour(), warning);
                  identifier->setText("x]z");
                  EXPECT_EQ(status(), anyCharacter);
                  EXPECT_EQ(statusColour(), error);
                  ok->click();
                  EXPECT_TRUE(dialog->isVisible());
                  identifier->setText("x]y");
                  const QString own = file->text();
                  file->setText(tree.path(firstRepoDir() + "/other.repo"));
                  EXPECT_EQ(status(), anyCharacter);
                  ok->click();
                  EXPECT_TRUE(dialog->isVisible());
                  file->setText(own);
                  name->setText("Renamed");
                  EXPECT_EQ(status(), anyCharacter + held);
                  ok->click();
              }),
              QDialog::Accepted);
    EXPECT_EQ(bracket.id, "x]y");
    EXPECT_EQ(bracket.name, "Renamed");

    Repo::Entry named = *entry("named");
    EXPECT_EQ(run(named, [&] {
                  EXPECT_EQ(status(), "Name line 2 would begin a repository of its own" + held);
                  EXPECT_EQ(statusColour(), warning);
                  other->setRealPlainText("garbage");
                  EXPECT_EQ(status(),
                            "Other Options line 1 is neither an option (key=value) nor a comment");
                  ok->click();
                  EXPECT_TRUE(dialog->isVisible());
                  other->setRealPlainText("priority=5");
                  urls->setRealPlainText("file:///srv/m");
                  ok->click();
              }),
              QDialog::Accepted);
    EXPECT_EQ(named.name, "x\n [notasection]");
    EXPECT_EQ(named.baseurl, "file:///srv/m");
    EXPECT_EQ(named.other, "priority=5");
}
