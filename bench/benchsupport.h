// What the benchmarks share: CPU time of the process, the spread of a series
// of figures, and a closer for the message boxes a failed run would leave
// waiting for an answer nobody gives.
#pragma once

#include <vector>

#include <QObject>
#include <QTimer>

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

// While it lives, prints every modal box to standard error and closes it,
// so that the run goes on (and counts as failed by its own result).
class BoxCloser : public QObject
{
public:
    BoxCloser();

private:
    QTimer timer;
};

}
