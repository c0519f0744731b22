// The repository table's context menu.
#include "repos/repoeditor/contextmenu.h"

#include <QAction>
#include <QPoint>

#include "repos/repoeditor/model.h"

namespace RepoEditor
{

ContextMenu::ContextMenu(Model* model, QWidget* view)
    : QMenu(nullptr)
    , model(model)
    , view(view)
{
    connect(addAction(tr("Edit")), &QAction::triggered, this, qOverload<>(&ContextMenu::edit));
    connect(addAction(tr("Browse Repository")), &QAction::triggered, this, &ContextMenu::browse);
}

void ContextMenu::exec(const QModelIndex& ix, const QPoint& pos)
{
    index = ix;
    QMenu::exec(pos);
}

void ContextMenu::edit()
{
    emit edit(index);
}

void ContextMenu::browse()
{
    model->browse(index, view);
}

}
