#pragma once
// The host's locales as glibc loads them. Wine takes a program's code page from the name of
// its locale, but reads the program's arguments and file names in the character set of the
// locale glibc actually loaded: a locale named for code page 936 serves only when it is
// installed, and with UTF-8, the character set of the host's file names.

#include <optional>
#include <string>

namespace win {

// The first of zh_CN and zh_SG (code page 936 to Wine) that glibc loads with the UTF-8
// character set, in the spelling that loaded ("zh_CN.UTF-8"); nothing when neither is
// installed so. Asks glibc at each call, so $LOCPATH counts as it does for any program.
std::optional<std::string> Cp936Utf8Locale();

}  // namespace win
