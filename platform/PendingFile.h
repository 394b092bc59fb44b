#pragma once
// A file written under a hidden name beside its destination, complete and checked, its
// write-back started, that takes its name only when placed. Until then whatever is at the
// destination stays as it was, and a run killed meanwhile leaves no short file under a real
// name, only a hidden temporary that RemoveLeftTemporaries finds. Paths are Windows paths in
// code page 936.

#include <string>

#include "platform/ChunkHook.h"
#include "platform/HostFile.h"

namespace win {

class [[nodiscard]] PendingFile {
public:
    // Creates the hidden file beside destination. "Cannot create file %s" when it cannot be
    // made: a missing folder or drive, a read-only file or a folder at the destination, as
    // Windows refuses to replace them.
    explicit PendingFile(std::string destination);
    PendingFile(PendingFile&&) noexcept = default;
    PendingFile& operator=(PendingFile&&) = delete;

    const std::string& Destination() const { return destination_; }
    // Appends bytes; an error naming the destination when the write fails.
    void Write(const char* data, std::size_t length);
    // The file is complete: its write-back starts, and no more bytes may follow.
    void Complete();
    // Waits until the bytes are on the disk (calling hook meanwhile), gives the file its
    // name, replacing a file or a symbolic link there (never writing through the link), and
    // flushes the folder that holds the name. An error names the destination.
    void Place(const ChunkHook& hook = {});

private:
    [[noreturn]] void Fail(int error) const;
    std::string destination_;
    HiddenSibling file_;
};

}  // namespace win
