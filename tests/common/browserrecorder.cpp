// The recording share directory.
#include "common/browserrecorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QThread>

namespace
{

QStringList recorded(const QString& folder)
{
    // Files appear whole: the script writes a hidden file and renames it.
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

}

BrowserRecorder::BrowserRecorder()
    : shareWasSet(qEnvironmentVariableIsSet("KUVSHARE")), share(qgetenv("KUVSHARE"))
{
    // The test environment always names the share directory of the source
    // tree; without it there is nothing to stand in for.
    if (!shareWasSet || !dir.isValid() || !QDir().mkpath(dir.filePath("starts")))
        return;
    const QDir realShare(QString::fromLocal8Bit(share));
    for (const QString& name : realShare.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        if (name != QLatin1String("webbrowser"))
            QFile::link(realShare.filePath(name), dir.filePath(name));
    }
    const QString starts = dir.filePath("starts");
    QFile script(dir.filePath("webbrowser"));
    if (!script.open(QIODevice::WriteOnly))
        return;
    script.write("#!/bin/sh\n"
                 "# Records its one argument in a file named after its process.\n"
                 "cd '" + QFile::encodeName(starts) + "' || exit 1\n"
                 "printf '%s' \"$1\" > .$$ && mv .$$ $$\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("KUVSHARE", QFile::encodeName(dir.path()));
    made = true;
}

BrowserRecorder::~BrowserRecorder()
{
    if (shareWasSet)
        qputenv("KUVSHARE", share);
    else
        qunsetenv("KUVSHARE");
}

QByteArray BrowserRecorder::next(int timeoutMs)
{
    const QString starts = dir.filePath("starts");
    QElapsedTimer timer;
    timer.start();
    do {
        for (const QString& name : recorded(starts)) {
            if (taken.contains(name))
                continue;
            taken.insert(name);
            QFile file(QDir(starts).filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                return QByteArray("<unreadable>");
            return file.readAll();
        }
        QThread::msleep(20);
    } while (timer.elapsed() < timeoutMs);
    return QByteArray("<none>");
}

int BrowserRecorder::count() const
{
    return recorded(dir.filePath("starts")).size();
}
