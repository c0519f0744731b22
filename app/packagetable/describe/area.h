// One version's area of the package description: its rows of labelled
// values in a scroll area, the Details button that describes its repository,
// and the Show buttons of its file list and change log.
#pragma once

#include <QObject>
#include <QString>

class HScrollArea;
class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;
class TextDialog;
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

class Dialog;

namespace Instance
{

class RepoDialog;

class Area : public QObject
{
    Q_OBJECT

public:
    // A row's push button: its base text, the button (null when the row was
    // not made) and its grid row (-1 then).
    struct Button
    {
        QString text;
        QPushButton* button = nullptr;
        int row = -1;
    };

    // Builds the rows of one version and adds its scroll area to layout;
    // first is true for the described entry itself, false for the versions
    // chained behind it. The entry is borrowed.
    Area(PackageTable::Describe::Dialog* dialog, QVBoxLayout* layout, YumIO* yumIO,
         const Package::Entry& entry, YumConfIO* yumConfIO, bool first);
    // Deletes the area's text and repository dialogs; its widgets belong to
    // the dialog's content.
    ~Area() override;

    // The Details and Show buttons, off while the dialog is busy.
    void setButtonsEnabled(bool enabled);

protected slots:
    void handleRepo();
    void handleFiles();
    void handleChangeLog();

private:
    enum class Text { FileList, ChangeLog };

    void addGroupRows(int& row);
    void addFirstVersionRows(int& row);
    void addOtherVersionRows(int& row);

    void addHeader(int& row, QString text);
    void addPair(int& row, QString label, QString value);
    Button addPairButton(int& row, QString label, QString value, QString text);
    Button addButton(int& row, QString label, QString text);
    // The "label:" text of column 0.
    QLabel* rowLabel(const QString& label);
    QLabel* valueLabel(const QString& value);

    void updateButtons();
    void updateButton(Button& b, bool loaded);
    // Loads the text (perhaps on a worker) and shows it in the text dialog,
    // the owning dialog busy all the while.
    void showText(Text which);

    PackageTable::Describe::Dialog* dialog;
    YumIO* yumIO;
    const Package::Entry* entry;
    YumConfIO* yumConfIO;
    // Null: the text and repository dialogs are windows of their own.
    QWidget* parent;
    RepoDialog* repoDialog = nullptr;
    TextDialog* textDialog = nullptr;
    QWidget* widget;
    QGridLayout* grid;
    HScrollArea* scrollArea;
    Button files;
    Button changeLog;
    Button details;
};

}
}
}
