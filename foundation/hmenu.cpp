// The menu with action tooltips.
#include "foundation/hmenu.h"

#include <QAction>
#include <QHelpEvent>
#include <QMenuBar>
#include <QToolTip>

HMenu::HMenu(QString title, QMenuBar* parent)
    : QMenu(title, parent)
{
    setTearOffEnabled(true);
}

bool HMenu::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        QAction* action = activeAction();
        while (action && action->menu())
            action = action->menu()->activeAction();
        if (action) {
            QString tip = action->toolTip();
            QString text = action->text();
            text.remove(QStringLiteral("..."));
            text.remove(QLatin1Char('&'));
            // An action without a tooltip of its own reports its text as
            // one; showing that would only repeat the menu entry.
            if (!tip.isEmpty() && tip != text)
                QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), tip);
        }
    }
    return QMenu::event(e);
}
