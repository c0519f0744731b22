// What the benchmarks share: CPU time of the process, the load average, the
// spread of a series of figures and of paired runs, and a closer for the message boxes a failed run would leave
// waiting for an answer nobody gives.
#pragma once

#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QTimer>

class QTextDocument;

namespace Bench
{

// User and system time of this process so far, in seconds.
double processCpu();

// Minimum, median and maximum of a series.
struct Spread {
    double min = 0;
    double median = 0;
    double max = 0;
};
// An empty series gives zeros.
Spread spread(std::vector<double> values);

// The one-minute load average of the machine; negative when unknown.
double loadAverage();

// The environment of a child run on a sandbox: this process's, with HOME
// at the sandbox's home folder (rpm keeps its database below HOME unless
// told otherwise) and KUVSHARE at `share` unless it is set already.
QProcessEnvironment sandboxEnvironment(const QString& sandbox, const QString& share);

// Paired runs: the figure of A and of B in each pair, taken back to back,
// and the load average when the pair began. Comparing pair by pair keeps a
// spell of load on a shared machine from falling on one side only.
struct Pairs {
    std::vector<double> a;
    std::vector<double> b;
    std::vector<double> load;
    void add(double aValue, double bValue, double loadValue);
    // A / B of each pair; pairs whose B is not positive are left out.
    std::vector<double> ratios() const;
};

// Prints two lines: A's and B's min / median / max (times scale, then unit),
// the ratio A / B pair by pair as min / median / max, and the load averages
// of the series.
void printPairs(const char* aLabel, const char* bLabel, const Pairs& pairs, double scale,
                const char* unit);

// While it lives, prints every modal box to standard error and closes it,
// so that the run goes on (and counts as failed by its own result).
class BoxCloser : public QObject
{
public:
    BoxCloser();

private:
    QTimer timer;
};

// While it lives, notes the longest time the GUI thread went without
// serving a 10 ms timer: its longest stall, in milliseconds.
class StallWatch : public QObject
{
public:
    StallWatch();

    double longest = 0;

private:
    QTimer timer;
    QElapsedTimer clock;
};

// A field of this process's /proc/self/status in kB ("VmHWM:" is the peak
// resident size), or -1.
qint64 statusKb(const char* field);

// The lines a log document draws: a paragraph holds several, one after each
// line break.
int drawnLines(const QTextDocument* document);

}
