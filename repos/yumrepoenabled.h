// One --enablerepo= or --disablerepo= option of the command line.
#pragma once

#include <QRegExp>
#include <QString>

class YumRepoEnabled
{
public:
    // The pattern is a case-sensitive wildcard ("*", "?", "[...]") that has
    // to match a repository identifier as a whole.
    YumRepoEnabled(bool enabled, const QString& pattern);

    bool matches(const QString& id) const;

    // True for --enablerepo=, false for --disablerepo=.
    bool enabled;
    QRegExp pattern;
};
