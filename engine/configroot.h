// Where yum's configuration is looked for. The installed program reads yum's
// own files below "/"; the never-installed sandbox build and the tests move
// the root to a folder of their own. The C++ side and the companion script
// take the yum.conf path from here, so both always read the same file.
#pragma once

#include <QString>
#include <QStringList>

class ConfigRoot
{
public:
    // The folder that stands for "/" when looking for yum's files; empty
    // for the installed program.
    static QString root();
    static void setRoot(const QString& root);

    // An absolute system path moved below the root.
    static QString path(const QString& absolute);

    // "/etc/yum/yum.conf" if it exists, else "/etc/yum.conf", below the root.
    static QString yumConf();

    // yum's default repository directories, below the root, used when
    // yum.conf names none.
    static QStringList defaultRepoDirs();

private:
    static QString configRoot;
};
