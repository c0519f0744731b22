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

    // While one exists, every reporter made gets a recording minion.
    struct Installed {
        Installed() { lines.clear(); Progress::setMinionFactory(&make); }
        ~Installed() { Progress::setMinionFactory(nullptr); }
        Q_DISABLE_COPY_MOVE(Installed)
    };
    // The lines so far; tests clear them between operations.
    inline static QStringList lines;

    void startTotal(const QString& a, Steps tail) override
    { note({"total", a, n(tail)}); ProgressMinion::startTotal(a, tail); }
    void startItem(const QString& a, Steps total, Steps tail) override
    { note({"item", a, n(total), n(tail)}); ProgressMinion::startItem(a, total, tail); }
    void changeItemActs(Steps total) override
    { note({"acts", n(total)}); ProgressMinion::changeItemActs(total); }
    void setItemValue(Steps total, Steps value) override
    { note({"value", n(total), n(value)}); ProgressMinion::setItemValue(total, value); }
    void endItemActs(Steps total) override
    { note({"end", n(total)}); ProgressMinion::endItemActs(total); }
    void setTotalValue(Steps value) override
    { note({"set", n(value)}); ProgressMinion::setTotalValue(value); }
    void reset() override { note({"reset"}); ProgressMinion::reset(); }

private:
    static ProgressMinion* make(HProgressBar* total, HProgressBar* item)
    { return new RecordingMinion(total, item); }
    static QString n(Steps value) { return QString::number(value); }
    static void note(const QStringList& parts) { lines << parts.join(QLatin1Char('|')); }
};
