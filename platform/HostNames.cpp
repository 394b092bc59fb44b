#include "platform/HostNames.h"

#include <locale.h>

#include <cstdio>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/SetupError.h"

namespace win {

std::string HostNameText(const std::filesystem::path& hostPath) {
    const std::string utf8 = hostPath.string();
    try {
        return cp936::FromUtf8(utf8);
    } catch (const SetupError&) {
    }
    std::string text;
    for (const char c : utf8) {
        if (static_cast<unsigned char>(c) < 0x80) {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
            text += escaped;
        }
    }
    return text;
}

std::string ErrnoText(int error) {
    // Qt sets the process locale from the user's settings, so strerror would answer in the
    // user's language and encoding (UTF-8 Chinese, which is not code page 936). Messages
    // take the C locale's ASCII text.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c ? strerror_l(error, c) : "error " + std::to_string(error);
}

}  // namespace win
