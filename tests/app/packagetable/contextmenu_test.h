// Test support for the package table's context menus: right-clicks a view
// and answers the menu that opens (noting what it offers, then choosing an
// entry or closing it) and any message box the choice opens.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>

class QMenu;

namespace PackageTable
{
class View;
}

namespace PackageTableTesting
{

struct SeenMenu
{
    QPointer<QMenu> menu;
    // The visible entries in order, and those of them that are enabled.
    QStringList entries;
    QStringList enabled;
    // "title: text" of each message box the choice opened.
    QStringList boxes;
};

// Returns once the menu has closed; a choice the menu does not offer
// enabled closes it unchosen, and so does an empty one. No menu: a null
// SeenMenu::menu.
SeenMenu rightClick(PackageTable::View* view, const QPoint& pos, const QString& choice = {});
// The same at the centre of a cell, in the view's own rows.
SeenMenu rightClickCell(PackageTable::View* view, int viewRow, int column,
                        const QString& choice = {});

}
