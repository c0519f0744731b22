// The scrollable confirmation dialog.
#include "foundation/scrollableconfirmdialog.h"

#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "foundation/hscrollarea.h"

ScrollableConfirmDialog::ScrollableConfirmDialog(QString text, QWidget* parent)
    : QDialog(parent)
{
    setAttribute(Qt::WA_ShowModal);
    QVBoxLayout* layout = new QVBoxLayout;
    QHBoxLayout* message = new QHBoxLayout;

    QLabel* icon = new QLabel(this);
    QStyle* style = QApplication::style();
    int iconSize = style->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(iconSize, iconSize));
    message->addWidget(icon, 0, Qt::AlignTop);

    // The area is as large as the text up to nine tenths of the screen and
    // scrolls beyond; its frame would only draw a box around the text.
    HScrollArea* area = new HScrollArea(this);
    area->setFrameStyle(QFrame::NoFrame | QFrame::Plain);
    label = new QLabel(text);
    label->setWordWrap(false);
    area->setWidget(label);
    message->addWidget(area);
    layout->addLayout(message);

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
