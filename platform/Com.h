#pragma once
// The few COM calls the installer makes: entering COM, creating an object of a class, asking
// it for interfaces, and the error text of a failure code. The one built-in class is the
// shell link (ShellLink.h).

#include <cstdint>
#include <string>

#include "platform/WinFiles.h"

namespace win {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
    friend bool operator==(const GUID&, const GUID&) = default;
};
using CLSID = GUID;
using IID = GUID;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT CO_E_OBJNOTREG = static_cast<HRESULT>(0x800401FB);

constexpr bool SUCCEEDED(HRESULT result) { return result >= 0; }
constexpr bool FAILED(HRESULT result) { return result < 0; }

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD REGCLS_MULTIPLEUSE = 1;

inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Objects are released through Release, never deleted by their users.
class IUnknown {
public:
    virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
public:
    virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

// Enters COM on the calling thread: S_OK the first time, S_FALSE when already entered.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// An object of the class, asked for iid. Fails with CO_E_NOTINITIALIZED before CoInitialize
// and REGDB_E_CLASSNOTREG for a class nobody provides.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& iid,
                         void** object);

// As on Windows, a class object registered by the process takes over the creation of its
// class until it is revoked (a plug-in's own implementation, or a test's).
HRESULT CoRegisterClassObject(const CLSID& clsid, IUnknown* classObject, DWORD context,
                              DWORD flags, DWORD* cookie);
HRESULT CoRevokeClassObject(DWORD cookie);

// The system's text for a failure code, without its closing full stop; "OLE error %.8x"
// when the system has none.
std::string OleErrorText(HRESULT result);

}  // namespace win
