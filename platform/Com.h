#pragma once
// The few COM calls the installer makes: entering COM, creating an object of a class, asking
// it for interfaces, and the error text of a failure code. The one built-in class is the
// shell link (ShellLink.h).

#include <string>

#include "platform/ComBase.h"
#include "platform/WinTypes.h"

namespace win {

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD REGCLS_MULTIPLEUSE = 1;

// Enters COM on the calling thread: S_OK the first time, S_FALSE when already entered.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// An object of the class, asked for iid. Fails with CO_E_NOTINITIALIZED before CoInitialize
// and REGDB_E_CLASSNOTREG for a class nobody provides.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& iid,
                         void** object);

// As on Windows, a class object registered by the process takes over the creation of its
// class until it is revoked (a plug-in's own implementation, or a test's).
HRESULT CoRegisterClassObject(const CLSID& clsid, IUnknown* classObject, DWORD context, DWORD flags,
                              DWORD* cookie);
HRESULT CoRevokeClassObject(DWORD cookie);

// The system's text for a failure code, without its closing full stop; "OLE error %.8x"
// when the system has none.
std::string OleErrorText(HRESULT result);

}  // namespace win
