// The table views' delegate: cell text is drawn on one line, never wrapped.
#pragma once

#include <QItemDelegate>

class HItemDelegate : public QItemDelegate
{
public:
    explicit HItemDelegate(QObject* parent);

protected:
    void drawDisplay(QPainter* painter, const QStyleOptionViewItem& option, const QRect& rect,
                     const QString& text) const override;
};
