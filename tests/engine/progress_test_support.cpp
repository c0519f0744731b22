// The recording minion of the progress tests.
#include "tests/engine/progress_test.h"

namespace {

ProgressMinion* makeRecording(HProgressBar* total, HProgressBar* item)
{
    return new RecordingMinion(total, item);
}

QString number(Steps value)
{
    return QString::number(value);
}

}

QStringList RecordingMinion::lines;

void RecordingMinion::install()
{
    lines.clear();
    Progress::setMinionFactory(&makeRecording);
}

void RecordingMinion::uninstall()
{
    Progress::setMinionFactory(nullptr);
}

bool RecordingMinion::totalOf(const QString& line, Steps& total)
{
    const QStringList parts = line.split(QLatin1Char('|'));
    if (parts.first() == QLatin1String("total"))
        total = 0;
    else if (parts.first() == QLatin1String("item"))
        total = parts.at(2).toULongLong();
    else if (parts.size() >= 2)
        total = parts.at(1).toULongLong();
    else
        return false;
    return true;
}

void RecordingMinion::startTotal(const QString& activity, Steps totalTail)
{
    lines << "total|" + activity + "|" + number(totalTail);
    ProgressMinion::startTotal(activity, totalTail);
}

void RecordingMinion::startItem(const QString& activity, Steps totalValue, Steps itemTail)
{
    lines << "item|" + activity + "|" + number(totalValue) + "|" + number(itemTail);
    ProgressMinion::startItem(activity, totalValue, itemTail);
}

void RecordingMinion::changeItemActs(Steps totalValue)
{
    lines << "acts|" + number(totalValue);
    ProgressMinion::changeItemActs(totalValue);
}

void RecordingMinion::setItemValue(Steps totalValue, Steps value)
{
    lines << "value|" + number(totalValue) + "|" + number(value);
    ProgressMinion::setItemValue(totalValue, value);
}

void RecordingMinion::endItemActs(Steps totalValue)
{
    lines << "end|" + number(totalValue);
    ProgressMinion::endItemActs(totalValue);
}

void RecordingMinion::setTotalValue(Steps value)
{
    lines << "set|" + number(value);
    ProgressMinion::setTotalValue(value);
}

void RecordingMinion::reset()
{
    lines << QStringLiteral("reset");
    ProgressMinion::reset();
}
