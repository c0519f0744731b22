// The package description dialog: one titled area per version of a package,
// suite or group, filled anew for every description and emptied when it is
// hidden.
#pragma once

#include <QDialog>
#include <QList>

class QCloseEvent;
class QHBoxLayout;
class QPushButton;
class YumConfIO;
class YumIO;

namespace Package
{
class Entry;
}

namespace PackageTable
{
namespace Describe
{

namespace Instance
{
class Area;
}

class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget* parent);
    // The areas are deleted on hide; only the list itself goes here.
    ~Dialog() override;

    // Fills the dialog with the entry and every version chained behind it.
    // The entries are borrowed and must outlive the next hide.
    void config(YumIO* yumIO, const Package::Entry& entry, YumConfIO* yumConfIO);

    // Not ready while a file list or change log is being loaded and shown:
    // the dialog cannot be closed then, and no other load or repository
    // description can be started from it.
    void setReady(bool ready);
    bool isReady() const;

    void setVisible(bool visible) override;

public slots:
    // Refused while not ready, so neither Close, Escape, accept() nor
    // reject() ends the dialog then.
    void done(int r) override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    // Deletes the content and the areas with their own dialogs.
    void empty();

    QHBoxLayout* contentLayout;
    QWidget* content = nullptr;
    QList<Instance::Area*> areas;
    bool ready = true;
    // Hidden while not ready: emptied once the load in progress is over,
    // since its area is still at work.
    bool emptyWhenReady = false;
    QPushButton* closeButton;
};

}
}
