// The masked line and text edits: what they show and hold; that keys,
// clicks, scrolling and input methods edit the real text where the user sees
// the edit; and, on X11 only (under Xvfb), that no clipboard, selection or
// drag ever carries the real password.
#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QDrag>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include "foundation/passwdlineedit.h"
#include "foundation/passwdtextedit.h"
#include "repos/kivrel.h"
#include "tests/foundation/qtprinters.h"

namespace {

QString url(const QString& password)
{
    return "http://host/kivrel?user=me&password=" + password + "&path=repo";
}

QString maskedUrl(const QString& password, const QWidget* edit)
{
    const QChar mask(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit));
    return url(QString(password.size(), mask));
}

// Both editors shown in a window, as the repository form holds them.
struct Form
{
    explicit Form(int width)
    {
        QVBoxLayout* layout = new QVBoxLayout(&window);
        layout->addWidget(line = new PasswdLineEdit(Repo::Kivrel::oneUrlRegExp(), &window));
        layout->addWidget(text = new PasswdTextEdit(Repo::Kivrel::urlsRegExp(), &window));
        window.resize(width, 300);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QApplication::setActiveWindow(&window);
    }

    QWidget window;
    PasswdLineEdit* line;
    PasswdTextEdit* text;
};

void send(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons held)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, at, target->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

void commit(QWidget* target, const QString& text)
{
    QInputMethodEvent e;
    e.setCommitString(text);
    QApplication::sendEvent(target, &e);
}

} // namespace

TEST(MaskedLineEdit, MasksTheWholeMatchOnlyAndTheFormReadsTheRealTextCurrent)
{
    Form form(600);
    PasswdLineEdit* edit = form.line;
    QSignalSpy real(edit, &PasswdLineEdit::realTextChanged);
    for (const QString& password : {QString("s3cret"), QString::fromUtf8("пароль"), QString()}) {
        edit->setRealText(url(password));
        EXPECT_EQ(edit->text(), maskedUrl(password, edit));
        EXPECT_EQ(edit->realText(), url(password));
    }
    EXPECT_EQ(real.count(), 3);

    // Typed, the URL stays clear until the whole of it matches. The form
    // reads the real text whenever the shown text changes.
    edit->setRealText("");
    QStringList readByForm;
    QObject::connect(edit, &QLineEdit::textChanged, [&]() { readByForm << edit->realText(); });
    const QString typed = url("pw");
    for (int i = 0; i < typed.size(); ++i) {
        QTest::keyClick(edit, typed[i].toLatin1());
        ASSERT_EQ(edit->realText(), typed.left(i + 1));
        const bool whole = i >= typed.indexOf("&path=") + 5;
        ASSERT_EQ(edit->text(), (whole ? maskedUrl("pw", edit) : typed).left(i + 1));
    }
    EXPECT_EQ(readByForm.last(), typed);
}

TEST(MaskedLineEdit, EditsLandWhereTheUserSeesThem)
{
    // Narrow, so that the edit scrolls its text as the cursor moves.
    Form form(160);
    PasswdLineEdit* edit = form.line;
    QString expected = url("s3cret") + "/and/a/longer/path";
    edit->setRealText(expected);

    // Tabbing into the edit selects all of it; typing replaces it all.
    edit->clearFocus();
    edit->setFocus(Qt::TabFocusReason);
    QTest::keyClick(edit, 'N');
    ASSERT_EQ(edit->realText(), QString("N"));

    // Shown scrolled to its end, a click near the left edge lands in the
    // middle of the text; deleting and typing act there.
    edit->setRealText(expected);
    edit->repaint();
    const int y = edit->height() / 2;
    QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, QPoint(8, y));
    const int at = edit->cursorPosition();
    ASSERT_GT(at, 10);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, 'X');
    ASSERT_EQ(edit->realText(), expected.replace(at - 1, 1, "X"));

    // A mouse selection replaced by an input method's commit (a dead key's
    // or a compose sequence's result).
    send(edit, QEvent::MouseButtonPress, QPoint(8, y), Qt::LeftButton);
    send(edit, QEvent::MouseMove, QPoint(40, y), Qt::LeftButton);
    send(edit, QEvent::MouseButtonRelease, QPoint(40, y), Qt::NoButton);
    ASSERT_TRUE(edit->hasSelectedText());
    const int from = edit->selectionStart();
    const int length = edit->selectedText().size();
    commit(edit, QString::fromUtf8("é"));
    EXPECT_EQ(edit->realText(), expected.replace(from, length, QString::fromUtf8("é")));
    EXPECT_EQ(edit->text().size(), expected.size());
}

TEST(MaskedTextEdit, MasksEverySegmentAndEditsTheLineShownAfterScrolling)
{
    Form form(500);
    PasswdTextEdit* edit = form.text;
    const QString unfinished = url("two").chopped(10);
    edit->setRealPlainText(url("one") + "\n" + url(QString::fromUtf8("пароль")) + "\n" + unfinished);
    EXPECT_EQ(edit->toPlainText(), maskedUrl("one", edit) + "\n" + maskedUrl("123456", edit) + "\n" + unfinished);
    // Completing a segment masks it at once.
    QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(edit, "&path");
    EXPECT_TRUE(edit->toPlainText().endsWith("two&path"));
    QTest::keyClick(edit, '=');
    EXPECT_TRUE(edit->toPlainText().endsWith(maskedUrl("two", edit).chopped(4)));

    // Scrolled by the wheel, then by the scroll bar: a click at the start
    // of the top line shown, typing, and an input method's text act on the
    // line the user sees.
    QStringList lines;
    for (int i = 0; i < 60; ++i)
        lines << url(QString("pw%1").arg(i));
    QString expected = lines.join('\n');
    edit->setRealPlainText(expected);
    QWidget* viewport = edit->viewport();
    const QPoint top(2, edit->fontMetrics().height() / 2);
    auto typeAtTop = [&](const QString& what) {
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, top);
        const int at = edit->textCursor().position();
        ASSERT_GT(edit->textCursor().blockNumber(), 0);
        commit(edit, what);
        ASSERT_EQ(edit->realPlainText(), expected.insert(at, what));
    };
    QWheelEvent wheel(top, viewport->mapToGlobal(top), QPoint(), QPoint(0, -360), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    typeAtTop(QString::fromUtf8("ü"));
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
    typeAtTop("S");
    EXPECT_FALSE(edit->toPlainText().contains("password=pw"));
}

TEST(MaskedEditors, OfferNoContextMenuAndRefuseDrops)
{
    Form form(400);
    form.line->setRealText(url("s3cret"));
    form.text->setRealPlainText(url("s3cret"));
    for (QWidget* target : {static_cast<QWidget*>(form.line), form.text->viewport()}) {
        const QPoint at(10, 10);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &menu);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        // Through the window, as the platform delivers a drag.
        QMimeData data;
        data.setText("dropped");
        QDragEnterEvent enter(target->mapTo(&form.window, at), Qt::CopyAction | Qt::MoveAction, &data,
                              Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.window.windowHandle(), &enter);
        EXPECT_FALSE(enter.isAccepted());
    }
}

// An edit that breaks a segment leaves a text the expression no longer
// matches: the password stays hidden until it is deleted. Mended, the URL
// shows as before, and a character typed at the password's end joins it. A
// URL longer than a line edit's default maximum is held whole.
TEST(MaskedEditors, APasswordStaysHiddenAfterAnEditBreaksItsSegment)
{
    Form form(600);
    PasswdLineEdit* edit = form.line;
    const QString real = url("s3cret");
    const int path = real.indexOf("&path=");
    edit->setRealText(real);
    edit->setCursorPosition(path + 6);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->displayText(), maskedUrl("s3cret", edit).remove(path + 5, 1));
    // The password's last character typed again right after it: the cursor
    // tells the new one from the old, and every old one stays hidden (no
    // pattern takes the broken segment's new character for a password).
    edit->setCursorPosition(path);
    QTest::keyClick(edit, 't');
    EXPECT_EQ(edit->displayText(), maskedUrl("s3cret", edit).remove(path + 5, 1).insert(path, 't'));
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->displayText(), maskedUrl("s3cret", edit).remove(path + 5, 1));
    edit->setCursorPosition(path + 5);
    QTest::keyClick(edit, '=');
    EXPECT_EQ(edit->displayText(), maskedUrl("s3cret", edit));
    edit->setCursorPosition(path + 1);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, '&');
    EXPECT_EQ(edit->displayText(), maskedUrl("s3cret", edit));
    edit->setCursorPosition(path);
    QTest::keyClick(edit, 'W');
    EXPECT_EQ(edit->displayText(), maskedUrl("s3cretW", edit));

    const QString longUrl = "http://host/" + QString(40000, 'x');
    edit->setRealText(longUrl);
    EXPECT_EQ(edit->realText().size(), longUrl.size());
    EXPECT_TRUE(edit->realText() == longUrl && edit->displayText() == longUrl);
}

// Only X11 has a selection: these run under Xvfb as their own ctest test.
class MaskedEditorsOnX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs X11: run as foundation.MaskedEditorsOnX11 under Xvfb";
        form.reset(new Form(900));
    }

    // Runs check on each editor, focused, given the widget its mouse events
    // go to and its real text.
    template <typename Check>
    void forEach(Check check)
    {
        form->line->setFocus();
        check(form->line, form->line, [this]() { return form->line->realText(); });
        form->text->setFocus();
        check(form->text, form->text->viewport(), [this]() { return form->text->realPlainText(); });
    }

    std::unique_ptr<Form> form;
};

TEST_F(MaskedEditorsOnX11, NeitherClipboardNorSelectionEverHoldsThePassword)
{
    QClipboard* clipboard = QApplication::clipboard();
    forEach([&](QWidget* edit, QWidget* mouse, auto real) {
        QTest::keyClicks(edit, url("s3cret"));
        const QString shown = maskedUrl("s3cret", edit);
        // Selecting with the mouse, and with Shift+End.
        const int y = mouse->fontMetrics().height() / 2 + 2;
        send(mouse, QEvent::MouseButtonPress, QPoint(2, y), Qt::LeftButton);
        send(mouse, QEvent::MouseMove, QPoint(mouse->width() - 2, y), Qt::LeftButton);
        send(mouse, QEvent::MouseButtonRelease, QPoint(mouse->width() - 2, y), Qt::NoButton);
        EXPECT_EQ(clipboard->text(QClipboard::Selection), shown);
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_End, Qt::ShiftModifier);
        EXPECT_EQ(clipboard->text(QClipboard::Selection), shown);
        for (const QKeySequence& keys : QKeySequence::keyBindings(QKeySequence::Copy)) {
            QTest::keySequence(edit, keys);
            EXPECT_EQ(clipboard->text(), shown) << keys.toString().toStdString();
        }
        // Cutting, or deleting to the end of the line, removes the real text.
        const QList<QKeySequence> cuts = QKeySequence::keyBindings(QKeySequence::Cut);
        for (const QKeySequence& keys : cuts + QKeySequence::keyBindings(QKeySequence::DeleteEndOfLine)) {
            QTest::keyClick(edit, Qt::Key_Home);
            if (cuts.contains(keys))
                QTest::keyClick(edit, Qt::Key_End, Qt::ShiftModifier);
            QTest::keySequence(edit, keys);
            EXPECT_EQ(real(), QString()) << keys.toString().toStdString();
            EXPECT_FALSE(clipboard->text().contains("s3cret") || clipboard->text(QClipboard::Selection).contains("s3cret"));
            QTest::keyClicks(edit, url("s3cret"));
        }
        // Paste lands in the real text where the user put the cursor.
        clipboard->setText("PASTED");
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_Right);
        QTest::keySequence(edit, QKeySequence::Paste);
        EXPECT_EQ(real(), url("s3cret").insert(1, "PASTED"));
    });
}

// A segment broken after it was typed: a mouse selection, Shift+End and Copy
// carry what the editor shows, the password hidden.
TEST_F(MaskedEditorsOnX11, ABrokenSegmentReachesNeitherClipboardNorSelection)
{
    QClipboard* clipboard = QApplication::clipboard();
    forEach([&](QWidget* edit, QWidget* mouse, auto real) {
        QTest::keyClicks(edit, url("s3cret"));
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(edit, Qt::Key_Left);
        QTest::keyClick(edit, Qt::Key_Backspace);
        ASSERT_EQ(real(), url("s3cret").remove("&path=").insert(url("s3cret").indexOf("&path="), "&path"));
        auto* line = qobject_cast<QLineEdit*>(edit);
        const QString shown = line ? line->displayText() : qobject_cast<QTextEdit*>(edit)->toPlainText();
        EXPECT_FALSE(shown.contains("s3cret")) << shown.toStdString();
        const int y = mouse->fontMetrics().height() / 2 + 2;
        send(mouse, QEvent::MouseButtonPress, QPoint(2, y), Qt::LeftButton);
        send(mouse, QEvent::MouseMove, QPoint(mouse->width() - 2, y), Qt::LeftButton);
        send(mouse, QEvent::MouseButtonRelease, QPoint(mouse->width() - 2, y), Qt::NoButton);
        EXPECT_EQ(clipboard->text(QClipboard::Selection), shown);
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_End, Qt::ShiftModifier);
        EXPECT_EQ(clipboard->text(QClipboard::Selection), shown);
        QTest::keySequence(edit, QKeySequence::Copy);
        EXPECT_EQ(clipboard->text(), shown);
    });
}

TEST_F(MaskedEditorsOnX11, NoDragLeavesAnEditor)
{
    // A drag runs its own event loop until the drop: look for one from
    // inside it, and end it.
    bool dragged = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&]() {
        if (!form->window.findChildren<QDrag*>().isEmpty()) {
            dragged = true;
            QDrag::cancel();
        }
    });
    watch.start(50);
    forEach([&](QWidget* edit, QWidget* mouse, auto real) {
        QTest::keyClicks(edit, url("s3cret"));
        QTest::keySequence(edit, QKeySequence::SelectAll);
        const QPoint inside(mouse->fontMetrics().horizontalAdvance("http://h"), mouse->fontMetrics().height() / 2 + 2);
        send(mouse, QEvent::MouseButtonPress, inside, Qt::LeftButton);
        for (int step = 1; step <= 5; ++step)
            send(mouse, QEvent::MouseMove, inside + QPoint(20, 40) * step, Qt::LeftButton);
        send(mouse, QEvent::MouseButtonRelease, inside + QPoint(100, 200), Qt::NoButton);
        QTest::qWait(100);
        EXPECT_FALSE(dragged) << edit->metaObject()->className();
        EXPECT_EQ(real(), url("s3cret"));
    });
}
