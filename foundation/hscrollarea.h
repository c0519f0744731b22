// A scroll area whose size hint is its widget's, plus frames and room for
// both scroll bars, within a cap and nine tenths of the screen.
#pragma once

#include <QScrollArea>
#include <QSize>

class HScrollArea : public QScrollArea
{
public:
    // The cap in character cells ('n' widths) and font heights; -1 leaves
    // that direction uncapped.
    HScrollArea(int columns, int rows, QWidget* parent);
    explicit HScrollArea(QWidget* parent);
    HScrollArea(QSize maxSize, QWidget* parent);

    QSize sizeHint() const override;

    // Brings the widget and the area's hint up to date after the widget's
    // contents changed while it was not managed by a layout.
    void forceResize();

private:
    QSize maxSize;
};
