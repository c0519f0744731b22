// The sized scroll area.
#include "foundation/hscrollarea.h"

#include <climits>

#include <QScrollBar>

#include "foundation/sizing.h"

HScrollArea::HScrollArea(int columns, int rows, QWidget* parent)
    : QScrollArea(parent)
{
    QFontMetrics metrics = fontMetrics();
    maxSize = QSize(columns == -1 ? INT_MAX : columns * metrics.horizontalAdvance(QLatin1Char('n')),
                    rows == -1 ? INT_MAX : rows * metrics.height());
}

HScrollArea::HScrollArea(QWidget* parent)
    : QScrollArea(parent), maxSize(INT_MAX, INT_MAX)
{
}

HScrollArea::HScrollArea(QSize maxSize, QWidget* parent)
    : QScrollArea(parent), maxSize(maxSize)
{
}

QSize HScrollArea::sizeHint() const
{
    const QWidget* content = widget();
    if (!content)
        return QScrollArea::sizeHint();
    QSize hint = content->sizeHint();
    int fw = frameWidth();
    int extra = Sizing::frameOnlyExtra(this);
    // Room for both scroll bars is always kept, so that a bar appearing
    // never hides part of the content.
    QSize size(fw + hint.width() + extra + verticalScrollBar()->sizeHint().width() + fw,
               fw + hint.height() + extra + horizontalScrollBar()->sizeHint().height() + fw);
    return size.boundedTo(maxSize).boundedTo(Sizing::screenCap(this));
}

void HScrollArea::forceResize()
{
    QWidget* content = widget();
    if (!content)
        return;
    content->resize(content->sizeHint());
    updateGeometry();
    // The area's new geometry can change the widget's hint (word-wrapped
    // labels), so the widget is sized once more.
    content->resize(content->sizeHint());
}
