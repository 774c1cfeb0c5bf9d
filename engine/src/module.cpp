#include "module.h"

#include <dlfcn.h>

#include <atomic>
#include <new>
#include <climits>
#include <cstdlib>
#include <string>

#include "celaris/com/class_registry.h"
#include "celaris/com/guid.h"
#include "svd_object.h"

#define TRIMCORE_EXPORT extern "C" __attribute__((visibility("default")))

namespace trimcore {

namespace {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

class ClassFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static; a reference to it holds the module like a lock.
    ULONG AddRef() override { return static_cast<ULONG>(++g_locks); }
    ULONG Release() override { return static_cast<ULONG>(--g_locks); }

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) SVDObject();
        if (object == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT LockServer(BOOL lock) override {
        if (lock)
            ++g_locks;
        else
            --g_locks;
        return S_OK;
    }
};

ClassFactory g_factory;

// Absolute path of this library, for InprocServer32.
std::string LibraryPath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&LibraryPath), &info) == 0 || info.dli_fname == nullptr)
        return {};
    char resolved[PATH_MAX];
    if (::realpath(info.dli_fname, resolved) != nullptr) return resolved;
    return info.dli_fname;
}

const std::string& ClsidKey() {
    static const std::string key = "CLSID\\" + celaris::com::GuidToString(CLSID_SVD);
    return key;
}
std::string TypeLibKey() { return "TypeLib\\" + celaris::com::GuidToString(LIBID_TRIMCORELib); }
std::string InterfaceKey() { return "Interface\\" + celaris::com::GuidToString(IID_ISVD); }

}  // namespace

void ModuleObjectCreated() { ++g_objects; }
void ModuleObjectDestroyed() { --g_objects; }

}  // namespace trimcore

using namespace trimcore;

TRIMCORE_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!(rclsid == CLSID_SVD)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

TRIMCORE_EXPORT HRESULT DllCanUnloadNow() {
    return (g_objects.load() == 0 && g_locks.load() == 0) ? S_OK : S_FALSE;
}

TRIMCORE_EXPORT HRESULT DllRegisterServer() {
    const std::string library = LibraryPath();
    if (library.empty()) return SELFREG_E_CLASS;
    const std::string clsid = celaris::com::GuidToString(CLSID_SVD);
    const bool ok = celaris::com::UpdateClassRegistry(
        celaris::com::DefaultClassRegistryPath(), [&](celaris::com::ClassRegistry& r) {
            for (const char* progId : {kTrimcoreProgId, kTrimcoreVersionIndependentProgId}) {
                r.SetValue(progId, "", "SVD Class");
                r.SetValue(std::string(progId) + "\\CLSID", "", clsid);
            }
            r.SetValue(ClsidKey(), "", "SVD Class");
            r.SetValue(ClsidKey() + "\\ProgID", "", kTrimcoreProgId);
            r.SetValue(ClsidKey() + "\\VersionIndependentProgID", "",
                       kTrimcoreVersionIndependentProgId);
            r.SetValue(ClsidKey() + "\\InprocServer32", "", library);
            r.SetValue(ClsidKey() + "\\InprocServer32", "ThreadingModel", "both");
            r.SetValue(ClsidKey() + "\\TypeLib", "",
                       celaris::com::GuidToString(LIBID_TRIMCORELib));
            r.SetValue(TypeLibKey() + "\\1.0", "", "Trimcore 1.0 Type Library");
            r.SetValue(TypeLibKey() + "\\1.0\\0\\linux64", "", library);
            r.SetValue(TypeLibKey() + "\\1.0\\FLAGS", "", "0");
            r.SetValue(InterfaceKey(), "", "ISVD");
            r.SetValue(InterfaceKey() + "\\TypeLib", "",
                       celaris::com::GuidToString(LIBID_TRIMCORELib));
            r.SetValue(InterfaceKey() + "\\TypeLib", "Version", "1.0");
        });
    return ok ? S_OK : SELFREG_E_CLASS;
}

TRIMCORE_EXPORT HRESULT DllUnregisterServer() {
    const bool ok = celaris::com::UpdateClassRegistry(
        celaris::com::DefaultClassRegistryPath(), [](celaris::com::ClassRegistry& r) {
            r.DeleteTree(kTrimcoreProgId);
            r.DeleteTree(kTrimcoreVersionIndependentProgId);
            r.DeleteTree(ClsidKey());
            r.DeleteTree(TypeLibKey());
            r.DeleteTree(InterfaceKey());
        });
    return ok ? S_OK : SELFREG_E_CLASS;
}
