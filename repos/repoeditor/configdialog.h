// The modal form in which one repository section is created or changed: the
// form's fields, a status line and Reset / Cancel / OK. Accepting it writes
// the fields back into the entry it was given and sets the repository's
// session flag.
#pragma once

#include <QPalette>

#include "foundation/hdialog.h"

class QLabel;
class QPushButton;
class YumConfIO;

namespace Repo
{
class Entry;
}

namespace RepoEditor
{

class Config;

class ConfigDialog : public HDialog
{
    Q_OBJECT

public:
    ConfigDialog(YumConfIO* yumConfIO, QWidget* parent);
    ~ConfigDialog() override;

    // The entry to edit in the next run, borrowed; the form is filled from
    // it at once. OK overwrites it, Cancel and Reset leave it alone.
    void setEntry(Repo::Entry* entry);

    // Showing starts a run: yum.conf's defaults in the combos, nothing
    // changed yet, the focus on the identifier.
    void setVisible(bool visible) override;

public slots:
    void changed();
    void reset();
    void cancel();
    void ok();

private:
    void setHasChanged(bool b);
    void updateStatusLabel();

    QLabel* status;
    QPushButton* resetButton;
    Config* config;
    QPalette savedStatusPalette;
    YumConfIO* yumConfIO;
    Repo::Entry* entry = nullptr;
    bool hasChanged = false;
};

}
