// The two measures that every self-sizing widget of the kit shares: the
// screen cap and the extra room of styles that frame only the contents.
#pragma once

#include <QSize>

class QWidget;

class Sizing
{
public:
    // Nine tenths of the screen the widget is on, or of the primary screen
    // while the widget has none yet; no window is made larger than this.
    static QSize screenCap(const QWidget* widget);

    // Twice the default frame width where the style draws the frame around
    // the contents only (outside the scroll bars), else 0.
    static int frameOnlyExtra(const QWidget* widget);

    Sizing() = delete;
};
