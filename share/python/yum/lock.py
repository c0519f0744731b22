# yum's lock: a lock of the process, not of one YumBase object. The program
# replaces its YumBase object before every new collection and releases the
# lock through whichever object is current at its end, so the lock lives here
# at module level.
#
# It is a record lock on yum's pid file, held through a file that stays open
# here for as long as the lock is held. dnf's own process lock cannot be
# released from another thread, and flock conflicts within one process. A
# classic POSIX record lock (lockf) drops as soon as the process closes any
# descriptor of the file, so any code that merely reads the pid file would
# free it; Linux's open-file-description locks do not, and are used where
# the system has them. Both kinds conflict with each other across processes.

import errno
import fcntl
import os
import struct

from yum import Errors

_held = None   # (open file, path) while this process holds the lock


def held():
    """The path of the lock this process holds, or None."""
    return _held[1] if _held is not None else None


def _pidIn(path):
    try:
        with open(path) as f:
            return int(f.read().strip() or 0)
    except (OSError, ValueError):
        return 0


def _tryLock(lockFile):
    """Locks the whole file without waiting; OSError (EAGAIN or EACCES) when
    another process holds it."""
    if hasattr(fcntl, "F_OFD_SETLK"):
        # struct flock: type, whence, start, length 0 (to the end), pid 0.
        request = struct.pack("@hhqqi4x", fcntl.F_WRLCK, os.SEEK_SET, 0, 0, 0)
        fcntl.fcntl(lockFile.fileno(), fcntl.F_OFD_SETLK, request)
    else:
        fcntl.lockf(lockFile, fcntl.LOCK_EX | fcntl.LOCK_NB)


def acquire(path):
    """Takes the lock at `path`; LockError when another process holds it."""
    global _held
    if _held is not None:
        if _held[1] == path:
            return
        raise Errors.LockError(errno.EEXIST, "yum is already locked through %s" % _held[1],
                               os.getpid())
    try:
        os.makedirs(os.path.dirname(path), exist_ok=True)
    except OSError as error:
        raise Errors.LockError(error.errno, "Cannot create the folder of lock file %s: %s"
                               % (path, error.strerror)) from None
    while True:
        try:
            lockFile = open(path, "a+")
        except OSError as error:
            raise Errors.LockError(error.errno, "Cannot open lock file %s: %s"
                                   % (path, error.strerror)) from None
        try:
            _tryLock(lockFile)
        except OSError as error:
            lockFile.close()
            if error.errno not in (errno.EACCES, errno.EAGAIN):
                raise Errors.LockError(error.errno, "Cannot lock %s: %s"
                                       % (path, error.strerror)) from None
            pid = _pidIn(path)
            raise Errors.LockError(errno.EAGAIN, "Existing lock %s: another copy is running as pid %s."
                                   % (path, pid or "unknown"), pid) from None
        # The previous holder removes the file before it lets go; a lock won
        # on the removed file guards nothing, so try again on the new one.
        try:
            current = os.stat(path)
        except OSError:
            current = None
        mine = os.fstat(lockFile.fileno())
        if current is None or (current.st_dev, current.st_ino) != (mine.st_dev, mine.st_ino):
            lockFile.close()
            continue
        lockFile.seek(0)
        lockFile.truncate()
        lockFile.write("%d\n" % os.getpid())
        lockFile.flush()
        _held = (lockFile, path)
        return


def release():
    """Lets the lock go; nothing when this process does not hold it."""
    global _held
    if _held is None:
        return
    lockFile, path = _held
    _held = None
    # Removed while still locked, so that nobody locks the old file after us
    # and believes it holds the lock.
    failure = None
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass
    except OSError as error:
        failure = error
    lockFile.close()
    if failure is not None:
        raise Errors.LockError(failure.errno, "Cannot remove lock file %s: %s"
                               % (path, failure.strerror))
