// Helpers shared by the benchmarks.
#include "bench/benchsupport.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace Bench
{

double processCpu()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

Spread spread(std::vector<double> values)
{
    if (values.empty())
        return Spread();
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double middle = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    return {values.front(), middle, values.back()};
}

BoxCloser::BoxCloser()
{
    connect(&timer, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        auto* box = qobject_cast<QMessageBox*>(modal);
        std::fprintf(stderr, "box: %s: %s\n", modal->windowTitle().toUtf8().constData(),
                     box ? box->text().toUtf8().constData() : "");
        modal->close();
    });
    timer.start(100);
}

}
