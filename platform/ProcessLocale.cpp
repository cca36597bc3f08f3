#include "platform/ProcessLocale.h"

#include <cstdlib>

namespace platform {

std::string ProcessLocaleName(TLocaleCategory Category)
{
    const char* names[] = {"LC_ALL", Category == TLocaleCategory::Messages ? "LC_MESSAGES" : "LC_NUMERIC", "LANG"};
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return {};
}

} // namespace platform
