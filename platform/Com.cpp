#include "platform/Com.h"

#include <cstdio>
#include <vector>

#include "platform/ShellLink.h"

namespace win {
namespace {

thread_local int entered = 0;

struct Registration {
    DWORD cookie;
    CLSID clsid;
    IUnknown* classObject;
};

// The program has one thread, the window's, which is the only one to enter COM.
std::vector<Registration>& Registrations() {
    static std::vector<Registration> registrations;
    return registrations;
}

IUnknown* RegisteredClassObject(const CLSID& clsid) {
    for (const Registration& registration : Registrations()) {
        if (registration.clsid == clsid) return registration.classObject;
    }
    return nullptr;
}

HRESULT CreateThroughFactory(IUnknown* classObject, IUnknown* outer, const IID& iid,
                             void** object) {
    IClassFactory* factory = nullptr;
    const HRESULT found =
        classObject->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(found)) return found;
    const HRESULT created = factory->CreateInstance(outer, iid, object);
    factory->Release();
    return created;
}

}  // namespace

HRESULT CoInitialize(void*) { return entered++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
    if (entered > 0) --entered;
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& iid,
                         void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (entered == 0) return CO_E_NOTINITIALIZED;
    if ((context & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)) == 0) return REGDB_E_CLASSNOTREG;
    if (IUnknown* classObject = RegisteredClassObject(clsid)) {
        return CreateThroughFactory(classObject, outer, iid, object);
    }
    if (clsid == CLSID_ShellLink) return CreateShellLink(outer, iid, object);
    return REGDB_E_CLASSNOTREG;
}

HRESULT CoRegisterClassObject(const CLSID& clsid, IUnknown* classObject, DWORD, DWORD,
                              DWORD* cookie) {
    if (!classObject || !cookie) return E_INVALIDARG;
    static DWORD lastCookie = 0;
    classObject->AddRef();
    *cookie = ++lastCookie;
    Registrations().push_back({*cookie, clsid, classObject});
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
    auto& registrations = Registrations();
    for (auto it = registrations.begin(); it != registrations.end(); ++it) {
        if (it->cookie != cookie) continue;
        IUnknown* classObject = it->classObject;
        registrations.erase(it);
        classObject->Release();
        return S_OK;
    }
    return CO_E_OBJNOTREG;
}

std::string OleErrorText(HRESULT result) {
    // The system texts of the codes that COM calls here can give.
    static const struct {
        HRESULT code;
        const char* text;
    } kTexts[] = {
        {E_NOINTERFACE, "No such interface supported"},
        {E_POINTER, "Invalid pointer"},
        {E_FAIL, "Unspecified error"},
        {E_ACCESSDENIED, "Access is denied"},
        {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation"},
        {E_INVALIDARG, "The parameter is incorrect"},
        {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
        {REGDB_E_CLASSNOTREG, "Class not registered"},
        {CO_E_NOTINITIALIZED, "CoInitialize has not been called"},
    };
    for (const auto& entry : kTexts) {
        if (entry.code == result) return entry.text;
    }
    char text[32];
    std::snprintf(text, sizeof text, "OLE error %.8x", static_cast<unsigned>(result));
    return text;
}

}  // namespace win
