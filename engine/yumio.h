// YumIO: the package engine. It owns the embedded interpreter (through its
// non-public base Python), the companion script's object, the package model
// and the log; it runs every long yum operation on a worker thread while the
// GUI thread waits in a local event loop, and it receives the script's
// callbacks through the module yumIOC.
//
// The implementation is split by concern:
//   yumio.cpp                 construction, start-up, reset, shut-down
//   yumioworkers.cpp          worker threads and the wait for them
//   yumiomodel.cpp            the package model's accessors
//   yumiolog.cpp              the log, errors, warnings, exception reports
//   yumiovalues.cpp           interpreter values to texts, sizes and times
//   yumioc.cpp                the module yumIOC and the callback frame
//   yumiooutput.cpp           the output and log callbacks
//   yumiocollectprogress.cpp  the collection-progress callbacks
//   yumiotransaction.cpp      the transaction callbacks
#pragma once

#include <functional>

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QStack>
#include <QString>
#include <QStringList>

#include "engine/log.h"
#include "engine/package.h"
#include "engine/python.h"

class HProgressBar;
class Progress;
class QEventLoop;
class QThread;
class QWidget;
class YumIOCapturers;
class YumIODialogs;

class YumIO : public QObject, private Python
{
    Q_OBJECT

    friend class YumIOC;
    friend class YumIOThread;
    friend class CollectThread;
    friend class ApplyThread;
    friend class CollectOtherDataThread;
    friend class CollectFileListsThread;
    friend class ClearEntriesThread;
    friend class YumIOTestAccess;

public:
    // Orders the GUI thread's signal-mask change before the apply worker's
    // first step: the GUI thread holds it from before the worker starts until
    // SIGCHLD is blocked, and the apply worker passes it first.
    class Blocker
    {
    public:
        void prepare();
        void release();
        // Waits until the holder has called release().
        void block();

    private:
        QMutex mutex;
    };

    // The key of the entry index: a package and a group of the same name are
    // two entries.
    class EntryKey
    {
    public:
        EntryKey(bool group, QString name);
        bool operator==(const EntryKey& other) const;

        bool group;
        QString name;
    };

    typedef QHash<YumIO::EntryKey, Package::Entry*> Index;

    // The acts of reading one repository.
    enum RepoAct {
        RepoMirrorList = 0,
        RepoRepomd = 1,
        RepoDownload = 2,
        RepoConvert = 3,
        RepoRead = 4,
        RepoNoAct = 5,
    };

    // Touches no interpreter.
    YumIO();
    // GUI thread, after clearEntriesBeforeQuit: restores the interpreter's
    // standard streams, lets yum's lock go if the program holds it, and ends
    // the interpreter.
    ~YumIO() override;

    void setup(QWidget* parent, HProgressBar* total, HProgressBar* item);
    // Starts the interpreter, registers yumIOC, runs the companion script and
    // makes its object. Reports every failure and returns false then; true at
    // once when the object exists.
    bool initialize();

    // The long operations: each runs its body on a worker thread of its own
    // while the GUI thread waits (execWorkThread). Their bodies live beside
    // the code of their road.
    bool collect(const QHash<QString, bool>& overrides);
    bool apply();
    bool collectOtherData();
    bool collectFileLists();

    // Flushes the script's object, clears the entries on a worker and makes a
    // fresh object; yum's lock stays with the process.
    void clear();
    void clearEntries();
    // GUI thread, interpreter about to end: forgets the entries' objects
    // without giving them back, and deletes the entries.
    void clearEntriesBeforeQuit();

    // The package model; GUI thread, while no worker runs.
    int count() const;
    Package::Entry* operator[](int row) const;
    Package::EntryList::const_iterator begin() const;
    Package::EntryList::const_iterator end() const;
    QString getName(const Package::Entry& entry) const;
    QString getVerRel(const Package::Entry& entry) const;
    QString getRepo(const Package::Entry& entry) const;
    QString getArch(const Package::Entry& entry) const;
    QString getSummary(const Package::Entry& entry) const;
    QString getSize(const Package::Entry& entry) const;
    QString getBuildTime(const Package::Entry& entry) const;
    QString getKind(const Package::Entry& entry) const;
    QString getState(const Package::Entry& entry) const;
    // The object of the first (object, relation text) pair whose relation is
    // the one asked for; a new reference, null when none. Lock held.
    PyObject* findRelation(PyObject* relations, const char* relation);

    // The log. Any thread.
    void log(Log::Kind kind, unsigned int level, QString text);
    void write(QString text, Log::Kind kind, unsigned int level, QString& pending);
    void writeStdout(QString text);
    void writeStderr(QString text);
    // Log the text and show it in a box; any thread, returns when the box is
    // closed. Passwords are masked in both.
    void warning(QString text);
    void error(QString text);
    void warning(const char* text) override;
    void error(const char* text) override;
    // Report a declared exception that matched: the error lines logged since
    // the innermost scope declared its types, ending with the headline; the V
    // form logs the exception's value before the headline. Lock held for V.
    void pythonException(QString text);
    void pythonExceptionV(QString text);

    // Values; the caller holds the interpreter lock (simpleString takes it
    // itself). A Dec form takes over the reference it is given.
    PyObject* pyDictGetItem(PyObject* dict, const QString& key);
    QString pyString(PyObject* object);
    QString pyStringDec(PyObject* object);
    QString pyStringX(PyObject* object);
    QString pyStringXDec(PyObject* object);
    QString pyMappingString(PyObject* mapping, const char* key);
    long pyTime(PyObject* object);
    long pyTimeDec(PyObject* object);
    long buildTimeOf(PyObject* package);
    quint64 sizeOf(PyObject* package);
    QString simpleString(PyObject* package, const char* name);
    QString bytesFormat(quint64 bytes);
    // Texts in a buffer of the calling thread, valid until its next call.
    static const char* timeFormat(long time);
    static const char* dateFormat(long time);

    // The log, for its window; guarded by its own mutex.
    Log::EntryList logList;

signals:
    void collectedExtraData();

private:
    typedef PyObject* (YumIO::*Callback)(PyObject* self, PyObject* args);

    // Interpreter errors: one exception log mark per open scope.
    void pyExceptStart() override;
    void pyExceptExpect(PyObject* exceptionType) override;
    void pyExceptClear() override;
    void exceptionExpected() override;
    void exceptionError() override;

    // Runs one yumIOC callback in a scope of its own, so that the caller's
    // declared exceptions do not apply inside it, and returns to the
    // interpreter with an exception set exactly when the result is null.
    PyObject* callback(Callback handler, PyObject* self, PyObject* args);
    PyObject* callbackFrame(const std::function<PyObject*()>& handler);

    // Runs the worker while the GUI thread waits; false, with nothing
    // started, while another worker runs.
    bool execWorkThread(QEventLoop& loop, QThread& thread);

    // Worker bodies.
    bool collectReal(const QHash<QString, bool>& overrides);
    bool applyReal();
    bool collectOtherDataReal();
    bool collectFileListsReal();
    void clearEntriesReal();

    // Every head of the model: the list's and, after a failed collection,
    // those that only the index holds.
    QSet<Package::Entry*> allHeads() const;
    void deleteEntries();
    void finalize();
    enum Box { WarningBox, CriticalBox, ScrollableBox };
    void showBox(Box box, const QString& caption, const QString& text);
    void reportException(const QString& text, bool withValue);
    QString unicodeText(PyObject* object);
    bool numberOf(PyObject* object, quint64& value);

    // The yumIOC callbacks; each takes the module object and its arguments.
    PyObject* stdoutWrite(PyObject* self, PyObject* args);
    PyObject* stderrWrite(PyObject* self, PyObject* args);
    PyObject* log(PyObject* self, PyObject* args);
    PyObject* errorlog(PyObject* self, PyObject* args);
    PyObject* collectProgress(PyObject* self, PyObject* args);
    PyObject* collectGrabMeterStart(PyObject* self, PyObject* args);
    PyObject* collectGrabMeterUpdate(PyObject* self, PyObject* args);
    PyObject* collectGrabMeterEnd(PyObject* self, PyObject* args);
    PyObject* applyGrabMeterStart(PyObject* self, PyObject* args);
    PyObject* applyGrabMeterUpdate(PyObject* self, PyObject* args);
    PyObject* applyGrabMeterEnd(PyObject* self, PyObject* args);
    PyObject* dsTsCheck(PyObject* self, PyObject* args);
    PyObject* dsRestartLoop(PyObject* self, PyObject* args);
    PyObject* userconfirm(PyObject* self, PyObject* args);
    PyObject* reportDownloadSize(PyObject* self, PyObject* args);
    PyObject* listTransaction(PyObject* self, PyObject* args);
    PyObject* tsInitCallback(PyObject* self, PyObject* args);
    PyObject* tsCallback(PyObject* self, PyObject* args);
    PyObject* tsEvent(PyObject* self, PyObject* args);
    PyObject* postTransactionOutput(PyObject* self, PyObject* args);
    PyObject* write(PyObject* self, PyObject* args, Log::Kind kind, unsigned int level,
                    QString& pending);
    // A "TSINFO: " log line, without its prefix: dependency-solving progress.
    void dsTsInfo(const QString& text);

    // The package model: the heads in table order, and the index from key
    // to head.
    Package::EntryList entries;
    Index index;

    // The number of log entries when the innermost open scope declared its
    // types, one per open scope; -1 before a scope declares any.
    QStack<int> exceptLogMarks;

    bool fileListsCollected = false;
    bool otherDataCollected = false;

    QWidget* parent = nullptr;
    // The relay of the current operation's thread: the long-lived one of
    // the GUI thread outside worker operations.
    YumIODialogs* dialogs = nullptr;
    YumIODialogs* guiDialogs = nullptr;
    YumIOCapturers* capturers = nullptr;

    // Module rpm (a reference held) and its dictionary (borrowed from it).
    PyObject* rpmModule = nullptr;
    PyObject* rpmDict = nullptr;
    // The script's class and object, a reference held to each.
    PyObject* scriptClass = nullptr;
    PyObject* yumIO = nullptr;
    PyObject* reposDict = nullptr;
    // yum's lock belongs to the process: taken once, released at the end.
    bool yumLocked = false;

    QString yumVersionText;
    bool yumVersionKnown = false;
    bool usesSqliteAnswer = false;
    bool usesSqliteKnown = false;
    bool usesPrestoAnswer = false;
    bool usesPrestoKnown = false;

    // Each stream's text after its last newline. The script's callbacks (in
    // the thread of the script call) and the output capture (in the GUI
    // thread) write the same stream, so pendingMutex guards both texts.
    QString stdoutPending;
    QString stderrPending;
    QMutex pendingMutex;
    const Log::Kind stderrKind = Log::Error;
    const unsigned int stderrLevel = 0;

    HProgressBar* totalBar = nullptr;
    HProgressBar* itemBar = nullptr;
    // Set only while an operation's progress scope is open; the callbacks
    // that arrive outside one (start-up, cleaning) leave the bars alone.
    Progress* progress = nullptr;

    // Collection progress.
    QStringList enabledRepos;
    QString collectSubject;
    int actCounter = 0;
    int actTail = 0;
    QString currentRepo;

    // Apply state.
    QString transactionText;
    bool confirmed = false;
    quint32 itemPosition = 0;
    QSet<QString> updatedNames;
    quint32 resolvePackages = 0;
    quint32 resolveHeaders = 0;
    quint32 resolveCheckActs = 0;
    quint32 resolveDoneActs = 0;
    quint64 installBytes = 0;
    quint64 downloadBytes = 0;
    quint32 downloadShare = 0;
    quint64 rpmUnits = 0;
    qint64 lastElement = 0;
    bool deltaRebuildSeen = false;

    Blocker blocker;
    // Set in the GUI thread while a worker runs, so that a second request
    // meanwhile starts nothing.
    bool workerRunning = false;
};

// The hash of the name times two plus the group flag. The seed is left out
// on purpose: the entries' order is the index's, and it stays the same from
// run to run.
uint qHash(const YumIO::EntryKey& key, uint seed = 0);
