// The table views' delegate: cell text is drawn on one line, never wrapped;
// a whole column's widest size hint is measured in one go.
#pragma once

#include <memory>
#include <vector>

#include <QItemDelegate>
#include <QModelIndex>
#include <QStyleOptionViewItem>
#include <QVector>

class HItemDelegate : public QItemDelegate
{
public:
    explicit HItemDelegate(QObject* parent);

    // The item delegate's own hint. Final, so that Batch always answers for
    // this very function.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const final;

    // The widest size hints of several lists of cells: per list, the
    // largest width of sizeHint(option, index) over its indexes (0 for
    // none), what asking cell by cell gives, measured once per distinct
    // cell content. A list is read when it is added, and its many plain
    // texts are measured by helper threads while the next one is read. GUI
    // thread only; the model is read there alone, and must not change until
    // finish() or the end of the batch.
    class Batch
    {
    public:
        Batch(const HItemDelegate& delegate, const QStyleOptionViewItem& option);
        ~Batch();
        Q_DISABLE_COPY_MOVE(Batch)

        void add(const QVector<QModelIndex>& indexes);
        // The widest of each list added since the last finish, in order.
        QVector<int> finish();

    private:
        struct List;
        const HItemDelegate& delegate;
        const QStyleOptionViewItem option;
        std::vector<std::unique_ptr<List>> lists;
    };

    // From how many distinct plain text contents of a list Batch shares the
    // measuring out among helper threads.
    static constexpr int parallelFrom = 2000;

protected:
    void drawDisplay(QPainter* painter, const QStyleOptionViewItem& option, const QRect& rect,
                     const QString& text) const override;
};
