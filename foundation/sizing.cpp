// Shared sizing measures.
#include "foundation/sizing.h"

#include <climits>

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

QSize Sizing::screenCap(const QWidget* widget)
{
    QScreen* screen = widget ? widget->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QSize(INT_MAX, INT_MAX);
    QRect geometry = screen->geometry();
    return QSize(geometry.width() * 9 / 10, geometry.height() * 9 / 10);
}

int Sizing::frameOnlyExtra(const QWidget* widget)
{
    QStyle* style = widget->style();
    if (!style->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, nullptr, widget))
        return 0;
    return 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, widget);
}
