// The rule for the program's default widget style: the program's own choice
// applies only when the user has chosen no style of their own.
#pragma once

#include <QString>

class QApplication;

class DefaultStyle
{
public:
    // Built from the command line before the QApplication exists, because
    // the application takes its style arguments out of argv.
    DefaultStyle(int argc, char** argv);

    // Makes name, with its standard palette, the application's style unless
    // the user chose one; an unknown style changes nothing.
    void set(QApplication& application, QString name);

private:
    bool specified;
    // The style named in Qt's own user settings, which Qt 5 no longer
    // applies by itself.
    QString settingsStyle;
};
