// The dialog that ignores Return and Enter.
#include "foundation/hdialog.h"

#include <QKeyEvent>

HDialog::HDialog(QWidget* parent)
    : QDialog(parent)
{
}

void HDialog::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        e->ignore();
        return;
    }
    QDialog::keyPressEvent(e);
}
