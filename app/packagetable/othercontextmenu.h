// The pop-up menu of the package table's other columns: the package's
// description, and on the Repository column its repository in the browser.
#pragma once

#include <QMenu>
#include <QModelIndex>

class QAction;
class QPoint;
class QWidget;

namespace PackageTable
{

class Model;

class OtherContextMenu : public QMenu
{
    Q_OBJECT

public:
    // Parentless: the view keeps it for the rest of the process. The view
    // parents what the entries open.
    OtherContextMenu(Model* model, QWidget* view);

    // Shows "Browse Repository" only on the Repository column and pops the
    // menu up at the global position; the entry chosen, or null. The index
    // is the model's own; it may be invalid (a point below the rows).
    QAction* exec(const QModelIndex& index, const QPoint& pos);

protected slots:
    void handleDescribeAction();
    void handleBrowseAction();

private:
    // Children of the menu.
    QAction* describeAction;
    QAction* browseAction;
    Model* model;
    QWidget* view;
    // The index of the latest opening.
    QModelIndex index;
};

}
