// RepoEditor::Dialog: the repository editor, the modal window in which every
// configured repository is edited at once. A table of the repositories with
// their session and permanent enable flags, buttons to browse, edit, add,
// copy and remove them, and Reset All / Cancel / Apply / OK for the whole
// configuration. Every opening re-reads yum's files; only Apply and OK write
// them. Session flags change in memory at once and are put back by Reset All
// and Cancel.
#pragma once

#include <QHash>
#include <QModelIndex>
#include <QPalette>
#include <QString>

#include "foundation/hdialog.h"

class QLabel;
class QPushButton;
class QWidget;
class YumConfIO;
class YumIO;

namespace Repo
{
class Entry;
}

namespace RepoEditor
{

class ConfigDialog;
class Model;
class View;

class Dialog : public HDialog
{
    Q_OBJECT

    friend class DialogTestAccess;

public:
    // Both are borrowed and outlive the dialog; parent (the main window)
    // also parents the error boxes of the read made at opening.
    Dialog(YumIO* yumIO, YumConfIO* yumConfIO, QWidget* parent);

    // Opens the dialog and runs it modally. After a read that failed (its
    // error box already shown) it returns Rejected at once: no modal loop
    // runs for a dialog that is not shown.
    int exec() override;

    // Set by the main window before each run: closing then always emits
    // reposChanged(). The dialog never changes it.
    bool forceReposChanged = false;

signals:
    // Emitted in the GUI thread when the dialog closes after a write, after
    // a session flag was toggled and not reset, or always when forced (also
    // when it could not open).
    void reposChanged();

public slots:
    // Showing opens: the configuration is read, the session flags saved,
    // the table sorted by identifier. A failed read leaves it hidden.
    // Hiding closes.
    void setVisible(bool visible) override;

protected slots:
    void currentChanged(int currentRow, int previousRow);
    void useChanged();
    void configChanged();
    void browse();
    void edit();
    void edit(QModelIndex ix);
    void add();
    void copy();
    void remove();
    void resetAll();
    void cancel();
    bool apply();
    void ok();

private:
    // What every opening does before the dialog shows; false when the
    // configuration could not be read.
    bool openConfiguration();
    // An opening that failed counts as a closing.
    void openingFailed();
    // Runs the form over the entry; true when the form stored a change in it.
    bool runForm(Repo::Entry& entry);
    // Adds the entry through the form, as Add and Copy do.
    void addThroughForm(const Repo::Entry& entry);
    void setConfigHasChanged(bool b);
    void updateStatusLabel();
    bool hasEmptyId() const;
    QString getDuplicateId() const;
    void setEntryToOldId(QString id);

    // The main window: parent of the error boxes of the read at opening.
    QWidget* boxParent;
    Model* model;
    View* view;
    QPushButton* browseButton;
    QPushButton* editButton;
    QPushButton* copyButton;
    QPushButton* removeButton;
    QLabel* status;
    QPushButton* resetAllButton;
    QPushButton* applyButton;
    ConfigDialog* configDialog;
    QPalette savedStatusPalette;
    YumIO* yumIO;
    YumConfIO* yumConfIO;
    QHash<QString, bool> savedUsed;
    bool useHasChanged = false;
    bool configHasChanged = false;
    bool applied = false;
    // exec() has opened the dialog already: the show it makes must not read
    // the files again.
    bool opened = false;
};

}
