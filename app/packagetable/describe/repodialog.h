// The repository description: one configured repository section with its
// identifier, name, base URLs and mirror list URL, every kivrel password in
// them shown as password characters, and a button that opens the
// repository in the web browser.
#pragma once

#include <QDialog>
#include <QString>

class QGridLayout;
class QHBoxLayout;
class YumIO;

namespace Repo
{
class Entry;
}

namespace PackageTable
{
namespace Describe
{
namespace Instance
{

class RepoDialog : public QDialog
{
    Q_OBJECT

public:
    RepoDialog(YumIO* yumIO, QWidget* parent);
    ~RepoDialog() override;

    // Fills the dialog with the section, which is borrowed from the
    // configuration reader's list and must stay there while it shows.
    void config(const Repo::Entry& entry);

    // Hiding empties the dialog.
    void setVisible(bool visible) override;

protected slots:
    void browse();

private:
    void addPair(int& row, QString label, QString value);
    // The URL text as the dialog shows it: every segment rebuilt with the
    // key names and user of the first one and, for the password, as many
    // password characters as the stored password has characters. The four
    // parts are those found before, replaced by the text's own first
    // segment where it has one.
    QString masked(const QString& urls, QString& key1, QString& user, QString& key2,
                   QString& password) const;

    YumIO* yumIO;
    const Repo::Entry* entry = nullptr;
    QHBoxLayout* contentLayout;
    QWidget* content = nullptr;
    QGridLayout* grid = nullptr;
};

}
}
}
