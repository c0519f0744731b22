// The scrollable confirmation dialog.
#include "foundation/scrollableconfirmdialog.h"

#include <QBoxLayout>
#include <QPushButton>

#include "foundation/scrollablemessage.h"

ScrollableConfirmDialog::ScrollableConfirmDialog(QString text, QWidget* parent)
    : QDialog(parent)
{
    setAttribute(Qt::WA_ShowModal);
    QVBoxLayout* layout = ScrollableMessage::layOut(this, QStyle::SP_MessageBoxQuestion, text, label);

    QHBoxLayout* buttons = new QHBoxLayout;
    QPushButton* ok = new QPushButton(tr("OK"), this);
    QPushButton* cancel = new QPushButton(tr("Cancel"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    layout->addLayout(buttons);
    setLayout(layout);
}

void ScrollableConfirmDialog::setVisible(bool visible)
{
    if (visible)
        ScrollableMessage::fitToText(this);
    QDialog::setVisible(visible);
}
