// Test support for the collection and the groups: access to the engine's
// collection fields and version probes, and a fixture that collects from a
// sandbox of its own through the engine and the companion script.
#pragma once

#include "tests/engine/engine_test.h"

#include <QHash>
#include <QString>
#include <QStringList>

class CollectTestAccess
{
public:
    static QString& yumVersionText(YumIO& io) { return io.yumVersionText; }
    static bool& yumVersionKnown(YumIO& io) { return io.yumVersionKnown; }
    static PyObject* reposDict(YumIO& io) { return io.reposDict; }
    static const QStringList& enabledRepos(YumIO& io) { return io.enabledRepos; }
    static Progress*& progress(YumIO& io) { return io.progress; }
    static QString& collectSubject(YumIO& io) { return io.collectSubject; }
    static int& actCounter(YumIO& io) { return io.actCounter; }
    static QString& currentRepo(YumIO& io) { return io.currentRepo; }

    // The probes take the interpreter lock here, as their callers hold it.
    static long yumVersion(YumIO& io);
    static bool hasTransTest(YumIO& io);
    static bool hasDistribGroups(YumIO& io);
    static bool usesSqlite(YumIO& io);
};

// The engine on a sandbox whose HOME keeps rpm's database in the root.
class CollectTest : public ScriptTest
{
protected:
    void SetUp() override;

    // The session flags of a run without the kivrel repository, whose
    // server is not started: the sandbox's main repository alone.
    static QHash<QString, bool> withoutRemote(QHash<QString, bool> flags = {});

    // The head entry of a package or group; null when there is none.
    Package::Entry* find(const QString& name, bool group = false) const;
    // The names of the list's entries, sorted, groups marked "@".
    QStringList names() const;
    // Runs statements under the lock with the script's object published as
    // engineObject; fails the test when they raise.
    void script(const QByteArray& code);
    bool scriptTrue(const char* expression);
    // The dialogs seen so far, each as "class|title|text".
    QStringList dialogs() const;
};
