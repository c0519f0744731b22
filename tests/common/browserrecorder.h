// A share directory whose "webbrowser" only records the address it is
// started with, one file per start; everything else in it (icons, the
// other launcher) is the real share directory's. KUVSHARE points at it for
// as long as the recorder lives.
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

class BrowserRecorder
{
public:
    BrowserRecorder();
    // Puts KUVSHARE back as it was.
    ~BrowserRecorder();
    BrowserRecorder(const BrowserRecorder&) = delete;
    BrowserRecorder& operator=(const BrowserRecorder&) = delete;

    bool ok() const { return made; }

    // The argument of the next start not taken yet, as the browser got it
    // (bytes); "<none>" when none arrives within the deadline. The browser
    // is started detached, so it is waited for, not expected at once.
    QByteArray next(int timeoutMs = 10000);
    // How many starts have been recorded so far.
    int count() const;

private:
    QTemporaryDir dir;
    bool made = false;
    bool shareWasSet;
    QByteArray share;
    QSet<QString> taken;
};
