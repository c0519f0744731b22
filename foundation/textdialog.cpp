// The text viewer dialog.
#include "foundation/textdialog.h"

#include <QBoxLayout>
#include <QPushButton>

#include "foundation/htextedit.h"

TextDialog::TextDialog(QWidget* parent)
    : QDialog(parent)
{
    setAttribute(Qt::WA_ShowModal);
    QVBoxLayout* layout = new QVBoxLayout;

    text = new HTextEdit(80, 24, this);
    text->setReadOnly(true);
    text->setLineWrapMode(QTextEdit::NoWrap);
    text->setWordWrapMode(QTextOption::NoWrap);
    // Tab goes on to the Close button; a read-only viewer has no use for it.
    text->setTabChangesFocus(true);
    layout->addWidget(text);

    QHBoxLayout* buttons = new QHBoxLayout;
    QPushButton* close = new QPushButton(tr("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    setLayout(layout);
}

void TextDialog::setText(QString text)
{
    this->text->setPlainText(text);
}
