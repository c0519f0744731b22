# yum's lock as the program uses it: taken once through lock(), kept across
# the replacement of the script object, refused to a second process, and
# released through whichever object is current at the end.

import gc
import os
import subprocess
import unittest

import layertest
from layertest import OnSandbox, newYumIO, runChild, useConfigRoot

layertest.script()  # puts the script's folder, and so the yum package, on sys.path
import yum.Errors  # noqa: E402

# The second process: tries the lock and says how it went.
TRY_LOCK = """
y = layertest.newYumIO()
import yum.Errors
try:
    y.lock()
except yum.Errors.LockError as error:
    print("REFUSED pid=%s: %s" % (error.pid, error))
else:
    print("LOCKED")
    y.unlock()
"""


class ProcessLock(OnSandbox):

    def tearDown(self):
        useConfigRoot(self.sandbox.root)
        newYumIO().unlock()

    def secondProcess(self):
        code, output = runChild(TRY_LOCK)
        self.assertEqual(code, 0, output)
        return output

    def testLockWritesOurPidAndRefusesASecondProcess(self):
        y = newYumIO()
        y.lock()
        with open(self.sandbox.pidfile) as f:
            self.assertEqual(f.read().strip(), str(os.getpid()))
        output = self.secondProcess()
        self.assertIn("REFUSED pid=%d" % os.getpid(), output)
        self.assertIn("another copy is running as pid %d" % os.getpid(), output)

    def testLockOutlivesTheObjectThatTookIt(self):
        y = newYumIO()
        y.lock()
        del y
        gc.collect()
        # Fresh objects read the same installroot; none of them may drop the
        # record lock by opening and closing the pid file.
        for _ in range(3):
            newYumIO().repos.repos
        self.assertIn("REFUSED", self.secondProcess())

    def testUnlockThroughALaterObjectFreesTheLock(self):
        first = newYumIO()
        first.lock()
        second = newYumIO()
        second.unlock()
        self.assertFalse(os.path.exists(self.sandbox.pidfile))
        self.assertIn("LOCKED", self.secondProcess())

    def testLockingAgainInTheSameProcessIsHarmless(self):
        newYumIO().lock()
        newYumIO().lock()
        self.assertIn("REFUSED", self.secondProcess())

    def testUnlockWithoutTheLockDoesNothing(self):
        newYumIO().unlock()
        self.assertFalse(os.path.exists(self.sandbox.pidfile))

    def testLockHeldByAnotherProcessRefusesUsUntilItEnds(self):
        holder = subprocess.Popen(
            [layertest.PYTHON, "-c",
             "import layertest, sys\nlayertest.useConfigRoot(%r)\n"
             "y = layertest.newYumIO()\ny.lock()\nprint('held', flush=True)\nsys.stdin.read()\n"
             % self.sandbox.root],
            env=dict(os.environ, PYTHONPATH=layertest.HERE),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            with self.assertRaises(yum.Errors.LockError) as caught:
                newYumIO().lock()
            self.assertEqual(caught.exception.pid, holder.pid)
            self.assertIsInstance(caught.exception, yum.Errors.YumBaseError)
        finally:
            holder.stdin.close()
            holder.wait(30)
        # The holder ended without unlocking: its pid file stays, but the
        # lock went with the process.
        y = newYumIO()
        y.lock()
        with open(self.sandbox.pidfile) as f:
            self.assertEqual(f.read().strip(), str(os.getpid()))

    def testReadingThePidFileInTheHoldingProcessKeepsTheLock(self):
        newYumIO().lock()
        for _ in range(2):
            with open(self.sandbox.pidfile) as f:
                f.read()
        self.assertIn("REFUSED", self.secondProcess())

    def testLockFolderThatCannotBeMadeIsALockError(self):
        root = layertest.newConfigRoot(
            self.sandbox, "[main]\ninstallroot=@ROOT@/inst\nreposdir=@ROOT@/none\n")
        try:
            # A file where the folder of the pid file must go.
            os.makedirs(root + "/inst/var")
            with open(root + "/inst/var/run", "w") as f:
                f.write("not a folder")
            useConfigRoot(root)
            with self.assertRaises(yum.Errors.LockError) as caught:
                newYumIO().lock()
            self.assertIn(root + "/inst/var/run/yum.pid", str(caught.exception))
        finally:
            layertest.removeTree(root)


if __name__ == "__main__":
    unittest.main(verbosity=2)
