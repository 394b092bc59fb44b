// Shortcut placement: the link object, the shell folder read from the registry, the group
// folder, the link file.

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/CodePage.h"
#include "platform/Com.h"
#include "platform/SetupError.h"
#include "platform/ShellLink.h"
#include "platform/WinFiles.h"
#include "platform/WinRegistry.h"
#include "utils/mUtils.h"

namespace {

constexpr const char* kExplorerKey = "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char* kGrpConvKey = "Software\\MicroSoft\\Windows\\CurrentVersion\\GrpConv";

struct PlaceEntry {
    const char* key;
    const char* subkey;
    const char* valueName;
};

PlaceEntry EntryOf(ShortcutPlace place) {
    switch (place) {
        case ShortcutPlace::Desktop:
            return {kExplorerKey, "Shell Folders", "Desktop"};
        case ShortcutPlace::QuickLaunch:
            return {kGrpConvKey, "MapGroups", "Quick Launch"};
        case ShortcutPlace::SendTo:
            return {kExplorerKey, "Shell Folders", "SendTo"};
        case ShortcutPlace::StartMenu:
            return {kExplorerKey, "Shell Folders", "Start Menu"};
        case ShortcutPlace::Programs:
            return {kExplorerKey, "Shell Folders", "Programs"};
    }
    throw SetupError("Unknown shortcut place " + std::to_string(static_cast<int>(place)));
}

// ---- Owned references, released on every exit ----

class RegistryKey {
public:
    explicit RegistryKey(win::HKEY key = nullptr) : key_(key) {}
    ~RegistryKey() {
        if (key_) win::RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    win::HKEY get() const { return key_; }

private:
    win::HKEY key_;
};

template <typename Interface>
class ComReference {
public:
    ComReference() = default;
    ~ComReference() {
        if (object_) object_->Release();
    }
    ComReference(const ComReference&) = delete;
    ComReference& operator=(const ComReference&) = delete;
    Interface* operator->() const { return object_; }
    void** out() { return reinterpret_cast<void**>(&object_); }

private:
    Interface* object_ = nullptr;
};

// The link object with the two interfaces the routine uses.
struct LinkObject {
    ComReference<win::IUnknown> object;
    ComReference<win::IShellLinkA> shellLink;
    ComReference<win::IPersistFile> persistFile;
};

void CreateLinkObject(LinkObject& link) {
    const win::HRESULT created = win::CoCreateInstance(
        win::CLSID_ShellLink, nullptr, win::CLSCTX_INPROC_SERVER | win::CLSCTX_LOCAL_SERVER,
        win::IID_IUnknown, link.object.out());
    if (win::FAILED(created)) throw SetupError(win::OleErrorText(created));
    if (win::FAILED(link.object->QueryInterface(win::IID_IShellLinkA, link.shellLink.out())) ||
        win::FAILED(link.object->QueryInterface(win::IID_IPersistFile, link.persistFile.out()))) {
        throw SetupError("Interface not supported");
    }
}

// Open-or-create below HKEY_CURRENT_USER; a failure leaves no key (the caller then looks
// directly below HKEY_CURRENT_USER).
win::HKEY OpenOrCreateKey(const char* name) {
    win::HKEY key = nullptr;
    win::DWORD disposition = 0;
    if (win::RegCreateKeyExA(win::HKEY_CURRENT_USER, name, 0, nullptr, win::REG_OPTION_NON_VOLATILE,
                             win::KEY_ALL_ACCESS, nullptr, &key,
                             &disposition) != win::ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

// The folder text of a value below key's subkey; the empty text when there is none.
std::string ReadFolder(win::HKEY key, const char* subkeyName, const char* valueName) {
    win::HKEY opened = nullptr;
    if (win::RegOpenKeyExA(key ? key : win::HKEY_CURRENT_USER, subkeyName, 0, win::KEY_ALL_ACCESS,
                           &opened) != win::ERROR_SUCCESS) {
        return {};
    }
    const RegistryKey subkey(opened);
    win::DWORD type = win::REG_NONE;
    win::DWORD size = 0;
    if (win::RegQueryValueExA(subkey.get(), valueName, nullptr, &type, nullptr, &size) !=
        win::ERROR_SUCCESS) {
        return {};
    }
    if (size == 0) return {};
    if (type != win::REG_SZ && type != win::REG_EXPAND_SZ) {
        throw SetupError(FormatMessage("Invalid data type for '%s'", valueName));
    }
    std::string data(size, '\0');
    if (win::RegQueryValueExA(subkey.get(), valueName, nullptr, &type,
                              reinterpret_cast<win::BYTE*>(data.data()),
                              &size) != win::ERROR_SUCCESS) {
        throw SetupError(FormatMessage("Failed to get data for '%s'", valueName));
    }
    data.resize(std::min<size_t>(size, std::strlen(data.c_str())));
    return data;
}

std::string PlaceFolder(ShortcutPlace place, win::HKEY explorer) {
    const PlaceEntry entry = EntryOf(place);
    if (place != ShortcutPlace::QuickLaunch)
        return ReadFolder(explorer, entry.subkey, entry.valueName);
    const RegistryKey grpConv(OpenOrCreateKey(entry.key));
    return ReadFolder(grpConv.get(), entry.subkey, entry.valueName);
}

// ---- Names ----

// The extension (from the last "." that follows every "\" and ":") becomes ".lnk".
std::string ChangeExtensionToLnk(const std::string& name) {
    const auto last = cp936::LastDelimiter(name, ".\\:");
    if (last != std::string::npos && name[last] == '.') return name.substr(0, last) + ".lnk";
    return name + ".lnk";
}

std::string FileNamePart(const std::string& path) {
    const auto last = cp936::LastDelimiter(path, "\\:");
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string LinkFileName(const std::string& targetPath, const std::string& displayName) {
    return FileNamePart(ChangeExtensionToLnk(displayName.empty() ? targetPath : displayName));
}

// The text up to and including its last "\" or ":".
std::string ParentPart(const std::string& path) {
    const auto last = cp936::LastDelimiter(path, "\\:");
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

// ---- The group folder ----

// Creates folder and every missing folder above it; folders made before a failure stay.
bool CreateFolderTree(std::string folder) {
    const auto last = cp936::LastCharStart(folder);
    if (last != std::string::npos && folder.compare(last, std::string::npos, "\\") == 0)
        folder.erase(last);
    if (folder.size() < 3 || IsDirectory(folder) || ParentPart(folder) == folder) return true;
    return CreateFolderTree(ParentPart(folder)) && win::CreateDirectoryA(folder);
}

std::string GroupFolder(const std::string& programs, const std::string& groupName) {
    const std::string group = programs + "\\" + groupName;
    if (IsDirectory(group) || CreateFolderTree(group)) return group;
    return programs;
}

}  // namespace

bool IsDirectory(const std::string& path) {
    const win::DWORD attributes = win::GetFileAttributesA(path);
    return attributes != win::INVALID_FILE_ATTRIBUTES &&
           (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void CreateShortcut(const std::string& targetPath, ShortcutPlace place,
                    const std::string& groupName, const std::string& displayName) {
    // The references and the key are released when this scope ends, also by an error: the key
    // first, then the interfaces.
    LinkObject link;
    CreateLinkObject(link);
    link.shellLink->SetPath(targetPath.c_str());
    const RegistryKey explorer(OpenOrCreateKey(kExplorerKey));
    const std::string linkName = LinkFileName(targetPath, displayName);
    std::string folder = PlaceFolder(place, explorer.get());
    if (place == ShortcutPlace::Programs) folder = GroupFolder(folder, groupName);
    const std::string linkPath = folder + "\\" + linkName;
    link.persistFile->Save(cp936::ToUtf16(linkPath).c_str(), false);
}
