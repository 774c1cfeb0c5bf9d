// The class registry: the class keys that COM servers register, kept in one
// human-readable file. Each section is a key path below the classes root
// (for example "CLSID\{...}\InprocServer32"); "@" names the default value.
//
// Location: $CELARIS_CLASS_REGISTRY if set, else
// $XDG_DATA_HOME/celaris/classes.reg (default ~/.local/share/celaris/).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "celaris/com/types.h"

namespace celaris::com {

std::string DefaultClassRegistryPath();

class ClassRegistry {
public:
    explicit ClassRegistry(std::string path = DefaultClassRegistryPath());

    const std::string& path() const { return path_; }

    // Reads the file; a missing file is an empty registry. False when the
    // file exists but cannot be read.
    bool Load();
    // Writes a temporary file beside the target, syncs it and renames it
    // over the target, so readers see either the old or the new registry.
    bool Save() const;

    // name "" is the key's default value. Key paths compare without regard
    // to letter case, as registry keys do.
    std::optional<std::string> GetValue(std::string_view key, std::string_view name = "") const;
    void SetValue(std::string_view key, std::string_view name, std::string_view value);
    bool HasKey(std::string_view key) const;
    // Removes the key and every key below it.
    void DeleteTree(std::string_view key);

private:
    static std::string Normalise(std::string_view key);
    std::string path_;
    // normalised key -> (key as written, values)
    std::map<std::string, std::pair<std::string, std::map<std::string, std::string>>> keys_;
};

// Runs fn on the registry at path with an exclusive lock across processes:
// load, modify, save. Returns false when the file cannot be read or written.
template <typename Fn>
bool UpdateClassRegistry(const std::string& path, Fn&& fn);

bool LockAndUpdate(const std::string& path, void (*fn)(ClassRegistry&, void*), void* ctx);

template <typename Fn>
bool UpdateClassRegistry(const std::string& path, Fn&& fn) {
    return LockAndUpdate(
        path, [](ClassRegistry& r, void* c) { (*static_cast<Fn*>(c))(r); }, &fn);
}

// What the loader needs to know of an in-process class.
struct InprocClass {
    CLSID clsid;
    std::string libraryPath;
    std::string threadingModel;
};

// Resolves a ProgID ("Trimcore.SVD") or a CLSID in text form.
std::optional<InprocClass> LookupInprocClass(const ClassRegistry& registry,
                                             std::string_view progIdOrClsid);

}  // namespace celaris::com
