#pragma once
// What the file system says about a path, without opening it.

#include <cstdint>
#include <string>

namespace platform {

// Size in bytes of the file at Path; -1 when there is none or it is a folder.
std::int64_t FileSize(const std::string& Path);
// Path names an existing regular file (links followed).
bool IsFile(const std::string& Path);
// Path names an existing folder (a trailing "/" is allowed).
bool IsFolder(const std::string& Path);

} // namespace platform
