// A read-only viewer for long texts (a package's file list or change log).
#pragma once

#include <QDialog>

class HTextEdit;

class TextDialog : public QDialog
{
public:
    explicit TextDialog(QWidget* parent);

    // Shows text as plain text, long lines unbroken.
    void setText(QString text);

private:
    HTextEdit* text;
};
