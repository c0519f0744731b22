// The progress relay: a long operation on a worker thread drives the main
// window's two bars, the total bar for the whole operation and the item bar
// for its current step. Progress is the reporter of the operation's thread:
// it keeps a two-level arithmetic (an item is a share of the total; a run of
// acts divides a share into equal parts), throttles value updates and emits
// signals. ProgressMinion, living in the GUI thread, turns them into calls on
// the bars. ProgressUser installs a reporter for one operation.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QtGlobal>

class HProgressBar;
class ProgressMinion;

// The unit of every progress value. Registered with Qt's meta types under
// this name, so that it travels in queued signals.
typedef quint64 Steps;

class Progress : public QObject
{
    Q_OBJECT

    friend class ProgressTestAccess;

public:
    // Serves the thread that makes it; either bar may be null.
    Progress(HProgressBar* total, HProgressBar* item);
    // Leaves both bars reset and disabled.
    ~Progress() override;

    // Makes the minion of every reporter made afterwards; null puts the
    // plain one back. Tests put a recording minion in.
    typedef ProgressMinion* (*MinionFactory)(HProgressBar* total, HProgressBar* item);
    static void setMinionFactory(MinionFactory factory);

    // Every activity text reaches the bars with its passwords masked
    // (PasswordMask): a text made from an address cannot show one.

    // Begins a whole operation of `totalTail` steps. A whole operation starts
    // from a reset (the construction's, or an explicit one).
    void startTotal(QString activity, Steps totalTail);
    // Begins an item covering the next `share` steps of the total bar, on a
    // scale of its own up to `itemTail`.
    void startItem(QString activity, Steps share, Steps itemTail);
    // Divides the next `share` steps after the current item into `acts`
    // equal acts. Shows nothing yet.
    void setupItemActs(Steps share, Steps acts);
    // Begins an item from the act reached so far up to act `act`. A target
    // beyond the run is lowered to its end; one below the act reached gives
    // an empty item and the act reached stays.
    void startItemAct(QString activity, Steps itemTail, Steps act);
    // Changes the number of acts of the run; the total bar moves to the act
    // reached on the new scale.
    void changeItemActs(Steps acts);
    void endItemActs();
    // The item's progress on its own scale, lowered to its tail.
    void setItemValue(Steps value);
    void setTotalValue(Steps value);
    void reset();

signals:
    // Each reaches the minion's slot of the same name without "Sig": queued
    // from a worker thread, directly in the GUI thread.
    void startTotalSig(const QString& activity, Steps totalTail);
    void startItemSig(const QString& activity, Steps totalValue, Steps itemTail);
    void changeItemActsSig(Steps totalValue);
    void setItemValueSig(Steps totalValue, Steps value);
    void endItemActsSig(Steps totalValue);
    void setTotalValueSig(Steps value);
    void resetSig();

private:
    // Whether a value update now would come within 9 ms of the last one.
    bool throttled() const;
    // In the GUI thread only: lets the bars repaint now and then during a
    // long call, without user input.
    void pumpEvents();

    ProgressMinion* minion;
    bool sameThread;
    // An unstarted clock counts as long past: the first update always goes.
    QElapsedTimer valueClock;
    QElapsedTimer eventClock;
    Steps totalValue = 0;
    Steps totalTail = 1;
    Steps itemStart = 0;
    Steps itemEnd = 0;
    Steps itemValue = 0;
    Steps itemTail = 1;
    Steps actsShare = 0;
    Steps actsEnd = 0;
    Steps acts = 0;
    Steps act = 0;
};

// The GUI thread's half: sets the bars. A bar takes int values; a bar whose
// maximum lies beyond int gets its maximum and every value until the next
// maximum divided by one common factor, so that it neither wraps nor loses
// its proportions. Values and maxima within int reach it unchanged.
class ProgressMinion : public QObject
{
    Q_OBJECT

public:
    ProgressMinion(HProgressBar* total, HProgressBar* item);

public slots:
    // Virtual so that a test's minion can watch what reaches the bars.
    virtual void startTotal(const QString& activity, Steps totalTail);
    virtual void startItem(const QString& activity, Steps totalValue, Steps itemTail);
    virtual void changeItemActs(Steps totalValue);
    virtual void setItemValue(Steps totalValue, Steps value);
    virtual void endItemActs(Steps totalValue);
    virtual void setTotalValue(Steps value);
    virtual void reset();

private:
    // One bar and the divisor of its current maximum.
    struct Bar {
        HProgressBar* bar;
        Steps divisor;
        void setMaximum(Steps maximum);
        void setValue(Steps value);
    };

    Bar total;
    Bar item;
};

// Puts a new reporter on the two bars into the engine's slot for one
// operation, and deletes it at the end, leaving the slot null. With neither
// bar there is nothing to show: the slot stays null, and the engine's
// progress callbacks do nothing.
class ProgressUser
{
public:
    ProgressUser(Progress*& slot, HProgressBar* total, HProgressBar* item);
    ~ProgressUser();

private:
    Q_DISABLE_COPY_MOVE(ProgressUser)

    Progress*& slot;
};
