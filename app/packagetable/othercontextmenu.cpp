// The other columns' pop-up menu.
#include "app/packagetable/othercontextmenu.h"

#include <QAction>
#include <QPoint>

#include "app/packagetable/model.h"

namespace PackageTable
{

OtherContextMenu::OtherContextMenu(Model* model, QWidget* view)
    : QMenu(nullptr), model(model), view(view)
{
    describeAction = addAction(tr("&Describe"));
    browseAction = addAction(tr("Browse Repository"));
    connect(describeAction, &QAction::triggered, this, &OtherContextMenu::handleDescribeAction);
    connect(browseAction, &QAction::triggered, this, &OtherContextMenu::handleBrowseAction);
}

QAction* OtherContextMenu::exec(const QModelIndex& index, const QPoint& pos)
{
    this->index = index;
    browseAction->setVisible(index.column() == Model::RepositoryColumn);
    return QMenu::exec(pos);
}

void OtherContextMenu::handleDescribeAction()
{
    model->describe(index, view);
}

void OtherContextMenu::handleBrowseAction()
{
    model->browse(index, view);
}

}
