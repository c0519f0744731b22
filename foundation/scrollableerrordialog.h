// An error with a Close button whose text may be longer than a screen,
// such as an exception with the log lines that led to it.
#pragma once

#include <QDialog>

class QLabel;

class ScrollableErrorDialog : public QDialog
{
public:
    // exec() gives 1 for Close, 0 for Escape or closing the window.
    ScrollableErrorDialog(QString text, QWidget* parent);

    // Opens as large as the text needs, up to nine tenths of the screen.
    void setVisible(bool visible) override;

private:
    QLabel* label;
};
