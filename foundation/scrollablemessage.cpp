// The icon and scrolled text of the scrollable message dialogs.
#include "foundation/scrollablemessage.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QLabel>
#include <QLayout>

#include "foundation/hscrollarea.h"
#include "foundation/sizing.h"

QVBoxLayout* ScrollableMessage::layOut(QDialog* dialog, QStyle::StandardPixmap icon,
                                       const QString& text, QLabel*& label)
{
    QVBoxLayout* layout = new QVBoxLayout;
    QHBoxLayout* message = new QHBoxLayout;

    QLabel* iconLabel = new QLabel(dialog);
    QStyle* style = QApplication::style();
    int iconSize = style->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, dialog);
    iconLabel->setPixmap(style->standardIcon(icon, nullptr, dialog).pixmap(iconSize, iconSize));
    message->addWidget(iconLabel, 0, Qt::AlignTop);

    // The area is as large as the text up to nine tenths of the screen and
    // scrolls beyond; its frame would only draw a box around the text.
    HScrollArea* area = new HScrollArea(dialog);
    area->setFrameStyle(QFrame::NoFrame | QFrame::Plain);
    label = new QLabel(text);
    label->setWordWrap(false);
    area->setWidget(label);
    message->addWidget(area);
    layout->addLayout(message);
    return layout;
}

void ScrollableMessage::fitToText(QDialog* dialog)
{
    if (dialog->isVisible() || dialog->testAttribute(Qt::WA_Resized))
        return;
    // The style may still change fonts and scroll bars when it polishes.
    dialog->ensurePolished();
    if (QLayout* layout = dialog->layout())
        layout->activate();
    // The scroll area is capped already; the icon, margins and buttons
    // around it are not.
    dialog->resize(dialog->sizeHint().boundedTo(Sizing::screenCap(dialog)));
}
