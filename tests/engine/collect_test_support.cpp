// The collection tests' support: access to the version probes and the
// sandbox fixture's helpers.
#include "tests/engine/collect_test.h"

#include <algorithm>

long CollectTestAccess::yumVersion(YumIO& io)
{
    Python::PyGILStateWrapper guard(true);
    return io.yumVersion();
}

bool CollectTestAccess::hasTransTest(YumIO& io)
{
    Python::PyGILStateWrapper guard(true);
    return io.hasTransTest();
}

bool CollectTestAccess::hasDistribGroups(YumIO& io)
{
    Python::PyGILStateWrapper guard(true);
    return io.hasDistribGroups();
}

bool CollectTestAccess::usesSqlite(YumIO& io)
{
    Python::PyGILStateWrapper guard(true);
    return io.usesSqlite();
}

void CollectTest::SetUp()
{
    ScriptTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    qputenv("HOME", sandbox.home().toUtf8());
    ASSERT_TRUE(io->initialize());
}

QHash<QString, bool> CollectTest::withoutRemote(QHash<QString, bool> flags)
{
    flags.insert(TestSandbox::kivrelRepoId(), false);
    return flags;
}

Package::Entry* CollectTest::find(const QString& name, bool group) const
{
    for (Package::Entry* entry : *io) {
        if (entry->name == name && (entry->kind == Package::Group) == group)
            return entry;
    }
    return nullptr;
}

QStringList CollectTest::names() const
{
    QStringList list;
    for (Package::Entry* entry : *io)
        list << (entry->kind == Package::Group ? "@" : "") + entry->name;
    std::sort(list.begin(), list.end());
    return list;
}

void CollectTest::script(const QByteArray& code)
{
    publishScriptObject();
    ASSERT_TRUE(YumIOTestAccess::py(*io, code.constData())) << code.constData();
}

bool CollectTest::scriptTrue(const char* expression)
{
    publishScriptObject();
    return YumIOTestAccess::evalTrue(*io, expression);
}

QStringList CollectTest::dialogs() const
{
    QStringList list;
    for (const SeenDialog& dialog : answerer.seen)
        list << dialog.className + "|" + dialog.title + "|" + dialog.text;
    return list;
}
