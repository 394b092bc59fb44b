#include "platform/PrefixRoot.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/SetupError.h"

namespace fs = std::filesystem;

namespace win {

fs::path PrefixRoot() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".wine";
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
        return fs::path(entry->pw_dir) / ".wine";
    }
    throw SetupError("No prefix: neither WINEPREFIX nor a home folder is known");
}

}  // namespace win
