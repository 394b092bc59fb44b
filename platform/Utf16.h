#pragma once
// UTF-16 texts from the Windows side (registry data, the shell link's save path) turned into
// the system's code page 936. Goes through UTF-8, whose conversions the code-page module owns.

#include <string>
#include <string_view>

namespace win {

// Raises SetupError for an unpaired surrogate or a character code page 936 cannot write.
std::string Utf16ToGbk(std::u16string_view text);

}  // namespace win
