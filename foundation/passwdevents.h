// Which events the masked editors hand on to their hidden twins, shared by
// the line and the text edit.
#pragma once

#include <QEvent>

namespace PasswdEvents
{

// The events the twin must see too, so that it edits where the user sees.
inline bool isForwarded(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::InputMethod:
    case QEvent::Move:
    case QEvent::Resize:
        return true;
    default:
        return false;
    }
}

// The forwarded events that come from the user, as opposed to geometry.
inline bool isInput(QEvent::Type type)
{
    return type != QEvent::Move && type != QEvent::Resize;
}

}
