// The progress relay's reporter, its minion in the GUI thread and the scope
// that installs a reporter for one operation.
#include "engine/progress.h"

#include <climits>

#include <QApplication>
#include <QEventLoop>
#include <QMetaType>
#include <QThread>

#include "engine/globals.h"
#include "engine/passwordmask.h"
#include "foundation/hprogressbar.h"

namespace {

// Set by tests before any operation starts; read by the threads they start.
Progress::MinionFactory minionFactory = nullptr;

// The GUI thread: the application's, also before main has published it.
QThread* guiThread()
{
    QCoreApplication* app = application ? application : QCoreApplication::instance();
    return app ? app->thread() : QThread::currentThread();
}

// a * b / c, truncating, without the intermediate product wrapping: a
// download of gigabytes counted in bytes, shown on a share of as many steps,
// multiplies beyond 64 bits. A result beyond 64 bits saturates.
Steps scaled(Steps a, Steps b, Steps c)
{
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b / c;
    return product > ~Steps(0) ? ~Steps(0) : static_cast<Steps>(product);
}

// The part of `share` that `part` of `whole` acts cover; the whole share
// when the run has no acts.
Steps actPosition(Steps share, Steps part, Steps whole)
{
    return whole != 0 ? scaled(part, share, whole) : share;
}

}

Progress::Progress(HProgressBar* total, HProgressBar* item)
    : QObject(nullptr)
{
    // Registering again is harmless.
    qRegisterMetaType<Steps>("Steps");
    minion = minionFactory ? minionFactory(total, item) : new ProgressMinion(total, item);
    minion->moveToThread(guiThread());
    sameThread = minion->thread() == thread();
    connect(this, &Progress::startTotalSig, minion, &ProgressMinion::startTotal);
    connect(this, &Progress::startItemSig, minion, &ProgressMinion::startItem);
    connect(this, &Progress::changeItemActsSig, minion, &ProgressMinion::changeItemActs);
    connect(this, &Progress::setItemValueSig, minion, &ProgressMinion::setItemValue);
    connect(this, &Progress::endItemActsSig, minion, &ProgressMinion::endItemActs);
    connect(this, &Progress::setTotalValueSig, minion, &ProgressMinion::setTotalValue);
    connect(this, &Progress::resetSig, minion, &ProgressMinion::reset);
    reset();
}

Progress::~Progress()
{
    reset();
    // After the queued reset: the GUI thread handles that first.
    minion->deleteLater();
}

void Progress::setMinionFactory(MinionFactory factory)
{
    minionFactory = factory;
}

void Progress::reset()
{
    totalTail = 1;
    itemStart = 0;
    itemEnd = 0;
    itemTail = 1;
    emit resetSig();
    pumpEvents();
}

void Progress::startTotal(QString activity, Steps tail)
{
    totalValue = 0;
    totalTail = tail;
    if (sameThread)
        eventClock.restart();
    emit startTotalSig(PasswordMask::mask(activity), totalTail);
    pumpEvents();
}

void Progress::startItem(QString activity, Steps share, Steps tail)
{
    itemStart = itemEnd;
    totalValue = itemStart;
    itemEnd = itemStart + share;
    itemValue = 0;
    itemTail = tail;
    valueClock.restart();
    emit startItemSig(PasswordMask::mask(activity), totalValue, itemTail);
    pumpEvents();
}

void Progress::setupItemActs(Steps share, Steps count)
{
    actsShare = share;
    actsEnd = itemEnd + share;
    acts = count;
    act = 0;
}

void Progress::startItemAct(QString activity, Steps tail, Steps target)
{
    if (target > acts)
        target = acts;
    // An act reported out of order must not take the total bar back, nor,
    // through an unsigned difference, far beyond its end.
    if (target < act)
        target = act;
    const Steps from = actPosition(actsShare, act, acts);
    const Steps to = actPosition(actsShare, target, acts);
    startItem(activity, to - from, tail);
    act = target;
}

void Progress::changeItemActs(Steps count)
{
    acts = count;
    itemEnd = (actsEnd - actsShare) + actPosition(actsShare, act, count);
    totalValue = itemEnd;
    emit changeItemActsSig(totalValue);
    pumpEvents();
}

void Progress::endItemActs()
{
    itemStart = actsEnd;
    itemEnd = actsEnd;
    totalValue = actsEnd;
    emit endItemActsSig(totalValue);
    pumpEvents();
}

void Progress::setItemValue(Steps value)
{
    if (value > itemTail)
        value = itemTail;
    // The final value of an item always goes through, once.
    if (throttled() && !(value == itemTail && itemValue != itemTail))
        return;
    valueClock.restart();
    itemValue = value;
    if (itemEnd < itemStart) {
        // More acts than the act item was started with: its end now lies
        // before its start, and the total bar holds where the item began.
        totalValue = itemStart;
    } else if (itemTail == 0) {
        totalValue = itemEnd;
    } else {
        totalValue = itemStart + scaled(value, itemEnd - itemStart, itemTail);
    }
    emit setItemValueSig(totalValue, value);
    pumpEvents();
}

void Progress::setTotalValue(Steps value)
{
    if (value > totalTail)
        value = totalTail;
    if (throttled() && !(value == totalTail && totalValue != totalTail))
        return;
    valueClock.restart();
    totalValue = value;
    emit setTotalValueSig(value);
    pumpEvents();
}

bool Progress::throttled() const
{
    return valueClock.isValid() && valueClock.elapsed() <= 9;
}

void Progress::pumpEvents()
{
    // A worker's reporter never pumps: the GUI thread has its own loop.
    if (!sameThread || (eventClock.isValid() && eventClock.elapsed() <= 9))
        return;
    QEventLoop loop;
    loop.processEvents(QEventLoop::ExcludeUserInputEvents);
    eventClock.restart();
}

ProgressMinion::ProgressMinion(HProgressBar* totalBar, HProgressBar* itemBar)
    : QObject(nullptr), total{totalBar, 1}, item{itemBar, 1}
{
}

void ProgressMinion::Bar::setMaximum(Steps maximum)
{
    divisor = maximum / INT_MAX + (maximum % INT_MAX != 0 ? 1 : 0);
    if (divisor == 0)
        divisor = 1;
    if (bar)
        bar->setMaximum(static_cast<int>(maximum / divisor));
}

void ProgressMinion::Bar::setValue(Steps value)
{
    const Steps shown = value / divisor;
    if (bar)
        bar->setValue(shown > Steps(INT_MAX) ? INT_MAX : static_cast<int>(shown));
}

void ProgressMinion::startTotal(const QString& activity, Steps totalTail)
{
    if (total.bar)
        total.bar->setActivity(activity);
    total.setMaximum(totalTail);
    total.setValue(0);
    if (total.bar)
        total.bar->setEnabled(true);
    if (item.bar) {
        item.bar->reset();
        item.bar->setEnabled(false);
    }
}

void ProgressMinion::startItem(const QString& activity, Steps totalValue, Steps itemTail)
{
    total.setValue(totalValue);
    if (item.bar)
        item.bar->setActivity(activity);
    item.setMaximum(itemTail);
    item.setValue(0);
    if (item.bar)
        item.bar->setEnabled(true);
}

void ProgressMinion::changeItemActs(Steps totalValue)
{
    total.setValue(totalValue);
}

void ProgressMinion::setItemValue(Steps totalValue, Steps value)
{
    total.setValue(totalValue);
    item.setValue(value);
}

void ProgressMinion::endItemActs(Steps totalValue)
{
    total.setValue(totalValue);
}

void ProgressMinion::setTotalValue(Steps value)
{
    total.setValue(value);
}

void ProgressMinion::reset()
{
    for (Bar* bar : {&total, &item}) {
        bar->divisor = 1;
        if (!bar->bar)
            continue;
        bar->bar->setRange(0, 1);
        bar->bar->reset();
        bar->bar->setEnabled(false);
    }
}

ProgressUser::ProgressUser(Progress*& progressSlot, HProgressBar* total, HProgressBar* item)
    : slot(progressSlot)
{
    slot = total || item ? new Progress(total, item) : nullptr;
}

ProgressUser::~ProgressUser()
{
    delete slot;
    slot = nullptr;
}
