// Helpers shared by the benchmarks.
#include "bench/benchsupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextDocument>
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

double loadAverage()
{
    double load = -1;
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf", &load) != 1)
            load = -1;
        std::fclose(file);
    }
    return load;
}

void Pairs::add(double aValue, double bValue, double loadValue)
{
    a.push_back(aValue);
    b.push_back(bValue);
    load.push_back(loadValue);
}

std::vector<double> Pairs::ratios() const
{
    std::vector<double> result;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (b[i] > 0)
            result.push_back(a[i] / b[i]);
    }
    return result;
}

QProcessEnvironment sandboxEnvironment(const QString& sandbox, const QString& share)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), sandbox + QStringLiteral("/home"));
    if (!environment.contains(QStringLiteral("KUVSHARE")))
        environment.insert(QStringLiteral("KUVSHARE"), share);
    return environment;
}

void printPairs(const char* aLabel, const char* bLabel, const Pairs& pairs, double scale,
                const char* unit)
{
    if (pairs.a.empty())
        return;
    const Spread a = spread(pairs.a);
    const Spread b = spread(pairs.b);
    const Spread ratio = spread(pairs.ratios());
    const Spread load = spread(pairs.load);
    // Seconds to the millisecond; milliseconds and megabytes to a tenth.
    const int digits = std::strcmp(unit, "s") == 0 ? 3 : 1;
    std::printf("  %-44s %9.*f %9.*f %9.*f %s\n", aLabel, digits, a.min * scale, digits,
                a.median * scale, digits, a.max * scale, unit);
    std::printf("  %-44s %9.*f %9.*f %9.*f %s\n", bLabel, digits, b.min * scale, digits,
                b.median * scale, digits, b.max * scale, unit);
    std::printf("  %-44s %8.2fx %8.2fx %8.2fx   (%zu pairs, load %.2f-%.2f)\n", "  ratio, pair by pair",
                ratio.min, ratio.median, ratio.max, pairs.a.size(), load.min, load.max);
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

StallWatch::StallWatch()
{
    connect(&timer, &QTimer::timeout, this, [this] {
        longest = std::max(longest, clock.nsecsElapsed() / 1e6);
        clock.restart();
    });
    clock.start();
    timer.start(10);
}

qint64 statusKb(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

int drawnLines(const QTextDocument* document)
{
    if (document->isEmpty())
        return 0;
    int lines = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        lines += 1 + block.text().count(QChar(QChar::LineSeparator));
    return lines;
}

}
