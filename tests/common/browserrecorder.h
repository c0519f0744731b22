// A share directory whose "webbrowser" only records the argument it is
// started with, a file per start; the rest of it is the real share
// directory. KUVSHARE names it while the recorder lives.
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

class BrowserRecorder
{
public:
    BrowserRecorder();
    ~BrowserRecorder();
    BrowserRecorder(const BrowserRecorder&) = delete;
    BrowserRecorder& operator=(const BrowserRecorder&) = delete;

    bool ok() const { return made; }
    // The bytes of a start not taken yet; the browser starts detached, so
    // this waits for one, up to a deadline, and gives "<none>" then.
    QByteArray next();
    // How many starts are recorded.
    int count() const;

private:
    QTemporaryDir dir;
    QByteArray share;
    QSet<QString> taken;
    bool made = false;
};
