// Host extraction from URLs.
#include "foundation/url.h"

QString URL::getHost(QString url)
{
    int colon = url.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return QString();
    if (url.midRef(colon + 1, 2) != QLatin1String("//"))
        return QString();
    int start = colon + 3;
    if (start >= url.size())
        return QString();
    int slash = url.indexOf(QLatin1Char('/'), start);
    QString host = slash < 0 ? url.mid(start) : url.mid(start, slash - start);
    // An empty authority ("file:///path") is a host that is there but empty,
    // which callers tell apart from no host at all.
    if (host.isNull())
        host = QLatin1String("");
    return host;
}
