#include "platform/ShellLink.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>

#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/MenuEntries.h"
#include "platform/PathMapping.h"
#include "platform/SetupError.h"
#include "platform/Utf16.h"

namespace win {
namespace {

// ---- The file format ----

constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kIsUnicode = 0x80;
constexpr std::uint32_t kShowNormal = 1;
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t kLinkInfoHeaderSize = 0x1C;
constexpr std::uint32_t kLinkInfoHeaderSizeUnicode = 0x24;  // with the two Unicode offsets

void Put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}

void PutGuid(std::string& out, const GUID& guid) {
    Put32(out, guid.Data1);
    Put16(out, guid.Data2);
    Put16(out, guid.Data3);
    out.append(reinterpret_cast<const char*>(guid.Data4), sizeof guid.Data4);
}

std::uint32_t Size(const std::string& bytes) { return static_cast<std::uint32_t>(bytes.size()); }

// The header: nothing but the link info is set, the window shows normally.
std::string Header() {
    std::string out;
    Put32(out, kHeaderSize);
    PutGuid(out, CLSID_ShellLink);
    Put32(out, kHasLinkInfo | kIsUnicode);
    out.append(4 + 3 * 8 + 4 + 4, '\0');  // attributes, three times, file size, icon index
    Put32(out, kShowNormal);
    out.append(2 + 2 + 4 + 4, '\0');  // hot key and the reserved fields
    return out;
}

// A fixed local volume without serial number or label.
std::string VolumeId() {
    std::string out;
    Put32(out, 0x11);
    Put32(out, kDriveFixed);
    Put32(out, 0);
    Put32(out, 0x10);  // the label's offset: right after these four fields
    out += '\0';
    return out;
}

// The link info: the target as the local base path, with an empty common path suffix.
std::string LinkInfo(std::string_view target) {
    const bool ascii = std::all_of(target.begin(), target.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const std::uint32_t headerSize = ascii ? kLinkInfoHeaderSize : kLinkInfoHeaderSizeUnicode;
    std::string body = VolumeId();
    const std::uint32_t localBasePath = headerSize + Size(body);
    body.append(target);
    body += '\0';
    const std::uint32_t commonPathSuffix = headerSize + Size(body);
    body += '\0';
    std::uint32_t localBasePathUnicode = 0;
    std::uint32_t commonPathSuffixUnicode = 0;
    if (!ascii) {
        if ((headerSize + body.size()) % 2 != 0) body += '\0';
        localBasePathUnicode = headerSize + Size(body);
        for (const char16_t c : cp936::ToUtf16(target)) Put16(body, c);
        Put16(body, 0);
        commonPathSuffixUnicode = headerSize + Size(body);
        Put16(body, 0);
    }
    std::string out;
    Put32(out, headerSize + Size(body));
    Put32(out, headerSize);
    Put32(out, kVolumeIdAndLocalBasePath);
    Put32(out, headerSize);  // the volume id comes first
    Put32(out, localBasePath);
    Put32(out, 0);  // no network location
    Put32(out, commonPathSuffix);
    if (!ascii) {
        Put32(out, localBasePathUnicode);
        Put32(out, commonPathSuffixUnicode);
    }
    return out + body;
}

// ---- The object ----

HRESULT SaveError(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? E_ACCESSDENIED : E_FAIL;
}

// As the shell has Wine's menu builder do for a saved link. The entries are an extra of the
// host desktop: a failure is told on the error output and changes nothing of the save.
void WriteMenuEntriesOf(const std::string& linkPath, const std::string& target) noexcept {
    try {
        WriteMenuEntries(linkPath, target);
    } catch (const std::exception& error) {
        std::string text = error.what();
        try {
            text = cp936::ToUtf8(text);
        } catch (const SetupError&) {
        }
        std::fprintf(stderr, "Menu entries of a shortcut not written: %s\n", text.c_str());
    }
}

class ShellLink final : public IShellLinkA, public IPersistFile {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IShellLinkA) {
            *object = static_cast<IShellLinkA*>(this);
        } else if (iid == IID_IPersistFile) {
            *object = static_cast<IPersistFile*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT SetPath(const char* file) override {
        if (!file) return E_INVALIDARG;
        target_ = file;
        return S_OK;
    }

    HRESULT Save(const char16_t* fileName, BOOL) override {
        if (!fileName) return E_INVALIDARG;
        try {
            const std::string linkPath = Utf16ToGbk(fileName);
            const int error = ReplaceFile(HostPath(linkPath), ShellLinkBytes(target_), 0644);
            if (error != 0) return SaveError(error);
            WriteMenuEntriesOf(linkPath, target_);
            return S_OK;
        } catch (const SetupError&) {
            return E_INVALIDARG;  // a name or target that cannot be written, a drive that is not
                                  // there
        }
    }

private:
    ~ShellLink() = default;

    ULONG references_ = 0;
    std::string target_;
};

}  // namespace

HRESULT CreateShellLink(IUnknown* outer, const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* link = new ShellLink;
    link->AddRef();
    const HRESULT result = link->QueryInterface(iid, object);
    link->Release();  // the caller's reference is the one QueryInterface gave
    return result;
}

std::string ShellLinkBytes(std::string_view target) {
    return Header() + LinkInfo(target) + std::string(4, '\0');  // the terminal block
}

}  // namespace win
