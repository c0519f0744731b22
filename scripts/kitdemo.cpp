// A small window built from the widget kit, for looking at it in the
// program's default style: a sorted table, two progress bars with their
// activities, and a tear-off menu left open. scripts/kit-screenshot builds
// it and photographs it under Xvfb.
#include <QApplication>
#include <QBoxLayout>
#include <QHeaderView>
#include <QMenuBar>
#include <QStandardItemModel>
#include <QTimer>

#include "foundation/defaultstyle.h"
#include "foundation/hmenu.h"
#include "foundation/hprogressbar.h"
#include "foundation/hseparator.h"
#include "foundation/hsortfilterproxymodel.h"
#include "foundation/htableview.h"

int main(int argc, char** argv)
{
    DefaultStyle defaultStyle(argc, argv);
    QApplication app(argc, argv);
    defaultStyle.set(app, "plastique");

    QWidget window;
    window.setWindowTitle("KUV widget kit");
    QVBoxLayout* layout = new QVBoxLayout(&window);

    QMenuBar* bar = new QMenuBar(&window);
    HMenu* program = new HMenu("&Program", bar);
    QAction* refresh = program->addAction("Re&fresh");
    refresh->setToolTip("Collect the package lists again");
    program->addAction("&Apply Actions...");
    program->addSeparator();
    program->addAction("&Quit");
    bar->addMenu(program);
    bar->addMenu(new HMenu("&Repositories", bar));
    bar->addMenu(new HMenu("&Help", bar));
    layout->setMenuBar(bar);

    const char* rows[][4] = {
        {"bash", "5.2.15-2", "base", "1 MB"},
        {"zlib", "1.2.13-1", "updates", "90 kB"},
        {"coreutils", "9.1-1", "base", "6 MB"},
        {"bash", "5.2.21-1", "updates", "1 MB"},
        {"less", "590-2", "base", "300 kB"},
    };
    QStandardItemModel model(5, 4);
    model.setHorizontalHeaderLabels({"Name", "Version", "Repository", "Size"});
    for (int row = 0; row < 5; ++row)
        for (int column = 0; column < 4; ++column)
            model.setData(model.index(row, column), QString(rows[row][column]));
    HSortFilterProxyModel proxy(1, nullptr);
    proxy.setSourceModel(&model);
    HTableView* view = new HTableView(QStyleOptionViewItem::Left, 6, 6, &window);
    view->setModel(&proxy);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setSortIndicatorShown(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    QObject::connect(view->horizontalHeader(), &QHeaderView::sectionClicked, view,
                     [view](int section) { view->sortByColumn(section); });
    view->sortByColumn(0, Qt::AscendingOrder);
    view->selectRow(2);
    layout->addWidget(view);

    layout->addWidget(new HSeparator(&window));
    HProgressBar* total = new HProgressBar(&window);
    total->setRange(0, 100);
    total->setValue(40);
    total->setActivity("Downloading");
    HProgressBar* item = new HProgressBar(&window);
    item->setRange(0, 100);
    item->setValue(75);
    item->setActivity("Installing coreutils");
    layout->addWidget(total);
    layout->addWidget(item);

    window.show();
    view->resizeColumnsToContents();
    window.move(40, 40);
    // Open the menu once the window is mapped, so that it drops from its
    // place in the menu bar.
    QTimer::singleShot(300, program, [program, bar]() {
        program->popup(bar->mapToGlobal(bar->actionGeometry(program->menuAction()).bottomLeft()));
    });
    return app.exec();
}
