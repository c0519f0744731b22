// Test support for the engine: access to YumIO's inner parts, a fixture that
// owns one engine per test, a worker thread that runs a body of the test's
// own, and an answerer that closes the dialogs the engine shows.
//
// The engine's destructor ends the interpreter, and extension modules such
// as rpm cannot be loaded again afterwards: every test that starts the
// interpreter needs a process of its own, which ctest gives it. Run whole,
// the executable skips such tests after the first.
#pragma once

// The interpreter's header (through the engine's) comes before the C++
// library's.
#include "engine/yumio.h"
#include "engine/yumiodialogs.h"
#include "engine/yumiothreads.h"

#include <functional>
#include <memory>
#include <utility>

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QList>
#include <QPointer>
#include <QStack>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "common/sandbox.h"
#include "engine/configroot.h"
#include "tests/foundation/qtprinters.h"

class YumIOTestAccess
{
public:
    static Python& python(YumIO& io) { return io; }
    static bool startInterpreter(YumIO& io) { return python(io).initialize(); }
    // Runs statements in __main__ under the interpreter lock.
    static bool py(YumIO& io, const char* code);
    // Evaluates an expression under the lock: its text, or its truth.
    static QString evalText(YumIO& io, const char* expression);
    static bool evalTrue(YumIO& io, const char* expression);

    static Package::EntryList& entries(YumIO& io) { return io.entries; }
    static YumIO::Index& index(YumIO& io) { return io.index; }
    static PyObject* yumIO(YumIO& io) { return io.yumIO; }
    static bool& yumLocked(YumIO& io) { return io.yumLocked; }
    static YumIODialogs*& dialogs(YumIO& io) { return io.dialogs; }
    static QWidget* parent(YumIO& io) { return io.parent; }
    static YumIO::Blocker& blocker(YumIO& io) { return io.blocker; }
    static const QStack<int>& marks(YumIO& io) { return io.exceptLogMarks; }

    static bool execWorkThread(YumIO& io, QEventLoop& loop, QThread& thread)
    {
        return io.execWorkThread(loop, thread);
    }
    static void clearEntriesReal(YumIO& io) { io.clearEntriesReal(); }
    static PyObject* callbackFrame(YumIO& io, const std::function<PyObject*()>& handler)
    {
        return io.callbackFrame(handler);
    }

    static void pyExceptStart(YumIO& io) { python(io).pyExceptStart(); }
    static void pyExceptExpect(YumIO& io, PyObject* type) { python(io).pyExceptExpect(type); }
    static void pyExceptClear(YumIO& io) { python(io).pyExceptClear(); }
    static bool pyExceptMatches(YumIO& io, PyObject* result, PyObject* type)
    {
        return python(io).pyExceptMatches(result, type);
    }
    static PyObject* pyLookup(YumIO& io, const char* name) { return python(io).pyLookup(name); }
    static PyObject* pyMethodCall(YumIO& io, PyObject* self, const char* method)
    {
        return python(io).pyMethodCall(self, method, "()");
    }
    static PyObject* pyCall(YumIO& io, const char* path) { return python(io).pyCall(path, "()"); }

    static YumIODialogsMinion* minion(YumIODialogs& dialogs) { return dialogs.minion; }
};

// A worker whose body is the test's own.
class TestThread : public YumIOThread
{
public:
    TestThread(YumIO* io, QEventLoop* loop, std::function<bool()> work, bool gated = false)
        : YumIOThread(io, loop, gated), work(std::move(work))
    {
    }

protected:
    bool body() override { return work(); }

private:
    std::function<bool()> work;
};

// Runs the body on a worker through the engine, as an operation does; the
// body's result, false when the engine refused to start it.
bool runWorker(YumIO& io, std::function<bool()> work, bool gated = false);

// What a dialog showed.
struct SeenDialog
{
    QString className;
    QString title;
    QString text;
    QStringList buttons;
};

// Watches the GUI thread for modal dialogs, notes each and answers it.
class DialogAnswerer : public QObject
{
public:
    enum Answer { Accept, Reject, Close, Escape };

    explicit DialogAnswerer(Answer answer = Accept);

    void setAnswer(Answer next) { answer = next; }
    // The next message boxes with several buttons get these buttons pressed
    // by number, in the order the box was given them; the answer serves
    // every other dialog.
    void pressButtons(QList<int> numbers) { buttonNumbers = numbers; }
    // The texts of every dialog seen so far, in order.
    QList<SeenDialog> seen;

private:
    void poll();

    Answer answer;
    QList<int> buttonNumbers;
    QTimer timer;
    QPointer<QWidget> last;
};

class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the engine; with a parent widget and so a dialog relay unless
    // told otherwise.
    void makeEngine(bool withRelay = true);
    // Ends the engine (and with it the interpreter) before the test ends.
    void endEngine();

    // The log entries from the given index on, as "kind/level:text".
    QStringList logLines(int from = 0);

    std::unique_ptr<QWidget> window;
    std::unique_ptr<YumIO> io;

private:
    static bool interpreterEnded;
};

// An engine on a sandbox of its own, whose yum.conf it reads, with a relay
// whose dialogs the answerer closes.
class ScriptTest : public EngineTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    QString pidFile() const { return sandbox.installRoot() + "/var/run/yum.pid"; }
    // The script's object as the global engineObject of __main__.
    void publishScriptObject();

    TestSandbox sandbox;
    DialogAnswerer answerer;
};
