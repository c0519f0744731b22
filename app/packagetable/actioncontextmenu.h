// The pop-up menu of the package table's Action column: marks the entry
// under the pointer for update, installation, removal or no action, offering
// only what the entry's state allows.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QModelIndex>

class QAction;
class QPoint;

namespace PackageTable
{

class Model;

class ActionContextMenu : public QMenu
{
    Q_OBJECT

public:
    // Parentless: the view keeps it for the rest of the process.
    explicit ActionContextMenu(Model* model);

    // Enables the entries the state of the index's entry allows and pops
    // the menu up at the global position, nothing preselected; the entry
    // chosen, or null when the menu was closed without a choice. The index
    // is the model's own, never a proxy's.
    QAction* exec(const QModelIndex& index, const QPoint& pos);

protected slots:
    void handleUpdateAction();
    void handleInstallAction();
    void handleRemoveAction();
    void handleNoneAction();

private:
    QIcon noneIcon;
    QIcon updateIcon;
    QIcon installIcon;
    QIcon removeIcon;
    // Children of the menu.
    QAction* updateAction;
    QAction* installAction;
    QAction* removeAction;
    QAction* noneAction;
    Model* model;
    // The index of the latest opening.
    QModelIndex index;
};

}
