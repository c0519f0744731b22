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
//   yumiovalues.cpp           interpreter values to texts, sizes and times,
//                             the walk over an iterable's items
//   yumioc.cpp                the module yumIOC and the callback frame
//   yumiooutput.cpp           the output and log callbacks
//   yumiocollectprogress.cpp  the collection-progress callbacks
//   yumioapply.cpp            the apply driver and the transaction estimates
//   yumiogroupactions.cpp     what marked groups imply for their members
//   yumiotransaction.cpp      the transaction callbacks: listing, confirmation,
//                             dependency solving, progress
//   yumiocollect.cpp          the collection of the package model
//   yumiogroups.cpp           comps groups: collection, state, member lists
//   yumioversion.cpp          yum's version and what depends on it
//   yumiosorted.cpp           sorted name lists
//   yumiodetails.cpp          package details on demand, extra data loads
//   yumioclean.cpp            cache cleaning and yum's variables
#pragma once

#include <functional>
#include <initializer_list>

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
    friend class CollectTestAccess;
    friend class ApplyTestAccess;

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
    // The one text of each entry kind, which the package table's tooltips
    // show too; no engine state is read.
    static QString getKind(const Package::Entry& entry);
    QString getState(const Package::Entry& entry) const;
    // The object of the first (object, relation text) pair whose relation is
    // the one asked for; a new reference, null when none. Lock held.
    PyObject* findRelation(PyObject* relations, const char* relation);

    // A group's member lists (yumiogroups.cpp), sorted and joined by
    // newlines; empty for a list that the group's shape lacks. Each takes
    // the interpreter lock itself.
    QString getMandatoryPkgs(const Package::Entry& entry);
    QString getDefaultPkgs(const Package::Entry& entry);
    QString getOptionalPkgs(const Package::Entry& entry);
    QString getConditionalPkgs(const Package::Entry& entry);
    QString getRequiredGroups(const Package::Entry& entry);
    QString getDefaultMetaPkgs(const Package::Entry& entry);
    QString getOptionalMetaPkgs(const Package::Entry& entry);
    // Sorted in place by character codes, case-sensitive, and joined by
    // newlines (yumiosorted.cpp).
    static QString makeSorted(QStringList& lines);

    // yum's version and what depends on it (yumioversion.cpp). The version
    // text and the sqlite answer are asked for once per engine. The caller
    // holds the interpreter lock.
    QString yumVersionStr();
    // The first three parts as first * 10000 + second * 100 + third.
    long yumVersion();
    bool usesSqlite();
    bool hasTransTest();
    bool hasDistribGroups();

    // Package details on demand (yumiodetails.cpp), read from the entry's
    // yum object: installed packages answer from their rpm header, available
    // ones from the repositories' metadata. Callable in the GUI thread
    // without the interpreter lock; each takes the lock itself, and answers
    // an empty text rather than wait for it while a worker runs.
    QString getUrl(const Package::Entry& entry);
    QString getPackager(const Package::Entry& entry);
    QString getLicense(const Package::Entry& entry);
    QString getSourceRpm(const Package::Entry& entry);
    QString getBuildHost(const Package::Entry& entry);
    QString getVendor(const Package::Entry& entry);
    QString getGroup(const Package::Entry& entry);
    QString getDescription(const Package::Entry& entry);
    QString getBinaryRpm(const Package::Entry& entry);
    QString getRelocations(const Package::Entry& entry);
    QString getInstallTime(const Package::Entry& entry);
    QString getProvides(const Package::Entry& entry);
    QString getRequires(const Package::Entry& entry);
    QString getConflicts(const Package::Entry& entry);
    QString getObsoletes(const Package::Entry& entry);
    // An available package's change log and file list come from the
    // repositories' miscellaneous data and file lists, loaded once per
    // collection on a worker while the GUI thread waits in a local event
    // loop. LoadExtraData loads them first where they are missing;
    // LoadedExtraDataOnly reads what is loaded (an empty change log before
    // the load) and never waits, for callers in the middle of work that the
    // wait's events must not enter, such as the package filter's mapping.
    enum ExtraDataLoad {
        LoadExtraData,
        LoadedExtraDataOnly,
    };
    QString getChangeLog(const Package::Entry& entry, ExtraDataLoad load = LoadExtraData);
    QString getFiles(const Package::Entry& entry, ExtraDataLoad load = LoadExtraData);
    // What a Search reads of an available package of the script past the
    // fields the entry keeps, in one script call (searchFields) per part
    // instead of one per field, each text as its getter gives it. Part 0:
    // description, group, vendor, build time, install time, binary rpm,
    // source rpm, license, packager, URL and relocations; part 1: provides,
    // requires, conflicts, obsoletes, the files and the change log, as far
    // as they are loaded (never loading them). False, with nothing read,
    // for a package that is read field by field.
    bool getSearchTexts(const Package::Entry& entry, int part, QStringList& texts);
    // The header's value of rpm.RPMTAG_<tag>; a new reference or null. The
    // caller holds the lock.
    PyObject* getRpmHdrValue(PyObject* package, const char* tag);
    // Take the lock; empty for a package without a header.
    QString getRpmList(PyObject* package, const char* tag);
    QString getRpmTime(PyObject* package, const char* tag);
    // makeSorted, leaving out every line equal to the one before it.
    static QString makeSortedUniq(QStringList& lines);

    // Cache cleaning and yum settings (yumioclean.cpp). GUI thread. Each
    // cleaning logs its headline and answers whether every script call
    // it made succeeded.
    bool cleanHeaders();
    bool cleanPackages();
    bool cleanXmlMetadata();
    bool cleanPickledCache();
    bool cleanSqliteCache();
    bool cleanAll();
    // Which of the two version-dependent caches this yum keeps.
    bool hasSqliteCache();
    bool hasPickledCache();
    // One of yum's substitution variables; empty for one yum lacks.
    QString getYumVar(QString name);

    // The log. Any thread.
    void log(Log::Kind kind, unsigned int level, QString text);
    void write(QString text, Log::Kind kind, unsigned int level, QString& pending);
    void writeStdout(QString text);
    void writeStderr(QString text);
    // What a captured stream gave, as UTF-8 in whole lines but for the rest
    // at its end: what is not UTF-8, and NUL, which no log line can hold,
    // become replacement characters. Plain ASCII goes into the log a line at
    // a time, never decoded whole.
    void writeStdoutBytes(const QByteArray& bytes);
    void writeStderrBytes(const QByteArray& bytes);
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
    // A simple field's value as simpleString gives it: None is empty, and
    // trailing line ends are cut off. Takes over the reference.
    QString simpleText(PyObject* value);
    QString bytesFormat(quint64 bytes);
    // Texts in a buffer of the calling thread, valid until its next call.
    static const char* timeFormat(long time);
    static const char* dateFormat(long time);

    // The log, for its window; guarded by its own mutex.
    Log::EntryList logList;

    // Whether the file lists and the change-log data have been loaded since
    // the last collection; every collection sets both false. GUI thread
    // reads them while no worker runs.
    bool fileListsCollected = false;
    bool otherDataCollected = false;

signals:
    void collectedExtraData();

private:
    typedef PyObject* (YumIO::*Callback)(PyObject* self, PyObject* args);

    // Interpreter errors: one exception log mark per open scope.
    void pyExceptStart() override;
    void pyExceptExpect(PyObject* exceptionType) override;
    void pyExceptClear() override;
    void exceptionExpected() override;
    void writeTraceback(PyObject* type, PyObject* value, PyObject* traceback) override;

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
    // A details getter's load of missing extra data: lets the guard's lock
    // go around the wait for the worker, and loads nothing when the lock is
    // still held by an outer caller.
    void loadExtraData(Python::PyGILStateWrapper& guard, bool (YumIO::*collect)());

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
    // Runs body on every item of an iterable, each item borrowed for the
    // call, until it answers false; false then, or when the iteration fails
    // (reported).
    bool eachMember(PyObject* members, const std::function<bool(PyObject* member)>& body);

    // The collection (yumiocollect.cpp) and its groups (yumiogroups.cpp);
    // the caller holds the interpreter lock unless said otherwise.
    PyObject* collectStep(const char* method, std::initializer_list<const char*> expected,
                          const QString& headline);
    bool collectLock();
    bool collectRepositories(const QHash<QString, bool>& overrides);
    bool collectGroupPhase();
    void useRepos(PyObject* repos, const QHash<QString, bool>& overrides);
    QStringList collectRepos(PyObject* reposDict);
    bool collectSet(Index& index, PyObject* packages, Package::State state);
    bool collectField(Index& index, PyObject* object, const char* field, Package::State state);
    // What an entry keeps of a package: from a row of the script's
    // collectRows, or read field by field from a package object of another
    // kind.
    struct PackageFields {
        QString name;
        QString verRel;
        QString repo;
        QString arch;
        quint64 size = 0;
        QString sizeText;
        QString summary;
        long buildTime = 0;
        QString buildTimeText;
        Package::Kind kind = Package::Ordinary;
    };
    // The rows are asked for in parts of this many packages: the texts of a
    // part live only until its entries are made.
    static constexpr Py_ssize_t rowsPerCall = 1024;
    bool collectRows(Index& index, PyObject* packages, Package::State state,
                     PackageFields& fields);
    void rowFields(PyObject* row, PackageFields& fields);
    void objectFields(PyObject* po, PackageFields& fields);
    static bool sameText(const QString& kept, PyObject* object);
    void fieldTexts(PackageFields& fields, quint64 size, long buildTime);
    void collectPkg(Package::Entry*& slot, Package::State state, PyObject* po,
                    const PackageFields& fields);
    bool collectGroups(Index& index, PyObject* groupInfo);
    bool collectGroup(Package::Entry*& slot, PyObject* po, QString name);
    bool upToDateGroup(const Package::Entry& entry);
    bool upToDateGroupGrps(const Package::Entry& entry, const char* item);
    bool upToDateGroupPkgs(const Package::Entry& entry, const char* oldItem, const char* newItem);
    // One kind of a group's members (newItem in the new shape, oldItem in
    // the old) as a new list of names; null when it cannot be read, which
    // has been reported.
    PyObject* groupMemberNames(const Package::Entry& entry, const char* oldItem, const char* newItem);
    // One attribute of a group in the shape of yum 2.5 and later, or in the
    // older one; new references, null after a report.
    PyObject* getGroupItem_25(const Package::Entry& entry, const char* item);
    PyObject* getGroupItem_22(const Package::Entry& entry, const char* item);
    // Take the interpreter lock themselves.
    QString getGroupGrps(const Package::Entry& entry, const char* item);
    QString getGroupPkgs(const Package::Entry& entry, const char* oldItem, const char* newItem);

    // Details and cleaning (yumiodetails.cpp, yumioclean.cpp).
    struct ExtraData;
    struct CleanStep;
    // True in the GUI thread while a worker runs: the worker may hold the
    // interpreter lock and wait for this thread, so nothing here may wait
    // for the lock then.
    bool lockUnavailable() const;
    QString detailText(const Package::Entry& entry, const char* name);
    QString getPrco(PyObject* package, const char* prefix, const char* kind);
    // The texts of the script's relation, change-log and path lists, as the
    // getters give them; the caller holds the lock.
    QString prcoListText(PyObject* list);
    void appendChangeLogEntry(QString& text, PyObject* time, PyObject* author, PyObject* body);
    QString changeLogListText(PyObject* list);
    QString fileListText(PyObject* list);
    QString relationText(PyObject* object);
    bool collectExtraReal(const ExtraData& data);
    PyObject* cleanCall(const CleanStep& step);
    bool cleanResult(const CleanStep& step, PyObject* result);
    bool cleanOne(const CleanStep& step);

    // The apply road (yumioapply.cpp, yumiotransaction.cpp); the caller
    // holds the interpreter lock.
    struct TransactionLists;
    // What marked groups imply (yumiogroupactions.cpp): each group's action
    // passes to its members' groupAction and markedBy, in list order. False
    // when a member list cannot be had (reported) or the user cancelled a
    // conflict; the script is not called then.
    bool applyGroups();
    bool applyGrpInstall(const Package::Entry& group);
    bool applyGrpUpdate(const Package::Entry& group);
    bool applyGrpRemove(const Package::Entry& group);
    // Member names as new lists; null after a report.
    PyObject* allPkgs(const Package::Entry& group);
    PyObject* requiredPkgs(const Package::Entry& group);
    PyObject* pkgTree(const Package::Entry& group);
    // The old information object's method for the group's name.
    PyObject* groupMethodList(const Package::Entry& group, const char* method);
    // The keys of the named member dictionaries, joined in order; the texts
    // report a missing dictionary and keys that cannot be read.
    PyObject* groupMemberKeys(const Package::Entry& group, std::initializer_list<const char*> kinds,
                              const QString& missingText, const QString& unreadableText);
    // Runs body on the package entry of every name that has one, until it
    // answers false.
    bool eachGroupMember(PyObject* names, const std::function<bool(Package::Entry&)>& body);
    void markByGroup(const Package::Entry& group, Package::Entry& package, Package::Action action);
    // Asks the user through the relay; false for Cancel.
    bool applyGrpConflict(const Package::Entry& group, Package::Entry& package);
    void applyGrpLog(const Package::Entry& group, const Package::Entry& package);
    void applyGrpLogWas(const Package::Entry& group, const Package::Entry& package);
    void applyGrpLogNot(const Package::Entry& group, const Package::Entry& package,
                        Package::Action action, QString reason);
    // The script's three lists from the entries' group actions; false, after
    // a report, when any package could not be put in its list.
    bool buildApplyLists(PyObject* installs, PyObject* updates, PyObject* removes);
    // Starts the apply's positions, estimates and notes afresh.
    void resetApplyState();
    // The script's apply of the three lists in a scope expecting yum's
    // errors and the operating system's, with the process's output captured
    // into the log. A declared exception is reported with its headline and
    // sets declared; any other failure has been reported as an internal
    // error. The call's result, null after a report.
    PyObject* applyStep(PyObject* installs, PyObject* updates, PyObject* removes,
                        bool& declared);
    // yum's seven lists of the transaction of yb; false after a report.
    bool makeLists(PyObject* yb, TransactionLists& lists);
    void noteTransactionPkgs(Package::Action action, PyObject* members);
    QString getLocalHdr(PyObject* po);
    QString getLocalPkg(PyObject* po);
    bool usesPresto();
    // The acts of dependency solving: the passes so far and ten per header
    // still to fetch.
    quint64 resolveActs() const;
    // The steps of the total bar once the user has confirmed.
    quint64 runningTotal();
    // A transaction member's pkgtup as a new reference; null, reported, when
    // it has none.
    PyObject* memberPkgtup(PyObject* member);
    QString pkgtupFormat(PyObject* pkgtup);
    QString pkgtupRepoFormat(PyObject* pkgtup, const QString& repo);
    bool displayTransactionPkgs(const QString& label, PyObject* members);
    bool displayTransactionPkgsRepo(const QString& label, PyObject* members);
    bool displayTransactionPkgsObs(const QString& label, PyObject* members);
    void dsTsNewPkg(const QString& name, unsigned int count, bool fetchHeader);

    // The yumIOC callbacks; each takes the module object and its arguments.
    PyObject* stdoutWrite(PyObject* self, PyObject* args);
    PyObject* stderrWrite(PyObject* self, PyObject* args);
    PyObject* log(PyObject* self, PyObject* args);
    PyObject* errorlog(PyObject* self, PyObject* args);
    PyObject* collectProgress(PyObject* self, PyObject* args);
    // The common step of the collection-progress callbacks: with `start` a
    // new act of the repository `repo` (its activity text names it unless
    // empty) on a scale of `tail`, otherwise only a new value of the act
    // under way. Nothing without a relay.
    void collectProgress(const QString& repo, bool start, RepoAct act, long value, long tail);
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
    // Logs the lines that `size` characters at `data` finish, joined to
    // `pending`, and leaves the rest there; pendingMutex is held. Whether
    // any line went into the log.
    void writeBytes(const QByteArray& bytes, Log::Kind kind, unsigned int level, QString& pending);
    bool writeLines(const QChar* data, int size, Log::Kind kind, unsigned int level,
                    QString& pending);
    bool writeLines(const char* latin1, int size, Log::Kind kind, unsigned int level,
                    QString& pending);
    // A "TSINFO: " log line, without its prefix: dependency-solving progress.
    void dsTsInfo(const QString& text);
    // The rpm work of installing or updating, and of removing, the package
    // of that name: terms of at least 10240 from its entry, 10240 without
    // one. `oldVersion` measures the installed version an update replaces.
    quint64 installActs(const QString& name) const;
    quint64 removeActs(const QString& name, bool oldVersion) const;
    // Starts the act of one package in the rpm transaction, which ends at
    // itemPosition; logs the text when told to.
    void startPackageAct(const QString& text, long long total, bool logged);
    // Logs once per apply that a callback's code was not understood.
    void notUnderstood(QSet<qint64>& said, qint64 code, const QString& text);

    // The package model: the heads in table order, and the index from key
    // to head.
    Package::EntryList entries;
    Index index;

    // The number of log entries when the innermost open scope declared its
    // types, one per open scope; -1 before a scope declares any.
    QStack<int> exceptLogMarks;


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
    // the thread of the script call) and the output capture (on its reader
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

    // Collection progress: the repositories whose acts the run counts, the
    // word naming what is read, the act reached, and the scale and
    // repository of the last act started (long: a download's size).
    QStringList enabledRepos;
    QString collectSubject;
    int actCounter = 0;
    long actTail = 0;
    QString currentRepo;

    // The groups whose up-to-date test is under way: sub groups that name
    // each other end the test instead of recursing for ever.
    QSet<const Package::Entry*> groupsUnderTest;

    // Apply state. Positions and estimates are 64-bit: a transaction of
    // gigabytes must neither wrap nor go negative.
    QString transactionText;
    bool confirmed = false;
    quint64 itemPosition = 0;
    QSet<QString> updatedNames;
    quint64 resolvePackages = 0;
    quint64 resolveHeaders = 0;
    quint64 resolveCheckActs = 0;
    quint64 resolveDoneActs = 0;
    quint64 installBytes = 0;
    quint64 downloadBytes = 0;
    quint32 downloadShare = 0;
    quint64 rpmUnits = 0;
    qint64 lastElement = 0;
    bool deltaRebuildSeen = false;
    // The rpm callback types and transaction codes already logged as not
    // understood in this apply: each is said once, not on every callback.
    QSet<qint64> notUnderstoodWhats;
    QSet<qint64> notUnderstoodActions;

    Blocker blocker;
    // Set in the GUI thread while a worker runs, so that a second request
    // meanwhile starts nothing.
    bool workerRunning = false;
};

// The hash of the name times two plus the group flag. The seed is left out
// on purpose: the entries' order is the index's, and it stays the same from
// run to run.
uint qHash(const YumIO::EntryKey& key, uint seed = 0);
