// Creates objects of in-process COM classes: class registry lookup, dlopen,
// DllGetClassObject, IClassFactory::CreateInstance.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "celaris/com/types.h"

namespace celaris::com {

// A class the program ships with: when it is not registered the loader finds
// its library in the program's own folders, so a fresh build works at once.
struct ShippedClass {
    CLSID clsid;
    std::vector<std::string> progIds;
    std::string libraryName;  // e.g. "libtrimcore.so"
};

// The folders searched for shipped libraries: the executable's folder, its
// ../lib, and the build tree's library folder.
std::vector<std::string> ShippedLibraryDirs();

// progIdOrClsid: a ProgID or a CLSID in braces. Unknown class:
// REGDB_E_CLASSNOTREG. Library missing or not loadable: CO_E_DLLNOTFOUND.
// Library without DllGetClassObject: CO_E_ERRORINDLL.
HRESULT CreateInstance(std::string_view progIdOrClsid, REFIID iid, void** ppv);
HRESULT CreateInstance(REFCLSID clsid, REFIID iid, void** ppv);

// Uses the given registry file instead of the default one (tests).
HRESULT CreateInstanceFrom(const std::string& registryPath, std::string_view progIdOrClsid,
                           REFIID iid, void** ppv);

}  // namespace celaris::com
