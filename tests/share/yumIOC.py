# Stand-in for the built-in module yumIOC that the program registers before
# it runs the companion script: the tests of the script and its yum layer
# import this one instead. It carries what the program sets on the module
# (layertest.useConfigRoot points it at a sandbox) and the twenty callbacks.
#
# Each callback checks its arguments the way the program parses them (an
# "s" text must be a str that converts to UTF-8 without surrogates or NULs,
# "l"/"L" an int) and raises TypeError otherwise, as the program's parser
# makes the script's call raise. Calls are recorded in `calls` as (name,
# arguments) once they passed the checks. listTransaction and
# postTransactionOutput read the yum object the way the program does and
# record what they read in `listings`.

import sys

configroot = ""
yumconf = ""

calls = []
listings = []
# The answer of userconfirm, or a function giving it.
confirm = 1
# Whether stdoutWrite and stderrWrite also show their text.
echo = True

_FORMATS = {
    "stdoutWrite": "s", "stderrWrite": "s", "log": "ls", "errorlog": "ls",
    "collectProgress": "llO", "collectGrabMeterStart": "sssOO",
    "collectGrabMeterUpdate": "L", "collectGrabMeterEnd": "L",
    "applyGrabMeterStart": "OOOLO", "applyGrabMeterUpdate": "L", "applyGrabMeterEnd": "L",
    "dsTsCheck": "", "dsRestartLoop": "", "userconfirm": "",
    "reportDownloadSize": "O", "listTransaction": "O", "tsInitCallback": "l",
    "tsCallback": "lLLOO", "tsEvent": "OlLLll", "postTransactionOutput": "O",
}

# The seven lists the program reads from tsInfo, in its order.
TRANSACTION_LISTS = ("updated", "installed", "removed", "obsoleted", "depupdated",
                     "depinstalled", "depremoved")


def reset():
    global confirm, echo
    del calls[:]
    del listings[:]
    confirm = 1
    echo = True


def names():
    return [name for name, _ in calls]


def argsOf(name):
    return [args for called, args in calls if called == name]


def _check(name, args):
    fmt = _FORMATS[name]
    if len(args) != len(fmt):
        raise TypeError("%s takes %d arguments (%d given)" % (name, len(fmt), len(args)))
    for code, value in zip(fmt, args):
        if code in "lL":
            if not isinstance(value, int):
                raise TypeError("%s: an integer is required, not %s" % (name, type(value).__name__))
        elif code == "s":
            if not isinstance(value, str):
                raise TypeError("%s: str expected, not %s" % (name, type(value).__name__))
            value.encode("utf-8")   # UnicodeEncodeError on surrogates, as the parser
            if "\0" in value:
                raise ValueError("%s: embedded null character" % name)


def _record(name, args):
    calls.append((name, args))


def _text(value):
    if not isinstance(value, str):
        raise TypeError("expected a text, got %r" % (value,))
    return value


def _pkgtup(pkgtup):
    if not (isinstance(pkgtup, tuple) and len(pkgtup) == 5
            and all(isinstance(part, str) for part in pkgtup)):
        raise TypeError("pkgtup is not five texts: %r" % (pkgtup,))
    return pkgtup


def _readTransaction(yb):
    """What the program reads from the yum object of listTransaction."""
    tsInfo = yb.tsInfo
    tsInfo.makelists()
    listing = {}
    for listName in TRANSACTION_LISTS:
        members = []
        for member in getattr(tsInfo, listName):
            entry = {"pkgtup": _pkgtup(member.pkgtup), "repoid": _text(member.repoid)}
            if listName == "obsoleted":
                related = [po for po, relation in member.relatedto if relation == "obsoletedby"]
                if not related:
                    raise TypeError("obsoleted member without obsoletedby: %r" % (member,))
                entry["obsoletedby"] = _pkgtup(related[0].pkgtup)
            members.append(entry)
        listing[listName] = members
    return listing


def _write(name, text):
    _check(name, (text,))
    _record(name, (text,))
    if echo:
        stream = sys.__stdout__ if name == "stdoutWrite" else sys.__stderr__
        stream.write(text)
        stream.flush()


def stdoutWrite(text):
    _write("stdoutWrite", text)


def stderrWrite(text):
    _write("stderrWrite", text)


def log(level, text):
    _check("log", (level, text))
    _record("log", (level, text))


def errorlog(level, text):
    _check("errorlog", (level, text))
    _record("errorlog", (level, text))


def collectProgress(current, total, name):
    _check("collectProgress", (current, total, name))
    if name is not None and not isinstance(name, str):
        raise TypeError("collectProgress: unexpected progress name %r" % (name,))
    _record("collectProgress", (current, total, name))


def collectGrabMeterStart(location, second, third, size, other):
    _check("collectGrabMeterStart", (location, second, third, size, other))
    if size is not None and not isinstance(size, int):
        raise TypeError("collectGrabMeterStart: size is %r" % (size,))
    _record("collectGrabMeterStart", (location, second, third, size, other))


def collectGrabMeterUpdate(read):
    _check("collectGrabMeterUpdate", (read,))
    _record("collectGrabMeterUpdate", (read,))


def collectGrabMeterEnd(total):
    _check("collectGrabMeterEnd", (total,))
    _record("collectGrabMeterEnd", (total,))


def applyGrabMeterStart(url, second, third, size, progressText):
    _check("applyGrabMeterStart", (url, second, third, size, progressText))
    _text(url)
    if progressText is not None:
        _text(progressText)
    _record("applyGrabMeterStart", (url, second, third, size, progressText))


def applyGrabMeterUpdate(read):
    _check("applyGrabMeterUpdate", (read,))
    _record("applyGrabMeterUpdate", (read,))


def applyGrabMeterEnd(total):
    _check("applyGrabMeterEnd", (total,))
    _record("applyGrabMeterEnd", (total,))


def dsTsCheck():
    _check("dsTsCheck", ())
    _record("dsTsCheck", ())


def dsRestartLoop():
    _check("dsRestartLoop", ())
    _record("dsRestartLoop", ())


def userconfirm():
    _check("userconfirm", ())
    _record("userconfirm", ())
    answer = confirm() if callable(confirm) else confirm
    return 1 if answer else 0


def reportDownloadSize(packages):
    _check("reportDownloadSize", (packages,))
    for po in packages:
        if not isinstance(po.size, int):
            raise TypeError("package size is %r" % (po.size,))
    _record("reportDownloadSize", (packages,))


def listTransaction(yb):
    _check("listTransaction", (yb,))
    listing = _readTransaction(yb)
    _record("listTransaction", (yb,))
    listings.append(("listTransaction", listing))


def tsInitCallback(count):
    _check("tsInitCallback", (count,))
    _record("tsInitCallback", (count,))


def tsCallback(what, amount, total, key, clientData):
    _check("tsCallback", (what, amount, total, key, clientData))
    _record("tsCallback", (what, amount, total, key, clientData))


def tsEvent(package, action, amount, total, current, count):
    _check("tsEvent", (package, action, amount, total, current, count))
    if action in (40, 50, 90):
        _text(package)
    elif action in (10, 20, 30, 60):
        _text(package.name)
    elif action != 70:
        raise ValueError("tsEvent: %d is no yum transaction code" % action)
    _record("tsEvent", (package, action, amount, total, current, count))


def postTransactionOutput(yb):
    _check("postTransactionOutput", (yb,))
    listing = _readTransaction(yb)
    _record("postTransactionOutput", (yb,))
    listings.append(("postTransactionOutput", listing))
    return ""
