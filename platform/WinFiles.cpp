#include "platform/WinFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "platform/CodePage.h"
#include "platform/HostFile.h"
#include "platform/HostNames.h"
#include "platform/PathMapping.h"
#include "platform/SetupError.h"

namespace fs = std::filesystem;

namespace win {
namespace {

thread_local int lastCopyError = 0;

BOOL CopyFailed(int error) {
    lastCopyError = error;
    return false;
}

// The host path of a Windows path, or nothing when it has none (bad drive, bad text): the
// file calls then fail as Windows does for a path it cannot reach.
std::optional<fs::path> Host(const std::string& windowsPath) {
    try {
        return HostPath(windowsPath);
    } catch (const SetupError&) {
        return std::nullopt;
    }
}

std::optional<struct stat> Stat(const fs::path& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return info;
}

bool IsReadOnly(const struct stat& info) { return (info.st_mode & S_IWUSR) == 0; }

// Windows refuses to overwrite a read-only file, a folder, or the source itself: the errno
// of the refusal, or 0.
int ReplaceRefusal(const struct stat& source, const fs::path& target) {
    const auto existing = Stat(target);
    if (!existing) return 0;
    if (S_ISDIR(existing->st_mode)) return EISDIR;
    if (IsReadOnly(*existing)) return EACCES;
    const bool same = existing->st_dev == source.st_dev && existing->st_ino == source.st_ino;
    return same ? EINVAL : 0;
}

}  // namespace

BOOL CreateDirectoryA(const std::string& path) {
    const auto host = Host(path);
    return host && mkdir(host->c_str(), 0777) == 0;
}

namespace {

BOOL Copy(const std::string& existing, const std::string& target, BOOL failIfExists, bool durable,
          const ChunkHook& hook) {
    const auto from = Host(existing);
    const auto to = Host(target);
    if (!from || !to) return CopyFailed(ENOENT);
    const FileDescriptor source(open(from->c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.valid()) return CopyFailed(errno);
    struct stat info {};
    if (fstat(source.get(), &info) != 0) return CopyFailed(errno);
    if (!S_ISREG(info.st_mode)) return CopyFailed(EISDIR);
    if (failIfExists && Stat(*to)) return CopyFailed(EEXIST);
    if (const int refusal = failIfExists ? 0 : ReplaceRefusal(info, *to)) {
        return CopyFailed(refusal);
    }

    // The copy is made beside the target and renamed over it, so that a target is never
    // left half written.
    HiddenSibling copy(*to);
    if (copy.fd() < 0) return CopyFailed(copy.error());
    if (const int error = CopyContents(source.get(), copy.fd(), hook)) return CopyFailed(error);
    const timespec times[2] = {info.st_atim, info.st_mtim};
    if (fchmod(copy.fd(), info.st_mode & 07777) != 0 || futimens(copy.fd(), times) != 0) {
        return CopyFailed(errno);
    }
    if (durable) StartWriteBack(copy.fd());
    if (const int error = copy.Place(!failIfExists, durable, hook)) return CopyFailed(error);
    return true;
}

}  // namespace

BOOL CopyFileA(const std::string& existing, const std::string& target, BOOL failIfExists,
               const ChunkHook& hook) {
    return Copy(existing, target, failIfExists, false, hook);
}

BOOL CopyFileToDisk(const std::string& existing, const std::string& target, const ChunkHook& hook) {
    return Copy(existing, target, false, true, hook);
}

BOOL FlushFileToDisk(const std::string& path) {
    const auto host = Host(path);
    if (!host) return false;
    const FileDescriptor file(open(host->c_str(), O_RDONLY | O_CLOEXEC));
    return file.valid() && FlushFile(file.get(), *host) == 0;
}

BOOL FlushFolderToDisk(const std::string& folder) {
    const auto host = Host(folder);
    return host && FlushFolder(*host) == 0;
}

std::string LastCopyErrorText() { return ErrnoText(lastCopyError); }

BOOL SetFileAttributesA(const std::string& path, DWORD attributes) {
    const auto host = Host(path);
    if (!host) return false;
    const auto info = Stat(*host);
    if (!info) return false;
    if (S_ISDIR(info->st_mode)) return true;  // Windows ignores the read-only mark on folders
    mode_t mode = info->st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    return chmod(host->c_str(), mode) == 0;
}

namespace {

// About 5 ms of the kernel's work freeing blocks on this kind of machine.
constexpr off_t kShrinkStep = off_t{64} << 20;

// The file is already gone under its own name; whatever fails here only leaves the blocks
// to the final unlink.
void ShrinkAndUnlink(const std::filesystem::path& hidden, off_t size, const ChunkHook& hook) {
    for (size -= kShrinkStep; size > 0; size -= kShrinkStep) {
        if (truncate(hidden.c_str(), size) != 0) break;
        hook();
    }
    unlink(hidden.c_str());
}

}  // namespace

BOOL DeleteFileA(const std::string& path, const ChunkHook& hook) {
    const auto host = Host(path);
    if (!host) return false;
    struct stat info {};
    if (lstat(host->c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    if (!S_ISLNK(info.st_mode) && IsReadOnly(info)) return false;  // as Windows: access denied
    if (!hook || !S_ISREG(info.st_mode) || info.st_size <= kShrinkStep) {
        return unlink(host->c_str()) == 0;
    }
    const std::filesystem::path hidden = DeletingSibling(*host);
    if (renameat2(AT_FDCWD, host->c_str(), AT_FDCWD, hidden.c_str(), RENAME_NOREPLACE) != 0) {
        return unlink(host->c_str()) == 0;
    }
    ShrinkAndUnlink(hidden, info.st_size, hook);
    return true;
}

BOOL MoveFileA(const std::string& existing, const std::string& target) {
    const auto from = Host(existing);
    const auto to = Host(target);
    if (!from || !to) return false;
    const int error = RenameFile(*from, *to, false);
    if (error == 0) return true;
    struct stat info {};
    if (error == EPERM && lstat(from->c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        // A file system without the no-replace rename cannot link a folder: test, then rename.
        return lstat(to->c_str(), &info) != 0 && RenameFile(*from, *to, true) == 0;
    }
    // Between drives on different disks Windows moves a file by copying it.
    if (error != EXDEV || !CopyFileA(existing, target, true)) return false;
    return unlink(from->c_str()) == 0;
}

DWORD GetFileAttributesA(const std::string& path) {
    const auto host = Host(path);
    if (!host) return INVALID_FILE_ATTRIBUTES;
    const auto info = Stat(*host);
    if (!info) return INVALID_FILE_ATTRIBUTES;
    if (S_ISDIR(info->st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return IsReadOnly(*info) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

bool FileExists(const std::string& path) {
    const auto host = Host(path);
    if (!host) return false;
    const auto info = Stat(*host);
    return info && !S_ISDIR(info->st_mode);
}

void RemoveLeftTemporaries(const std::string& folder,
                           const std::function<bool(const std::string& name)>& ours) {
    const auto host = Host(folder);
    if (!host) return;
    std::error_code error;
    for (fs::directory_iterator entry(*host, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string stands = NameBehindHiddenSibling(entry->path().filename().string());
        if (stands.empty()) continue;
        std::string name;
        try {
            name = cp936::FromUtf8(stands);
        } catch (const SetupError&) {
            continue;  // not a name this program writes
        }
        struct stat info {};
        if (lstat(entry->path().c_str(), &info) == 0 && S_ISREG(info.st_mode) && ours(name)) {
            unlink(entry->path().c_str());
        }
    }
}

std::string GetSystemDirectoryA() { return kSystemDirectory; }

std::string GetModuleFileNameA() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) throw SetupError("Cannot read the program's own path: " + ErrnoText(error.value()));
    return WindowsPath(self);
}

void PrepareFileCalls() { std::signal(SIGXFSZ, SIG_IGN); }

UINT SetErrorMode(UINT mode) {
    static std::atomic<UINT> current{0};
    return current.exchange(mode);
}

}  // namespace win
