// A horizontal sunken rule between sections of a dialog.
#pragma once

#include <QFrame>

class HSeparator : public QFrame
{
public:
    explicit HSeparator(QWidget* parent);
};
