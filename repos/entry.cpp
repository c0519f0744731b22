// yum's boolean values for the repository entry.
#include "repos/entry.h"

namespace Repo
{

bool yumBoolean(const QString& value)
{
    const QString word = value.trimmed().toLower();
    return !(word == QLatin1String("0") || word == QLatin1String("no")
             || word == QLatin1String("false") || word == QLatin1String("off"));
}

Entry::TriState Entry::fromYumBoolean(const QString& value)
{
    return yumBoolean(value) ? Yes : No;
}

}
