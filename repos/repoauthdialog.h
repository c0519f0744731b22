// The dialog that asks for the kivrel credentials of one repository at a
// time. It stays on screen from one question to the next; the credential
// check hides it once it has asked everything.
#pragma once

#include <QDialog>
#include <QEventLoop>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace Repo
{
class Entry;
}

namespace RepoAuth
{

class Dialog : public QDialog
{
    Q_OBJECT

public:
    // The answers, read with QDialog::result(). Rejecting the dialog (its
    // window closed, Escape) is SkipAll.
    enum Result { SkipAll = 0, OK = 1, ApplyAll = 2, ApplyHost = 3, Disable = 4, Quit = 5 };

    // Builds the dialog hidden.
    explicit Dialog(QWidget* parent);

    // Shows the repository and blocks in the dialog's own event loop until
    // an answer is given, which it returns. For OK, ApplyAll and ApplyHost
    // the entry's URLs then hold the entered credentials.
    int exec(Repo::Entry* entry);

    // Hiding puts the busy cursor back that showing took away.
    void setVisible(bool visible) override;
    QSize sizeHint() const override;
    // Ends the question without hiding the dialog.
    void done(int r) override;

public slots:
    void authChanged(const QString& text);
    void handleQuit();
    void handleDisable();
    void handleSkipAll();
    void handleApplyAll();
    void handleApplyHost();
    void handleOK();

private:
    void answer(int result, bool takeCredentials);
    void setUrls();
    // The URL texts as shown: every password in them masked.
    QString shown(const QString& urls) const;
    QChar passwordCharacter() const;

    QLabel* idValue;
    QLabel* nameValue;
    QLabel* urlsValue;
    QLabel* mirrorlistValue;
    QLabel* userLabel;
    QLineEdit* userEdit;
    QLabel* passwordLabel;
    QLineEdit* passwordEdit;
    QPushButton* quitButton;
    QPushButton* disableButton;
    QPushButton* skipAllButton;
    QPushButton* applyAllButton;
    QPushButton* applyHostButton;
    QPushButton* okButton;
    // The repository asked about; null while no question is open.
    Repo::Entry* entry = nullptr;
    QEventLoop loop;
};

}
