// Times the package table's filter and sort at a realistic scale, shown by
// the package table view in a window: either the entries the engine collects
// from a big sandbox (--sandbox, bench/make-big-sandbox), or by default
// 20,000 entries made up here (packages of every state, some suites and
// groups). It measures a new Filter-mode pattern, paired with its yardstick:
// a plain regcomp and regexec loop over the same texts (each row's visible
// text, made beforehand), the pattern compiled as the filter compiles it.
// Then the first and the later Search-mode patterns over every field, the
// state filter, the filter switch of column fitting, sorting, the bulk marks
// and a re-collection, and prints the min / median / max of each.
//
//   QT_QPA_PLATFORM=offscreen bench/packagetable [--sandbox DIR] [--rows N]
//                                                [--repeat N] [--verbose] [--raw]
//                                                [--filter-only] [--locale NAME]
//
// --verbose prints the time of every pattern; --raw prints each filter pair
// as "pair FILTER_MS LOOP_MS LOAD" and each later Search as "search MS LOAD";
// --filter-only stops after the Filter patterns (both for bench/run-all).
// --locale runs in that locale (LC_ALL) instead of the caller's; the build's
// own locales (build/locales) are found without LOCPATH. Each round of the
// Filter patterns holds bracket expressions with ranges the process has not
// met before, as a user typing new patterns would.
//
// --hostile [--cap SECONDS] measures only the Search over made-up entries of
// which two have a summary of a megabyte (one of capital letters, one of
// "a"), with patterns glibc's regexec takes quadratic time over
// ("[A-Z]+[0-9]", "(a|aa)*b", and "(a|aa)*z", which unlike the second one is
// not answered by the size text before it reaches the summary), patterns
// whose counted repetitions make large programs, a word boundary and a
// back-reference before such a run, and patterns that crash or freeze glibc's
// regcomp or regexec, each paired with its yardstick: regexec over the same
// texts in the order the Search tries them, in a child process that is
// killed after SECONDS (default 30; a killed or crashed run counts as
// SECONDS).
//
// Made-up entries get made-up Search texts (descriptions, relations, file
// lists and change logs in the sizes of a distribution's packages), so the
// figures leave out what the engine's getters cost on the first Search. A
// sandbox's entries answer through the engine's getters, with the file lists
// and change logs loaded beforehand (untimed: bench/startup times that);
// later Searches match the texts the proxy kept. KUVSHARE, when unset,
// becomes the source tree's share directory.
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <regex.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <QVBoxLayout>
#include <QWidget>

#include "app/packagetable/model.h"
#include "app/packagetable/searchtexts.h"
#include "app/packagetable/sortfilterproxymodel.h"
#include "app/packagetable/view.h"
#include "bench/benchsupport.h"
#include "engine/configroot.h"
#include "engine/globals.h"
#include "engine/package.h"
#include "engine/yumio.h"

// The engine's friend: the benchmark fills the entry list itself, as the
// collection would.
class YumIOTestAccess
{
public:
    static Package::EntryList& entries(YumIO& io) { return io.entries; }
};

namespace
{

const char* const words[] = {
    "lib",    "python3", "perl",   "devel",  "common", "tools",  "utils",  "kernel", "gnome",
    "qt5",    "x11",     "font",   "data",   "doc",    "static", "plugin", "server", "client",
    "glib",   "gtk",     "rust",   "golang", "ruby",   "java",   "texlive", "mesa",  "sdl",
    "openssl", "curl",   "xml",    "json",   "yaml",   "sqlite", "ncurses", "boost", "ffmpeg",
};
const int wordCount = int(sizeof words / sizeof words[0]);
const char* const repos[] = {"base", "updates", "extras", "installed"};
const char* const arches[] = {"x86_64", "noarch", "i686"};

QString word(std::mt19937& random)
{
    return QString::fromLatin1(words[random() % wordCount]);
}

// Deterministic texts of one package, sized like a distribution's: a few
// hundred characters of description, a dozen relations, forty paths and a
// handful of change-log entries.
class MadeUpTexts : public PackageTable::SearchTexts
{
public:
    // Entries whose summary is a text of the benchmark's own.
    QHash<QString, QString> summaries;

    QString text(const Package::Entry& entry, Field field) override
    {
        if (field == Summary && summaries.contains(entry.name))
            return summaries.value(entry.name);
        std::mt19937 random(uint(qHash(entry.name)) * 31u + uint(field));
        QStringList lines;
        switch (field) {
        case Name:
            return entry.name;
        case VerRel:
            return entry.verRel;
        case Repo:
            return entry.repo;
        case Arch:
            return entry.arch;
        case Size:
            return entry.sizeText;
        case Summary:
            return entry.summary;
        case BuildTime:
            return entry.buildTimeText;
        case Description:
            for (int i = 0; i < 45; ++i)
                lines << word(random);
            return lines.join(QLatin1Char(' '));
        case License:
            return QStringLiteral("GPLv%1+").arg(random() % 3 + 1);
        case Provides:
        case Requires:
            for (int i = 0; i < 12; ++i)
                lines << QStringLiteral("%1-%2(x86-64) >= %3.%4").arg(word(random), word(random))
                             .arg(random() % 10).arg(random() % 20);
            return lines.join(QLatin1Char('\n'));
        case Files:
            for (int i = 0; i < 40; ++i)
                lines << QStringLiteral("/usr/share/%1/%2/%3-%4.txt").arg(word(random), entry.name,
                                                                          word(random))
                             .arg(random() % 1000);
            return lines.join(QLatin1Char('\n'));
        case ChangeLog:
            for (int i = 0; i < 5; ++i)
                lines << QStringLiteral("* Wed Jun 30 2021 Packager <p@example.org>\n- Update to %1.%2 "
                                        "(fixes CVE-20%3-%4) in %5")
                             .arg(random() % 10).arg(random() % 30).arg(10 + random() % 14)
                             .arg(random() % 90000).arg(word(random));
            return lines.join(QStringLiteral("\n\n"));
        case MandatoryPkgs:
        case DefaultPkgs:
        case OptionalPkgs:
            for (int i = 0; i < 20; ++i)
                lines << word(random) + QLatin1Char('-') + word(random);
            return lines.join(QLatin1Char('\n'));
        default:
            return QStringLiteral("%1 %2").arg(word(random), entry.name);
        }
    }
};

void fill(YumIO& io, int rows, unsigned seed)
{
    std::mt19937 random(seed);
    Package::EntryList& entries = YumIOTestAccess::entries(io);
    for (int i = 0; i < rows; ++i) {
        QString name = QStringLiteral("%1-%2-%3").arg(word(random), word(random)).arg(i);
        quint64 size = random() % 50000000;
        long buildTime = 1500000000 + long(random() % 200000000);
        QString verRel = QStringLiteral("%1.%2.%3-%4.fc38").arg(random() % 10).arg(random() % 30)
                             .arg(random() % 100).arg(random() % 9 + 1);
        QString repo = QString::fromLatin1(repos[random() % 4]);
        QString arch = QString::fromLatin1(arches[random() % 3]);
        QString summary = QStringLiteral("The %1 %2 for %3").arg(word(random), word(random),
                                                                 word(random));
        QString sizeText = io.bytesFormat(size);
        QString timeText = QString::fromLatin1(YumIO::timeFormat(buildTime));
        auto* entry = new Package::Entry(name, verRel, repo, arch, size, sizeText, summary,
                                         buildTime, timeText, nullptr);
        unsigned roll = random() % 100;
        entry->state = roll < 3 ? Package::Updatable : roll < 15 ? Package::Installed
                                                                 : Package::Available;
        roll = random() % 1000;
        entry->kind = roll < 10 ? Package::Group : roll < 13 ? Package::Suite : Package::Ordinary;
        entries.append(entry);
    }
}

// Wall-clock and GUI-thread processor time of one run, in milliseconds.
struct Time
{
    double wall = 0;
    double cpu = 0;

    Time operator+(const Time& other) const { return {wall + other.wall, cpu + other.cpu}; }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Figures
{
    std::vector<double> wall;
    std::vector<double> cpu;

    void add(const Time& time)
    {
        wall.push_back(time.wall);
        cpu.push_back(time.cpu);
    }
};

// The resident memory of the process, in megabytes.
double residentMegabytes()
{
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double threadMilliseconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

Time timed(const std::function<void()>& work)
{
    QElapsedTimer timer;
    double cpuStart = threadMilliseconds();
    timer.start();
    work();
    return {double(timer.nsecsElapsed()) / 1e6, threadMilliseconds() - cpuStart};
}

// The processor time tells the figure a busy machine would spoil.
void report(const char* what, const Figures& figures, int shown)
{
    std::printf("%-40s wall min %6.1f median %6.1f max %6.1f ms, cpu median %6.1f max %6.1f ms"
                " (%d rows)\n",
                what, *std::min_element(figures.wall.begin(), figures.wall.end()),
                median(figures.wall), *std::max_element(figures.wall.begin(), figures.wall.end()),
                median(figures.cpu), *std::max_element(figures.cpu.begin(), figures.cpu.end()),
                shown);
}

// The yardstick of a new Filter pattern: the pattern compiled once as the
// filter compiles it, then matched against every text. How many match.
int regexecLoop(const QString& pattern, const std::vector<std::string>& texts)
{
    regex_t regex;
    const std::string bytes = PackageTable::SortFilterProxyModel::trimmedPattern(pattern).toStdString();
    if (regcomp(&regex, bytes.c_str(), REG_EXTENDED | REG_NOSUB) != 0)
        return -1;
    int matched = 0;
    for (const std::string& text : texts) {
        if (regexec(&regex, text.c_str(), 0, nullptr, 0) == 0)
            ++matched;
    }
    regfree(&regex);
    return matched;
}

// The Search as regexec alone makes it: each entry's fields in search order
// until one matches, in a child process killed after cap seconds. The wall
// time in milliseconds, cap's worth where it was killed; how many entries
// matched, or -1 where it was killed.
double regexecSearchLoop(const QString& pattern, const std::vector<std::vector<std::string>>& fields,
                         double cap, int& matched)
{
    int channel[2];
    if (pipe(channel) != 0)
        return -1;
    QElapsedTimer timer;
    timer.start();
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        regex_t regex;
        const std::string bytes =
            PackageTable::SortFilterProxyModel::trimmedPattern(pattern).toStdString();
        int count = -1;
        if (regcomp(&regex, bytes.c_str(), REG_EXTENDED | REG_NOSUB) == 0) {
            count = 0;
            for (const std::vector<std::string>& texts : fields) {
                for (const std::string& text : texts) {
                    if (regexec(&regex, text.c_str(), 0, nullptr, 0) == 0) {
                        ++count;
                        break;
                    }
                }
            }
        }
        if (write(channel[1], &count, sizeof count) != sizeof count)
            _exit(1);
        _exit(0);
    }
    close(channel[1]);
    matched = -1;
    bool killed = false;
    for (;;) {
        int status;
        if (waitpid(child, &status, WNOHANG) == child)
            break;
        if (double(timer.elapsed()) > cap * 1000 && !killed) {
            kill(child, SIGKILL);
            killed = true;
        }
        usleep(2000);
    }
    const double wall = killed ? cap * 1000 : double(timer.nsecsElapsed()) / 1e6;
    if (!killed && read(channel[0], &matched, sizeof matched) != sizeof matched)
        matched = -1;
    close(channel[0]);
    return wall;
}

// Two entries with a summary of a megabyte among the made-up ones; the
// Search over all of them, new pattern by new pattern, beside regexec alone.
int hostile(QApplication& app, YumIO& io, PackageTable::View* view, MadeUpTexts& texts,
            int repeat, double cap)
{
    PackageTable::SortFilterProxyModel* proxy = view->sortFilterProxyModel();
    const int megabyte = 1 << 20;
    const Package::EntryList& entries = YumIOTestAccess::entries(io);
    QString capitals(megabyte, QLatin1Char('A'));
    for (int i = 0; i < capitals.size(); ++i)
        capitals[i] = QLatin1Char(char('A' + i % 26));
    texts.summaries.insert(entries[entries.size() / 3]->name, capitals);
    // Every size text holds a "b" ("12 Mb"), so "(a|aa)*b" matches each
    // package before its summary; "(a|aa)*z" is of the same kind and reaches
    // the run of "a", given to an entry whose fields before the summary hold
    // no "z".
    for (int i = 2 * entries.size() / 3; i < entries.size(); ++i) {
        const Package::Entry& entry = *entries[i];
        if (entry.kind == Package::Group
            || (entry.name + entry.verRel + entry.repo + entry.arch + entry.sizeText)
                   .contains(QLatin1Char('z')))
            continue;
        texts.summaries.insert(entry.name, QString(megabyte, QLatin1Char('a')));
        break;
    }
    std::vector<std::vector<std::string>> fields;
    for (Package::Entry* entry : entries) {
        fields.emplace_back();
        const QVector<PackageTable::SearchTexts::Field>& order =
            entry->kind == Package::Group ? PackageTable::SearchTexts::groupFields()
                                          : PackageTable::SearchTexts::packageFields();
        for (PackageTable::SearchTexts::Field field : order)
            fields.back().push_back(texts.text(*entry, field).toStdString());
    }
    view->setMode(PackageTable::Search);
    // Every field read once, as the first Search after loading does.
    view->filtersearch("no-such-text");
    app.processEvents();
    std::printf("%d entries made up, two with a summary of %d bytes; regexec killed after %.0f s\n",
                int(entries.size()), megabyte, cap);
    std::printf("%-40s %9s %9s %9s\n", "", "min", "median", "max");
    // An entry between two patterns, so that each is decided anew.
    for (const char* pattern :
         {"[A-Z]+[0-9]", "(a|aa)*b", "(a|aa)*z", "(\\w|\\s){1000}x", "[[:alpha:]]{1,1000}0",
          "[^#-+[:blank:][:alnum:]]{1}{1000}!!", "\\<[A-Z]+[0-9]", "([A-Z]+)[0-9]\\1",
          "e*{32767}", "(e)*{32767}+", "(|a)\\1+*"}) {
        Bench::Pairs pairs;
        int killed = 0;
        for (int r = 0; r < repeat; ++r) {
            const double load = Bench::loadAverage();
            view->filtersearch("no-such-text");
            Time search = timed([&]() { view->filtersearch(pattern); });
            app.processEvents();
            int matched = 0;
            const double loop = regexecSearchLoop(pattern, fields, cap, matched);
            if (matched < 0)
                ++killed;
            else if (matched != proxy->rowCount())
                std::fprintf(stderr, "packagetable: \"%s\": the Search shows %d rows, regexec "
                                     "matches %d\n", pattern, proxy->rowCount(), matched);
            pairs.add(search.wall, loop, load);
        }
        const QByteArray label = QByteArray("Search \"") + pattern + "\", megabyte fields";
        const QByteArray yardstick = "regexec over the same fields (" + QByteArray::number(killed)
                                     + " killed or crashed)";
        Bench::printPairs(label.constData(), yardstick.constData(), pairs, 1, "ms");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int rows = 20000;
    int repeat = 5;
    bool verbose = false;
    bool raw = false;
    bool filterOnly = false;
    bool hostileOnly = false;
    double cap = 30;
    QString sandbox;
    const char* locale = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc)
            rows = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--sandbox") == 0 && i + 1 < argc)
            sandbox = QDir(QString::fromLocal8Bit(argv[++i])).absolutePath();
        else if (std::strcmp(argv[i], "--verbose") == 0)
            verbose = true;
        else if (std::strcmp(argv[i], "--raw") == 0)
            raw = true;
        else if (std::strcmp(argv[i], "--filter-only") == 0)
            filterOnly = true;
        else if (std::strcmp(argv[i], "--hostile") == 0)
            hostileOnly = true;
        else if (std::strcmp(argv[i], "--cap") == 0 && i + 1 < argc)
            cap = std::max(1.0, std::atof(argv[++i]));
        else if (std::strcmp(argv[i], "--locale") == 0 && i + 1 < argc)
            locale = argv[++i];
    }
    // QApplication takes the locale from the environment.
    if (locale)
        qputenv("LC_ALL", locale);
    if (qEnvironmentVariableIsEmpty("LOCPATH") && QFileInfo::exists(KUV_LOCALE_DIR))
        qputenv("LOCPATH", KUV_LOCALE_DIR);
    if (qEnvironmentVariableIsEmpty("KUVSHARE"))
        qputenv("KUVSHARE", KUV_SOURCE_SHARE);
    if (!sandbox.isEmpty()) {
        if (!QFileInfo::exists(sandbox + "/etc/yum.conf")) {
            std::fprintf(stderr, "packagetable: %s is no sandbox (bench/make-big-sandbox)\n",
                         qPrintable(sandbox));
            return 2;
        }
        // rpm keeps its database below HOME unless told otherwise; set before
        // the interpreter starts.
        qputenv("HOME", QFile::encodeName(sandbox + "/home"));
        ConfigRoot::setRoot(sandbox);
    }

    QApplication app(argc, argv);
    application = &app;
    program = "kuv";
    const QByteArray ctype = std::setlocale(LC_CTYPE, nullptr);
    if (locale && ctype != locale) {
        std::fprintf(stderr, "packagetable: the locale %s is missing\n", locale);
        return 2;
    }
    // Figures are printed with a point whatever the locale.
    std::setlocale(LC_NUMERIC, "C");
    // The engine outlives the window, whose table reads its entries.
    YumIO io;
    QWidget window;
    MadeUpTexts texts;
    // A failure of the engine shows a box nobody would answer.
    Bench::BoxCloser closer;
    if (sandbox.isEmpty()) {
        fill(io, rows, 1);
    } else {
        io.setup(&window, nullptr, nullptr);
        if (!io.initialize() || !io.collect(QHash<QString, bool>())) {
            std::fprintf(stderr, "packagetable: the collection of %s failed\n", qPrintable(sandbox));
            return 1;
        }
        rows = io.count();
    }

    auto* layout = new QVBoxLayout(&window);
    auto* model = new PackageTable::Model(&io, &window);
    auto* view = new PackageTable::View(model, PackageTable::ViewAll, true, &io, &window);
    PackageTable::SortFilterProxyModel* proxy = view->sortFilterProxyModel();
    if (sandbox.isEmpty())
        proxy->setSearchTexts(&texts);
    layout->addWidget(view);
    window.resize(1000, 700);
    window.show();
    app.processEvents();
    if (hostileOnly && sandbox.isEmpty())
        return hostile(app, io, view, texts, repeat, cap);
    std::printf("%d entries%s%s, %d repetitions, locale %s\n", rows,
                sandbox.isEmpty() ? " made up" : " of ", qPrintable(sandbox), repeat, ctype.constData());

    auto shown = [proxy]() { return proxy->rowCount(); };
    // Each pattern differs from the one before it, so each is decided anew;
    // the ranges differ from round to round.
    auto filterPatterns = [](int round) {
        const QChar last(ushort('y' - round % 20));
        const QChar upper(ushort('Y' - round % 20));
        return QStringList{"lib",
                           "^python3-",
                           "devel",
                           QStringLiteral("x86_64 [0-%1.]+Mb").arg(9 - round % 9),
                           "no-such-package",
                           "^kernel-.*fc38",
                           QStringLiteral("python3-[a-%1]").arg(last),
                           QStringLiteral("[A-%1]+[0-9]").arg(upper),
                           QStringLiteral("^[a-%1]+-[0-9]+\\.[0-9]+-[a-z0-9]+\\.[a-z0-9_]+$").arg(last),
                           ".*"};
    };
    // The yardstick's texts: what the filter matches, made once.
    std::vector<std::string> visibleTexts;
    for (int row = 0; row < model->rowCount(); ++row)
        visibleTexts.push_back(model->visibleText(row).toStdString());
    Figures filterFigures;
    Figures filterPaintFigures;
    Bench::Pairs filterPairs;
    int filterShown = 0;
    for (int r = 0; r < repeat; ++r) {
        for (const QString& pattern : filterPatterns(r)) {
            const double load = Bench::loadAverage();
            Time filtered = timed([&]() { view->filtersearch(pattern); });
            Time painted = timed([&]() { app.processEvents(); });
            filterFigures.add(filtered);
            filterPaintFigures.add(filtered + painted);
            if (verbose)
                std::printf("  filter %-40s %7.1f ms\n", qPrintable(pattern), filtered.wall);
            filterShown = std::max(filterShown, shown());
            // A pattern that trims to nothing matches without regexec.
            if (PackageTable::SortFilterProxyModel::trimmedPattern(pattern).isEmpty())
                continue;
            int matched = 0;
            Time loop = timed([&]() { matched = regexecLoop(pattern, visibleTexts); });
            // The yardstick must have done the filter's work.
            if (matched != shown())
                std::fprintf(stderr, "packagetable: \"%s\": the filter shows %d rows, regexec "
                                     "matches %d\n", qPrintable(pattern), shown(), matched);
            filterPairs.add(filtered.wall, loop.wall, load);
            if (raw)
                std::printf("pair %.3f %.3f %.2f\n", filtered.wall, loop.wall, load);
        }
    }
    report("Filter: new pattern", filterFigures, filterShown);
    report("Filter: new pattern, painted", filterPaintFigures, filterShown);
    std::printf("%-40s %9s %9s %9s\n", "", "min", "median", "max");
    Bench::printPairs("Filter: new pattern", "regexec loop over the same texts", filterPairs, 1,
                      "ms");
    if (filterOnly) {
        if (!sandbox.isEmpty())
            io.clearEntriesBeforeQuit();
        return 0;
    }

    // The main window loads the extra data with the filter off, then
    // filters: the first Search reads every field it needs.
    if (!sandbox.isEmpty() && (!io.collectOtherData() || !io.collectFileLists())) {
        std::fprintf(stderr, "packagetable: loading the change logs and file lists failed\n");
        return 1;
    }
    view->setFilter(false);
    view->setFilter(true);
    view->setMode(PackageTable::Search);
    const double before = residentMegabytes();
    Time first = timed([&]() { view->filtersearch("no-such-text"); });
    std::printf("%-42s wall %7.1f ms, cpu %7.1f ms (every field of every entry read)\n",
                "Search: first pattern", first.wall, first.cpu);
    std::printf("%-40s %.0f MB\n", "Search texts kept (resident growth)", residentMegabytes() - before);

    const QStringList searchPatterns = {"GPLv3", "/usr/share/doc/lib", "CVE-20(1[0-9]|2[0-3])-1234",
                                        "no-such-text-either", "^python3-", "ncurses-ruby"};
    Figures searchFigures;
    Figures searchPaintFigures;
    int searchShown = 0;
    for (int r = 0; r < repeat; ++r) {
        for (const QString& pattern : searchPatterns) {
            const double load = Bench::loadAverage();
            Time filtered = timed([&]() { view->filtersearch(pattern); });
            Time painted = timed([&]() { app.processEvents(); });
            searchFigures.add(filtered);
            searchPaintFigures.add(filtered + painted);
            if (verbose)
                std::printf("  search %-40s %7.1f ms\n", qPrintable(pattern), filtered.wall);
            if (raw)
                std::printf("search %.3f %.2f\n", filtered.wall, load);
            searchShown = std::max(searchShown, shown());
        }
    }
    report("Search: later pattern", searchFigures, searchShown);
    report("Search: later pattern, painted", searchPaintFigures, searchShown);
    view->setMode(PackageTable::Filter);
    view->filtersearch(".*");

    Figures stateFigures;
    for (int r = 0; r < repeat; ++r) {
        for (PackageTable::StateFilter state :
             {PackageTable::ViewUpdatable, PackageTable::ViewInstallable,
              PackageTable::ViewRemovable, PackageTable::ViewAll})
            stateFigures.add(timed([&]() {
                view->stateFilterChanged(state);
                app.processEvents();
            }));
    }
    report("State filter change, painted", stateFigures, shown());

    view->filtersearch("devel");
    Figures switchFigures;
    for (int r = 0; r < repeat; ++r)
        switchFigures.add(timed([&]() {
            view->setFilter(false);
            view->setFilter(true);
        }));
    report("Filter off and on again (column fitting)", switchFigures, shown());
    view->filtersearch(".*");

    Figures sortFigures;
    for (int r = 0; r < repeat; ++r) {
        for (int column : {3, 7, 4, 8, 2})
            sortFigures.add(timed([&]() { view->sortByColumn(column, Qt::AscendingOrder); }));
    }
    report("Sort all rows by a column", sortFigures, shown());

    Figures markFigures;
    for (int r = 0; r < repeat; ++r) {
        markFigures.add(timed([&]() {
            model->setUpdateAll();
            model->clearActions();
            app.processEvents();
        }));
    }
    report("Update all, then clear actions, painted", markFigures, shown());

    Figures collectFigures;
    for (int r = 0; r < repeat; ++r) {
        model->beginEntriesChange();
        if (sandbox.isEmpty()) {
            YumIOTestAccess::entries(io).deleteAll();
            fill(io, rows, 2 + r);
        } else {
            io.clear();
            if (!io.collect(QHash<QString, bool>())) {
                std::fprintf(stderr, "packagetable: the re-collection failed\n");
                return 1;
            }
        }
        collectFigures.add(timed([&]() {
            model->endEntriesChange();
            app.processEvents();
        }));
    }
    report("Table after a re-collection, painted", collectFigures, shown());
    if (!sandbox.isEmpty())
        io.clearEntriesBeforeQuit();
    return 0;
}
