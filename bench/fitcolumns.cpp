// Times fitting the columns of a table shaped like the package table: by
// default 20,000 rows of nine columns (action icon and word, state icon,
// kind icon, name, version, repository, architecture, size, summary) in an
// HTableView inside a window. Every column becomes as wide as the largest
// size hint over every row; the benchmark checks its result against the
// plain item delegate measuring every cell, and prints the first fit and
// the minimum and median of the repeated fits.
//
//   QT_QPA_PLATFORM=offscreen bench/fitcolumns [--rows N] [--repeat N] [--proxy]
//   xvfb-run -a bench/fitcolumns
//
// --proxy puts a sort proxy between model and view, as the package table
// has. KUVSHARE, when unset, becomes the source tree's share directory.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QIcon>
#include <QItemDelegate>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include "foundation/defaultstyle.h"
#include "foundation/habstracttablemodel.h"
#include "foundation/hsortfilterproxymodel.h"
#include "foundation/htableview.h"
#include "foundation/share.h"

namespace {

const int columnCount = 9;
const char* const headers[columnCount] = {"Action", "State", "Kind", "Name", "Version",
                                          "Repository", "Architecture", "Size", "Summary"};

enum Action { Update, Install, Remove, NoAction };
enum State { Updatable, Available, Installed };
enum Kind { Suite, Group, Ordinary };

struct Row
{
    Action action;
    State state;
    Kind kind;
    QString name;
    QString version;
    QString repository;
    QString architecture;
    QString sizeText;
    QString summary;
};

// Made-up package data with the spread of lengths a real repository shows,
// the same on every run.
class RowMaker
{
public:
    Row make()
    {
        Row row;
        int kind = between(0, 199);
        row.kind = kind == 0 ? Suite : kind <= 3 ? Group : Ordinary;
        int state = between(0, 9);
        row.state = state == 0 ? Updatable : state <= 2 ? Installed : Available;
        int marked = between(0, 19);
        if (marked != 0)
            row.action = NoAction;
        else
            row.action = row.state == Updatable ? Update
                         : row.state == Available ? Install : Remove;
        row.name = name();
        row.version = version();
        row.repository = row.state == Installed ? QStringLiteral("installed") : repository();
        row.architecture = architecture();
        row.sizeText = sizeText();
        row.summary = summary();
        return row;
    }

private:
    int between(int low, int high)
    {
        return std::uniform_int_distribution<int>(low, high)(random);
    }

    template <size_t n>
    QString pick(const char* const (&words)[n])
    {
        return QString::fromLatin1(words[between(0, int(n) - 1)]);
    }

    QString name()
    {
        static const char* const prefixes[] = {"",        "",       "",         "lib",
                                               "python3-", "perl-",  "golang-",  "rust-",
                                               "texlive-", "ghc-",   "nodejs-",  "kf5-"};
        static const char* const syllables[] = {"an",  "bor", "cal", "dex", "em",  "fro", "gli",
                                                "hab", "ix",  "jor", "kel", "lum", "mor", "nix",
                                                "ost", "pra", "qua", "rin", "sol", "tur", "ul",
                                                "vex", "wen", "xo",  "yar", "zen"};
        static const char* const suffixes[] = {"",       "",      "",      "",       "-devel",
                                               "-libs",  "-doc",  "-common", "-tools", "-data",
                                               "-plugin-extra"};
        QString text = pick(prefixes);
        for (int count = between(1, 4); count > 0; --count)
            text += pick(syllables);
        return text + pick(suffixes);
    }

    QString version()
    {
        QString text;
        if (between(0, 9) == 0)
            text = QStringLiteral("%1:").arg(between(1, 3));
        text += QStringLiteral("%1.%2").arg(between(0, 30)).arg(between(0, 99));
        if (between(0, 1) == 0)
            text += QStringLiteral(".%1").arg(between(0, 20));
        static const char* const dists[] = {".fc38", ".fc38", ".el9", ".git20230514.fc38"};
        return text + QStringLiteral("-%1").arg(between(1, 40)) + pick(dists);
    }

    QString repository()
    {
        static const char* const names[] = {"fedora",         "fedora",        "updates",
                                            "updates-testing", "rpmfusion-free", "kivrel-extras",
                                            "local"};
        return pick(names);
    }

    QString architecture()
    {
        static const char* const names[] = {"x86_64", "x86_64", "x86_64", "noarch", "noarch",
                                            "i686",   "aarch64"};
        return pick(names);
    }

    QString sizeText()
    {
        // Spread evenly over the orders of magnitude, 100 bytes to 500 MB.
        double bytes = std::pow(10.0, std::uniform_real_distribution<double>(2.0, 8.7)(random));
        if (bytes < 1024.0)
            return QStringLiteral("%1 B").arg(qint64(bytes));
        if (bytes < 1024.0 * 1024.0)
            return QStringLiteral("%1 KB").arg(bytes / 1024.0, 0, 'f', 1);
        return QStringLiteral("%1 MB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 1);
    }

    QString summary()
    {
        static const char* const words[] = {
            "library", "for",     "the",     "tools",     "to",       "handle",   "XML",
            "files",   "and",     "a",       "command",   "line",     "utility",  "Python",
            "bindings", "of",     "graphical", "interface", "documentation", "development",
            "headers", "plugin",  "support", "network",   "protocol", "fast",     "simple",
            "data",    "parser",  "with",    "Unicode",   "fonts",    "images",   "server"};
        int length = between(30, 70);
        QString text;
        while (text.size() < length)
            text += pick(words) + QLatin1Char(' ');
        text.truncate(length);
        text = text.trimmed();
        text[0] = text[0].toUpper();
        return text;
    }

    std::mt19937 random{20000};
};

// The cells as the package table shows them: icons in the first three
// columns (the action one with a word beside it), coloured text in the
// others, sort values in the user role.
class PackageLikeModel : public HAbstractTableModel
{
public:
    PackageLikeModel(int rowCount, QObject* parent)
        : HAbstractTableModel(parent)
    {
        RowMaker maker;
        rows.reserve(rowCount);
        for (int row = 0; row < rowCount; ++row)
            rows.push_back(maker.make());
        actionIcons[Update] = QIcon(Share::absolute("icons/updateBox.png"));
        actionIcons[Install] = QIcon(Share::absolute("icons/installBox.png"));
        actionIcons[Remove] = QIcon(Share::absolute("icons/removeBox.png"));
        actionIcons[NoAction] = QIcon(Share::absolute("icons/noneBox.png"));
        stateIcons[Updatable] = QIcon(Share::absolute("icons/out-of-date.png"));
        stateIcons[Installed] = QIcon(Share::absolute("icons/up-to-date.png"));
        kindIcons[Suite] = QIcon(Share::absolute("icons/suite.png"));
        kindIcons[Group] = QIcon(Share::absolute("icons/group.png"));
        kindIcons[Ordinary] = QIcon(Share::absolute("icons/package.png"));
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(rows.size());
    }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : ::columnCount;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= int(rows.size()) || index.column() >= ::columnCount)
            return QVariant();
        const Row& row = rows[index.row()];
        int column = index.column();
        switch (role) {
        case Qt::DisplayRole:
            return column == 0 ? actionText(row.action) : column >= 3 ? text(row, column) : QVariant();
        case Qt::DecorationRole:
            if (column == 0)
                return actionIcons[row.action];
            if (column == 1)
                return row.state == Available ? QVariant() : QVariant(stateIcons[row.state]);
            if (column == 2)
                return kindIcons[row.kind];
            return QVariant();
        case Qt::ForegroundRole:
            if (column < 2 || row.state == Installed)
                return QVariant();
            return row.state == Updatable ? QColor(Qt::red) : QColor(0x8b, 0x5a, 0x2b);
        case Qt::UserRole:
            if (column == 0)
                return int(row.action);
            if (column == 1)
                return int(row.state);
            if (column == 2)
                return int(row.kind);
            return text(row, column);
        default:
            return QVariant();
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
            || section >= ::columnCount)
            return QVariant();
        return QString::fromLatin1(headers[section]);
    }

private:
    static QVariant actionText(Action action)
    {
        static const char* const words[] = {"Update", "Install", "Remove", "Keep"};
        return QString::fromLatin1(words[action]);
    }

    static QVariant text(const Row& row, int column)
    {
        switch (column) {
        case 3: return row.name;
        case 4: return row.version;
        case 5: return row.repository;
        case 6: return row.architecture;
        case 7: return row.sizeText;
        case 8: return row.summary;
        default: return QVariant();
        }
    }

    std::vector<Row> rows;
    QIcon actionIcons[4];
    QIcon stateIcons[3];
    QIcon kindIcons[3];
};

// The table view as the package table sets it up, with its item options
// open to the result check.
class BenchView : public HTableView
{
public:
    explicit BenchView(QWidget* parent)
        : HTableView(QStyleOptionViewItem::Left, 10, INT_MAX, parent)
    {
        setShowGrid(false);
        setGridStyle(Qt::NoPen);
        setSelectionBehavior(QAbstractItemView::SelectRows);
        setAlternatingRowColors(true);
        verticalHeader()->hide();
        horizontalHeader()->setSectionsMovable(true);
        horizontalHeader()->setSectionsClickable(true);
    }

    QStyleOptionViewItem itemOptions() const { return viewOptions(); }
};

double milliseconds(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// The width the rule asks for: the plain item delegate's size hint over
// every row, measured cell by cell, plus the grid line when one is shown.
int ruleWidth(const BenchView& view, int column)
{
    QItemDelegate plain;
    QStyleOptionViewItem options = view.itemOptions();
    const QAbstractItemModel* model = view.model();
    int widest = 0;
    for (int row = 0, rows = model->rowCount(); row < rows; ++row)
        widest = std::max(widest, plain.sizeHint(options, model->index(row, column)).width());
    return view.showGrid() ? widest + 1 : widest;
}

bool waitForExposure(QWidget& window)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (window.windowHandle() && window.windowHandle()->isExposed())
            return true;
    }
    return false;
}

void usage()
{
    std::fprintf(stderr, "usage: fitcolumns [--rows N] [--repeat N] [--proxy]\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("KUVSHARE"))
        qputenv("KUVSHARE", KUV_SOURCE_SHARE);

    DefaultStyle defaultStyle(argc, argv);
    QApplication application(argc, argv);
    defaultStyle.set(application, "plastique");

    int rowCount = 20000;
    int repeat = 7;
    bool proxied = false;
    QStringList arguments = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        bool ok = true;
        if (argument == "--rows" && i + 1 < arguments.size())
            rowCount = arguments[++i].toInt(&ok);
        else if (argument == "--repeat" && i + 1 < arguments.size())
            repeat = arguments[++i].toInt(&ok);
        else if (argument == "--proxy")
            proxied = true;
        else
            ok = false;
        if (!ok || rowCount < 1 || repeat < 1) {
            usage();
            return 2;
        }
    }

    QElapsedTimer timer;
    timer.start();
    PackageLikeModel model(rowCount, nullptr);
    double buildTime = milliseconds(timer);

    QWidget window;
    QVBoxLayout* layout = new QVBoxLayout(&window);
    BenchView* view = new BenchView(&window);
    layout->addWidget(view);
    HSortFilterProxyModel proxy(3, nullptr);
    if (proxied) {
        proxy.setSourceModel(&model);
        view->setModel(&proxy);
        view->sortByColumn(3, Qt::AscendingOrder);
    } else {
        view->setModel(&model);
    }
    window.show();
    if (!waitForExposure(window)) {
        std::fprintf(stderr, "fitcolumns: the window was never shown\n");
        return 1;
    }

    std::printf("fitcolumns: %d rows x %d columns%s; platform %s, style %s, font %s %gpt\n",
                rowCount, columnCount, proxied ? " behind a sort proxy" : "",
                qPrintable(QGuiApplication::platformName()),
                qPrintable(application.style()->objectName()),
                qPrintable(view->font().family()), view->font().pointSizeF());
    std::printf("model built in %.1f ms\n", buildTime);

    timer.restart();
    view->resizeColumnsToContents();
    double first = milliseconds(timer);
    QCoreApplication::processEvents();

    std::vector<double> fits;
    for (int i = 0; i < repeat; ++i) {
        timer.restart();
        view->resizeColumnsToContents();
        fits.push_back(milliseconds(timer));
        QCoreApplication::processEvents();
    }
    std::printf("fit columns: first %.1f ms; then over %d fits min %.1f ms, median %.1f ms\n", first,
                repeat, *std::min_element(fits.begin(), fits.end()), median(fits));

    std::printf("%-13s %8s %8s %10s %10s\n", "column", "width", "rule", "view ms", "plain ms");
    bool followsRule = true;
    for (int column = 0; column < columnCount; ++column) {
        timer.restart();
        int hint = view->sizeHintForColumn(column);
        double viewTime = milliseconds(timer);
        timer.restart();
        int rule = ruleWidth(*view, column);
        double plainTime = milliseconds(timer);
        followsRule = followsRule && hint == rule;
        std::printf("%-13s %8d %8d %10.1f %10.1f%s\n", headers[column], view->columnWidth(column),
                    rule, viewTime, plainTime, hint == rule ? "" : "  <- hint differs");
    }
    std::printf("window %dx%d; column hints %s the largest plain size hint over every row\n",
                window.width(), window.height(), followsRule ? "equal" : "DO NOT EQUAL");
    return followsRule ? 0 : 1;
}
