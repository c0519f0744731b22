// The callbacks through which the script reports the reading of the
// repositories during a collection or a load of extra data: each enabled
// repository owns five acts of the run that the operation sets up (mirror
// list, repomd, download, conversion, reading), and each act starts an item
// with its own activity text on the bars.
//
// Everything here reaches the bars through `progress`, which is null outside
// an operation's progress scope: the script calls back at start-up and while
// cleaning too, and such calls do nothing once their arguments are checked.
// The callbacks run in the thread of the script call, under the interpreter
// lock.
#include "engine/yumio.h"

#include <algorithm>

#include <QRegularExpression>

#include "engine/passwordmask.h"
#include "engine/progress.h"

namespace {

// The item scale and value of a callback; a negative count is nothing yet.
Steps stepsOf(long long value)
{
    return value < 0 ? 0 : static_cast<Steps>(value);
}

}

void YumIO::collectProgress(const QString& repo, bool start, RepoAct act, long value, long tail)
{
    if (!progress)
        return;
    if (!start) {
        progress->setItemValue(stepsOf(value));
        return;
    }

    int next = 0;
    if (yumVersion() > 30106) {
        // Each repository's five acts follow each other.
        next = (actCounter / 5) * 5 + act + 1;
    } else if (act <= RepoRepomd) {
        // Older yum fetched every repository's mirror list and repomd first,
        // two acts each, and downloaded, converted and read afterwards.
        next = (actCounter / 2) * 2 + act + 1;
    } else {
        const int base = 2 * int(enabledRepos.size());
        const int reached = std::max(actCounter, base);
        next = ((reached - base) / 3) * 3 + act - 1 + base;
    }
    // A repository that reports an act out of order (a download after its
    // conversion) gets an empty item: the numbering never goes back.
    actCounter = std::max(actCounter, next);
    actTail = tail;
    currentRepo = repo;

    static const char* const withoutRepo[] = {
        QT_TRANSLATE_NOOP("YumIO", "Downloading repository %1 mirror list"),
        QT_TRANSLATE_NOOP("YumIO", "Downloading repository %1 repomd"),
        QT_TRANSLATE_NOOP("YumIO", "Downloading repository %1"),
        QT_TRANSLATE_NOOP("YumIO", "Converting repository %1"),
        QT_TRANSLATE_NOOP("YumIO", "Reading repository %1"),
    };
    static const char* const withRepo[] = {
        QT_TRANSLATE_NOOP("YumIO", "Downloading repository %1 mirror list for %2"),
        QT_TRANSLATE_NOOP("YumIO", "Downloading repository %1 repomd for %2"),
        QT_TRANSLATE_NOOP("YumIO", "Downloading repository %1 for %2"),
        QT_TRANSLATE_NOOP("YumIO", "Converting repository %1 for %2"),
        QT_TRANSLATE_NOOP("YumIO", "Reading repository %1 for %2"),
    };
    QString text;
    if (act < 0 || act >= RepoNoAct) {
        error("Internal error: invalid collect act\n");
    } else if (repo.isEmpty()) {
        text = tr(withoutRepo[act]).arg(collectSubject);
    } else {
        text = tr(withRepo[act]).arg(collectSubject, repo);
    }
    progress->startItemAct(text, stepsOf(tail), Steps(actCounter));
    if (value != 0)
        progress->setItemValue(stepsOf(value));
}

PyObject* YumIO::collectProgress(PyObject* self, PyObject* args)
{
    long current = 0;
    long total = 0;
    PyObject* nameObject = nullptr;
    if (!PyArg_ParseTuple(args, "llO", &current, &total, &nameObject))
        return nullptr;
    if (!progress)
        Py_RETURN_NONE;

    QString name;
    if (PyUnicode_Check(nameObject) || PyBytes_Check(nameObject))
        name = pyString(nameObject);
    else if (nameObject != Py_None)
        error(tr("Internal error: unexpected progress name"));

    if (actCounter > 0 && actTail == total && name == currentRepo) {
        // The act under way goes on.
        collectProgress(name, false, RepoNoAct, current, total);
    } else if (current == -1 && total == -1) {
        // A repository read at once: its act starts full.
        collectProgress(name, true, RepoRead, 1, 1);
    } else if (name == QLatin1String("MD Read")) {
        if (actCounter > 0 && actTail == total && currentRepo.isEmpty())
            collectProgress(QString(), false, RepoNoAct, current, total);
        else
            collectProgress(QString(), true, RepoConvert, current, total);
    } else {
        collectProgress(name, true, usesSqlite() ? RepoConvert : RepoRead, current, total);
    }
    Py_RETURN_NONE;
}

PyObject* YumIO::collectGrabMeterStart(PyObject* self, PyObject* args)
{
    const char* locationText = nullptr;
    const char* second = nullptr;
    const char* third = nullptr;
    PyObject* sizeObject = nullptr;
    PyObject* unused = nullptr;
    if (!PyArg_ParseTuple(args, "sssOO", &locationText, &second, &third, &sizeObject, &unused))
        return nullptr;
    if (!progress)
        Py_RETURN_NONE;

    long long size = 1;
    if (PyLong_Check(sizeObject)) {
        size = PyLong_AsLongLong(sizeObject);
        if (size == -1 && PyErr_Occurred()) {
            // Beyond 64 bits: no download is that large.
            PyErr_Clear();
            size = 1;
        }
    } else if (sizeObject != Py_None) {
        // The item then runs on a scale of one, as for an unknown size.
        warning(tr("Internal error: collect grab size not understood"));
    }

    // Masked whole: the cut below can leave a password without the part of
    // the address that shows it is one.
    const QString location = PasswordMask::mask(QString::fromUtf8(locationText));
    const int last = location.lastIndexOf(QLatin1Char('/'));
    RepoAct act = RepoDownload;
    if (last >= 0 && location.mid(last + 1, 8) == QLatin1String("metalink"))
        act = RepoMirrorList;
    else if (last >= 0 && location.mid(last + 1, 6) == QLatin1String("repomd"))
        act = RepoRepomd;
    QString repo = location;
    const int previous = last > 0 ? location.lastIndexOf(QLatin1Char('/'), last - 1) : -1;
    if (previous >= 0)
        repo = location.mid(previous + 1, last - previous - 1);
    // A kivrel address carries the user name and password in its query.
    static const QRegularExpression credentials(QStringLiteral("kivrel?.*=.*&.*=.*&path="));
    repo.remove(credentials);

    collectProgress(repo, true, act, 0, long(size));
    Py_RETURN_NONE;
}

PyObject* YumIO::collectGrabMeterUpdate(PyObject* self, PyObject* args)
{
    long long read = 0;
    if (!PyArg_ParseTuple(args, "L", &read))
        return nullptr;
    collectProgress(QString(), false, RepoNoAct, long(read), -1);
    Py_RETURN_NONE;
}

PyObject* YumIO::collectGrabMeterEnd(PyObject* self, PyObject* args)
{
    long long total = 0;
    if (!PyArg_ParseTuple(args, "L", &total))
        return nullptr;
    Py_RETURN_NONE;
}
