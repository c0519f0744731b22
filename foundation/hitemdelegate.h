// The table views' delegate: cell text is drawn on one line, never wrapped;
// a whole column's widest size hint is measured in one go.
#pragma once

#include <QItemDelegate>
#include <QModelIndex>
#include <QVector>

class HItemDelegate : public QItemDelegate
{
public:
    explicit HItemDelegate(QObject* parent);

    // The item delegate's own hint. Final, so that widestSizeHint always
    // answers for this very function.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const final;

    // The largest width of sizeHint(option, index) over indexes (0 for
    // none): what asking cell by cell gives, measured once per distinct
    // cell content and, for many plain text cells, on several threads.
    // GUI thread only; the model is read here alone.
    int widestSizeHint(const QStyleOptionViewItem& option, const QVector<QModelIndex>& indexes) const;

    // From how many distinct plain text contents widestSizeHint shares the
    // measuring out among helper threads.
    static constexpr int parallelFrom = 2000;

protected:
    void drawDisplay(QPainter* painter, const QStyleOptionViewItem& option, const QRect& rect,
                     const QString& text) const override;
};
