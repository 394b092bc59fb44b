#pragma once
// An advisory lock on a folder (a Windows path in code page 936), held while the object
// lives, so that two installations into one folder cannot take each other's files apart: the
// second is refused at once. The kernel drops the lock when its holder ends, however it ends.

#include <string>

namespace win {

class FolderLock {
public:
    // Locks folder when it exists and its file system has locks (Held() then says so), else
    // locks nothing. A folder that another process holds raises SetupError naming it.
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace win
