// The pattern tests' locales.
#include "tests/common/locales.h"

#include <clocale>

#include <QByteArray>

LocaleScope::LocaleScope(const char* name)
    : before(std::setlocale(LC_ALL, nullptr))
{
    ok = std::setlocale(LC_ALL, name) != nullptr;
}

LocaleScope::~LocaleScope()
{
    std::setlocale(LC_ALL, before.c_str());
}

bool localesRequired()
{
    return !qEnvironmentVariableIsEmpty("KUV_REQUIRE_LOCALES");
}

const std::vector<const char*>& testLocales()
{
    static const std::vector<const char*> names = {"C",           "C.UTF-8",     "en_US.UTF-8",
                                                   "de_DE.UTF-8", "cs_CZ.UTF-8", "tr_TR.UTF-8",
                                                   "hu_HU.UTF-8", "de_DE.ISO-8859-1"};
    return names;
}
