#pragma once
// Reading a folder's entries.

#include <string>
#include <vector>

namespace platform {

// Names of the regular files (not links, not folders) in Folder whose names
// end in Suffix (case sensitive) and are longer than it, in the order the
// file system lists them. Returns 0 or the errno of opening the folder.
int FilesEndingIn(const std::string& Folder, const std::string& Suffix, std::vector<std::string>& Names);

} // namespace platform
