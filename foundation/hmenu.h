// A tear-off menu that shows its actions' own tooltips.
#pragma once

#include <QMenu>

class QMenuBar;

class HMenu : public QMenu
{
public:
    HMenu(QString title, QMenuBar* parent);

protected:
    // On a tooltip request, shows the tooltip of the deepest active action
    // (following open submenus) when the action has one beyond its text.
    bool event(QEvent* e) override;
};
