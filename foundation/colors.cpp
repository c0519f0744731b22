// The colour vocabulary and palette makers.
#include "foundation/colors.h"

#include <QColor>
#include <QObject>

namespace {

QPalette withWindowText(QPalette palette, const QColor& color)
{
    palette.setColor(QPalette::Active, QPalette::WindowText, color);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, color);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, color);
    return palette;
}

} // namespace

QString Colors::ok()
{
    return QObject::tr("green");
}

QString Colors::minor()
{
    return QObject::tr("#8b5a2b");
}

QString Colors::minorDisabled()
{
    return QObject::tr("#ffbd94");
}

QString Colors::warning()
{
    return QObject::tr("darkorange");
}

QString Colors::error()
{
    return QObject::tr("red");
}

QString Colors::errorDisabled()
{
    return QObject::tr("#ffa9b8");
}

QString Colors::action()
{
    return QObject::tr("blue");
}

QString Colors::required()
{
    return QObject::tr("#fffacd");
}

// Each maker resolves its colour once, on first use, when the translation
// is already installed, and keeps it for the rest of the process.

QPalette Colors::makeOK(const QPalette& palette)
{
    static const QColor color(ok());
    return withWindowText(palette, color);
}

QPalette Colors::makeWarning(const QPalette& palette)
{
    static const QColor color(warning());
    return withWindowText(palette, color);
}

QPalette Colors::makeError(const QPalette& palette)
{
    static const QColor color(error());
    return withWindowText(palette, color);
}

QPalette Colors::makeRequired(const QPalette& palette)
{
    static const QColor color(required());
    QPalette result = palette;
    result.setColor(QPalette::Active, QPalette::Base, color);
    result.setColor(QPalette::Inactive, QPalette::Base, color);
    return result;
}
