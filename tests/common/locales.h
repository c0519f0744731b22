// The locales the pattern tests run in: a scope that sets one for its
// length, and whether a missing one fails the test (scripts/run-tests and
// CI make them all, build/locales through LOCPATH) or lets it skip.
#pragma once

#include <string>
#include <vector>

#include <QtGlobal>

class LocaleScope
{
public:
    explicit LocaleScope(const char* name);
    ~LocaleScope();
    Q_DISABLE_COPY_MOVE(LocaleScope)

    bool ok;

private:
    std::string before;
};

// Set where every test locale must be there (KUV_REQUIRE_LOCALES).
bool localesRequired();

// The locales Filter and Search are compared with regexec in: the single-byte
// and UTF-8 C locales, collating ones in UTF-8 and in Latin-1, two with
// collating elements of more than one character (Czech "ch", Hungarian "dz"
// and "dzs") and one with case rules of its own.
const std::vector<const char*>& testLocales();
