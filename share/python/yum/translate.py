# Turns failures of dnf, hawkey, libdnf, rpm and the file system into yum's
# exception types, and keeps kivrel credentials out of every text the layer
# lets go of: exception texts and dnf's log messages both quote repository
# URLs, and a kivrel URL carries its password in its query.

import contextlib
import logging
import re
import sys

import dnf.exceptions
import hawkey
import libdnf.error
import rpm

from yum import Errors

# The credentials of a kivrel segment, with anything the client joined in
# between (dnf puts "/repodata/repomd.xml" before the query): everything from
# the "?" up to "&path=" goes, key names included, so that no form of the
# values survives, whatever characters they hold. A malformed segment without
# "&path=" loses the rest of its URL.
_KIVREL_QUERY = re.compile(r"(kivrel[^?\s]*\?)(?:\S*?(&path=)|\S*)")
HIDDEN = "********"

# Passwords found in the repository URLs read so far; texts that quote one
# outside a URL (decoded, for instance) lose it too. Very short ones are
# left to the URL rule: replacing them would garble every message.
_secrets = set()
_MIN_SECRET = 4

# dnf's exception types, most specific first, and yum's type for each.
_SPECIFIC = [
    (dnf.exceptions.RepoError, Errors.RepoError),
    (dnf.exceptions.LockError, Errors.LockError),
    (dnf.exceptions.CompsError, Errors.GroupsError),
    (dnf.exceptions.ConfigError, Errors.ConfigError),
]

# Failures that are the environment's, not the layer's: they become the
# caller's declared type. Other exceptions (TypeError and the like) are
# faults of the layer and stay as they are, with their tracebacks.
_FOREIGN = (dnf.exceptions.Error, hawkey.Exception, libdnf.error.Error, rpm.error, OSError)


# A kivrel segment: "/kivrel?KEY1=USER&KEY2=PASSWORD&path=", values encoded.
_KIVREL_SEGMENT = re.compile(r"/kivrel\?[^=&\s]*=([^&\s]*)&[^=&\s]*=(\S*?)&path=")


# A run of consecutive escapes.
_ESCAPES = re.compile(r"(?:%[0-9a-fA-F]{2})+")


def _decodeEscapes(match):
    data = bytes.fromhex(match.group(0).replace("%", ""))
    # Bytes that are not UTF-8 come back as surrogate escapes, one a byte.
    text = data.decode("utf-8", "surrogateescape")
    return "".join(chr(ord(c) - 0xDC00) if 0xDC80 <= ord(c) <= 0xDCFF else c for c in text)


def kivrelDecode(value):
    """A kivrel value decoded as the program decodes it: escapes that form
    UTF-8 give its characters, every other escape the character of its
    code (files written before UTF-8 escaping hold "%e9" for U+00E9)."""
    return _ESCAPES.sub(_decodeEscapes, value)


def kivrelCredentials(url):
    """(user, password) of the first kivrel segment of a URL text, decoded;
    None when the text has no segment."""
    match = _KIVREL_SEGMENT.search(url or "")
    if match is None:
        return None
    return kivrelDecode(match.group(1)), kivrelDecode(match.group(2))


def rememberSecretsOf(url):
    """Notes the password of every kivrel segment in a URL text."""
    for match in _KIVREL_SEGMENT.finditer(url or ""):
        for form in (match.group(2), kivrelDecode(match.group(2))):
            if len(form) >= _MIN_SECRET:
                _secrets.add(form)


def hideCredentials(text):
    """The text with every kivrel credential replaced."""
    text = _KIVREL_QUERY.sub(lambda m: m.group(1) + HIDDEN + (m.group(2) or ""), text)
    # Longest first, so that a password holding another is hidden whole.
    for secret in sorted(_secrets, key=len, reverse=True):
        text = text.replace(secret, HIDDEN)
    return text


def textOf(error):
    # dnf's errors print their value, which may be None.
    text = "" if getattr(error, "value", "") is None else str(error)
    if not text and isinstance(error, OSError) and error.strerror:
        text = error.strerror
    return hideCredentials(text or type(error).__name__)


def convert(error, declared):
    """The yum exception for a failure, of the declared type or a subtype."""
    if isinstance(error, Errors.YumBaseError):
        kind = type(error) if isinstance(error, declared) else declared
    else:
        kind = declared
        for dnfType, yumType in _SPECIFIC:
            if isinstance(error, dnfType):
                if issubclass(yumType, declared):
                    kind = yumType
                break
    text = textOf(error)
    if kind is Errors.LockError:
        return Errors.LockError(getattr(error, "errno", 0) or 0, text,
                                getattr(error, "pid", 0) or 0)
    return kind(text)


@contextlib.contextmanager
def translated(declared=Errors.YumBaseError):
    """Lets failures of the block out only as `declared` or its subtypes.

    The original exception is not chained: its text may hold credentials,
    and a printed traceback would show it."""
    try:
        yield
    except _FOREIGN + (Errors.YumBaseError,) as error:
        raise convert(error, declared) from None


class _CredentialHidingHandler(logging.Handler):
    """Passes dnf's warnings and errors on without credentials.

    The stream is looked up at every message, so redirections of sys.stderr
    made later (the program captures it around a transaction) are followed.
    A later owner may replace `sink` by a function taking the level and text."""

    def __init__(self):
        logging.Handler.__init__(self, logging.WARNING)
        self.sink = None

    def emit(self, record):
        try:
            text = hideCredentials(record.getMessage())
        except Exception:
            text = hideCredentials(str(record.msg))
        if self.sink is not None:
            self.sink(record.levelno, text)
            return
        stream = sys.stderr
        if stream is not None:
            stream.write(text + "\n")
            stream.flush()


_handler = None


def installLogHandler():
    """Routes the "dnf" logger through the credential filter; once per process."""
    global _handler
    if _handler is None:
        _handler = _CredentialHidingHandler()
        logger = logging.getLogger("dnf")
        logger.addHandler(_handler)
        # Without this, Python's last-resort handler or a root handler would
        # see the unfiltered record.
        logger.propagate = False
    return _handler
