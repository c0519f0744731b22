// The log window over an engine of its own (no interpreter): its layout, the
// detail threshold, the colour and shape of each kind, lines drawn exactly
// as written, hiding and showing, lines from a worker, drawings re-entered
// from the events the window lets through, a long log drawn in steps; and
// the main window's road to it.
//
// The interpreter's header (through the engine's) comes before the C++
// library's.
#include "engine/yumio.h"

#include <functional>
#include <memory>
#include <utility>

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QFontInfo>
#include <QLabel>
#include <QMutexLocker>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStringList>
#include <QTest>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QThread>

#include "app/logwindow.h"
#include "foundation/htextedit.h"
#include "tests/app/mainwindow_test.h"
#include "tests/foundation/qtprinters.h"

class LogWindowTestAccess
{
public:
    static int& stepLines(Log::Window& w) { return w.stepLines; }
    static bool stepPending(Log::Window& w) { return w.more->isActive(); }
};

namespace
{

class LogWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        io = std::make_unique<YumIO>();
        window = std::make_unique<Log::Window>(io->logList, nullptr);
        text = window->findChild<HTextEdit*>();
        level = window->findChild<QSpinBox*>();
        ASSERT_NE(text, nullptr);
        ASSERT_NE(level, nullptr);
    }

    void TearDown() override
    {
        window.reset();
        io->clearEntriesBeforeQuit();
        io.reset();
    }

    // The drawn lines, one per paragraph.
    QStringList drawn() const
    {
        QStringList lines;
        if (text->document()->isEmpty())
            return lines;
        for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next())
            lines << block.text();
        return lines;
    }

    QTextBlock blockOf(const QString& line) const
    {
        for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next()) {
            if (block.text() == line)
                return block;
        }
        return QTextBlock();
    }

    // The colour a drawn line is written in; invalid for the text's own.
    QColor colorOf(const QString& line) const
    {
        QTextBlock block = blockOf(line);
        if (!block.isValid() || !block.begin().fragment().isValid())
            return QColor();
        const QTextCharFormat format = block.begin().fragment().charFormat();
        return format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color()
                                                                 : QColor();
    }

    std::unique_ptr<YumIO> io;
    std::unique_ptr<Log::Window> window;
    HTextEdit* text = nullptr;
    QSpinBox* level = nullptr;
};

// Runs a body on a thread of its own.
class BodyThread : public QThread
{
public:
    explicit BodyThread(std::function<void()> body) : body(std::move(body)) {}

protected:
    void run() override { body(); }

private:
    std::function<void()> body;
};

}

TEST_F(LogWindowTest, IsATopLevelWindowWithItsThresholdAndCloseButton)
{
    EXPECT_EQ(window->QObject::parent(), nullptr);
    EXPECT_TRUE(window->isWindow());
    EXPECT_FALSE(window->isVisible());
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

    // Built over a list that already holds lines, it draws none of them
    // until it is shown.
    io->log(Log::Info, 0, "before the window");
    EXPECT_TRUE(drawn().isEmpty());
    window->show();
    EXPECT_EQ(drawn(), QStringList({"before the window"}));
    close->click();
    EXPECT_FALSE(window->isVisible());
    window->show();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
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
    level->setValue(10);
    io->log(Log::Action, 0, "Collecting");
    io->log(Log::Info, 0, "info");
    io->log(Log::Info, 9, "info nine");
    io->log(Log::Info, 10, "info ten");
    io->writeStdout("output\n");
    io->log(Log::Warning, 0, "warning");
    {
        QMutexLocker locker(&io->logList);
        io->logList.append(Log::Entry(Log::Error, 0, "error"));
        io->logList.append(Log::Entry(Log::Action, 0, "Initialization"));
        io->logList.append(Log::Entry(Log::Kind(7), 0, "unknown kind"));
    }
    window->show();
    // A headline that starts a later drawing is a heading as well.
    io->log(Log::Action, 0, "Applying");
    ASSERT_EQ(drawn(), QStringList({"Collecting", "info", "info nine", "info ten", "output", "warning",
                                    "error", "Initialization", "unknown kind", "Applying"}));

    EXPECT_FALSE(colorOf("info").isValid());
    EXPECT_FALSE(colorOf("info nine").isValid());
    EXPECT_EQ(colorOf("info ten"), QColor("#8b5a2b"));
    EXPECT_EQ(colorOf("output"), QColor("green"));
    EXPECT_EQ(colorOf("warning"), QColor("darkorange"));
    EXPECT_EQ(colorOf("error"), QColor("red"));
    EXPECT_EQ(colorOf("Initialization"), QColor("blue"));
    EXPECT_EQ(colorOf("unknown kind"), QColor("red"));

    for (const char* headline : {"Collecting", "Initialization", "Applying"}) {
        EXPECT_EQ(blockOf(headline).blockFormat().headingLevel(), 2) << headline;
        EXPECT_EQ(colorOf(headline), QColor("blue")) << headline;
        const QFont font = blockOf(headline).begin().fragment().charFormat().font();
        EXPECT_TRUE(font.bold()) << headline;
        EXPECT_GT(QFontInfo(font).pixelSize(), QFontInfo(text->font()).pixelSize()) << headline;
    }
    EXPECT_EQ(blockOf("info").blockFormat().headingLevel(), 0);
    // Lines stand without spacing, as in a terminal.
    for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next()) {
        EXPECT_EQ(block.blockFormat().topMargin(), 0.0) << block.text().toStdString();
        EXPECT_EQ(block.blockFormat().bottomMargin(), 0.0) << block.text().toStdString();
    }
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

    QString protectedText = "&lt; <x>\t ";
    Log::Window::htmlProtect(protectedText);
    EXPECT_EQ(protectedText, "&amp;lt;&#x0020;&lt;x&gt;&#x0009;&#x0020;");
}

TEST_F(LogWindowTest, HiddenItHoldsNoTextAndShownAgainItDrawsAllAndScrollsToTheEnd)
{
    for (int i = 0; i < 300; ++i)
        io->log(Log::Info, 0, QStringLiteral("line %1").arg(i));
    window->show();
    ASSERT_EQ(drawn().size(), 300);
    EXPECT_EQ(drawn().first(), "line 0");

    window->hide();
    EXPECT_TRUE(text->document()->isEmpty());
    // Lines logged while hidden are not drawn, and neither is a change of
    // threshold.
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

TEST_F(LogWindowTest, LinesFromAWorkerAreDrawnOnceEach)
{
    window->show();
    BodyThread worker([this] {
        for (int i = 0; i < 200; ++i)
            io->writeStdout(QStringLiteral("worker %1\n").arg(i));
    });
    worker.start();
    ASSERT_TRUE(MainWindowTesting::waitFor([&] { return worker.isFinished() && drawn().size() == 200; },
                                           20000))
        << drawn().size();
    QApplication::processEvents();
    const QStringList lines = drawn();
    ASSERT_EQ(lines.size(), 200);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(lines[i], QStringLiteral("worker %1").arg(i));
}

// The window lets events through after drawing. Among them: a check that
// neither the list's mutex nor the engine's stream lock is held, a worker's
// line, and a line logged in the GUI thread, whose signal re-enters the
// drawing. Every line is drawn once, in the list's order.
TEST_F(LogWindowTest, EventsAfterADrawingRunUnlockedAndAReEnteredDrawingDrawsNothingTwice)
{
    window->show();
    bool ran = false;
    bool listFree = false;
    bool streamFree = false;
    // The worker's write needs the engine's stream lock; it finishes while
    // the GUI thread waits only if nobody holds that lock. Were it held, the
    // worker would finish once the GUI thread's write let go of it.
    BodyThread worker([this] { io->writeStdout("from a worker\n"); });
    QMetaObject::invokeMethod(qApp, [&] {
        ran = true;
        listFree = io->logList.tryLock();
        if (!listFree)
            return;
        io->logList.unlock();
        worker.start();
        streamFree = worker.wait(5000);
        if (!streamFree)
            return;
        // Delivered directly: a drawing inside the drawing.
        io->log(Log::Info, 0, "nested");
    }, Qt::QueuedConnection);
    io->writeStdout("first\nsecond\n");
    worker.wait();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(listFree);
    EXPECT_TRUE(streamFree);
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(drawn(), QStringList({"first", "second", "from a worker", "nested"}));

    // The window's own signals queued from a worker meanwhile find nothing
    // new and draw nothing.
    io->logList.emitAppended();
    QApplication::processEvents();
    EXPECT_EQ(drawn(), QStringList({"first", "second", "from a worker", "nested"}));
}

// A long log is drawn a step at a time from the event loop; every step
// continues where the last one ended, across skipped entries, headlines and
// empty lines, and new lines wait for the pending step.
TEST_F(LogWindowTest, ALongLogIsDrawnInStepsEachLineOnceInOrder)
{
    LogWindowTestAccess::stepLines(*window) = 3;
    QStringList expected;
    QStringList headlines;
    for (int i = 0; i < 20; ++i) {
        const Log::Kind kind = i % 3 == 1 ? Log::Action : Log::Info;
        const unsigned int detail = i % 4 == 3 ? 5 : 0;
        const QString line = i % 5 == 4 ? QString() : QStringLiteral("line %1").arg(i);
        io->log(kind, detail, line);
        if (detail <= 2)
            expected << line;
        if (detail <= 2 && kind == Log::Action && !line.isEmpty())
            headlines << line;
    }
    ASSERT_EQ(headlines.size(), 4);
    window->show();
    EXPECT_EQ(drawn(), expected.mid(0, 3));
    EXPECT_TRUE(LogWindowTestAccess::stepPending(*window));

    // Lines logged meanwhile come after the older ones.
    io->log(Log::Warning, 0, "new");
    expected << "new";
    ASSERT_TRUE(MainWindowTesting::waitFor([&] { return !LogWindowTestAccess::stepPending(*window); },
                                           5000));
    EXPECT_EQ(drawn(), expected);
    for (const QString& headline : headlines)
        EXPECT_EQ(blockOf(headline).blockFormat().headingLevel(), 2) << headline.toStdString();
    for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next())
        EXPECT_EQ(block.blockFormat().topMargin(), 0.0) << block.text().toStdString();
    QScrollBar* bar = text->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());

    // A burst in one batch is drawn in steps too.
    QString burst;
    QStringList burstLines;
    for (int i = 0; i < 10; ++i) {
        burstLines << QStringLiteral("burst %1").arg(i);
        burst += burstLines.last() + '\n';
    }
    io->writeStdout(burst);
    ASSERT_TRUE(MainWindowTesting::waitFor([&] { return !LogWindowTestAccess::stepPending(*window); },
                                           5000));
    EXPECT_EQ(drawn(), expected + burstLines);

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
    ASSERT_TRUE(MainWindowTesting::waitFor([&] { return !LogWindowTestAccess::stepPending(*window); },
                                           5000));
    EXPECT_EQ(drawn(), expected + burstLines);
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
