#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/PathMapping.h"
#include "platform/SetupError.h"

namespace win {

FolderLock::FolderLock(const std::string& folder) {
    std::optional<std::filesystem::path> host;
    try {
        host = HostPath(folder);
    } catch (const SetupError&) {
        return;  // a folder on no drive does not exist, and nothing can be installed there
    }
    const int fd = open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        fd_ = fd;
        return;
    }
    const int error = errno;
    close(fd);
    // A file system without locks (some network and FUSE ones) cannot tell: go on unlocked.
    if (error == EWOULDBLOCK) {
        throw SetupError(FormatMessage(
            "Another installation into %s is running: wait until it has finished", folder));
    }
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace win
