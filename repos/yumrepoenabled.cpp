// Command-line enable/disable patterns.
#include "repos/yumrepoenabled.h"

YumRepoEnabled::YumRepoEnabled(bool enabled, const QString& pattern)
    : enabled(enabled)
    // QRegExp's wildcards, unlike QRegularExpression's, let "*" cross "/",
    // which identifiers may contain.
    , pattern(pattern, Qt::CaseSensitive, QRegExp::Wildcard)
{
}

bool YumRepoEnabled::matches(const QString& id) const
{
    return pattern.exactMatch(id);
}
