// A dialog on which Return and Enter do not press the default button, for
// forms where those keys belong to the fields being edited.
#pragma once

#include <QDialog>

class HDialog : public QDialog
{
public:
    explicit HDialog(QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* e) override;
};
