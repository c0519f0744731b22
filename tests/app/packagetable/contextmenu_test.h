// Test support for the package table's context menus: an answerer that
// notes what the next pop-up menu offers and then chooses an entry or closes
// it, closing any message box a choice opens, and a helper that right-clicks
// a view through it.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

class QMenu;

namespace PackageTable
{
class View;
}

namespace PackageTableTesting
{

struct SeenMenu
{
    bool opened = false;
    QPointer<QMenu> menu;
    // The visible entries, in order, and those of them that are enabled.
    QStringList entries;
    QStringList enabled;
    // Title and text of every message box seen after the choice.
    QStringList boxes;
};

class PopupAnswerer : public QObject
{
public:
    // An empty choice, or one the menu does not offer enabled, closes the
    // menu without a choice.
    explicit PopupAnswerer(QString choice);

    SeenMenu seen;

private:
    void poll();

    QString choice;
    // Started when the menu was answered.
    QElapsedTimer answered;
    QTimer timer;
};

// Right-clicks the view at a point of its viewport and answers the menu
// that opens; returns when the menu has closed.
SeenMenu rightClick(PackageTable::View* view, const QPoint& pos, const QString& choice = QString());
// The same at the centre of a cell given in the view's own rows.
SeenMenu rightClickCell(PackageTable::View* view, int viewRow, int column,
                        const QString& choice = QString());

}
