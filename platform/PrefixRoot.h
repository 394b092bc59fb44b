#pragma once
// The Wine-style prefix the Windows world lives in: $WINEPREFIX, else ~/.wine.

#include <filesystem>

namespace win {

// The prefix folder, read anew at each call. Raises SetupError when neither WINEPREFIX nor a
// home folder is known.
std::filesystem::path PrefixRoot();

}  // namespace win
