// The recording share directory.
#include "common/browserrecorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

BrowserRecorder::BrowserRecorder()
    : share(qgetenv("KUVSHARE"))
{
    // The test main always sets KUVSHARE to the source tree's share folder.
    if (share.isEmpty() || !dir.isValid() || !QDir(dir.path()).mkdir("starts"))
        return;
    const QDir real(QFile::decodeName(share));
    for (const QString& name : real.entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
        if (name != "webbrowser")
            QFile::link(real.filePath(name), dir.filePath(name));
    QFile script(dir.filePath("webbrowser"));
    if (!script.open(QIODevice::WriteOnly))
        return;
    // Written under a hidden name and renamed, so a start is read whole.
    script.write("#!/bin/sh\ncd '" + QFile::encodeName(dir.filePath("starts"))
                 + "' || exit 1\nprintf '%s' \"$1\" > .$$ && mv .$$ $$\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("KUVSHARE", QFile::encodeName(dir.path()));
    made = true;
}

BrowserRecorder::~BrowserRecorder()
{
    if (made)
        qputenv("KUVSHARE", share);
}

QByteArray BrowserRecorder::next()
{
    const QDir starts(dir.filePath("starts"));
    QElapsedTimer timer;
    timer.start();
    do {
        for (const QString& name : starts.entryList(QDir::Files)) {
            if (taken.contains(name))
                continue;
            taken.insert(name);
            QFile file(starts.filePath(name));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
        }
        QThread::msleep(20);
    } while (timer.elapsed() < 10000);
    return "<none>";
}

int BrowserRecorder::count() const
{
    return QDir(dir.filePath("starts")).entryList(QDir::Files).size();
}
