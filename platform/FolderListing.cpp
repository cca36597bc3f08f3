#include "platform/FolderListing.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace platform {

namespace {

struct TCloseFolder {
    void operator()(DIR* folder) const { ::closedir(folder); }
};

bool IsRegularFile(DIR* Folder, const dirent& Entry)
{
    if (Entry.d_type != DT_UNKNOWN)
        return Entry.d_type == DT_REG;
    // Some file systems do not fill in d_type.
    struct stat st {};
    return ::fstatat(::dirfd(Folder), Entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

bool EndsIn(const std::string& Name, const std::string& Suffix)
{
    return Name.size() > Suffix.size() && Name.compare(Name.size() - Suffix.size(), Suffix.size(), Suffix) == 0;
}

} // namespace

int FilesEndingIn(const std::string& Folder, const std::string& Suffix, std::vector<std::string>& Names)
{
    Names.clear();
    const std::unique_ptr<DIR, TCloseFolder> folder(::opendir(Folder.c_str()));
    if (!folder)
        return errno;
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (EndsIn(name, Suffix) && IsRegularFile(folder.get(), *entry))
            Names.push_back(name);
    }
    return 0;
}

} // namespace platform
