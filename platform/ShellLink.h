#pragma once
// The shell link object: a target path set through IShellLinkA, saved through IPersistFile
// as a shell-link (.lnk) file in the published binary format. The file holds the header and
// a LinkInfo whose local base path is the target in code page 936, and in Unicode as well
// when the target is not plain ASCII: Wine reads the target from there, and so does any
// .lnk reader told the code page.

#include <string>
#include <string_view>

#include "platform/ComBase.h"

namespace win {

inline constexpr CLSID CLSID_ShellLink{0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IShellLinkA{0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IPersistFile{0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Of the link's settings only the target exists here: the installer sets nothing else.
class IShellLinkA : public IUnknown {
public:
    // file: the target, code page 936, stored unchanged.
    virtual HRESULT SetPath(const char* file) = 0;

protected:
    ~IShellLinkA() = default;
};

class IPersistFile : public IUnknown {
public:
    // Writes the link file, replacing one that is there. fileName is a Windows path. A saved
    // link in the Start menu's Programs tree or on the desktop also gets its freedesktop
    // entries (platform/MenuEntries); they never change the result.
    virtual HRESULT Save(const char16_t* fileName, BOOL remember) = 0;

protected:
    ~IPersistFile() = default;
};

// A new shell link object asked for iid (what CoCreateInstance makes of CLSID_ShellLink).
HRESULT CreateShellLink(IUnknown* outer, const IID& iid, void** object);

// The bytes of a shell-link file whose target is target (code page 936).
std::string ShellLinkBytes(std::string_view target);

}  // namespace win
