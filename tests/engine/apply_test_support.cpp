// The apply tests' support: access to the apply state, the stand-in yum of
// the listing tests, and the sandbox fixture's helpers.
#include "tests/engine/apply_test.h"

#include <QMutexLocker>

#include "engine/yumioc.h"

namespace {

// yum's transaction as the callbacks read it, reduced to what they read.
const char* const standIns = R"(
import sys, types

class Po(object):
    def __init__(self, n, a, e, v, r, local=''):
        self.pkgtup = (n, a, e, v, r)
        self.name = n
        self.local = local
    def localPkg(self):
        return self.local
    def localHdr(self):
        return self.local

class Member(object):
    def __init__(self, po, repoid='kuv-main', relatedto=()):
        self.po = po
        self.pkgtup = po.pkgtup
        self.repoid = repoid
        self.relatedto = list(relatedto)

LISTS = ('updated', 'installed', 'removed', 'obsoleted', 'depupdated', 'depinstalled',
         'depremoved')

class TsInfo(object):
    # yum 2.3.2 and later: makelists() fills seven attributes.
    def __init__(self, **lists):
        self.lists = lists
    def makelists(self):
        for name in LISTS:
            setattr(self, name, self.lists.get(name, []))

class OldTsInfo(TsInfo):
    # Older yum: makelists() returns the seven lists.
    def makelists(self):
        return tuple(self.lists.get(name, []) for name in LISTS)

class Yb(object):
    def __init__(self, tsInfo):
        self.tsInfo = tsInfo

class Script(object):
    def __init__(self, presto):
        self.presto = presto
    def usesPresto(self):
        return self.presto
    def flush(self):
        pass

class Sized(object):
    def __init__(self, size):
        self.size = size

import yumIOC
)";

}

quint64 ApplyTestAccess::runningTotal(YumIO& io)
{
    Python::PyGILStateWrapper guard(true);
    return io.runningTotal();
}

bool ApplyTestAccess::setScriptObject(YumIO& io, const char* expression)
{
    Python::PyGILStateWrapper guard(true);
    PyObject* object = YumIOTestAccess::python(io).pyr(expression);
    if (!object)
        return false;
    Py_XDECREF(io.yumIO);
    io.yumIO = object;
    return true;
}

void ApplyFakeTest::SetUp()
{
    EngineTest::SetUp();
    if (IsSkipped())
        return;
    makeEngine();
    ASSERT_TRUE(YumIOTestAccess::startInterpreter(*io));
    {
        Python::PyGILStateWrapper guard(true);
        ASSERT_TRUE(YumIOC::initialize(io.get()));
    }
    python(standIns);
}

void ApplyFakeTest::useYum(const char* version, bool presto)
{
    python(QByteArray("yum = types.ModuleType('yum')\nyum.__version__ = '") + version
           + "'\nsys.modules['yum'] = yum\n");
    ASSERT_TRUE(ApplyTestAccess::setScriptObject(*io, presto ? "Script(True)" : "Script(False)"));
}

bool ApplyFakeTest::pythonRuns(const QByteArray& code)
{
    return YumIOTestAccess::py(*io, code.constData());
}

void ApplyFakeTest::python(const QByteArray& code)
{
    ASSERT_TRUE(pythonRuns(code)) << code.constData();
}

Package::Entry* ApplyFakeTest::addEntry(const QString& name, Package::State state, quint64 size,
                                        qint64 olderSize)
{
    auto* entry = new Package::Entry(name, QString(), QString(), QStringLiteral("noarch"), size,
                                     QString(), QString(), 0, QString(), nullptr);
    entry->state = state;
    if (olderSize >= 0) {
        entry->next = new Package::Entry(name, QString(), QString(), QStringLiteral("noarch"),
                                         quint64(olderSize), QString(), QString(), 0, QString(),
                                         nullptr);
        entry->next->state = Package::Installed;
    }
    YumIOTestAccess::index(*io).insert(YumIO::EntryKey(false, name), entry);
    YumIOTestAccess::entries(*io).append(entry);
    return entry;
}

QStringList ApplyFakeTest::dialogs() const
{
    QStringList list;
    for (const SeenDialog& dialog : answerer.seen)
        list << dialog.className + "|" + dialog.title + "|" + dialog.text;
    return list;
}

void ApplyTest::SetUp()
{
    CollectTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    ASSERT_TRUE(io->collect(withoutRemote()));
    ASSERT_EQ(dialogs(), QStringList());
}

void ApplyTest::mark(const QString& name, Package::Action action)
{
    Package::Entry* entry = find(name);
    ASSERT_NE(entry, nullptr) << name.toStdString();
    entry->action = action;
}

QStringList ApplyTest::logTexts(Log::Kind kind, int from)
{
    QStringList texts;
    QMutexLocker locker(&io->logList);
    for (int i = from; i < io->logList.count(); ++i) {
        if (io->logList.at(i).kind == kind)
            texts << io->logList.at(i).text;
    }
    return texts;
}
