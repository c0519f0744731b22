// Test support for the progress relay: a minion that notes every call that
// reaches the bars, as a line of text, before it sets them as the program's
// does, and access to the reporter's throttle clock.
#pragma once

#include "engine/progress.h"

#include <QString>
#include <QStringList>

class ProgressTestAccess
{
public:
    // As if the last value update had been long ago.
    static void later(Progress& progress) { progress.valueClock.invalidate(); }
};

// Lines, in the GUI thread's order of arrival:
//   total|ACTIVITY|TAIL   item|ACTIVITY|TOTAL|TAIL   value|TOTAL|VALUE
//   acts|TOTAL   end|TOTAL   set|TOTAL   reset
class RecordingMinion : public ProgressMinion
{
public:
    using ProgressMinion::ProgressMinion;

    // Every reporter made while installed gets a recording minion.
    static void install();
    static void uninstall();
    // The lines so far; tests clear them between operations.
    static QStringList lines;

    // The total bar's value that a line carries; false for a reset.
    static bool totalOf(const QString& line, Steps& total);

    void startTotal(const QString& activity, Steps totalTail) override;
    void startItem(const QString& activity, Steps totalValue, Steps itemTail) override;
    void changeItemActs(Steps totalValue) override;
    void setItemValue(Steps totalValue, Steps value) override;
    void endItemActs(Steps totalValue) override;
    void setTotalValue(Steps value) override;
    void reset() override;
};
