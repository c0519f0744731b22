// The scrollable confirm and error dialogs and the text dialog: their
// answer for each button and for Escape, and their size against the screen.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

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

// Both dialogs open as large as their text needs, beyond the two thirds of
// the screen where a window sized by Qt alone would stop, up to nine tenths;
// a short text gives a small dialog.
TEST(ScrollableDialogs, OpenAsLargeAsTheirTextNeedsUpToNineTenthsOfTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize twoThirds(screen.width() * 2 / 3, screen.height() * 2 / 3);
    const QFontMetrics metrics(QApplication::font());
    const auto lineAtLeast = [&](int width) {
        QString line = QStringLiteral("Error:");
        while (metrics.horizontalAdvance(line) < width)
            line += QStringLiteral(" package-1.0-1.x86_64");
        return line;
    };
    // A line wider than two thirds of the screen, and as many lines as fit in
    // seven tenths of its height: with the icon, the margins and the buttons
    // it fits within nine tenths.
    QStringList roomy({lineAtLeast(screen.width() * 7 / 10)});
    while ((roomy.size() + 1) * metrics.height() < screen.height() * 7 / 10)
        roomy << QStringLiteral("line %1").arg(roomy.size());
    enum Fit { Small, Whole, Capped };
    const struct
    {
        const char* name;
        QString text;
        Fit fit;
    } texts[] = {
        {"short", "Error: it broke", Small},
        {"roomy", roomy.join('\n'), Whole},
        {"larger than the screen", lineAtLeast(2 * screen.width()) + '\n' + lines(1000), Capped},
    };
    for (const bool confirm : {true, false}) {
        for (const auto& t : texts) {
            SCOPED_TRACE(std::string(confirm ? "confirm, " : "error, ") + t.name);
            std::unique_ptr<QDialog> dialog;
            if (confirm)
                dialog = std::make_unique<ScrollableConfirmDialog>(t.text, nullptr);
            else
                dialog = std::make_unique<ScrollableErrorDialog>(t.text, nullptr);
            const auto checkAndClose = [&](QDialog* d) {
                QScrollArea* area = d->findChild<QScrollArea*>();
                ASSERT_NE(area, nullptr);
                const int horizontal = area->horizontalScrollBar()->maximum();
                const int vertical = area->verticalScrollBar()->maximum();
                if (t.fit == Capped) {
                    EXPECT_EQ(d->size(), screenCap());
                    EXPECT_GT(horizontal, 0);
                    EXPECT_GT(vertical, 0);
                } else {
                    EXPECT_EQ(horizontal, 0);
                    EXPECT_EQ(vertical, 0);
                }
                if (t.fit == Small) {
                    // No larger than the text, the icon and the buttons need.
                    EXPECT_EQ(d->size(), d->sizeHint());
                    EXPECT_LT(d->width(), twoThirds.width());
                    EXPECT_LT(d->height(), 12 * d->fontMetrics().height());
                } else if (t.fit == Whole) {
                    EXPECT_GT(d->width(), twoThirds.width());
                    EXPECT_GT(d->height(), twoThirds.height());
                    EXPECT_LE(d->width(), screenCap().width());
                    EXPECT_LE(d->height(), screenCap().height());
                    const QSize needed = area->widget()->sizeHint();
                    EXPECT_GE(area->viewport()->width(), needed.width());
                    EXPECT_GE(area->viewport()->height(), needed.height());
                }
                click(d, confirm ? "OK" : "Close");
            };
            EXPECT_EQ(runWith(*dialog, checkAndClose), 1);
        }
    }
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
