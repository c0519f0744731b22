// The configuration root and the rule that finds yum.conf below it.
#include "engine/configroot.h"

#include <QFileInfo>

QString ConfigRoot::configRoot;

QString ConfigRoot::root()
{
    return configRoot;
}

void ConfigRoot::setRoot(const QString& root)
{
    configRoot = root;
    while (configRoot.endsWith('/'))
        configRoot.chop(1);
}

QString ConfigRoot::path(const QString& absolute)
{
    return configRoot + absolute;
}

QString ConfigRoot::yumConf()
{
    QString first = path("/etc/yum/yum.conf");
    if (QFileInfo::exists(first))
        return first;
    return path("/etc/yum.conf");
}

QStringList ConfigRoot::defaultRepoDirs()
{
    return {path("/etc/yum.repos.d"), path("/etc/yum/repos.d")};
}
