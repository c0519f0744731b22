// Share-directory lookup.
#include "foundation/share.h"

#include <cstdlib>

#include <QFile>

QString Share::absolute(QString relative)
{
    const char* value = std::getenv("KUVSHARE");
    // An empty KUVSHARE is taken as given: the user asked for the root.
    QString directory = value ? QFile::decodeName(value) : QStringLiteral("/usr/share/kuv");
    return QStringLiteral("%1/%2").arg(directory, relative);
}
