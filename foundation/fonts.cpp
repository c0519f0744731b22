// Derived fonts.
#include "foundation/fonts.h"

#include <QObject>

QFont Fonts::makeBold(const QFont& font)
{
    QFont result = font;
    result.setBold(true);
    return result;
}

QFont Fonts::makeFixed(const QFont& font)
{
    QFont result = font;
    result.setFixedPitch(true);
    result.setFamily(QObject::tr("Courier"));
    return result;
}

QFont Fonts::makeHeader(const QFont& font)
{
    QFont result = font;
    result.setFixedPitch(false);
    result.setFamily(QObject::tr("Helvetica"));
    result.setBold(true);
    // A font is sized either in pixels or in points; the other measure is -1.
    if (font.pixelSize() != -1)
        result.setPixelSize(font.pixelSize() * 3 / 2);
    else if (font.pointSize() != -1)
        result.setPointSize(font.pointSize() * 3 / 2);
    return result;
}
