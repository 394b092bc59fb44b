#include "platform/HostLocale.h"

#include <langinfo.h>
#include <locale.h>

#include <string_view>

namespace win {
namespace {

// glibc spells the character set both ways; an installed locale answers to at least one.
constexpr const char* kCandidates[] = {"zh_CN.UTF-8", "zh_CN.utf8", "zh_SG.UTF-8", "zh_SG.utf8"};

bool LoadsWithUtf8(const char* name) {
    const locale_t locale = newlocale(LC_ALL_MASK, name, locale_t{});
    if (locale == locale_t{}) return false;
    const bool utf8 = std::string_view(nl_langinfo_l(CODESET, locale)) == "UTF-8";
    freelocale(locale);
    return utf8;
}

}  // namespace

std::optional<std::string> Cp936Utf8Locale() {
    for (const char* name : kCandidates) {
        if (LoadsWithUtf8(name)) return name;
    }
    return std::nullopt;
}

}  // namespace win
