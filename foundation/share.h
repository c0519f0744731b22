// Where the program finds the files installed beside it (companion script,
// icons, launcher scripts).
#pragma once

#include <QString>

class Share
{
public:
    // The share directory, a slash and relative; the directory is KUVSHARE
    // when that is set (even to nothing), else the installed location.
    // Safe from any thread: it reads the environment and keeps no state.
    static QString absolute(QString relative);

    Share() = delete;
};
