// The separator rule.
#include "foundation/hseparator.h"

HSeparator::HSeparator(QWidget* parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::HLine);
    setFrameShadow(QFrame::Sunken);
}
