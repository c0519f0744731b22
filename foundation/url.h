// The host part of a repository URL, for the credential check.
#pragma once

#include <QString>

class URL
{
public:
    // The authority after "scheme://" up to the next '/', user part and port
    // included; a null string when the URL has no "://" authority at all.
    static QString getHost(QString url);

    URL() = delete;
};
