#pragma once
// An exclusive advisory lock on a folder, held by one process at a time and
// released by the system when that process ends however it ends, so a
// killed holder never leaves a stale lock behind.

#include <string>

namespace platform {

class TFolderLock {
public:
    TFolderLock() = default;
    ~TFolderLock() { Unlock(); }
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    // Takes the lock on Folder; with Wait false, returns EWOULDBLOCK at once
    // while another process holds it. Returns 0 or errno (ENOLCK, EBADF...
    // where the file system has no such locks). Not inherited by programs
    // this process starts.
    int Lock(const std::string& Folder, bool Wait);
    bool Held() const { return FFd >= 0; }
    void Unlock();

private:
    int FFd = -1;
};

} // namespace platform
