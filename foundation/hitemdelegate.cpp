// The non-wrapping item delegate, and the measuring of a column's widest
// cell: the item delegate's own size hint, asked once per distinct cell
// content, the plain text ones shared out among helper threads.
#include "foundation/hitemdelegate.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <QAbstractTableModel>
#include <QApplication>
#include <QAtomicInt>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QProxyStyle>
#include <QRunnable>
#include <QSemaphore>
#include <QSet>
#include <QStyle>
#include <QThread>
#include <QThreadPool>

namespace {

// What the item delegate's size hint reads of a cell besides its size hint
// role (which, when set, is the answer itself).
struct Content
{
    QVariant display;
    QVariant decoration;
    QVariant checkState;
    QVariant font;
};

// A content, reduced to what tells two contents apart: cells with equal
// keys give equal size hints. A kind is 0 for no value, else one per type
// of value; a decoration is known by the identity of its icon's, pixmap's
// or image's contents.
struct ContentKey
{
    QString text;
    quint64 decoration = 0;
    int checkState = 0;
    QVariant font;
    uint fontMask = 0;
    int displayKind = 0;
    int decorationKind = 0;
    int checkKind = 0;
    int fontKind = 0;
    uint hash = 0;
};

bool operator==(const ContentKey& a, const ContentKey& b)
{
    if (a.hash != b.hash || a.displayKind != b.displayKind || a.decorationKind != b.decorationKind
        || a.checkKind != b.checkKind || a.fontKind != b.fontKind || a.text != b.text
        || a.decoration != b.decoration || a.checkState != b.checkState
        || a.fontMask != b.fontMask)
        return false;
    return a.fontKind == 0 || qvariant_cast<QFont>(a.font) == qvariant_cast<QFont>(b.font);
}

// The hash is made with the key, by makeKey.
uint qHash(const ContentKey& key, uint)
{
    return key.hash;
}

uint combine(uint hash, uint value)
{
    return hash ^ (value + 0x9e3779b9u + (hash << 6) + (hash >> 2));
}

// False when a value is of a type whose equal-looking values might measure
// differently; such a cell is measured by itself.
bool makeKey(const Content& content, ContentKey* key)
{
    switch (content.display.userType()) {
    case QMetaType::UnknownType:
        break;
    case QMetaType::QString:
        key->text = content.display.toString();
        // A null text is no text at all, an empty one still a text line.
        key->displayKind = key->text.isNull() ? 2 : 1;
        break;
    default:
        return false;
    }

    switch (content.decoration.userType()) {
    case QMetaType::UnknownType:
        break;
    case QMetaType::QIcon:
        key->decorationKind = 1;
        key->decoration = qvariant_cast<QIcon>(content.decoration).cacheKey();
        break;
    case QMetaType::QPixmap:
        key->decorationKind = 2;
        key->decoration = qvariant_cast<QPixmap>(content.decoration).cacheKey();
        break;
    case QMetaType::QImage:
        key->decorationKind = 3;
        key->decoration = qvariant_cast<QImage>(content.decoration).cacheKey();
        break;
    case QMetaType::QColor: {
        QColor color = qvariant_cast<QColor>(content.decoration);
        // An invalid colour shows nothing, a valid one a swatch.
        key->decorationKind = color.isValid() ? 4 : 5;
        key->decoration = quint64(color.rgba64());
        break;
    }
    default:
        return false;
    }

    switch (content.checkState.userType()) {
    case QMetaType::UnknownType:
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
        key->checkKind = 1;
        key->checkState = content.checkState.toInt();
        break;
    default:
        return false;
    }

    switch (content.font.userType()) {
    case QMetaType::UnknownType:
        break;
    case QMetaType::QFont:
        key->fontKind = 1;
        key->font = content.font;
        // Which attributes the font sets decides what it takes from the
        // view's font.
        key->fontMask = qvariant_cast<QFont>(content.font).resolve();
        break;
    default:
        return false;
    }

    uint hash = ::qHash(key->text);
    hash = combine(hash, ::qHash(key->decoration));
    hash = combine(hash, uint(key->checkState));
    hash = combine(hash, uint(key->displayKind | key->decorationKind << 2 | key->checkKind << 5
                              | key->fontKind << 6));
    if (key->fontKind)
        hash = combine(hash, ::qHash(qvariant_cast<QFont>(key->font)) ^ key->fontMask);
    key->hash = hash;
    return true;
}

// The distinct contents of a column as a one-column model, so that each is
// measured through the item delegate's own size hint. Filled in the GUI
// thread, then only read, from any thread.
class ContentTable : public QAbstractTableModel
{
public:
    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(contents.size());
    }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : 1;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= int(contents.size()))
            return QVariant();
        const Content& content = contents[index.row()];
        switch (role) {
        case Qt::DisplayRole:
            return content.display;
        case Qt::DecorationRole:
            return content.decoration;
        case Qt::CheckStateRole:
            return content.checkState;
        case Qt::FontRole:
            return content.font;
        default:
            return QVariant();
        }
    }

    std::vector<Content> contents;
};

const int chunkSize = 64;

// Takes chunks of cells from next until none are left; the largest width.
int measureChunks(const QItemDelegate& delegate, const QStyleOptionViewItem& option,
                  const QVector<QModelIndex>& cells, QAtomicInt& next)
{
    int widest = 0;
    for (;;) {
        int start = next.fetchAndAddRelaxed(chunkSize);
        if (start >= cells.size())
            return widest;
        int end = std::min(start + chunkSize, cells.size());
        for (int i = start; i < end; ++i)
            widest = std::max(widest, delegate.QItemDelegate::sizeHint(option, cells[i]).width());
    }
}

// A helper thread's share of the measuring, with a delegate of its own: a
// delegate lays text out in a text layout it keeps.
class MeasureTask : public QRunnable
{
public:
    MeasureTask(const QStyleOptionViewItem& option, const QVector<QModelIndex>& cells,
                QAtomicInt& next, QSemaphore& finished)
        : option(option), cells(cells), next(next), finished(finished)
    {
        setAutoDelete(false);
    }

    void run() override
    {
        {
            QItemDelegate delegate;
            widest = measureChunks(delegate, option, cells, next);
        }
        // The task may be freed as soon as this is released: nothing after.
        finished.release();
    }

    // Read only after finished has been acquired for this task.
    int widest = 0;

private:
    const QStyleOptionViewItem option;
    const QVector<QModelIndex>& cells;
    QAtomicInt& next;
    QSemaphore& finished;
};

// The same font in private data of its own. Fonts cache their text engines
// per thread: one font shared by threads would have each drop the others'
// engines on every use. Setting an attribute to another value and back
// detaches without changing what the font measures.
QFont ownFont(const QFont& font)
{
    QFont own(font);
    own.setKerning(!font.kerning());
    own.setKerning(font.kerning());
    return own;
}

// Whether the style answers its metrics from any thread at once. The
// delegate asks the application's and the view's style for a margin; the
// styles that come with Qt, and the program's default, answer from fixed
// tables; others (style sheets, platform themes, a user's plugin) keep
// state or call into other toolkits and are asked from the GUI thread only.
bool answersFromAnyThread(const QStyle* style)
{
    if (!style)
        return false;
    static const char* const known[] = {"QCommonStyle", "QWindowsStyle", "QFusionStyle",
                                        "QPlastiqueStyle"};
    const char* name = style->metaObject()->className();
    if (std::none_of(std::begin(known), std::end(known),
                     [name](const char* knownName) { return qstrcmp(name, knownName) == 0; }))
        return false;
    if (const QProxyStyle* proxy = qobject_cast<const QProxyStyle*>(style))
        return answersFromAnyThread(proxy->baseStyle());
    return true;
}

int helperCount(const QStyleOptionViewItem& option, int cells)
{
    if (cells < HItemDelegate::parallelFrom)
        return 0;
    const QStyle* viewStyle = option.widget ? option.widget->style() : QApplication::style();
    if (!answersFromAnyThread(QApplication::style()) || !answersFromAnyThread(viewStyle))
        return 0;
    // Past a few threads the font database's lock, which every text layout
    // takes, gains little more.
    return qBound(0, QThread::idealThreadCount() - 1, 7);
}

} // namespace

HItemDelegate::HItemDelegate(QObject* parent)
    : QItemDelegate(parent)
{
}

QSize HItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return QItemDelegate::sizeHint(option, index);
}

// One list of cells: its distinct contents, the plain text ones measured by
// helpers and by the GUI thread at the end.
struct HItemDelegate::Batch::List
{
    ContentTable table;
    QVector<QModelIndex> plain;
    QAtomicInt next = 0;
    // Of the cells measured in the GUI thread as the list was read.
    int widest = 0;
    QSemaphore finished;
    std::vector<std::unique_ptr<MeasureTask>> tasks;
};

HItemDelegate::Batch::Batch(const HItemDelegate& delegate, const QStyleOptionViewItem& option)
    : delegate(delegate), option(option)
{
}

HItemDelegate::Batch::~Batch()
{
    // The helpers read the lists: none may be left running.
    if (!lists.empty())
        finish();
}

void HItemDelegate::Batch::add(const QVector<QModelIndex>& indexes)
{
    lists.emplace_back(new List);
    List& list = *lists.back();
    QSet<ContentKey> seen;
    for (const QModelIndex& index : indexes) {
        QVariant sizeHint = index.data(Qt::SizeHintRole);
        if (sizeHint.isValid()) {
            list.widest = std::max(list.widest, qvariant_cast<QSize>(sizeHint).width());
            continue;
        }
        Content content{index.data(Qt::DisplayRole), index.data(Qt::DecorationRole),
                        index.data(Qt::CheckStateRole), index.data(Qt::FontRole)};
        ContentKey key;
        if (!makeKey(content, &key)) {
            list.widest = std::max(list.widest, delegate.QItemDelegate::sizeHint(option, index).width());
            continue;
        }
        int known = seen.size();
        seen.insert(key);
        if (seen.size() != known)
            list.table.contents.push_back(content);
    }

    // Icons and check boxes are measured here: their sizes come from icon
    // engines and the style, which are not to be asked from other threads.
    // Columns have few distinct ones; the many distinct texts may be shared.
    for (int row = 0; row < int(list.table.contents.size()); ++row) {
        const Content& content = list.table.contents[row];
        QModelIndex cell = list.table.index(row, 0);
        if (content.decoration.isValid() || content.checkState.isValid())
            list.widest = std::max(list.widest, delegate.QItemDelegate::sizeHint(option, cell).width());
        else
            list.plain.append(cell);
    }

    // The helpers start at once, and measure while the next list is read.
    QThreadPool* pool = QThreadPool::globalInstance();
    const int helpers = helperCount(option, list.plain.size());
    for (int i = 0; i < helpers; ++i) {
        QStyleOptionViewItem own = option;
        own.font = ownFont(option.font);
        own.fontMetrics = QFontMetrics(own.font);
        list.tasks.emplace_back(new MeasureTask(own, list.plain, list.next, list.finished));
        pool->start(list.tasks.back().get());
    }
}

QVector<int> HItemDelegate::Batch::finish()
{
    QThreadPool* pool = QThreadPool::globalInstance();
    QVector<int> widths;
    widths.reserve(int(lists.size()));
    for (const std::unique_ptr<List>& list : lists) {
        // This thread measures too, so the work is done even while the pool
        // is busy with other things; helpers that have not started by the
        // end are taken back, the others waited for, since they use the
        // list's data.
        int widest = std::max(list->widest, measureChunks(delegate, option, list->plain, list->next));
        int started = 0;
        for (const std::unique_ptr<MeasureTask>& task : list->tasks)
            if (!pool->tryTake(task.get()))
                ++started;
        list->finished.acquire(started);
        for (const std::unique_ptr<MeasureTask>& task : list->tasks)
            widest = std::max(widest, task->widest);
        widths.append(widest);
    }
    lists.clear();
    return widths;
}

void HItemDelegate::drawDisplay(QPainter* painter, const QStyleOptionViewItem& option,
                                const QRect& rect, const QString& text) const
{
    QStyleOptionViewItem unwrapped = option;
    unwrapped.features &= ~QStyleOptionViewItem::WrapText;
    QItemDelegate::drawDisplay(painter, unwrapped, rect, text);
}
