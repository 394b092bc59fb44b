#include "platform/HostFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <utility>
#include <vector>

namespace win {

// ---- Descriptors and writes ----

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
}

int FileDescriptor::Close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || close(fd) == 0 ? 0 : errno;
}

int WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return ENOSPC;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

// ---- Durability ----

namespace {

FileEventObserver& Observer() {
    static FileEventObserver observer;
    return observer;
}

void Report(FileEvent event, const std::filesystem::path& path) {
    if (Observer()) Observer()(event, path);
}

// Long enough that the waits cost few system calls, short enough that the hook runs every
// few tens of milliseconds on a slow disk.
constexpr off_t kFlushStep = off_t{32} << 20;

}  // namespace

FileEventObserver SetFileEventObserver(FileEventObserver observer) {
    return std::exchange(Observer(), std::move(observer));
}

void StartWriteBack(int fd) { sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE); }

int FlushFile(int fd, const std::filesystem::path& path, const ChunkHook& hook) {
    struct stat info {};
    if (hook && fstat(fd, &info) == 0) {
        // The waits in steps, so the caller's window answers while a large file goes out.
        constexpr unsigned kWait =
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
        for (off_t at = 0; at < info.st_size; at += kFlushStep) {
            sync_file_range(fd, at, kFlushStep, kWait);
            hook();
        }
    }
    // The flush that counts: the steps above neither write the file's metadata nor empty the
    // disk's own cache.
    if (fsync(fd) != 0) return errno;
    Report(FileEvent::FlushFile, path);
    return 0;
}

int FlushFolder(const std::filesystem::path& folder) {
    const FileDescriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return errno;
    if (fsync(dir.get()) != 0) return errno;
    Report(FileEvent::FlushFolder, folder);
    return 0;
}

int RenameFile(const std::filesystem::path& from, const std::filesystem::path& to, bool replace) {
    const int error = [&] {
        if (replace) return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            return 0;
        }
        // A file system without the no-replace rename: a hard link never replaces either.
        if (errno != EINVAL) return errno;
        if (link(from.c_str(), to.c_str()) != 0) return errno;
        unlink(from.c_str());
        return 0;
    }();
    if (error == 0) Report(FileEvent::Rename, to);
    return error;
}

// ---- Hidden siblings ----

namespace {

constexpr std::string_view kRandomPart = "XXXXXX";  // mkostemp's letters and digits
constexpr std::string_view kDeletingSuffix = ".deleting";

std::filesystem::path Sibling(const std::filesystem::path& file, std::string_view suffix) {
    // Built piece by piece: GCC 12 misreads a chain of + on strings (-Wrestrict).
    std::string name = ".";
    name += file.filename().string();
    name += suffix;
    return file.parent_path() / name;
}

bool IsRandomPart(std::string_view text) {
    return text.size() == kRandomPart.size() && std::all_of(text.begin(), text.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) != 0;
           });
}

}  // namespace

std::string HiddenSiblingPattern(const std::filesystem::path& target) {
    std::string suffix = ".";
    suffix += kRandomPart;
    return Sibling(target, suffix).string();
}

std::filesystem::path DeletingSibling(const std::filesystem::path& file) {
    return Sibling(file, kDeletingSuffix);
}

std::string NameBehindHiddenSibling(std::string_view name) {
    if (name.size() < 2 || name.front() != '.') return {};
    name.remove_prefix(1);
    if (name.size() > kDeletingSuffix.size() && name.ends_with(kDeletingSuffix)) {
        return std::string(name.substr(0, name.size() - kDeletingSuffix.size()));
    }
    const std::size_t dot = name.size() - std::min(name.size(), kRandomPart.size() + 1);
    if (dot == 0 || name[dot] != '.' || !IsRandomPart(name.substr(dot + 1))) return {};
    return std::string(name.substr(0, dot));
}

void RemoveHiddenSiblings(const std::filesystem::path& target) {
    const std::string name = target.filename().string();
    std::error_code error;
    for (std::filesystem::directory_iterator entry(target.parent_path(), error), end;
         !error && entry != end; entry.increment(error)) {
        struct stat info {};
        if (NameBehindHiddenSibling(entry->path().filename().string()) == name &&
            lstat(entry->path().c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            unlink(entry->path().c_str());
        }
    }
}

HiddenSibling::HiddenSibling(std::filesystem::path target)
    : target_(std::move(target)),
      path_(HiddenSiblingPattern(target_)),
      file_(mkostemp(path_.data(), O_CLOEXEC)),
      error_(file_.valid() ? 0 : errno) {}

HiddenSibling::~HiddenSibling() {
    file_.Close();
    if (!error_ && !placed_) unlink(path_.c_str());
}

HiddenSibling::HiddenSibling(HiddenSibling&& other) noexcept
    : target_(std::move(other.target_)),
      path_(std::move(other.path_)),
      file_(std::move(other.file_)),
      error_(other.error_),
      placed_(std::exchange(other.placed_, true)) {}

int HiddenSibling::Place(bool replace, bool durable, const ChunkHook& hook) {
    if (durable) {
        if (const int error = FlushFile(file_.get(), target_, hook)) return error;
    }
    if (const int error = file_.Close()) return error;
    const int error = RenameFile(path_, target_, replace);
    placed_ = error == 0;
    if (error || !durable) return error;
    return FlushFolder(target_.parent_path());
}

// ---- Copies ----

namespace {

// The kernel declines to copy between these files: another file system (on older kernels),
// a pipe or special file, a file system or kernel without the call.
bool KernelDeclines(int error) {
    return error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
}

// Copies one chunk at a time, by the kernel while it takes the files, else through a buffer.
class ChunkCopier {
public:
    ChunkCopier(int from, int to) : from_(from), to_(to) {}

    // Up to length bytes: fewer only at the source's end; -1 with errno on failure.
    ssize_t Copy(std::size_t length) {
        if (byKernel_) {
            const ssize_t copied = ByKernel(length);
            // A kernel that copied nothing at all may not know the source's size (a /proc
            // file reads as empty to it): the buffer tells.
            if (copied > 0 || (copied == 0 && copiedAny_)) {
                copiedAny_ = true;
                return copied;
            }
            if (copied < 0 && !KernelDeclines(errno)) return -1;
            byKernel_ = false;
        }
        return ThroughBuffer(length);
    }

private:
    ssize_t ByKernel(std::size_t length) {
        std::size_t done = 0;
        while (done < length) {
            const ssize_t copied = copy_file_range(from_, nullptr, to_, nullptr, length - done, 0);
            if (copied < 0 && errno == EINTR) continue;
            // The positions have moved past what was copied: a copy through the buffer
            // carries on from there.
            if (copied < 0) return -1;
            if (copied == 0) break;
            done += static_cast<std::size_t>(copied);
        }
        return static_cast<ssize_t>(done);
    }

    ssize_t ThroughBuffer(std::size_t length) {
        buffer_.resize(length);
        std::size_t got = 0;
        while (got < length) {
            const ssize_t read = ::read(from_, buffer_.data() + got, length - got);
            if (read < 0 && errno == EINTR) continue;
            if (read < 0) return -1;
            if (read == 0) break;
            got += static_cast<std::size_t>(read);
        }
        if (const int error = WriteAll(to_, buffer_.data(), got)) {
            errno = error;
            return -1;
        }
        return static_cast<ssize_t>(got);
    }

    int from_;
    int to_;
    bool byKernel_ = true;
    bool copiedAny_ = false;
    std::vector<char> buffer_;  // only once the kernel declines
};

}  // namespace

int CopyContents(int from, int to, const ChunkHook& hook) {
    ChunkCopier copier(from, to);
    for (;;) {
        const ssize_t copied = copier.Copy(kCopyChunk);
        if (copied < 0) return errno;
        if (copied == 0) return 0;
        if (hook) hook();
    }
}

}  // namespace win
