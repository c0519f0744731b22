// The companion script in the embedded interpreter on a real sandbox: the
// script object is made, takes yum's lock for the process, sets up the
// repositories through dnf (the password-protected one over HTTP included),
// and a later object releases the lock that an earlier one took.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include "engine/configroot.h"
#include "foundation/share.h"
#include "python_test.h"
#include "common/sandbox.h"

namespace
{

// A second process that runs the same script on the same sandbox and tries
// to take the lock.
QString tryLockElsewhere(const TestSandbox& sandbox)
{
    const char* code =
        "import sys, types\n"
        "m = types.ModuleType('yumIOC')\n"
        "m.configroot = sys.argv[1]\n"
        "m.yumconf = sys.argv[2]\n"
        "sys.modules['yumIOC'] = m\n"
        "exec(compile(open(sys.argv[3]).read(), sys.argv[3], 'exec'))\n"
        "import yum.Errors\n"
        "try:\n"
        "    YumIO().lock()\n"
        "except yum.Errors.LockError:\n"
        "    print('REFUSED')\n"
        "else:\n"
        "    print('LOCKED')\n";
    QProcess child;
    child.setProcessEnvironment(sandbox.environment());
    child.start("/usr/bin/python3", {"-c", code, sandbox.root(), sandbox.yumConf(),
                                     Share::absolute("python/YumIO.py")});
    if (!child.waitForFinished(60000))
        return "TIMEOUT";
    return QString::fromUtf8(child.readAllStandardOutput()).trimmed()
           + QString::fromUtf8(child.readAllStandardError()).trimmed();
}

class CompanionScript : public PythonTest
{
protected:
    void SetUp() override
    {
        PythonTest::SetUp();
        ASSERT_TRUE(sandbox.ok());
        ASSERT_TRUE(sandbox.startKivrelServer());
        ASSERT_TRUE(sandbox.fillKivrelCredentials());
        ConfigRoot::setRoot(sandbox.root());
        qputenv("HOME", sandbox.home().toUtf8());
    }

    // Stands in for the callback module the engine registers, with the two
    // attributes that tell the script where yum's files are.
    void registerCallbackModule()
    {
        Python::PyGILStateWrapper lock(true);
        ASSERT_TRUE(python->pyf("import sys, types\n"
                                "yumIOC = types.ModuleType('yumIOC')\n"
                                "yumIOC.configroot = %s\n"
                                "yumIOC.yumconf = %s\n"
                                "sys.modules['yumIOC'] = yumIOC\n",
                                quoted(ConfigRoot::root()).constData(),
                                quoted(ConfigRoot::yumConf()).constData()));
    }

    void runScript()
    {
        Python::PyGILStateWrapper lock(true);
        QByteArray path = quoted(Share::absolute("python/YumIO.py"));
        ASSERT_TRUE(python->pyf("exec(compile(open(%s).read(), %s, 'exec'))", path.constData(),
                                path.constData()));
    }

    static QByteArray quoted(const QString& text)
    {
        return "'" + text.toUtf8().replace("\\", "\\\\").replace("'", "\\'") + "'";
    }

    TestSandbox sandbox;
};

}

TEST_F(CompanionScript, ObjectsShareTheProcessLockAndSetUpEveryRepository)
{
    registerCallbackModule();
    runScript();
    StderrCapture stderrText;
    {
        Python::PyGILStateWrapper lock(true);
        ASSERT_TRUE(python->py("yumIO = YumIO()"));

        python->pyExceptStart();
        python->pyExceptExpect(python->pyLookup("yum.Errors.LockError"));
        PyObject* result = python->pyr("yumIO.lock()");
        EXPECT_FALSE(python->pyExceptMatches(result, python->pyLookup("yum.Errors.LockError")));
        python->pyExceptClear();
        ASSERT_NE(result, nullptr);
        Py_DECREF(result);

        ASSERT_TRUE(python->py("yumIO.setupRepos()"));
        ASSERT_TRUE(python->py("yumIO.setupTs()"));

        // Every repository the sandbox enables is known and enabled, the
        // disabled one known and off.
        PyObject* enabled = python->pyr(
            "sorted(i for i, r in yumIO.repos.repos.items() if r.enabled)");
        ASSERT_NE(enabled, nullptr);
        PyObject* text = PyObject_Str(enabled);
        EXPECT_STREQ(python->pyString(text), "['kuv-main', 'kuv-remote']");
        Py_XDECREF(text);
        Py_DECREF(enabled);
        PyObject* extra = python->pyr("yumIO.repos.repos['kuv-extra'].enabled");
        ASSERT_NE(extra, nullptr);
        EXPECT_EQ(PyLong_AsLong(extra), 0);
        Py_DECREF(extra);

        // The package only the password-protected repository has arrived
        // through the loopback server.
        PyObject* remote = python->pyr(
            "len(yumIO.sack.query().available().filter(name='kuv-remote', reponame='kuv-remote'))");
        ASSERT_NE(remote, nullptr);
        EXPECT_EQ(PyLong_AsLong(remote), 1);
        Py_DECREF(remote);
    }
    EXPECT_EQ(tryLockElsewhere(sandbox), "REFUSED");

    {
        Python::PyGILStateWrapper lock(true);
        // The engine replaces the object before every collection; the lock
        // stays with the process and the new object releases it.
        ASSERT_TRUE(python->py("yumIO = YumIO()\nyumIO.unlock()"));
    }
    EXPECT_EQ(tryLockElsewhere(sandbox), "LOCKED");
    EXPECT_TRUE(python->errors.empty()) << python->errors.front();
    EXPECT_EQ(stderrText.text().find(sandbox.kivrelPassword().toStdString()), std::string::npos);
}
