// Puts an environment variable back as it was when a test ends.
#pragma once

#include <QByteArray>

class EnvGuard
{
public:
    explicit EnvGuard(const char* name)
        : name(name), wasSet(qEnvironmentVariableIsSet(name)), value(qgetenv(name))
    {
    }

    ~EnvGuard()
    {
        if (wasSet)
            qputenv(name, value);
        else
            qunsetenv(name);
    }

    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    const char* name;
    bool wasSet;
    QByteArray value;
};
