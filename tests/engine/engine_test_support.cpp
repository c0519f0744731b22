// The engine test support: worker runs, the dialog answerer and the fixture.
#include "tests/engine/engine_test.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTest>

#include "foundation/scrollableconfirmdialog.h"
#include "foundation/scrollableerrordialog.h"

bool EngineTest::interpreterEnded = false;

bool YumIOTestAccess::py(YumIO& io, const char* code)
{
    Python::PyGILStateWrapper guard(true);
    return python(io).py(code);
}

QString YumIOTestAccess::evalText(YumIO& io, const char* expression)
{
    Python::PyGILStateWrapper guard(true);
    PyObject* value = python(io).pyr(expression);
    QString text = value ? io.pyString(value) : QStringLiteral("<error>");
    Py_XDECREF(value);
    return text;
}

bool YumIOTestAccess::evalTrue(YumIO& io, const char* expression)
{
    Python::PyGILStateWrapper guard(true);
    PyObject* value = python(io).pyr(expression);
    bool truth = value && PyObject_IsTrue(value) == 1;
    Py_XDECREF(value);
    return truth;
}

bool runWorker(YumIO& io, std::function<bool()> work, bool gated)
{
    QEventLoop loop;
    TestThread thread(&io, &loop, std::move(work), gated);
    if (!YumIOTestAccess::execWorkThread(io, loop, thread))
        return false;
    return thread.result;
}

DialogAnswerer::DialogAnswerer(Answer answer)
    : answer(answer)
{
    connect(&timer, &QTimer::timeout, this, &DialogAnswerer::poll);
    timer.start(20);
}

void DialogAnswerer::poll()
{
    QWidget* widget = QApplication::activeModalWidget();
    if (!widget || widget == last)
        return;
    last = widget;

    SeenDialog dialog;
    // The scrollable dialogs have no meta object of their own.
    if (dynamic_cast<ScrollableErrorDialog*>(widget))
        dialog.className = QStringLiteral("ScrollableErrorDialog");
    else if (dynamic_cast<ScrollableConfirmDialog*>(widget))
        dialog.className = QStringLiteral("ScrollableConfirmDialog");
    else
        dialog.className = QString::fromLatin1(widget->metaObject()->className());
    dialog.title = widget->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(widget)) {
        dialog.text = box->text();
    } else {
        for (QLabel* label : widget->findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                dialog.text = label->text();
        }
    }
    for (QAbstractButton* button : widget->findChildren<QAbstractButton*>())
        dialog.buttons << button->text();
    seen << dialog;

    auto* box = qobject_cast<QMessageBox*>(widget);
    auto* modal = qobject_cast<QDialog*>(widget);
    // Buttons of one role are listed in the order they were added.
    if (box && box->buttons().size() > 1 && !buttonNumbers.isEmpty()) {
        const int number = buttonNumbers.takeFirst();
        if (number >= 0 && number < box->buttons().size()) {
            box->buttons().at(number)->click();
        } else {
            ADD_FAILURE() << "the box has no button " << number;
            box->close();
        }
        return;
    }
    switch (answer) {
    case Accept:
        if (box && !box->buttons().isEmpty())
            box->buttons().first()->click();
        else if (modal)
            modal->accept();
        break;
    case Reject:
        if (modal)
            modal->reject();
        break;
    case Close:
        widget->close();
        break;
    case Escape:
        QTest::keyClick(widget, Qt::Key_Escape);
        break;
    }
}

void EngineTest::SetUp()
{
    if (interpreterEnded)
        GTEST_SKIP() << "the interpreter has ended in this process: run this test on its own (ctest does)";
}

void EngineTest::TearDown()
{
    endEngine();
    window.reset();
}

void EngineTest::makeEngine(bool withRelay)
{
    io = std::make_unique<YumIO>();
    if (withRelay) {
        window = std::make_unique<QWidget>();
        io->setup(window.get(), nullptr, nullptr);
    }
}

void EngineTest::endEngine()
{
    if (!io)
        return;
    const bool started = Python::initialized;
    io->clearEntriesBeforeQuit();
    io.reset();
    if (started)
        interpreterEnded = true;
}

QStringList EngineTest::logLines(int from)
{
    QStringList lines;
    QMutexLocker locker(&io->logList);
    for (int i = from; i < io->logList.count(); ++i) {
        const Log::Entry& entry = io->logList.at(i);
        lines << QStringLiteral("%1/%2:%3").arg(int(entry.kind)).arg(entry.level).arg(entry.text);
    }
    return lines;
}

void ScriptTest::SetUp()
{
    EngineTest::SetUp();
    if (IsSkipped())
        return;
    ASSERT_TRUE(sandbox.ok());
    ConfigRoot::setRoot(sandbox.root());
    makeEngine();
}

void ScriptTest::TearDown()
{
    EngineTest::TearDown();
    ConfigRoot::setRoot(QString());
}

void ScriptTest::publishScriptObject()
{
    Python::PyGILStateWrapper guard(true);
    YumIOTestAccess::python(*io).pyAssignGlobal("engineObject", YumIOTestAccess::yumIO(*io));
}
