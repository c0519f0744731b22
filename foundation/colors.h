// The colours that carry meaning in the program's windows, and the palettes
// made from them. Colour names pass through translation so that a
// translation can change them.
#pragma once

#include <QPalette>
#include <QString>

class Colors
{
public:
    static QString ok();
    static QString minor();
    static QString minorDisabled();
    static QString warning();
    static QString error();
    static QString errorDisabled();
    static QString action();
    static QString required();

    // Copies of palette with the window text in the ok, warning or error
    // colour, in every colour group.
    static QPalette makeOK(const QPalette& palette);
    static QPalette makeWarning(const QPalette& palette);
    static QPalette makeError(const QPalette& palette);
    // A copy with the required background while the field is enabled; a
    // disabled field keeps the ordinary disabled background.
    static QPalette makeRequired(const QPalette& palette);

    Colors() = delete;
};
