#include "platform/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace win {

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, int& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
            close(fd);
            return std::nullopt;
        }
    }
    close(fd);
    error = 0;
    return text;
}

std::string TemporaryPattern(const std::filesystem::path& target) {
    // Built piece by piece: GCC 12 misreads a chain of + on strings (-Wrestrict).
    std::string name = ".";
    name += target.filename().string();
    name += ".XXXXXX";
    return (target.parent_path() / name).string();
}

namespace {

// The file that a symbolic link at path finally names, or path itself when it is no link:
// the new file is written beside that one and renamed over it, so a link stays a link.
// 0, or ELOOP when the links go round.
int FollowLinks(std::filesystem::path& path) {
    for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) return 0;
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error) return error.value();
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return ELOOP;
}

}  // namespace

int ReplaceFile(const std::filesystem::path& target, std::string_view bytes, mode_t mode,
                bool keepMode) {
    std::filesystem::path path = target;
    if (const int error = FollowLinks(path)) return error;
    std::string temporary = TemporaryPattern(path);
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat old {};
    if (keepMode && stat(path.c_str(), &old) == 0) mode = old.st_mode & 07777;
    int error = 0;
    for (size_t done = 0; !error && done < bytes.size();) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written > 0) done += static_cast<size_t>(written);
        else if (errno != EINTR) error = written == 0 ? EIO : errno;
    }
    if (!error && (fchmod(fd, mode) != 0 || fsync(fd) != 0)) error = errno;
    if (close(fd) != 0 && !error) error = errno;
    if (!error && rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error) unlink(temporary.c_str());
    return error;
}

}  // namespace win
