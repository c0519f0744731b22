// The scrollable confirm and error dialogs and the text dialog: their
// answer for each button and for Escape, and their size against the screen.
#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

#include "foundation/scrollableconfirmdialog.h"
#include "foundation/scrollableerrordialog.h"
#include "foundation/textdialog.h"
#include "tests/foundation/qtprinters.h"

namespace {

QSize screenCap()
{
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    return QSize(screen.width() * 9 / 10, screen.height() * 9 / 10);
}

// Two thirds of the screen: where a window sized by Qt alone would stop.
QSize twoThirds()
{
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    return QSize(screen.width() * 2 / 3, screen.height() * 2 / 3);
}

// A line that the application font draws at least `width` pixels wide.
QString lineAtLeast(int width)
{
    const QFontMetrics metrics(QApplication::font());
    QString line = QStringLiteral("Error:");
    while (metrics.horizontalAdvance(line) < width)
        line += QStringLiteral(" package-1.0-1.x86_64");
    return line;
}

// Runs the dialog modally and acts on it once it is the active modal
// widget; returns exec()'s answer. A dialog that never shows, or stays
// open, is closed by the fallback so the test fails instead of hanging.
int runWith(QDialog& dialog, std::function<void(QDialog*)> act)
{
    bool acted = false;
    std::function<void()> poll;
    QElapsedTimer clock;
    clock.start();
    poll = [&]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == &dialog && dialog.isVisible()) {
            acted = true;
            act(&dialog);
            return;
        }
        if (clock.elapsed() > 5000) {
            ADD_FAILURE() << "dialog never became the active modal widget";
            dialog.done(-1);
            return;
        }
        QTimer::singleShot(10, poll);
    };
    QTimer::singleShot(0, poll);
    QTimer::singleShot(10000, &dialog, [&dialog]() {
        if (dialog.isVisible()) {
            ADD_FAILURE() << "dialog still open";
            dialog.done(-2);
        }
    });
    int answer = dialog.exec();
    EXPECT_TRUE(acted);
    return answer;
}

QPushButton* button(QDialog* dialog, const QString& text)
{
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

void click(QDialog* dialog, const QString& text)
{
    if (QPushButton* b = button(dialog, text))
        QTest::mouseClick(b, Qt::LeftButton);
}

void key(QDialog* dialog, Qt::Key k)
{
    QWidget* target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    QTest::keyClick(target, k);
}

QString lines(int count)
{
    QStringList text;
    for (int i = 0; i < count; ++i)
        text << QString("Installing package-%1-1.0-1.x86_64").arg(i);
    return text.join('\n');
}

} // namespace

TEST(ConfirmDialog, OkAnswersOne)
{
    ScrollableConfirmDialog dialog("Is this ok?", nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) { click(d, "OK"); }), 1);
}

TEST(ConfirmDialog, CancelAnswersZero)
{
    ScrollableConfirmDialog dialog("Is this ok?", nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) { click(d, "Cancel"); }), 0);
}

TEST(ConfirmDialog, EscapeAnswersZero)
{
    ScrollableConfirmDialog dialog("Is this ok?", nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) { key(d, Qt::Key_Escape); }), 0);
}

TEST(ConfirmDialog, ClosingTheWindowAnswersZero)
{
    ScrollableConfirmDialog dialog("Is this ok?", nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) { d->close(); }), 0);
}

TEST(ConfirmDialog, ReturnPressesOk)
{
    ScrollableConfirmDialog dialog("Is this ok?", nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) { key(d, Qt::Key_Return); }), 1);
}

TEST(ConfirmDialog, LongTextScrollsWithinTheScreen)
{
    ScrollableConfirmDialog dialog(lines(1000), nullptr);
    int answer = runWith(dialog, [](QDialog* d) {
        EXPECT_LE(d->height(), screenCap().height());
        EXPECT_LE(d->width(), screenCap().width());
        QScrollArea* area = d->findChild<QScrollArea*>();
        ASSERT_NE(area, nullptr);
        EXPECT_TRUE(area->verticalScrollBar()->isVisible());
        EXPECT_GT(area->verticalScrollBar()->maximum(), 0);
        click(d, "Cancel");
    });
    EXPECT_EQ(answer, 0);
}

TEST(ConfirmDialog, ShortTextOpensASmallDialogWithNothingToScroll)
{
    ScrollableConfirmDialog dialog(lines(2), nullptr);
    int answer = runWith(dialog, [](QDialog* d) {
        QScrollArea* area = d->findChild<QScrollArea*>();
        ASSERT_NE(area, nullptr);
        EXPECT_EQ(area->verticalScrollBar()->maximum(), 0);
        EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0);
        EXPECT_LT(d->height(), 12 * d->fontMetrics().height());
        click(d, "OK");
    });
    EXPECT_EQ(answer, 1);
}

// A message with a line wider than two thirds of the screen, and as many
// lines as fit in seven tenths of its height: it fits within nine tenths with
// the icon, the margins and the buttons.
QString roomyMessage()
{
    const QFontMetrics metrics(QApplication::font());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QStringList text;
    text << lineAtLeast(screen.width() * 7 / 10);
    while ((text.size() + 1) * metrics.height() < screen.height() * 7 / 10)
        text << QStringLiteral("line %1").arg(text.size());
    return text.join('\n');
}

// What the dialog shows of its text: the whole of it, without a bar to
// scroll, in a window larger than two thirds of the screen in both
// directions but within nine tenths.
void expectWholeTextShown(QDialog* d)
{
    QScrollArea* area = d->findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    QWidget* label = area->widget();
    ASSERT_NE(label, nullptr);
    EXPECT_GT(d->width(), twoThirds().width());
    EXPECT_GT(d->height(), twoThirds().height());
    EXPECT_LE(d->width(), screenCap().width());
    EXPECT_LE(d->height(), screenCap().height());
    EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(area->verticalScrollBar()->maximum(), 0);
    EXPECT_GE(area->viewport()->width(), label->sizeHint().width());
    EXPECT_GE(area->viewport()->height(), label->sizeHint().height());
}

// A text larger than the screen both ways: the dialog takes nine tenths of
// it exactly, and scrolls the rest.
void expectCappedAndScrolling(QDialog* d)
{
    QScrollArea* area = d->findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(d->size(), screenCap());
    EXPECT_GT(area->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(area->verticalScrollBar()->maximum(), 0);
}

QString hugeMessage()
{
    return lineAtLeast(2 * QGuiApplication::primaryScreen()->geometry().width()) + '\n' + lines(1000);
}

TEST(ConfirmDialog, OpensAsLargeAsItsTextNeedsBeyondTwoThirdsOfTheScreen)
{
    ScrollableConfirmDialog dialog(roomyMessage(), nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) {
                  expectWholeTextShown(d);
                  click(d, "OK");
              }),
              1);
}

TEST(ConfirmDialog, HugeTextIsCappedAtNineTenthsOfTheScreen)
{
    ScrollableConfirmDialog dialog(hugeMessage(), nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) {
                  expectCappedAndScrolling(d);
                  click(d, "Cancel");
              }),
              0);
}

TEST(ErrorDialog, OpensAsLargeAsItsTextNeedsBeyondTwoThirdsOfTheScreen)
{
    ScrollableErrorDialog dialog(roomyMessage(), nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) {
                  expectWholeTextShown(d);
                  click(d, "Close");
              }),
              1);
}

TEST(ErrorDialog, HugeTextIsCappedAtNineTenthsOfTheScreen)
{
    ScrollableErrorDialog dialog(hugeMessage(), nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) {
                  expectCappedAndScrolling(d);
                  click(d, "Close");
              }),
              1);
}

TEST(ErrorDialog, ShortTextOpensASmallDialog)
{
    ScrollableErrorDialog dialog("Error: it broke", nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) {
                  QScrollArea* area = d->findChild<QScrollArea*>();
                  ASSERT_NE(area, nullptr);
                  EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0);
                  EXPECT_EQ(area->verticalScrollBar()->maximum(), 0);
                  // No larger than the text, the icon and the button need.
                  EXPECT_EQ(d->size(), d->sizeHint());
                  EXPECT_LT(d->width(), twoThirds().width());
                  EXPECT_LT(d->height(), 12 * d->fontMetrics().height());
                  click(d, "Close");
              }),
              1);
}

TEST(ErrorDialog, CloseAnswersOne)
{
    ScrollableErrorDialog dialog("Error: it broke", nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) { click(d, "Close"); }), 1);
}

TEST(ErrorDialog, EscapeAnswersZero)
{
    ScrollableErrorDialog dialog("Error: it broke", nullptr);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) { key(d, Qt::Key_Escape); }), 0);
}

TEST(ErrorDialog, HasOnlyTheCloseButton)
{
    ScrollableErrorDialog dialog(lines(3), nullptr);
    EXPECT_EQ(dialog.findChildren<QPushButton*>().size(), 1);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) { key(d, Qt::Key_Return); }), 1);
}

TEST(TextViewer, CloseAnswersOneAndEscapeZero)
{
    TextDialog dialog(nullptr);
    dialog.setText("a\nb");
    EXPECT_EQ(runWith(dialog, [](QDialog* d) { click(d, "Close"); }), 1);
    EXPECT_EQ(runWith(dialog, [](QDialog* d) { key(d, Qt::Key_Escape); }), 0);
}

TEST(TextViewer, LongLinesStayUnbrokenAndTabMovesToClose)
{
    TextDialog dialog(nullptr);
    QString longLine = "/usr/share/doc/" + QString(400, QLatin1Char('x'));
    dialog.setText(longLine + "\nshort\tline");
    int answer = runWith(dialog, [&](QDialog* d) {
        QTextEdit* text = d->findChild<QTextEdit*>();
        ASSERT_NE(text, nullptr);
        EXPECT_TRUE(text->isReadOnly());
        EXPECT_EQ(text->document()->blockCount(), 2);
        EXPECT_EQ(text->document()->firstBlock().layout()->lineCount(), 1);
        EXPECT_GT(text->horizontalScrollBar()->maximum(), 0);
        text->setFocus();
        ASSERT_EQ(d->focusWidget(), text);
        QTest::keyClick(text, Qt::Key_Tab);
        EXPECT_EQ(text->toPlainText(), longLine + "\nshort\tline");
        EXPECT_EQ(d->focusWidget(), button(d, "Close"));
        key(d, Qt::Key_Escape);
    });
    EXPECT_EQ(answer, 0);
}
