#include "platform/PrefixRoot.h"

#include <cstdlib>

#include "platform/XdgDirs.h"

namespace win {

std::filesystem::path PrefixRoot() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
    return xdg::HomeDir() / ".wine";
}

}  // namespace win
