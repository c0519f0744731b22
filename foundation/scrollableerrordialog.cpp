// The scrollable error dialog.
#include "foundation/scrollableerrordialog.h"

#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "foundation/hscrollarea.h"

ScrollableErrorDialog::ScrollableErrorDialog(QString text, QWidget* parent)
    : QDialog(parent)
{
    setAttribute(Qt::WA_ShowModal);
    QVBoxLayout* layout = new QVBoxLayout;
    QHBoxLayout* message = new QHBoxLayout;

    QLabel* icon = new QLabel(this);
    QStyle* style = QApplication::style();
    int iconSize = style->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, this).pixmap(iconSize, iconSize));
    message->addWidget(icon, 0, Qt::AlignTop);

    HScrollArea* area = new HScrollArea(this);
    area->setFrameStyle(QFrame::NoFrame | QFrame::Plain);
    label = new QLabel(text);
    label->setWordWrap(false);
    area->setWidget(label);
    message->addWidget(area);
    layout->addLayout(message);

    QHBoxLayout* buttons = new QHBoxLayout;
    QPushButton* close = new QPushButton(tr("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addStretch();
    buttons->addWidget(close);
    buttons->addStretch();
    layout->addLayout(buttons);
    setLayout(layout);
}
