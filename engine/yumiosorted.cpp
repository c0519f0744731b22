// Lists of names as one text, the way the description dialog shows them.
#include "engine/yumio.h"

#include <algorithm>

QString YumIO::makeSorted(QStringList& lines)
{
    // QString's own order: by UTF-16 code units, upper case before lower.
    std::sort(lines.begin(), lines.end());
    return lines.join(QLatin1Char('\n'));
}
