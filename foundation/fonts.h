// Fonts derived from a widget's font: bold, fixed-pitch and header. Family
// names pass through translation.
#pragma once

#include <QFont>

class Fonts
{
public:
    static QFont makeBold(const QFont& font);
    // Fixed pitch, for texts whose columns must line up.
    static QFont makeFixed(const QFont& font);
    // Proportional, bold and half as large again, for dialog headings.
    static QFont makeHeader(const QFont& font);

    Fonts() = delete;
};
