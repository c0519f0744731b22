// The sized text edit.
#include "foundation/htextedit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QTextBlockFormat>
#include <QTextCursor>

#include "foundation/sizing.h"

HTextEdit::HTextEdit(int columns, int rows, QWidget* parent)
    : QTextEdit(parent), columns(columns), rows(rows)
{
}

HTextEdit::HTextEdit(QWidget* parent)
    : HTextEdit(-1, -1, parent)
{
}

QSize HTextEdit::sizeHint() const
{
    QSize base = QTextEdit::sizeHint();
    QFontMetrics metrics = fontMetrics();
    int fw = frameWidth();
    int width = columns != -1 ? fw + columns * metrics.horizontalAdvance(QLatin1Char('n')) + fw
                              : base.width();
    int height = rows != -1 ? fw + rows * metrics.lineSpacing() + fw : base.height();
    return QSize(width, height).boundedTo(Sizing::screenCap(this));
}

void HTextEdit::appendCompact(QString text)
{
    append(text);
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    QTextBlockFormat format = cursor.blockFormat();
    format.setTopMargin(0.0);
    format.setBottomMargin(0.0);
    cursor.setBlockFormat(format);
    cursor.endEditBlock();
}

void HTextEdit::focusOutEvent(QFocusEvent* e)
{
    // The edit's own context menu takes the focus only for a moment; the
    // user is still editing.
    QWidget* popup = QApplication::activePopupWidget();
    bool toOwnPopup = e->reason() == Qt::PopupFocusReason || (popup && popup->parentWidget() == this);
    if (!toOwnPopup)
        emit editingFinished();
    QTextEdit::focusOutEvent(e);
}
