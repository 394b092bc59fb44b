#pragma once
// Host files at the kernel's level: descriptors, whole writes, the hidden siblings a file is
// made under before it takes its name, and copies in chunks. Failures are errno values (0 for
// success), which the Windows-style callers turn into their own answers.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/ChunkHook.h"

namespace win {

// Large enough that the system calls cost little, small enough that the hook runs often.
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

// Owns a descriptor (negative: none) and closes it when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&&) = delete;

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

// ---- Durability ----
// A file is on the disk once its bytes are flushed, and its name once the folder that holds
// it is flushed after the rename: only then does it survive a power cut. Write-back is started
// as soon as a file is complete, so that the flush, made where the order of the steps needs
// it, finds little left to wait for.

// What the flushes and renames below did, in order, for an observer that tests install to
// check that every flush comes before the step that relies on it.
enum class FileEvent { FlushFile, Rename, FlushFolder };
using FileEventObserver = std::function<void(FileEvent event, const std::filesystem::path& path)>;
// Installs the observer (empty: none) and returns the one it replaces.
FileEventObserver SetFileEventObserver(FileEventObserver observer);

// Starts writing fd's changed pages to the disk and returns at once; a failure shows at the
// flush.
void StartWriteBack(int fd);
// Returns once the bytes of fd (the file at path) are on the disk: 0, or the errno of the
// failure. The wait goes in steps of a few tens of megabytes, calling hook between them.
int FlushFile(int fd, const std::filesystem::path& path, const ChunkHook& hook = {});
// Returns once the names in folder are on the disk: 0, or the errno of the failure.
int FlushFolder(const std::filesystem::path& folder);

// 0 once the file at from has taken the name to, replacing a file there or only when there
// is none; else the errno of the failure.
int RenameFile(const std::filesystem::path& from, const std::filesystem::path& to, bool replace);

// ---- Hidden siblings: ".NAME.XXXXXX" while a file is made, ".NAME.deleting" while it goes ----

// The mkostemp pattern of a hidden file beside target.
std::string HiddenSiblingPattern(const std::filesystem::path& target);
// The hidden name a file takes while it is deleted in steps.
std::filesystem::path DeletingSibling(const std::filesystem::path& file);
// The name a hidden sibling (of either kind) stands for, or "" for any other name.
std::string NameBehindHiddenSibling(std::string_view name);

// Removes the hidden siblings of either kind that a process killed while making or deleting
// target left beside it: regular files only, each as large as a copy may be.
void RemoveHiddenSiblings(const std::filesystem::path& target);

// A file being made under a hidden name beside target. Unless Place succeeds it is removed
// when the object goes, so that a failure leaves nothing behind.
class HiddenSibling {
public:
    explicit HiddenSibling(std::filesystem::path target);
    ~HiddenSibling();
    HiddenSibling(HiddenSibling&& other) noexcept;
    HiddenSibling& operator=(HiddenSibling&&) = delete;

    // Negative when the file could not be made; error() then says why.
    int fd() const { return file_.get(); }
    int error() const { return error_; }
    const std::filesystem::path& target() const { return target_; }
    // Closes the file and gives it the target's name, replacing an existing target or only
    // when there is none: 0, or the errno of the step that failed. Durable: the bytes are
    // flushed before the rename (hook called while that waits) and the folder after it.
    int Place(bool replace, bool durable = false, const ChunkHook& hook = {});

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
