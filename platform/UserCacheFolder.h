#pragma once
// The user's cache folder of the XDG base directory rules.

#include <string>

namespace platform {

// $XDG_CACHE_HOME when it is an absolute path, else $HOME/.cache (the home
// folder from the password database when HOME is unset), ending in "/".
// Empty when neither can be found. The folder may not exist yet.
std::string UserCacheFolder();

} // namespace platform
