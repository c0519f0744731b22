// The log window over an engine of its own (no interpreter): layout, hiding
// and showing, threshold, colours and shapes, lines drawn exactly as written,
// from a worker, in re-entered drawings and in steps; and the main window's
// road to it. The interpreter's header (through the engine's) comes first.
#include "engine/yumio.h"

#include <iterator>
#include <memory>

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QStringList>
#include <QTest>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QThread>

#include "app/logwindow.h"
#include "foundation/colors.h"
#include "foundation/htextedit.h"
#include "tests/app/mainwindow_test.h"
#include "tests/foundation/qtprinters.h"

class LogWindowTestAccess
{
public:
    static int& stepLines(Log::Window& w) { return w.stepLines; }
    static bool stepPending(Log::Window& w) { return w.more->isActive(); }
    static int& maxLines(Log::Window& w) { return w.maxLines; }
    // The paragraphs the window counts, the mark of earlier lines aside.
    static int countedParagraphs(Log::Window& w) { return int(w.blockLines.size()); }
    static bool marksEarlierLines(Log::Window& w) { return w.earlier > 0; }
};

namespace
{

using MainWindowTesting::waitFor;

class LogWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(text, nullptr);
        ASSERT_NE(level, nullptr);
    }

    void TearDown() override
    {
        window.reset();
        io->clearEntriesBeforeQuit();
    }

    // A drawn line: its text, the character format it starts with and
    // its paragraph's heading level.
    struct Line
    {
        QString text;
        QTextCharFormat format;
        int headingLevel;
    };

    // The drawn lines in order: the paragraphs' lines, each paragraph's
    // split at its line breaks.
    QList<Line> drawnLines() const
    {
        QList<Line> lines;
        if (text->document()->isEmpty())
            return lines;
        for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next()) {
            int offset = 0;
            for (const QString& part : block.text().split(QChar(QChar::LineSeparator))) {
                QTextCharFormat format;
                const int position = block.position() + offset;
                for (QTextBlock::iterator i = block.begin(); !i.atEnd(); ++i) {
                    if (!part.isEmpty() && i.fragment().contains(position))
                        format = i.fragment().charFormat();
                }
                lines << Line{part, format, block.blockFormat().headingLevel()};
                offset += part.size() + 1;
            }
        }
        return lines;
    }

    // The drawn lines' texts.
    QStringList drawn() const
    {
        QStringList texts;
        for (const Line& line : drawnLines())
            texts << line.text;
        return texts;
    }

    // Lines stand without spacing, as in a terminal.
    void expectNoSpacing() const
    {
        for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next()) {
            EXPECT_EQ(block.blockFormat().topMargin(), 0.0) << block.text().toStdString();
            EXPECT_EQ(block.blockFormat().bottomMargin(), 0.0) << block.text().toStdString();
        }
    }

    // The window's count of its paragraphs, by which it removes the oldest,
    // is the text's.
    void expectParagraphsCounted() const
    {
        if (text->document()->isEmpty())
            return;
        EXPECT_EQ(text->document()->blockCount(),
                  LogWindowTestAccess::countedParagraphs(*window) +
                      (LogWindowTestAccess::marksEarlierLines(*window) ? 1 : 0));
    }

    bool stepsDone() const
    {
        return waitFor([this] { return !LogWindowTestAccess::stepPending(*window); }, 5000);
    }

    std::unique_ptr<YumIO> io = std::make_unique<YumIO>();
    std::unique_ptr<Log::Window> window = std::make_unique<Log::Window>(io->logList, nullptr);
    HTextEdit* text = window->findChild<HTextEdit*>();
    QSpinBox* level = window->findChild<QSpinBox*>();
};

}

TEST_F(LogWindowTest, IsATopLevelWindowWithItsThresholdAndCloseButton)
{
    EXPECT_EQ(window->QObject::parent(), nullptr);
    EXPECT_TRUE(window->isWindow());
    EXPECT_EQ(window->windowTitle(), "KUV Log");
    EXPECT_EQ(level->minimum(), 0);
    EXPECT_EQ(level->maximum(), 10);
    EXPECT_EQ(level->value(), 2);
    EXPECT_EQ(level->toolTip(),
              "Threshold beyond which more detailed log messages are omitted.\n"
              "Higher levels show more detail.\nThe valid range is 0 .. 10.\nThe default is 2.\n"
              "Higher levels contain debug information.\n"
              "This corresponds to yum's debuglevel (-d) option.");
    QLabel* label = window->findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Detail level");
    QPushButton* close = window->findChild<QPushButton*>();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), "&Close");
    EXPECT_EQ(close->toolTip(), "Close the Log Window");
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->lineWrapMode(), QTextEdit::NoWrap);
    EXPECT_TRUE(text->tabChangesFocus());
}

// Built over a list that already holds lines, it draws none until shown.
// Closed (its button, Escape or hide) it holds no text and draws nothing;
// shown again it draws the whole list and scrolls to the end.
TEST_F(LogWindowTest, HiddenItHoldsNoTextAndShownAgainItDrawsAllAndScrollsToTheEnd)
{
    for (int i = 0; i < 300; ++i)
        io->log(Log::Info, 0, QStringLiteral("line %1").arg(i));
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(drawn().isEmpty());
    window->show();
    ASSERT_EQ(drawn().size(), 300);
    EXPECT_EQ(drawn().first(), "line 0");

    window->findChild<QPushButton*>()->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(text->document()->isEmpty());
    window->show();
    EXPECT_EQ(drawn().size(), 300);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(text->document()->isEmpty());
    io->log(Log::Warning, 0, "while hidden");
    level->setValue(3);
    EXPECT_TRUE(text->document()->isEmpty());

    window->show();
    QApplication::processEvents();
    const QStringList again = drawn();
    ASSERT_EQ(again.size(), 301);
    EXPECT_EQ(again.first(), "line 0");
    EXPECT_EQ(again.last(), "while hidden");
    QScrollBar* bar = text->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    // A hide and a show that change nothing leave the text alone.
    window->show();
    EXPECT_EQ(drawn().size(), 301);
    window->hide();
    window->hide();
    EXPECT_TRUE(text->document()->isEmpty());
}

TEST_F(LogWindowTest, ThresholdOmitsMoreDetailedEntriesAndAChangeDrawsAllAgain)
{
    for (unsigned int detail = 0; detail <= 4; ++detail)
        io->log(Log::Info, detail, QStringLiteral("level %1").arg(detail));
    window->show();
    EXPECT_EQ(drawn(), QStringList({"level 0", "level 1", "level 2"}));

    // Skipped entries count as examined: a later line alone is drawn.
    io->log(Log::Info, 1, "later");
    EXPECT_EQ(drawn(), QStringList({"level 0", "level 1", "level 2", "later"}));
    level->setValue(4);
    EXPECT_EQ(drawn(), QStringList({"level 0", "level 1", "level 2", "level 3", "level 4", "later"}));
    level->setValue(0);
    EXPECT_EQ(drawn(), QStringList({"level 0"}));

    // A signal with nothing new draws nothing and lets no event through.
    bool ran = false;
    QMetaObject::invokeMethod(qApp, [&ran] { ran = true; }, Qt::QueuedConnection);
    io->logList.emitAppended();
    EXPECT_FALSE(ran);
    EXPECT_EQ(drawn(), QStringList({"level 0"}));
    QApplication::processEvents();
    EXPECT_TRUE(ran);
}

TEST_F(LogWindowTest, EachKindHasItsColourAndHeadlinesAreHeadings)
{
    const QColor own;
    const struct
    {
        Log::Kind kind;
        unsigned int detail;
        const char* line;
        QColor colour;
    } cases[] = {
        {Log::Action, 0, "Collecting", QColor("blue")},
        {Log::Info, 0, "info", own},
        {Log::Info, 9, "info nine", own},
        {Log::Info, 10, "info ten", QColor("#8b5a2b")},
        {Log::Output, 0, "output", QColor("green")},
        {Log::Warning, 0, "warning", QColor("darkorange")},
        {Log::Error, 0, "error", QColor("red")},
        {Log::Action, 0, "Initialization", QColor("blue")},
        {Log::Kind(7), 0, "unknown kind", QColor("red")},
        // Logged once shown: a headline that starts a later drawing.
        {Log::Action, 0, "Applying", QColor("blue")},
    };
    level->setValue(10);
    QStringList lines;
    for (const auto& c : cases) {
        if (lines.size() == int(std::size(cases)) - 1)
            window->show();
        io->log(c.kind, c.detail, c.line);
        lines << c.line;
    }
    ASSERT_EQ(drawn(), lines);

    const QList<Line> drawnCases = drawnLines();
    ASSERT_EQ(drawnCases.size(), int(std::size(cases)));
    for (int i = 0; i < drawnCases.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.line);
        // The text's own colour sets no foreground.
        const QTextCharFormat format = drawnCases[i].format;
        EXPECT_EQ(format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color() : own,
                  c.colour);
        EXPECT_EQ(drawnCases[i].headingLevel, c.kind == Log::Action ? 2 : 0);
        if (c.kind == Log::Action) {
            EXPECT_TRUE(format.font().bold());
            EXPECT_GT(QFontInfo(format.font()).pixelSize(), QFontInfo(text->font()).pixelSize());
        }
    }
    expectNoSpacing();
}

TEST_F(LogWindowTest, LinesAreDrawnExactlyAsWritten)
{
    const QStringList lines = {
        "",
        "if a < b && c > d",
        "a reference &lt; stays a reference, &amp; too, &#x0020; as well",
        "<b>not bold</b> <font color=\"red\">not red</font>",
        "two  blanks,   three, and a\ttab",
        "  leading and trailing  ",
        "",
        "\tName\t\tVersion",
    };
    for (const QString& line : lines)
        io->log(Log::Output, 0, line);
    window->show();
    EXPECT_EQ(drawn(), lines);

    // Later drawings that begin with an empty line or with blanks.
    io->writeStdout("\n  x  \n");
    io->writeStdout("   indented\n\n");
    EXPECT_EQ(drawn(), lines + QStringList({"", "  x  ", "   indented", ""}));

    // An empty line alone between two headlines, and lines enough to fill
    // several paragraphs, in one drawing.
    io->log(Log::Action, 0, "first");
    io->log(Log::Output, 0, "");
    io->log(Log::Action, 0, "second");
    io->log(Log::Output, 0, "");
    io->log(Log::Output, 0, "");
    io->log(Log::Action, 0, "third");
    QStringList many;
    for (int i = 0; i < 150; ++i)
        many << (i % 7 == 0 ? QString() : QStringLiteral("many %1").arg(i));
    io->writeStdout(many.join('\n') + '\n');
    window->hide();
    window->show();
    EXPECT_EQ(drawn(), lines + QStringList({"", "  x  ", "   indented", "", "first", "", "second", "", "", "third"}) +
                           many);
    expectParagraphsCounted();
    // The run-on lines share paragraphs of at most 64 lines.
    int manyParagraphs = 0;
    for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next())
        manyParagraphs += block.text().contains("many 1") ? 1 : 0;
    EXPECT_EQ(manyParagraphs, 3);

    QString protectedText = "&lt; <x>\t ";
    Log::Window::htmlProtect(protectedText);
    EXPECT_EQ(protectedText, "&amp;lt;&#x0020;&lt;x&gt;&#x0009;&#x0020;");
}

TEST_F(LogWindowTest, LinesFromAWorkerAreDrawnOnceEach)
{
    window->show();
    QStringList expected;
    for (int i = 0; i < 200; ++i)
        expected << QStringLiteral("worker %1").arg(i);
    std::unique_ptr<QThread> worker(QThread::create([&] {
        for (const QString& line : expected)
            io->writeStdout(line + '\n');
    }));
    worker->start();
    ASSERT_TRUE(waitFor([&] { return worker->isFinished() && drawn().size() == 200; }, 20000))
        << drawn().size();
    QApplication::processEvents();
    EXPECT_EQ(drawn(), expected);
}

// The window lets events through after drawing. Among them: a check that
// neither the list's mutex nor the engine's stream lock is held (the
// worker's write needs the latter), a worker's line, and a line logged in
// the GUI thread, whose signal re-enters the drawing. Every line is drawn
// once, in the list's order.
TEST_F(LogWindowTest, EventsAfterADrawingRunUnlockedAndAReEnteredDrawingDrawsNothingTwice)
{
    window->show();
    bool ran = false;
    bool listFree = false;
    bool streamFree = false;
    std::unique_ptr<QThread> worker(QThread::create([&] { io->writeStdout("from a worker\n"); }));
    QMetaObject::invokeMethod(qApp, [&] {
        ran = true;
        listFree = io->logList.tryLock();
        if (!listFree)
            return;
        io->logList.unlock();
        worker->start();
        streamFree = worker->wait(5000);
        if (streamFree)
            io->log(Log::Info, 0, "nested");
    }, Qt::QueuedConnection);
    io->writeStdout("first\nsecond\n");
    worker->wait();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(listFree);
    EXPECT_TRUE(streamFree);
    QApplication::processEvents();
    QApplication::processEvents();
    const QStringList expected({"first", "second", "from a worker", "nested"});
    EXPECT_EQ(drawn(), expected);

    // The window's own signals queued meanwhile find nothing new.
    io->logList.emitAppended();
    QApplication::processEvents();
    EXPECT_EQ(drawn(), expected);
}

// A long log is drawn a step at a time from the event loop; every step
// continues where the last one ended, across skipped entries, headlines and
// empty lines, and new lines wait for the pending step.
TEST_F(LogWindowTest, ALongLogIsDrawnInStepsEachLineOnceInOrder)
{
    LogWindowTestAccess::stepLines(*window) = 3;
    QStringList expected;
    QList<int> headingLevels;
    for (int i = 0; i < 20; ++i) {
        const Log::Kind kind = i % 3 == 1 ? Log::Action : Log::Info;
        const unsigned int detail = i % 4 == 3 ? 5 : 0;
        const QString line = i % 5 == 4 ? QString() : QStringLiteral("line %1").arg(i);
        io->log(kind, detail, line);
        if (detail <= 2) {
            expected << line;
            headingLevels << (kind == Log::Action ? 2 : 0);
        }
    }
    ASSERT_EQ(headingLevels.count(2), 5);
    window->show();
    EXPECT_EQ(drawn(), expected.mid(0, 3));
    EXPECT_TRUE(LogWindowTestAccess::stepPending(*window));
    io->log(Log::Warning, 0, "new");
    expected << "new";
    ASSERT_TRUE(stepsDone());
    EXPECT_EQ(drawn(), expected);
    const QList<Line> lines = drawnLines();
    for (int i = 0; i < headingLevels.size() && i < lines.size(); ++i)
        EXPECT_EQ(lines[i].headingLevel, headingLevels[i]) << lines[i].text.toStdString();
    expectNoSpacing();
    QScrollBar* bar = text->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());

    // A burst in one batch is drawn in steps too.
    QStringList burst;
    for (int i = 0; i < 10; ++i)
        burst << QStringLiteral("burst %1").arg(i);
    io->writeStdout(burst.join('\n') + '\n');
    expected << burst;
    ASSERT_TRUE(stepsDone());
    EXPECT_EQ(drawn(), expected);

    // A hide in the middle of a drawing ends it, and a change of threshold
    // starts it again from the first entry.
    level->setValue(5);
    EXPECT_TRUE(LogWindowTestAccess::stepPending(*window));
    level->setValue(2);
    window->hide();
    QApplication::processEvents();
    EXPECT_FALSE(LogWindowTestAccess::stepPending(*window));
    EXPECT_TRUE(text->document()->isEmpty());
    window->show();
    ASSERT_TRUE(stepsDone());
    EXPECT_EQ(drawn(), expected);
}

// Of a line longer than the window draws, its start and how much more the
// log holds; of a log longer than the window keeps, its newest lines below
// how many earlier ones there are. Nothing leaves the log.
TEST_F(LogWindowTest, WhatIsTooLongToDrawIsCountedInAMarkAndStaysInTheLog)
{
    const int longLength = Log::Window::maxLineCharacters + 12345;
    QString longLine;
    for (int i = 0; longLine.size() < longLength; ++i)
        longLine += QStringLiteral("%1 ").arg(i);
    longLine.truncate(longLength);
    window->show();
    io->writeStdout("before\n" + longLine + "\nafter\n");
    ASSERT_TRUE(stepsDone());
    const QList<Line> lines = drawnLines();
    ASSERT_EQ(lines.size(), 3);
    const QString mark = QStringLiteral(" [%L1 more characters not shown]").arg(12345);
    EXPECT_EQ(lines[1].text, longLine.left(Log::Window::maxLineCharacters) + mark);
    EXPECT_EQ(lines[2].text, "after");
    const QTextBlock block = text->document()->begin();
    const int markAt = block.position() + block.text().indexOf(mark);
    QColor markColor;
    for (QTextBlock::iterator i = block.begin(); !i.atEnd(); ++i) {
        if (i.fragment().contains(markAt))
            markColor = i.fragment().charFormat().foreground().color();
    }
    EXPECT_EQ(markColor, QColor(Colors::minor()));
    EXPECT_EQ(io->logList.at(1).text, longLine);

    // A window that keeps 200 lines, over 1,000 more: the newest are drawn
    // in order below the count of the rest, while following and on a show.
    LogWindowTestAccess::maxLines(*window) = 200;
    QStringList numbered;
    for (int i = 0; i < 1000; ++i)
        numbered << QStringLiteral("numbered %1").arg(i);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        if (round == 0) {
            io->writeStdout(numbered.join('\n') + '\n');
        } else {
            window->hide();
            window->show();
        }
        ASSERT_TRUE(stepsDone());
        const QStringList texts = drawn();
        ASSERT_GE(texts.size(), 2);
        EXPECT_LE(texts.size(), 201);
        const QRegularExpression count(QStringLiteral("^\\[([0-9]+) earlier lines are not shown here\\]$"));
        const QRegularExpressionMatch match = count.match(texts.first());
        ASSERT_TRUE(match.hasMatch()) << texts.first().toStdString();
        EXPECT_EQ(match.captured(1).toInt() + texts.size() - 1, 1003);
        EXPECT_EQ(texts.mid(1), numbered.mid(numbered.size() - (texts.size() - 1)));
        EXPECT_EQ(text->document()->begin().charFormat().foreground().color(), QColor(Colors::minor()));
        expectNoSpacing();
        expectParagraphsCounted();
        QScrollBar* bar = text->verticalScrollBar();
        EXPECT_EQ(bar->value(), bar->maximum());
    }
    EXPECT_EQ(io->logList.lockedCount(), 1003);
}

TEST(LogWindowRoad, WindowsLogOpensTheLogWindowAndQuitHidesIt)
{
    MainWindow window;
    MainWindowTestAccess::skipInitialize(window);
    window.show();
    window.setReady(true);
    YumIO* engine = MainWindowTestAccess::yumIO(window);
    engine->log(Log::Action, 0, "Initialization");
    QAction* logAction = MainWindowTesting::entry(MainWindowTesting::menus(window)[1], "&Log");
    ASSERT_NE(logAction, nullptr);
    logAction->trigger();
    Log::Window* logWindow = MainWindowTestAccess::logWindow(window);
    ASSERT_NE(logWindow, nullptr);
    EXPECT_TRUE(logWindow->isVisible());
    EXPECT_EQ(logWindow->QObject::parent(), nullptr);
    HTextEdit* text = logWindow->findChild<HTextEdit*>();
    EXPECT_EQ(text->toPlainText(), "Initialization");

    // Closed and opened again: the same window, drawn anew.
    logWindow->hide();
    engine->log(Log::Info, 0, "more");
    logAction->trigger();
    EXPECT_EQ(MainWindowTestAccess::logWindow(window), logWindow);
    EXPECT_EQ(text->toPlainText(), "Initialization\nmore");

    MainWindowTestAccess::quit(window);
    EXPECT_FALSE(logWindow->isVisible());
    EXPECT_TRUE(text->document()->isEmpty());
    delete logWindow;
}
