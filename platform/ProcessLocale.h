#pragma once
// The locale the process runs under, as every Linux program reads it from
// its environment (the same variables setlocale(LC_*, "") consults).

#include <string>

namespace platform {

enum class TLocaleCategory { Messages, Numeric };

// The locale name in force for Category: LC_ALL, then LC_MESSAGES or
// LC_NUMERIC, then LANG, the first that is set and not empty; empty when
// none is. Read afresh on every call. Example: "zh_CN.UTF-8".
std::string ProcessLocaleName(TLocaleCategory Category);

} // namespace platform
