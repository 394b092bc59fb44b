#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/HostFile.h"

namespace win {

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, int& error) {
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) {
        error = errno;
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(file.get(), buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
            return std::nullopt;
        }
    }
    error = 0;
    return text;
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
    HiddenSibling file(path);
    if (file.fd() < 0) return file.error();
    struct stat old {};
    if (keepMode && stat(path.c_str(), &old) == 0) mode = old.st_mode & 07777;
    if (const int error = WriteAll(file.fd(), bytes.data(), bytes.size())) return error;
    if (fchmod(file.fd(), mode) != 0 || fsync(file.fd()) != 0) return errno;
    return file.Place(true);
}

}  // namespace win
