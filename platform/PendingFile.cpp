#include "platform/PendingFile.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/HostNames.h"
#include "platform/PathMapping.h"
#include "platform/SetupError.h"

namespace win {
namespace {

// A destination on a drive that does not exist cannot be created either.
std::filesystem::path HostDestination(const std::string& destination) {
    try {
        return HostPath(destination);
    } catch (const SetupError&) {
        throw SetupError(FormatMessage("Cannot create file %s", destination));
    }
}

// Windows refuses to create a file over a folder or a read-only file; a symbolic link is no
// obstacle, since the new file replaces the link itself.
HiddenSibling MakeHidden(const std::string& destination) {
    const std::filesystem::path host = HostDestination(destination);
    struct stat info {};
    if (lstat(host.c_str(), &info) == 0 &&
        (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0))) {
        throw SetupError(FormatMessage("Cannot create file %s", destination));
    }
    // A run killed while it made this file left its hidden temporary.
    RemoveHiddenSiblings(host);
    HiddenSibling file(host);
    if (file.fd() < 0) throw SetupError(FormatMessage("Cannot create file %s", destination));
    return file;
}

}  // namespace

PendingFile::PendingFile(std::string destination)
    : destination_(std::move(destination)), file_(MakeHidden(destination_)) {
    // The bytes of a payload record are the file's; a umask decides the rest, as for every
    // file the program creates.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(file_.fd(), 0666 & ~mask);
}

void PendingFile::Write(const char* data, std::size_t length) {
    if (const int error = WriteAll(file_.fd(), data, length)) Fail(error);
}

void PendingFile::Complete() { StartWriteBack(file_.fd()); }

void PendingFile::Place(const ChunkHook& hook) {
    if (const int error = file_.Place(true, true, hook)) Fail(error);
}

void PendingFile::Fail(int error) const {
    throw SetupError(FormatMessage("Cannot write file %s: ", destination_) + ErrnoText(error));
}

}  // namespace win
