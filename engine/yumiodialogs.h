// The dialog relay: a thread of the engine asks the user a question and waits
// for the answer, while the dialog itself runs in the GUI thread.
// YumIODialogs is the requester of one thread; YumIODialogsMinion, living in
// the GUI thread, shows the dialog and sends the answer back;
// YumIODialogsUser installs a requester for one worker operation. In the GUI
// thread the request is delivered directly and the dialog runs at once.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <QString>

class QWidget;
class YumIODialogsMinion;

class YumIODialogs : public QObject
{
    Q_OBJECT

    friend class YumIOTestAccess;

public:
    // Serves the thread that makes it; the dialogs get parent.
    explicit YumIODialogs(QWidget* parent);
    ~YumIODialogs() override;

    // 1 when the user chose OK, 0 for Cancel or closing the window.
    int confirm(const QString& caption, const QString& text);
    // A long error text with a Close button.
    void scrollable(const QString& caption, const QString& text);
    // Message boxes with up to three buttons: the number of the button
    // pressed, or escapeButtonNumber for Escape. Without button texts the
    // box has one OK button, numbered 0.
    int critical(const QString& caption, const QString& text, const QString& button0Text,
                 const QString& button1Text, const QString& button2Text,
                 int defaultButtonNumber, int escapeButtonNumber);
    int warning(const QString& caption, const QString& text, const QString& button0Text,
                const QString& button1Text, const QString& button2Text,
                int defaultButtonNumber, int escapeButtonNumber);

public slots:
    void setResult(int value);

signals:
    void confirmSig(const QString& caption, const QString& text);
    void warningSig(const QString& caption, const QString& text, const QString& button0Text,
                    const QString& button1Text, const QString& button2Text,
                    int defaultButtonNumber, int escapeButtonNumber);
    void criticalSig(const QString& caption, const QString& text, const QString& button0Text,
                     const QString& button1Text, const QString& button2Text,
                     int defaultButtonNumber, int escapeButtonNumber);
    void scrollableSig(const QString& caption, const QString& text);

private:
    // Waits for the answer unless it came directly.
    int awaitResult();

    YumIODialogsMinion* minion;
    QEventLoop loop;
    bool answered = false;
    int result = 0;
};

class YumIODialogsMinion : public QObject
{
    Q_OBJECT

public:
    explicit YumIODialogsMinion(QWidget* parent);

public slots:
    void confirm(const QString& caption, const QString& text);
    void warning(const QString& caption, const QString& text, const QString& button0Text,
                 const QString& button1Text, const QString& button2Text,
                 int defaultButtonNumber, int escapeButtonNumber);
    void critical(const QString& caption, const QString& text, const QString& button0Text,
                  const QString& button1Text, const QString& button2Text,
                  int defaultButtonNumber, int escapeButtonNumber);
    void scrollable(const QString& caption, const QString& text);

signals:
    void setResult(int result);

private:
    QWidget* parent;
};

// Puts a requester of the current thread into the engine's slot for one
// operation and the previous one back at its end.
class YumIODialogsUser
{
public:
    YumIODialogsUser(YumIODialogs*& slot, QWidget* parent);
    ~YumIODialogsUser();

private:
    YumIODialogsUser(const YumIODialogsUser&) = delete;
    YumIODialogsUser& operator=(const YumIODialogsUser&) = delete;

    YumIODialogs*& slot;
    YumIODialogs* previous;
};
