#include "platform/HostFile.h"

#include <fcntl.h>
#include <stdio.h>
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

HiddenSibling::HiddenSibling(std::filesystem::path target)
    : target_(std::move(target)),
      path_(HiddenSiblingPattern(target_)),
      file_(mkostemp(path_.data(), O_CLOEXEC)),
      error_(file_.valid() ? 0 : errno) {}

HiddenSibling::~HiddenSibling() {
    file_.Close();
    if (!error_ && !placed_) unlink(path_.c_str());
}

namespace {

// 0 once the file at from has taken the name to, replacing a file there or only when there
// is none; else the errno of the failure.
int Rename(const char* from, const char* to, bool replace) {
    if (replace) return rename(from, to) == 0 ? 0 : errno;
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    // A file system without the no-replace rename: a hard link never replaces either.
    if (errno != EINVAL) return errno;
    if (link(from, to) != 0) return errno;
    unlink(from);
    return 0;
}

}  // namespace

int HiddenSibling::Place(bool replace) {
    if (const int error = file_.Close()) return error;
    const int error = Rename(path_.c_str(), target_.c_str(), replace);
    placed_ = error == 0;
    return error;
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
