// The progress relay's arithmetic at its edges, as it reaches a recording
// minion and the bars: items on their own scale, items of no size, runs of
// acts lowered to their end or asked to go back, an item whose end lies
// below its start and the throttle; and bars whose maximum lies beyond int.
#include "tests/engine/progress_test.h"

#include <functional>

#include <gtest/gtest.h>

#include <QWidget>

#include "foundation/hprogressbar.h"
#include "tests/foundation/qtprinters.h"

namespace {

class ProgressRelay : public ::testing::Test
{
protected:
    RecordingMinion::Installed recording;
    QWidget window;
    HProgressBar* total = new HProgressBar(&window);
    HProgressBar* item = new HProgressBar(&window);
};

struct ArithmeticCase {
    const char* what;
    // Calls on the reporter; `value` sets the item's value as if the last
    // update had been long ago, so that the throttle lets it through.
    std::function<void(Progress& p, const std::function<void(Steps)>& value)> calls;
    QStringList lines;
};

}

TEST_F(ProgressRelay, ArithmeticHoldsAtItsEdges)
{
    const ArithmeticCase cases[] = {
        {"an item's value on its own scale, lowered to its tail; items of size 0: no scale "
         "puts the total at the item's end, no share leaves it",
         [](Progress& p, auto value) {
             p.startTotal("T", 1000);
             p.startItem("A", 100, 10); value(5); value(50);
             p.startItem("B", 300, 0); value(5);
             p.startItem("C", 0, 10); value(5);
         },
         {"total|T|1000", "item|A|0|10", "value|50|5", "value|100|10",
          "item|B|100|0", "value|400|0", "item|C|400|10", "value|400|5"}},
        {"a target beyond the run is lowered to its end",
         [](Progress& p, auto value) {
             p.startTotal("T", 10000);
             p.startItem("P", 2000, 1); p.setupItemActs(8000, 4);
             p.startItemAct("A1", 1, 1); p.startItemAct("A9", 2, 9); value(1);
             p.endItemActs();
         },
         {"total|T|10000", "item|P|0|1", "item|A1|2000|1", "item|A9|4000|2", "value|7000|1",
          "end|10000"}},
        {"a run without acts: its items cover nothing and a change ends it",
         [](Progress& p, auto) {
             p.startTotal("T", 1000);
             p.startItem("P", 100, 1); p.setupItemActs(500, 0);
             p.startItemAct("X", 1, 3); p.changeItemActs(0);
         },
         {"total|T|1000", "item|P|0|1", "item|X|100|1", "acts|600"}},
        {"a target below the act reached gives an empty item where the run stands",
         [](Progress& p, auto value) {
             p.startTotal("T", 8000); p.setupItemActs(8000, 4);
             p.startItemAct("A3", 10, 3);
             p.startItemAct("B1", 10, 1); value(5);
             p.startItemAct("C4", 10, 4); value(5);
         },
         {"total|T|8000", "item|A3|0|10", "item|B1|6000|10", "value|6000|5",
          "item|C4|6000|10", "value|7000|5"}},
        {"an item whose end fell below its start holds the total at its start",
         [](Progress& p, auto value) {
             p.startTotal("T", 8000); p.setupItemActs(8000, 4);
             p.startItemAct("A1", 10, 1); p.startItemAct("A2", 10, 2);
             p.changeItemActs(16); value(5);
         },
         {"total|T|8000", "item|A1|0|10", "item|A2|2000|10", "acts|1000", "value|2000|5"}},
        {"within 9 ms of an update only an item's final value goes through, and once",
         [](Progress& p, auto value) {
             p.startTotal("T", 100);
             p.startItem("I", 100, 10);
             p.setItemValue(3); p.setItemValue(10); p.setItemValue(10);
             value(4);
         },
         {"total|T|100", "item|I|0|10", "value|100|10", "value|40|4"}},
    };

    for (const ArithmeticCase& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingMinion::lines.clear();
        Progress p(total, item);
        c.calls(p, [&p](Steps v) { ProgressTestAccess::later(p); p.setItemValue(v); });
        // Every reporter starts from the reset of its construction.
        EXPECT_EQ(RecordingMinion::lines, QStringList("reset") + c.lines);
    }
}

TEST_F(ProgressRelay, BarsBeyondIntKeepTheirProportionsAndSmallOnesTheirValues)
{
    // Ten gigabytes on the total bar, six on the item bar, half done: each
    // bar is scaled by a factor of its own and shows half, though the
    // products behind the total's value lie beyond 64 bits.
    Progress progress(total, item);
    progress.startTotal("Applying", 10000000000ULL);
    EXPECT_FALSE(item->isEnabled());
    progress.startItem("Downloading", 10000000000ULL, 6000000000ULL);
    ProgressTestAccess::later(progress);
    progress.setItemValue(3000000000ULL);
    EXPECT_EQ(total->maximum(), 2000000000);
    EXPECT_EQ(total->value(), 1000000000);
    EXPECT_EQ(total->text(), "Applying (50%)");
    EXPECT_EQ(item->maximum(), 2000000000);
    EXPECT_EQ(item->value(), 1000000000);
    ProgressTestAccess::later(progress);
    progress.setItemValue(6000000000ULL);
    EXPECT_EQ(total->value(), total->maximum());
    EXPECT_EQ(item->value(), item->maximum());

    // A smaller operation afterwards is shown unscaled again.
    progress.reset();
    progress.startTotal("Again", 24000);
    progress.startItem("Item", 900, 100);
    ProgressTestAccess::later(progress);
    progress.setItemValue(50);
    EXPECT_EQ(total->maximum(), 24000);
    EXPECT_EQ(total->value(), 450);
    EXPECT_EQ(item->maximum(), 100);
    EXPECT_EQ(item->value(), 50);
    EXPECT_EQ(item->text(), "Item (50%)");
    EXPECT_TRUE(item->isEnabled());
}
