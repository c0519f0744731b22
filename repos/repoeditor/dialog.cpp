// The repository editor dialog: opening and closing, the buttons, the status
// line, and the session flags kept for Reset All and Cancel.
#include "repos/repoeditor/dialog.h"

#include <algorithm>

#include <QFrame>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSizePolicy>
#include <QVBoxLayout>

#include "foundation/colors.h"
#include "repos/entry.h"
#include "repos/repobrowse.h"
#include "repos/repoeditor/configdialog.h"
#include "repos/repoeditor/contextmenu.h"
#include "repos/repoeditor/filetext.h"
#include "repos/repoeditor/model.h"
#include "repos/repoeditor/view.h"
#include "repos/yumconfio.h"

namespace RepoEditor
{

namespace
{

QPushButton* makeButton(const QString& text, const QString& toolTip, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setToolTip(toolTip);
    return button;
}

}

Dialog::Dialog(YumIO* yumIO, YumConfIO* yumConfIO, QWidget* parent)
    : HDialog(parent)
    , boxParent(parent)
    , yumIO(yumIO)
    , yumConfIO(yumConfIO)
{
    setWindowTitle(tr("KUV Repository Configuration Editor"));
    setAttribute(Qt::WA_ShowModal);

    auto* layout = new QVBoxLayout(this);
    model = new Model(yumIO, yumConfIO, this);
    view = new View(model, this);
    model->setViewFont(view->font());
    layout->addWidget(view);

    auto* buttonRow = new QHBoxLayout;
    browseButton = makeButton(
        tr("Browse Repository"),
        tr("Browse the first URL specified for the selected repository using an external web "
           "browser"),
        this);
    editButton = makeButton(tr("Edit"), tr("Edit the selected repository configuration"), this);
    auto* addButton =
        makeButton(tr("Add"), tr("Create a new repository configuration from scratch"), this);
    copyButton = makeButton(
        tr("Copy"), tr("Create a new repository configuration based on the selected repository"),
        this);
    removeButton =
        makeButton(tr("Remove"), tr("Remove the selected repository configuration"), this);
    buttonRow->addWidget(browseButton);
    buttonRow->addStretch();
    buttonRow->addWidget(editButton);
    buttonRow->addWidget(addButton);
    buttonRow->addWidget(copyButton);
    buttonRow->addWidget(removeButton);
    layout->addLayout(buttonRow);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    auto* bottomRow = new QHBoxLayout;
    status = new QLabel(QString(), this);
    // Identifiers are quoted in it as they are, never as markup.
    status->setTextFormat(Qt::PlainText);
    // A new status text must not move the buttons under the pointer: the
    // label takes the room left of them, kept wide enough for its usual
    // texts from the start, and a longer text (a long identifier quoted) is
    // cut instead of widening the window.
    QSizePolicy statusPolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusPolicy.setHorizontalStretch(1);
    status->setSizePolicy(statusPolicy);
    status->setMinimumWidth(
        std::max(status->fontMetrics().horizontalAdvance(tr("Unapplied Configuration Changes")),
                 status->fontMetrics().horizontalAdvance(tr("A repository has no Identifier"))));
    resetAllButton = makeButton(tr("Reset All"),
                                tr("Undo changes to all repository configurations since the last "
                                   "Apply or opening of the dialog"),
                                this);
    auto* cancelButton = makeButton(tr("Cancel"),
                                    tr("Undo changes to all repository configurations since the "
                                       "last Apply or opening of the dialog, and close the window"),
                                    this);
    applyButton = makeButton(
        tr("Apply"), tr("Apply changes to all repository configurations, but do not close the window"),
        this);
    auto* okButton = makeButton(
        tr("OK"), tr("Apply changes to all repository configurations, and close the window"), this);
    bottomRow->addWidget(status);
    bottomRow->addStretch();
    bottomRow->addWidget(resetAllButton);
    bottomRow->addWidget(cancelButton);
    bottomRow->addWidget(applyButton);
    bottomRow->addWidget(okButton);
    layout->addLayout(bottomRow);

    // Return and Enter do nothing in this dialog: the default only shows.
    applyButton->setDefault(true);
    addButton->setAutoDefault(false);
    addButton->setDefault(false);
    for (QPushButton* button : {browseButton, editButton, copyButton, removeButton})
        button->setEnabled(false);
    resetAllButton->setEnabled(false);
    applyButton->setEnabled(false);

    connect(model, &Model::useChanged, this, &Dialog::useChanged);
    connect(model, &Model::configChanged, this, &Dialog::configChanged);
    connect(view, qOverload<int, int>(&View::currentChanged), this, &Dialog::currentChanged);
    connect(view, &View::activated, this, qOverload<QModelIndex>(&Dialog::edit));
    connect(browseButton, &QPushButton::clicked, this, &Dialog::browse);
    connect(editButton, &QPushButton::clicked, this, qOverload<>(&Dialog::edit));
    connect(addButton, &QPushButton::clicked, this, &Dialog::add);
    connect(copyButton, &QPushButton::clicked, this, &Dialog::copy);
    connect(removeButton, &QPushButton::clicked, this, &Dialog::remove);
    connect(resetAllButton, &QPushButton::clicked, this, &Dialog::resetAll);
    connect(cancelButton, &QPushButton::clicked, this, &Dialog::cancel);
    connect(applyButton, &QPushButton::clicked, this, &Dialog::apply);
    connect(okButton, &QPushButton::clicked, this, &Dialog::ok);
    connect(view->getContextMenu(), qOverload<QModelIndex>(&ContextMenu::edit), this,
            qOverload<QModelIndex>(&Dialog::edit));

    configDialog = new ConfigDialog(yumConfIO, this);
    savedStatusPalette = status->palette();
    savedUsed = *yumConfIO->used;
}

// ---- Opening and closing ----

int Dialog::exec()
{
    if (isVisible())
        return HDialog::exec();
    if (!openConfiguration()) {
        // The read has shown its error. A modal loop for a dialog that is
        // not shown could only be left by the program's end.
        setResult(QDialog::Rejected);
        openingFailed();
        return QDialog::Rejected;
    }
    opened = true;
    const int result = HDialog::exec();
    opened = false;
    return result;
}

void Dialog::setVisible(bool visible)
{
    if (visible) {
        if (isVisible()) {
            HDialog::setVisible(true);
            return;
        }
        if (!opened && !openConfiguration()) {
            openingFailed();
            return;
        }
        opened = false;
        HDialog::setVisible(true);
        return;
    }
    const bool wasVisible = isVisible();
    HDialog::setVisible(false);
    if (wasVisible && (applied || useHasChanged || forceReposChanged))
        emit reposChanged();
}

bool Dialog::openConfiguration()
{
    savedUsed = *yumConfIO->used;
    const bool ok = yumConfIO->read(boxParent);
    model->reset();
    if (!ok)
        return false;
    // Sorted by identifier, ascending, whatever order was used last time.
    view->sortByColumn(Model::IdColumn, Qt::AscendingOrder);
    view->resizeColumnsToContents();
    useHasChanged = false;
    setConfigHasChanged(false);
    applied = false;
    return true;
}

void Dialog::openingFailed()
{
    // Nothing was shown, changed or written; a forced run still reports, so
    // that the start with the editor goes on to the package list.
    if (forceReposChanged)
        emit reposChanged();
}

// ---- The table and its buttons ----

void Dialog::currentChanged(int currentRow, int)
{
    const bool current = currentRow != -1;
    for (QPushButton* button : {editButton, browseButton, copyButton, removeButton})
        button->setEnabled(current);
    updateStatusLabel();
}

void Dialog::useChanged()
{
    useHasChanged = true;
}

void Dialog::configChanged()
{
    setConfigHasChanged(true);
}

void Dialog::browse()
{
    const int row = view->currentRow();
    if (row < 0 || row >= yumConfIO->entries.size())
        return;
    RepoBrowse::browse(this, yumConfIO->entries.at(row), yumIO);
}

void Dialog::edit()
{
    const int row = view->currentRow();
    if (row < 0)
        return;
    edit(model->createIndex(row));
}

void Dialog::edit(QModelIndex ix)
{
    if (!ix.isValid() || ix.row() >= yumConfIO->entries.size())
        return;
    const int row = ix.row();
    if (!runForm(yumConfIO->entries[row]))
        return;
    model->dataChanged(row);
    setConfigHasChanged(true);
}

void Dialog::add()
{
    addThroughForm(Repo::Entry());
}

void Dialog::copy()
{
    const int row = view->currentRow();
    if (row < 0 || row >= yumConfIO->entries.size())
        return;
    addThroughForm(yumConfIO->entries.at(row));
}

void Dialog::addThroughForm(const Repo::Entry& original)
{
    Repo::Entry entry = original;
    if (!runForm(entry))
        return;
    view->selectionModel()->clearCurrentIndex();
    const int row = model->addRow(entry);
    view->setCurrentRow(row);
    model->dataChanged(row);
    setConfigHasChanged(true);
}

bool Dialog::runForm(Repo::Entry& entry)
{
    // The form shows and takes text as the user reads it; the entry holds
    // the file's bytes.
    Repo::Entry shown = FileText::shownEntry(entry);
    const QHash<QString, bool> usedBefore = *yumConfIO->used;
    configDialog->setEntry(&shown);
    if (configDialog->exec() != QDialog::Accepted)
        return false;
    const Repo::Entry stored = FileText::storedEntry(shown, entry);
    if (stored.id != shown.id) {
        // The form set the session flag under the identifier as typed.
        QHash<QString, bool>& used = *yumConfIO->used;
        used[stored.id] = used.value(shown.id);
        if (usedBefore.contains(shown.id))
            used[shown.id] = usedBefore.value(shown.id);
        else
            used.remove(shown.id);
    }
    entry = stored;
    return true;
}

void Dialog::remove()
{
    QList<int> rows;
    for (const QModelIndex& ix : view->selectedRows()) {
        // Cells of one row selected in separate ranges name it more than
        // once; it goes once.
        if (ix.isValid() && !rows.contains(ix.row()))
            rows.append(ix.row());
    }
    view->selectionModel()->clearCurrentIndex();
    // From the highest row down, so that no removal moves a row still to go.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : rows)
        model->removeRow(row);
    setConfigHasChanged(true);
}

// ---- The whole configuration ----

void Dialog::resetAll()
{
    const int row = view->currentRow();
    const QString id = row != -1 ? yumConfIO->entries.value(row).id : QString();
    *yumConfIO->used = savedUsed;
    // A failed read has shown its box; the table shows what it left.
    yumConfIO->read(this);
    model->reset();
    if (row != -1)
        setEntryToOldId(id);
    useHasChanged = false;
    setConfigHasChanged(false);
}

void Dialog::cancel()
{
    resetAll();
    reject();
}

bool Dialog::apply()
{
    const int row = view->currentRow();
    const QString id = row != -1 ? yumConfIO->entries.value(row).id : QString();
    const int rows = yumConfIO->entries.size();
    // The write goes through the store, which replaces each file whole and
    // keeps links, and files holding a password private.
    if (!yumConfIO->write(this)) {
        // The change stays pending. The sections without or with a doubled
        // identifier that the user agreed to drop are gone from the list
        // even so, and the table must not show rows that are no more.
        if (yumConfIO->entries.size() != rows) {
            model->reset();
            if (row != -1)
                setEntryToOldId(id);
            updateStatusLabel();
        }
        return false;
    }
    model->reset();
    if (row != -1)
        setEntryToOldId(id);
    setConfigHasChanged(false);
    applied = true;
    return true;
}

void Dialog::ok()
{
    if (!configHasChanged || apply())
        accept();
}

void Dialog::setEntryToOldId(QString id)
{
    for (int row = 0; row < yumConfIO->entries.size(); ++row) {
        if (yumConfIO->entries.at(row).id == id)
            view->setCurrentRow(row);
    }
}

// ---- Status ----

void Dialog::setConfigHasChanged(bool b)
{
    configHasChanged = b;
    resetAllButton->setEnabled(b);
    applyButton->setEnabled(b);
    updateStatusLabel();
}

void Dialog::updateStatusLabel()
{
    if (hasEmptyId()) {
        status->setPalette(Colors::makeError(status->palette()));
        status->setText(tr("A repository has no Identifier"));
        return;
    }
    const QString duplicate = getDuplicateId();
    if (!duplicate.isEmpty()) {
        status->setPalette(Colors::makeError(status->palette()));
        status->setText(tr("Two or more repositories have the Identifier, %1")
                            .arg(FileText::shown(duplicate)));
        return;
    }
    if (!configHasChanged) {
        status->setPalette(savedStatusPalette);
        status->clear();
        return;
    }
    status->setPalette(Colors::makeOK(status->palette()));
    status->setText(tr("Unapplied Configuration Changes"));
}

bool Dialog::hasEmptyId() const
{
    for (const Repo::Entry& entry : yumConfIO->entries) {
        if (entry.id.isEmpty())
            return true;
    }
    return false;
}

QString Dialog::getDuplicateId() const
{
    // The first entry in list order that a later one repeats. Counted, not
    // compared pair by pair: the status is updated at every click, and a
    // configuration may hold thousands of sections.
    QHash<QString, int> count;
    for (const Repo::Entry& entry : yumConfIO->entries)
        ++count[entry.id];
    for (const Repo::Entry& entry : yumConfIO->entries) {
        if (count.value(entry.id) > 1)
            return entry.id;
    }
    return QString();
}

}
