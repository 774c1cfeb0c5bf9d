#include "celaris/com/loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>

#include "celaris/com/class_registry.h"
#include "celaris/com/guid.h"

#ifndef CELARIS_BUILD_LIBRARY_DIR
#define CELARIS_BUILD_LIBRARY_DIR ""
#endif

namespace celaris::com {

namespace {

// The engine is the one in-process class the program ships.
const std::vector<ShippedClass>& Shipped() {
    static const std::vector<ShippedClass> classes = {
        {{0xA86B00AC, 0xB533, 0x4864, {0xAE, 0x8A, 0x8D, 0x04, 0x3A, 0x4F, 0x74, 0xFC}},
         {"Trimcore.SVD", "Trimcore.SVD.1"},
         "libtrimcore.so"},
    };
    return classes;
}

std::string ExecutableDir() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string path(buf, static_cast<size_t>(n));
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool FileExists(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

// Libraries stay loaded for the life of the process: objects created from
// them may outlive any one caller's interest.
HRESULT CreateFromLibrary(const std::string& library, REFCLSID clsid, REFIID iid, void** ppv) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return CO_E_DLLNOTFOUND;
    auto get = reinterpret_cast<PFN_DllGetClassObject>(::dlsym(handle, "DllGetClassObject"));
    if (get == nullptr) return CO_E_ERRORINDLL;
    IClassFactory* factory = nullptr;
    HRESULT hr = get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    if (factory == nullptr) return CO_E_ERRORINDLL;
    hr = factory->CreateInstance(nullptr, iid, ppv);
    factory->Release();
    return hr;
}

const ShippedClass* FindShipped(std::string_view progIdOrClsid) {
    const auto guid = GuidFromString(progIdOrClsid);
    for (const auto& c : Shipped()) {
        if (guid && *guid == c.clsid) return &c;
        for (const auto& p : c.progIds)
            if (p == progIdOrClsid) return &c;
    }
    return nullptr;
}

}  // namespace

std::vector<std::string> ShippedLibraryDirs() {
    std::vector<std::string> dirs;
    const std::string exe = ExecutableDir();
    if (!exe.empty()) {
        dirs.push_back(exe);
        dirs.push_back(exe + "/../lib");
    }
    if (*CELARIS_BUILD_LIBRARY_DIR) dirs.emplace_back(CELARIS_BUILD_LIBRARY_DIR);
    return dirs;
}

HRESULT CreateInstanceFrom(const std::string& registryPath, std::string_view progIdOrClsid,
                           REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    ClassRegistry registry(registryPath);
    registry.Load();
    if (const auto cls = LookupInprocClass(registry, progIdOrClsid))
        return CreateFromLibrary(cls->libraryPath, cls->clsid, iid, ppv);
    if (const ShippedClass* shipped = FindShipped(progIdOrClsid)) {
        for (const auto& dir : ShippedLibraryDirs()) {
            const std::string lib = dir + "/" + shipped->libraryName;
            if (FileExists(lib)) return CreateFromLibrary(lib, shipped->clsid, iid, ppv);
        }
    }
    return REGDB_E_CLASSNOTREG;
}

HRESULT CreateInstance(std::string_view progIdOrClsid, REFIID iid, void** ppv) {
    return CreateInstanceFrom(DefaultClassRegistryPath(), progIdOrClsid, iid, ppv);
}

HRESULT CreateInstance(REFCLSID clsid, REFIID iid, void** ppv) {
    return CreateInstance(GuidToString(clsid), iid, ppv);
}

}  // namespace celaris::com
