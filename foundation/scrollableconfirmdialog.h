// A question with OK and Cancel whose text may be longer than a screen,
// such as a transaction listing; the text scrolls beyond nine tenths of
// the screen.
#pragma once

#include <QDialog>

class QLabel;

class ScrollableConfirmDialog : public QDialog
{
public:
    // exec() gives 1 for OK, 0 for Cancel, Escape or closing the window.
    ScrollableConfirmDialog(QString text, QWidget* parent);

    // Opens as large as the text needs, up to nine tenths of the screen.
    void setVisible(bool visible) override;

private:
    QLabel* label;
};
