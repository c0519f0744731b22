// A text edit sized in character columns and text rows, which reports when
// editing ends and can append lines without paragraph spacing.
#pragma once

#include <QTextEdit>

class HTextEdit : public QTextEdit
{
    Q_OBJECT

public:
    // -1 in either direction keeps the base size hint there.
    HTextEdit(int columns, int rows, QWidget* parent);
    explicit HTextEdit(QWidget* parent);

    QSize sizeHint() const override;

    // Appends text as its own paragraph with no margin above or below, so
    // that appended lines stand as in a terminal.
    void appendCompact(QString text);

signals:
    // The focus left the edit, other than for its own popup (context menu).
    void editingFinished();

protected:
    void focusOutEvent(QFocusEvent* e) override;

private:
    int columns;
    int rows;
};
