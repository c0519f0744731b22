// The scrollable error dialog.
#include "foundation/scrollableerrordialog.h"

#include <QBoxLayout>
#include <QPushButton>

#include "foundation/scrollablemessage.h"

ScrollableErrorDialog::ScrollableErrorDialog(QString text, QWidget* parent)
    : QDialog(parent)
{
    setAttribute(Qt::WA_ShowModal);
    QVBoxLayout* layout = ScrollableMessage::layOut(this, QStyle::SP_MessageBoxCritical, text, label);

    QHBoxLayout* buttons = new QHBoxLayout;
    QPushButton* close = new QPushButton(tr("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addStretch();
    buttons->addWidget(close);
    buttons->addStretch();
    layout->addLayout(buttons);
    setLayout(layout);
}

void ScrollableErrorDialog::setVisible(bool visible)
{
    if (visible)
        ScrollableMessage::fitToText(this);
    QDialog::setVisible(visible);
}
