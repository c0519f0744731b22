// RepoEditor::ContextMenu: Edit and Browse Repository for the repository
// under the pointer in the repository table.
#pragma once

#include <QMenu>
#include <QModelIndex>

class QPoint;
class QWidget;

namespace RepoEditor
{

class Model;

class ContextMenu : public QMenu
{
    Q_OBJECT

public:
    // Without a parent widget: the view keeps it. The view parents the box
    // a failed browse shows.
    ContextMenu(Model* model, QWidget* view);

    // Runs the menu at the global position for the source index, which is
    // invalid over empty space (both entries then do nothing).
    void exec(const QModelIndex& ix, const QPoint& pos);

signals:
    // Emitted in the GUI thread when Edit was chosen, with the source index
    // the menu was opened for.
    void edit(QModelIndex ix);

protected slots:
    void edit();
    void browse();

private:
    Model* model;
    QWidget* view;
    QModelIndex index;
};

}
