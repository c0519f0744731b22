// Test support for the package table's context menus.
#include "tests/app/packagetable/contextmenu_test.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/packagetable/view.h"

namespace PackageTableTesting
{

SeenMenu rightClick(PackageTable::View* view, const QPoint& pos, const QString& choice)
{
    SeenMenu seen;
    QElapsedTimer answered;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.boxes << box->windowTitle() + ": " + box->text();
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        // A menu still open well after its answer is closed: a test never
        // hangs in it.
        if (!menu || (answered.isValid() && answered.elapsed() < 2000))
            return;
        if (answered.isValid()) {
            menu->close();
            return;
        }
        answered.start();
        seen.menu = menu;
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            if (!action->isVisible())
                continue;
            seen.entries << action->text();
            if (action->isEnabled())
                seen.enabled << action->text();
            if (action->isEnabled() && action->text() == choice)
                chosen = action;
        }
        if (!chosen) {
            menu->close();
            return;
        }
        // Clicked from the event loop: a timer does not fire while its own
        // handler runs, and a box the choice opens must still be answered.
        const QPoint at = menu->actionGeometry(chosen).center();
        QMetaObject::invokeMethod(
            menu, [menu, at] { QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, at); },
            Qt::QueuedConnection);
    });
    timer.start(10);
    emit view->customContextMenuRequested(pos);
    return seen;
}

SeenMenu rightClickCell(PackageTable::View* view, int viewRow, int column, const QString& choice)
{
    const QModelIndex cell = view->sortFilterProxyModel()->index(viewRow, column);
    return rightClick(view, view->visualRect(cell).center(), choice);
}

}
