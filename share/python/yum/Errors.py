# The exception types of the yum layer. Callers (the companion script and the
# program behind it) expect yum's own types, so failures of dnf, hawkey,
# librepo and rpm leave the layer only as one of these (see translate.py).


class YumBaseError(Exception):
    """The base of every yum error; its text is in `value`."""

    def __init__(self, value=None):
        Exception.__init__(self)
        self.value = value

    def __str__(self):
        return "%s" % (self.value,)


class LockError(YumBaseError):
    """yum's lock is held elsewhere or cannot be taken."""

    def __init__(self, errno, msg, pid=0):
        YumBaseError.__init__(self, msg)
        self.errno = errno
        self.msg = msg
        self.pid = pid


class RepoError(YumBaseError):
    """A repository is unknown or cannot be read."""


class GroupsError(YumBaseError):
    """Group (comps) information is missing or wrong."""


class ConfigError(YumBaseError):
    """yum.conf or a repository file cannot be used."""


class MiscError(YumBaseError):
    """Anything else that stops an operation."""
