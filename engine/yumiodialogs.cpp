// The dialog relay's requester, its minion in the GUI thread and the scope
// that installs a requester for one operation.
#include "engine/yumiodialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "engine/globals.h"
#include "foundation/scrollableconfirmdialog.h"
#include "foundation/scrollableerrordialog.h"

namespace {

// The GUI thread: the application's, also before main has published it.
QThread* guiThread()
{
    QCoreApplication* app = application ? application : QCoreApplication::instance();
    return app ? app->thread() : QThread::currentThread();
}

}

YumIODialogs::YumIODialogs(QWidget* parent)
    : minion(new YumIODialogsMinion(parent))
{
    minion->moveToThread(guiThread());
    connect(minion, &YumIODialogsMinion::setResult, this, &YumIODialogs::setResult);
    connect(this, &YumIODialogs::confirmSig, minion, &YumIODialogsMinion::confirm);
    connect(this, &YumIODialogs::warningSig, minion, &YumIODialogsMinion::warning);
    connect(this, &YumIODialogs::criticalSig, minion, &YumIODialogsMinion::critical);
    connect(this, &YumIODialogs::scrollableSig, minion, &YumIODialogsMinion::scrollable);
}

YumIODialogs::~YumIODialogs()
{
    // The minion belongs to the GUI thread, which deletes it.
    minion->deleteLater();
}

int YumIODialogs::awaitResult()
{
    if (!answered)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return result;
}

int YumIODialogs::confirm(const QString& caption, const QString& text)
{
    answered = false;
    emit confirmSig(caption, text);
    return awaitResult();
}

void YumIODialogs::scrollable(const QString& caption, const QString& text)
{
    answered = false;
    emit scrollableSig(caption, text);
    awaitResult();
}

int YumIODialogs::critical(const QString& caption, const QString& text,
                           const QString& button0Text, const QString& button1Text,
                           const QString& button2Text, int defaultButtonNumber,
                           int escapeButtonNumber)
{
    answered = false;
    emit criticalSig(caption, text, button0Text, button1Text, button2Text, defaultButtonNumber,
                     escapeButtonNumber);
    return awaitResult();
}

int YumIODialogs::warning(const QString& caption, const QString& text,
                          const QString& button0Text, const QString& button1Text,
                          const QString& button2Text, int defaultButtonNumber,
                          int escapeButtonNumber)
{
    answered = false;
    emit warningSig(caption, text, button0Text, button1Text, button2Text, defaultButtonNumber,
                    escapeButtonNumber);
    return awaitResult();
}

void YumIODialogs::setResult(int value)
{
    answered = true;
    result = value;
    loop.quit();
}

YumIODialogsMinion::YumIODialogsMinion(QWidget* parent)
    : parent(parent)
{
}

void YumIODialogsMinion::confirm(const QString& caption, const QString& text)
{
    ScrollableConfirmDialog dialog(text, parent);
    dialog.setWindowTitle(caption);
    emit setResult(dialog.exec());
}

void YumIODialogsMinion::scrollable(const QString& caption, const QString& text)
{
    ScrollableErrorDialog dialog(text, parent);
    dialog.setWindowTitle(caption);
    dialog.exec();
    emit setResult(0);
}

void YumIODialogsMinion::critical(const QString& caption, const QString& text,
                                  const QString& button0Text, const QString& button1Text,
                                  const QString& button2Text, int defaultButtonNumber,
                                  int escapeButtonNumber)
{
    emit setResult(QMessageBox::critical(parent, caption, text, button0Text, button1Text,
                                         button2Text, defaultButtonNumber, escapeButtonNumber));
}

void YumIODialogsMinion::warning(const QString& caption, const QString& text,
                                 const QString& button0Text, const QString& button1Text,
                                 const QString& button2Text, int defaultButtonNumber,
                                 int escapeButtonNumber)
{
    emit setResult(QMessageBox::warning(parent, caption, text, button0Text, button1Text,
                                        button2Text, defaultButtonNumber, escapeButtonNumber));
}

YumIODialogsUser::YumIODialogsUser(YumIODialogs*& slot, QWidget* parent)
    : slot(slot), previous(slot)
{
    slot = new YumIODialogs(parent);
}

YumIODialogsUser::~YumIODialogsUser()
{
    delete slot;
    slot = previous;
}
