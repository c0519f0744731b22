// The package description dialog: the name heading, one area per version,
// and the busy state that keeps it open while extra data loads.
#include "app/packagetable/describe/dialog.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/packagetable/describe/area.h"
#include "engine/package.h"
#include "engine/yumio.h"
#include "foundation/fonts.h"
#include "foundation/hseparator.h"
#include "foundation/sizing.h"

namespace PackageTable
{
namespace Describe
{

Dialog::Dialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("KUV Package Description"));
    setAttribute(Qt::WA_ShowModal);
    QVBoxLayout* layout = new QVBoxLayout;
    contentLayout = new QHBoxLayout;
    layout->addLayout(contentLayout);

    QHBoxLayout* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    closeButton = new QPushButton(tr("Close"), this);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    setLayout(layout);
}

Dialog::~Dialog()
{
    // Normally empty by now; a dialog deleted while shown (its parent went
    // first) must not leave the areas' top-level dialogs behind.
    qDeleteAll(areas);
}

void Dialog::config(YumIO* yumIO, const Package::Entry& entry, YumConfIO* yumConfIO)
{
    // Left over from a hide during a load.
    if (content)
        empty();

    content = new QWidget(this);
    QVBoxLayout* column = new QVBoxLayout;

    QLabel* name = new QLabel(yumIO->getName(entry), content);
    name->setTextFormat(Qt::PlainText);
    name->setFont(Fonts::makeHeader(name->font()));
    name->setAlignment(Qt::AlignHCenter);
    column->addWidget(name);

    column->addWidget(new HSeparator(content));
    areas.append(new Instance::Area(this, column, yumIO, entry, yumConfIO, true));
    for (const Package::Entry* version = entry.next; version; version = version->next) {
        column->addWidget(new HSeparator(content));
        areas.append(new Instance::Area(this, column, yumIO, *version, yumConfIO, false));
    }

    content->setLayout(column);
    contentLayout->addWidget(content);
    // The dialog is reused: each description sizes it afresh from its own
    // areas, up to nine tenths of the screen (a first show alone would
    // stop at two thirds, and later shows keep the old size). The outer
    // layout still holds the hint of the last content until invalidated.
    layout()->invalidate();
    resize(sizeHint().boundedTo(Sizing::screenCap(this)));
}

void Dialog::setReady(bool ready)
{
    this->ready = ready;
    closeButton->setEnabled(ready);
    for (Instance::Area* area : areas)
        area->setButtonsEnabled(ready);
    if (ready && emptyWhenReady) {
        emptyWhenReady = false;
        // The area whose load just ended is still on the stack, under the
        // button that started it: both go once control is back in the loop.
        QTimer::singleShot(0, this, [this] {
            if (!isVisible() && this->ready && content)
                empty();
        });
    }
}

bool Dialog::isReady() const
{
    return ready;
}

void Dialog::setVisible(bool visible)
{
    if (!visible && content) {
        if (ready)
            empty();
        else
            emptyWhenReady = true;
    }
    QDialog::setVisible(visible);
}

void Dialog::done(int r)
{
    if (ready)
        QDialog::done(r);
}

void Dialog::closeEvent(QCloseEvent* e)
{
    if (ready)
        QDialog::closeEvent(e);
    else
        e->ignore();
}

void Dialog::empty()
{
    contentLayout->removeWidget(content);
    delete content;
    content = nullptr;
    qDeleteAll(areas);
    areas.clear();
}

}
}
