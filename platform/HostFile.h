#pragma once
// Host files at the kernel's level: descriptors, whole writes, the hidden siblings a file is
// made under before it takes its name, and copies in chunks. Failures are errno values (0 for
// success), which the Windows-style callers turn into their own answers.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/ChunkHook.h"

namespace win {

// Large enough that the system calls cost little, small enough that the hook runs often.
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

// Owns a descriptor (negative: none) and closes it when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes it now: 0, or the errno of close, which may be the first news of a failed write.
    int Close();

private:
    int fd_;
};

// 0 once every byte is written, else the errno of the failure (ENOSPC when the kernel takes
// none).
int WriteAll(int fd, const char* data, std::size_t size);

// ---- Hidden siblings: ".NAME.XXXXXX" while a file is made, ".NAME.deleting" while it goes ----

// The mkostemp pattern of a hidden file beside target.
std::string HiddenSiblingPattern(const std::filesystem::path& target);
// The hidden name a file takes while it is deleted in steps.
std::filesystem::path DeletingSibling(const std::filesystem::path& file);
// The name a hidden sibling (of either kind) stands for, or "" for any other name.
std::string NameBehindHiddenSibling(std::string_view name);

// A file being made under a hidden name beside target. Unless Place succeeds it is removed
// when the object goes, so that a failure leaves nothing behind.
class HiddenSibling {
public:
    explicit HiddenSibling(std::filesystem::path target);
    ~HiddenSibling();
    HiddenSibling(const HiddenSibling&) = delete;
    HiddenSibling& operator=(const HiddenSibling&) = delete;

    // Negative when the file could not be made; error() then says why.
    int fd() const { return file_.get(); }
    int error() const { return error_; }
    // Closes the file and gives it the target's name, replacing an existing target or only
    // when there is none: 0, or the errno of the step that failed.
    int Place(bool replace);

private:
    std::filesystem::path target_;
    std::string path_;
    FileDescriptor file_;
    int error_ = 0;
    bool placed_ = false;
};

// ---- Copies ----

// Copies from's bytes from its current position to its end onto to, in chunks of kCopyChunk
// bytes, calling hook after each chunk: memory stays one chunk at most. The kernel
// copies (and clones, where the file system can); where it refuses (another file system, a
// pipe, a kernel without the call), the bytes go through a buffer. 0, or the errno of the
// failure; an exception of hook passes through.
int CopyContents(int from, int to, const ChunkHook& hook);

}  // namespace win
