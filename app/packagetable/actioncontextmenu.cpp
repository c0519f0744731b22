// The Action column's pop-up menu.
#include "app/packagetable/actioncontextmenu.h"

#include <QAction>
#include <QPoint>

#include "app/packagetable/model.h"
#include "engine/package.h"
#include "foundation/share.h"

namespace PackageTable
{

ActionContextMenu::ActionContextMenu(Model* model)
    : QMenu(nullptr),
      updateIcon(Share::absolute(QStringLiteral("icons/update.png"))),
      installIcon(Share::absolute(QStringLiteral("icons/install.png"))),
      removeIcon(Share::absolute(QStringLiteral("icons/remove.png"))),
      model(model)
{
    updateAction = addAction(updateIcon, tr("&Update"));
    installAction = addAction(installIcon, tr("&Install"));
    removeAction = addAction(removeIcon, tr("&Remove"));
    noneAction = addAction(noneIcon, tr("&No Action"));
    connect(updateAction, &QAction::triggered, this, &ActionContextMenu::handleUpdateAction);
    connect(installAction, &QAction::triggered, this, &ActionContextMenu::handleInstallAction);
    connect(removeAction, &QAction::triggered, this, &ActionContextMenu::handleRemoveAction);
    connect(noneAction, &QAction::triggered, this, &ActionContextMenu::handleNoneAction);
}

QAction* ActionContextMenu::exec(const QModelIndex& index, const QPoint& pos)
{
    this->index = index;
    // "&No Action" stays enabled whatever the state, so any mark can be
    // taken back from here. A row without an entry keeps the last enabling.
    switch (model->getState(index.row())) {
    case Package::Updatable:
        updateAction->setEnabled(true);
        installAction->setEnabled(false);
        removeAction->setEnabled(true);
        break;
    case Package::Available:
        updateAction->setEnabled(false);
        installAction->setEnabled(true);
        removeAction->setEnabled(false);
        break;
    case Package::Installed:
        updateAction->setEnabled(false);
        installAction->setEnabled(false);
        removeAction->setEnabled(true);
        break;
    default:
        break;
    }
    return QMenu::exec(pos);
}

void ActionContextMenu::handleUpdateAction()
{
    model->setAction(index, Package::Update);
}

void ActionContextMenu::handleInstallAction()
{
    model->setAction(index, Package::Install);
}

void ActionContextMenu::handleRemoveAction()
{
    model->setAction(index, Package::Remove);
}

void ActionContextMenu::handleNoneAction()
{
    model->setAction(index, Package::NoAction);
}

}
