#pragma once
// A link saved as the shortcut routine saves one: a new shell link object, its target set,
// saved through IPersistFile at a Windows path. COM must be initialised.

#include <gtest/gtest.h>

#include <string>

#include "platform/CodePage.h"
#include "platform/Com.h"
#include "platform/ShellLink.h"

namespace link_saving {

inline win::HRESULT SaveLink(const std::string& target, const std::string& linkPath) {
    win::IShellLinkA* link = nullptr;
    EXPECT_EQ(win::CoCreateInstance(win::CLSID_ShellLink, nullptr, 5, win::IID_IShellLinkA,
                                    reinterpret_cast<void**>(&link)),
              win::S_OK);
    win::IPersistFile* file = nullptr;
    EXPECT_EQ(link->QueryInterface(win::IID_IPersistFile, reinterpret_cast<void**>(&file)),
              win::S_OK);
    link->SetPath(target.c_str());
    const win::HRESULT saved = file->Save(cp936::ToUtf16(linkPath).c_str(), false);
    file->Release();
    EXPECT_EQ(link->Release(), 0u);
    return saved;
}

}  // namespace link_saving
