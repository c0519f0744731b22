// Test support for the apply road: access to the engine's apply state, a
// fixture whose yum is made of small Python stand-ins (the transaction, its
// members and the script object) behind the real yumIOC callbacks, and a
// fixture that applies on a sandbox through the real script and yum layer.
#pragma once

#include "tests/engine/collect_test.h"

#include <QSet>
#include <QString>
#include <QStringList>

class ApplyTestAccess
{
public:
    static QString& transactionText(YumIO& io) { return io.transactionText; }
    static bool& confirmed(YumIO& io) { return io.confirmed; }
    static quint64& itemPosition(YumIO& io) { return io.itemPosition; }
    static QSet<QString>& updatedNames(YumIO& io) { return io.updatedNames; }
    static quint64& resolvePackages(YumIO& io) { return io.resolvePackages; }
    static quint64& resolveHeaders(YumIO& io) { return io.resolveHeaders; }
    static quint64& resolveCheckActs(YumIO& io) { return io.resolveCheckActs; }
    static quint64& resolveDoneActs(YumIO& io) { return io.resolveDoneActs; }
    static quint64& installBytes(YumIO& io) { return io.installBytes; }
    static quint64& downloadBytes(YumIO& io) { return io.downloadBytes; }
    static quint32& downloadShare(YumIO& io) { return io.downloadShare; }
    static quint64& rpmUnits(YumIO& io) { return io.rpmUnits; }
    static quint64 resolveActs(YumIO& io) { return io.resolveActs(); }
    // Takes the interpreter lock, as the confirmation's callers hold it.
    static quint64 runningTotal(YumIO& io);
    // Makes the value of a Python expression the engine's script object.
    static bool setScriptObject(YumIO& io, const char* expression);
};

// An engine with the interpreter and yumIOC but without the companion
// script: yum is a module of stand-ins whose version the test chooses, and
// the transaction handed to the callbacks is built from small classes
// (Po, Member, TsInfo, Yb; see the source).
class ApplyFakeTest : public EngineTest
{
protected:
    void SetUp() override;

    // Makes "yum" a module whose __version__ is the given text, and the
    // script object one whose usesPresto() answers as told.
    void useYum(const char* version, bool presto = false);
    // Runs statements in __main__ under the lock; fails the test when they
    // raise.
    void python(const QByteArray& code);
    bool pythonRuns(const QByteArray& code);
    // A head entry in the engine's index, with an installed version of the
    // given size chained behind it when olderSize is not negative.
    Package::Entry* addEntry(const QString& name, Package::State state, quint64 size,
                             qint64 olderSize = -1);
    // The dialogs seen so far, each as "class|title|text".
    QStringList dialogs() const;

    DialogAnswerer answerer;
};

// The engine, script and yum layer on a sandbox, collected without the
// kivrel repository.
class ApplyTest : public CollectTest
{
protected:
    void SetUp() override;

    // Marks the head entry of a package; fails the test when it is missing.
    void mark(const QString& name, Package::Action action);
    // The log's lines of the given kind from the given index on.
    QStringList logTexts(Log::Kind kind, int from = 0);
};
