#pragma once
// Sets (or unsets) an environment variable for the scope's lifetime and puts
// the earlier state back afterwards. The zone settings are re-read on both
// ends, so TZ can be switched this way too.

#include <QByteArray>
#include <QtGlobal>

#include <ctime>
#include <optional>

class TEnvironmentScope {
public:
    TEnvironmentScope(const char* name, std::optional<QByteArray> value)
        : FName(name), FOld(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        Apply(value);
    }
    ~TEnvironmentScope() { Apply(FOld); }
    TEnvironmentScope(const TEnvironmentScope&) = delete;
    TEnvironmentScope& operator=(const TEnvironmentScope&) = delete;

private:
    void Apply(const std::optional<QByteArray>& value)
    {
        if (value)
            qputenv(FName, *value);
        else
            qunsetenv(FName);
        ::tzset();
    }

    const char* FName;
    std::optional<QByteArray> FOld;
};
