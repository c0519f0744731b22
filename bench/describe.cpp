// Times the text viewer of the package description on a long file list:
// 10,000 paths as a large package lists them (deep folders, long names,
// sorted), from a new TextDialog through setText and show until its text
// has been painted, as a description area's first Show does. The yardstick
// does the same with a plain QPlainTextEdit in a QDialog. The two run in
// pairs, ours then the yardstick, and each pair gives a ratio; the machine's
// load is printed before and after. The goal is under 0.3 s for ours.
//
//   QT_QPA_PLATFORM=offscreen bench/describe [--lines N] [--repeat N]
//   xvfb-run -a bench/describe
#include <cstdio>

#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTextDocument>
#include <QWindow>

#include "bench/benchsupport.h"
#include "foundation/htextedit.h"
#include "foundation/textdialog.h"

namespace
{

using Bench::loadAverage;
using Bench::Pairs;
using Bench::printPairs;
using Bench::spread;

// A file list shaped like a large package's: a few wide folders (locale
// files, documentation, headers, modules) with long and short names.
QString fileList(int lines)
{
    static const char* const folders[] = {
        "/usr/share/locale/%1/LC_MESSAGES/",
        "/usr/share/doc/kuv-toolkit-devel/html/reference/",
        "/usr/include/kuv-toolkit-3.0/kuv/widgets/",
        "/usr/lib64/python3.11/site-packages/kuv_toolkit/backends/",
        "/usr/share/kuv-toolkit/icons/hicolor/48x48/apps/",
        "/usr/lib64/kuv-toolkit-3.0/plugins/",
    };
    static const char* const stems[] = {
        "kuv-toolkit", "KuvAbstractItemDelegateWithExtraLongName", "index", "qstylesheetstyle",
        "__init__", "kuv_toolkit_backend_offscreen_renderer", "README", "gtk3-compat-layer",
    };
    static const char* const suffixes[] = {".mo", ".html", ".h", ".py", ".png", ".so.3.0.7"};
    QStringList paths;
    paths.reserve(lines);
    for (int i = 0; i < lines; ++i) {
        const int f = i % 6;
        QString folder = QString::fromLatin1(folders[f]);
        if (f == 0)
            folder = folder.arg(QStringLiteral("l%1").arg(i % 97));
        paths << folder + QString::fromLatin1(stems[(i / 6) % 8]) + QStringLiteral("-%1").arg(i)
                     + QString::fromLatin1(suffixes[f]);
    }
    paths.sort();
    return paths.join(QLatin1Char('\n'));
}

// Tells when a widget has painted.
class PaintWatch : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

// The yardstick: the plainest dialog that shows the same text.
class PlainDialog : public QDialog
{
public:
    PlainDialog()
    {
        QVBoxLayout* layout = new QVBoxLayout(this);
        edit = new QPlainTextEdit(this);
        edit->setReadOnly(true);
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(edit);
        layout->addWidget(new QPushButton(QStringLiteral("Close"), this));
    }

    QPlainTextEdit* edit;
};

// Milliseconds from the dialog's creation until its text was painted, -1
// when it never was.
template <typename Make, typename Fill>
double timeShow(const QString& text, Make make, Fill fill)
{
    QElapsedTimer clock;
    clock.start();
    auto* dialog = make();
    fill(dialog, text);
    PaintWatch watch;
    QAbstractScrollArea* area = dialog->template findChild<QAbstractScrollArea*>();
    area->viewport()->installEventFilter(&watch);
    dialog->show();
    while (!watch.painted && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const double elapsed = watch.painted ? clock.nsecsElapsed() / 1e6 : -1.0;
    area->viewport()->removeEventFilter(&watch);
    delete dialog;
    QCoreApplication::processEvents();
    return elapsed;
}

void usage()
{
    std::fprintf(stderr, "usage: describe [--lines N] [--repeat N]\n");
}

}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    int lines = 10000;
    int repeat = 7;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < arguments.size(); i += 2) {
        bool ok = i + 1 < arguments.size();
        const int value = ok ? arguments[i + 1].toInt(&ok) : 0;
        if (ok && arguments[i] == QLatin1String("--lines"))
            lines = value;
        else if (ok && arguments[i] == QLatin1String("--repeat"))
            repeat = value;
        else
            ok = false;
        if (!ok || value < 1) {
            usage();
            return 2;
        }
    }
    const QString text = fileList(lines);
    std::printf("describe: platform %s; %d paths (%d characters); %d pairs\n",
                qPrintable(QGuiApplication::platformName()), lines, int(text.size()), repeat);

    auto makeOurs = [] { return new TextDialog(nullptr); };
    auto fillOurs = [](TextDialog* dialog, const QString& t) { dialog->setText(t); };
    auto makePlain = [] { return new PlainDialog; };
    auto fillPlain = [](PlainDialog* dialog, const QString& t) { dialog->edit->setPlainText(t); };

    // One of each first: fonts, the style and the platform's window set-up
    // are made once per process.
    timeShow(text, makeOurs, fillOurs);
    timeShow(text, makePlain, fillPlain);

    Pairs pairs;
    bool painted = true;
    for (int run = 0; run < repeat; ++run) {
        const double load = loadAverage();
        const double a = timeShow(text, makeOurs, fillOurs);
        const double b = timeShow(text, makePlain, fillPlain);
        painted = painted && a >= 0 && b >= 0;
        pairs.add(a, b, load);
    }
    // What was timed held the whole list.
    TextDialog check(nullptr);
    check.setText(text);
    const int blocks = check.findChild<HTextEdit*>()->document()->blockCount();
    if (blocks != lines)
        std::printf("the viewer held %d lines of %d\n", blocks, lines);

    std::printf("set, shown and painted:\n");
    printPairs("TextDialog", "QPlainTextEdit dialog", pairs, 1.0, "ms");
    const bool met = painted && blocks == lines && spread(pairs.a).max < 300.0;
    std::printf("%s\n", met ? "goal met" : "goal NOT met");
    return met ? 0 : 1;
}
