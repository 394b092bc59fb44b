#pragma once
// The Win32 file calls the installer makes, with their Windows meanings, on Windows paths in
// code page 936 ("C:\Program Files\Korvane"). On Linux they act inside the Wine-style prefix
// (see PathMapping.h). Each returns success or failure as Windows does; the callers decide
// whether to look.

#include <functional>
#include <string>

#include "platform/ChunkHook.h"
#include "platform/WinTypes.h"

namespace win {

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;

// One level: the parent must exist; an existing folder makes the call fail (and changes nothing).
BOOL CreateDirectoryA(const std::string& path);
// failIfExists false replaces the target. Copies in bounded memory, calling hook between
// chunks; the copy keeps the source's read-only mark, as Windows does. A copy in progress is
// a hidden temporary beside the target (see RemoveLeftTemporaries).
BOOL CopyFileA(const std::string& existing, const std::string& target, BOOL failIfExists,
               const ChunkHook& hook = {});
// Beyond Win32: CopyFileA replacing the target, with the copy on the disk when it returns:
// its write-back starts as soon as its bytes are in, they are flushed before it takes the
// target's name, and the folder after.
BOOL CopyFileToDisk(const std::string& existing, const std::string& target,
                    const ChunkHook& hook = {});
// Beyond Win32: waits until an existing file's bytes, or the names in a folder, are on the disk.
BOOL FlushFileToDisk(const std::string& path);
BOOL FlushFolderToDisk(const std::string& folder);
// The system's text for why the last CopyFileA of this thread failed ("File too large").
std::string LastCopyErrorText();
// FILE_ATTRIBUTE_NORMAL makes a read-only file writable; FILE_ATTRIBUTE_READONLY makes it
// read-only (no owner write bit).
BOOL SetFileAttributesA(const std::string& path, DWORD attributes);
// With a hook, a large file is first moved out of the way under a hidden name (which succeeds
// exactly when the delete would) and shrunk in steps, calling hook between them: freeing the
// blocks of a file of gigabytes at once would hold the caller for a noticeable time.
BOOL DeleteFileA(const std::string& path, const ChunkHook& hook = {});
// Never replaces an existing target.
BOOL MoveFileA(const std::string& existing, const std::string& target);
// 0x10 for a folder, 0x80 (or 0x01 when read-only) for a file, INVALID_FILE_ATTRIBUTES for a
// missing path or any error.
DWORD GetFileAttributesA(const std::string& path);
// True for an existing file (not a folder).
bool FileExists(const std::string& path);

// Removes from folder the hidden temporaries that a CopyFileA or DeleteFileA cut short (the
// process killed) left there for a file whose name (code page 936) ours accepts. Nothing
// else is touched; a temporary that cannot be removed is left.
void RemoveLeftTemporaries(const std::string& folder,
                           const std::function<bool(const std::string& name)>& ours);

// "C:\windows\system32".
std::string GetSystemDirectoryA();
// The running program's full path as a Windows path (through the drive that holds it).
std::string GetModuleFileNameA();

// Called once at start-up: a write past the process's file-size limit then fails with an
// error, as on Windows, instead of ending the process (SIGXFSZ) with a short file left behind.
void PrepareFileCalls();

// Stand-in for the critical-error mode: remembered and returned, nothing else on Linux,
// where no system box ever asks for a missing medium.
UINT SetErrorMode(UINT mode);

}  // namespace win
