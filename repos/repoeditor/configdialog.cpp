// The repository form's dialog: its buttons and status line, and what a run
// leaves in the entry and the session flags.
#include "repos/repoeditor/configdialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "repos/entry.h"
#include "repos/repoeditor/config.h"
#include "repos/yumconfio.h"

namespace RepoEditor
{

ConfigDialog::ConfigDialog(YumConfIO* yumConfIO, QWidget* parent)
    : HDialog(parent)
    , yumConfIO(yumConfIO)
{
    setWindowTitle(tr("KUV Repository Configuration"));
    setAttribute(Qt::WA_ShowModal);
    QVBoxLayout* layout = new QVBoxLayout(this);

    // Installed before the form is built, so that its widgets are the
    // dialog's from the start.
    QGridLayout* grid = new QGridLayout;
    layout->addLayout(grid);
    config = new Config(grid);
    connect(config, &Config::changed, this, &ConfigDialog::changed);
    config->disable();

    QHBoxLayout* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    status = new QLabel(QString(), this);
    status->setObjectName(QStringLiteral("status"));
    // It quotes the File field, which is never markup.
    status->setTextFormat(Qt::PlainText);
    buttons->addWidget(status);
    buttons->addStretch();
    resetButton = new QPushButton(tr("Reset"), this);
    resetButton->setToolTip(tr("Undo changes to this repository configuration"));
    QPushButton* cancelButton = new QPushButton(tr("Cancel"), this);
    cancelButton->setToolTip(
        tr("Undo changes to this repository configuration and close the window"));
    QPushButton* okButton = new QPushButton(tr("OK"), this);
    okButton->setToolTip(
        tr("Apply changes to all repository configurations, and close the window"));
    okButton->setDefault(true);
    resetButton->setObjectName(QStringLiteral("reset"));
    cancelButton->setObjectName(QStringLiteral("cancel"));
    okButton->setObjectName(QStringLiteral("ok"));
    for (QPushButton* button : {resetButton, cancelButton, okButton})
        buttons->addWidget(button);
    connect(resetButton, &QPushButton::clicked, this, &ConfigDialog::reset);
    connect(cancelButton, &QPushButton::clicked, this, &ConfigDialog::cancel);
    connect(okButton, &QPushButton::clicked, this, &ConfigDialog::ok);

    savedStatusPalette = status->palette();
}

ConfigDialog::~ConfigDialog()
{
    // The form has no parent object; its widgets are the dialog's.
    delete config;
}

void ConfigDialog::setEntry(Repo::Entry* entry)
{
    this->entry = entry;
    config->setEntry(*entry);
    updateStatusLabel();
}

void ConfigDialog::setVisible(bool visible)
{
    if (visible) {
        config->setDefaults(yumConfIO->enabledDefault, yumConfIO->gpgcheckDefault);
        setHasChanged(false);
        config->identifier->setFocus(Qt::OtherFocusReason);
    }
    HDialog::setVisible(visible);
}

void ConfigDialog::setHasChanged(bool b)
{
    hasChanged = b;
    resetButton->setEnabled(b);
    updateStatusLabel();
}

void ConfigDialog::updateStatusLabel()
{
    if (!config->setStatus(yumConfIO, status)) {
        status->setPalette(savedStatusPalette);
        status->clear();
    }
}

void ConfigDialog::changed()
{
    setHasChanged(true);
}

void ConfigDialog::reset()
{
    if (entry)
        config->setEntry(*entry);
    setHasChanged(false);
}

void ConfigDialog::cancel()
{
    reject();
}

void ConfigDialog::ok()
{
    // An unchanged form adds or changes nothing.
    if (!hasChanged || !entry) {
        reject();
        return;
    }
    // The status line says why: taking the form now would move the
    // repository to a position the user never saw, or hand the writer a
    // value it refuses.
    if (!config->acceptable(yumConfIO))
        return;

    const Repo::Entry edited = config->toEntry();
    bool use = yumConfIO->enabledDefault;
    if (edited.enabled == Repo::Entry::Yes)
        use = true;
    else if (edited.enabled == Repo::Entry::No)
        use = false;
    // A former identifier's flag stays as it is: the editor may still hold
    // another section under that identifier.
    (*yumConfIO->used)[edited.id] = use;
    *entry = edited;
    accept();
}

}
