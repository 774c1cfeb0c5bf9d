#include "celaris/com/class_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "celaris/com/guid.h"

namespace celaris::com {

std::string DefaultClassRegistryPath() {
    if (const char* p = std::getenv("CELARIS_CLASS_REGISTRY"); p != nullptr && *p != '\0')
        return p;
    std::string base;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x != nullptr && *x == '/') {
        base = x;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : ".") + "/.local/share";
    }
    return base + "/celaris/classes.reg";
}

ClassRegistry::ClassRegistry(std::string path) : path_(std::move(path)) {}

std::string ClassRegistry::Normalise(std::string_view key) {
    std::string k;
    k.reserve(key.size());
    for (char c : key) k.push_back((c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c);
    return k;
}

namespace {
std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return std::string(s.substr(b, e - b));
}

// Values live on one line; a line break in a value would break the file.
std::string OneLine(std::string_view v) {
    std::string s(v);
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}

bool MakeDirs(const std::string& dir) {
    if (dir.empty()) return true;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const auto slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash))) return false;
    return ::mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

std::string DirOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}
}  // namespace

bool ClassRegistry::Load() {
    keys_.clear();
    std::ifstream in(path_);
    if (!in) return errno == ENOENT;
    std::string line, current;
    while (std::getline(in, line)) {
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        if (t.front() == '[' && t.back() == ']') {
            current = t.substr(1, t.size() - 2);
            auto& entry = keys_[Normalise(current)];
            entry.first = current;
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos || current.empty()) continue;
        std::string name = Trim(std::string_view(t).substr(0, eq));
        if (name == "@") name.clear();
        keys_[Normalise(current)].second[name] = Trim(std::string_view(t).substr(eq + 1));
    }
    return !in.bad();
}

bool ClassRegistry::Save() const {
    if (!MakeDirs(DirOf(path_))) return false;
    std::ostringstream out;
    out << "# Celaris class registry: the class keys of registered COM servers.\n";
    for (const auto& [norm, entry] : keys_) {
        out << "\n[" << entry.first << "]\n";
        for (const auto& [name, value] : entry.second)
            out << (name.empty() ? "@" : name) << " = " << value << "\n";
    }
    const std::string text = out.str();
    const std::string tmp = path_ + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(tmp.c_str(), path_.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> ClassRegistry::GetValue(std::string_view key,
                                                   std::string_view name) const {
    const auto it = keys_.find(Normalise(key));
    if (it == keys_.end()) return std::nullopt;
    for (const auto& [n, v] : it->second.second)
        if (Normalise(n) == Normalise(name)) return v;
    return std::nullopt;
}

void ClassRegistry::SetValue(std::string_view key, std::string_view name, std::string_view value) {
    auto& entry = keys_[Normalise(key)];
    if (entry.first.empty()) entry.first = std::string(key);
    entry.second[OneLine(name)] = OneLine(value);
}

bool ClassRegistry::HasKey(std::string_view key) const {
    // A key exists when it has values or any key below it exists.
    const std::string k = Normalise(key);
    const auto it = keys_.lower_bound(k);
    if (it == keys_.end()) return false;
    if (it->first == k) return true;
    return it->first.size() > k.size() && it->first.compare(0, k.size(), k) == 0 &&
           it->first[k.size()] == '\\';
}

void ClassRegistry::DeleteTree(std::string_view key) {
    const std::string k = Normalise(key);
    for (auto it = keys_.begin(); it != keys_.end();) {
        const bool below = it->first.size() > k.size() && it->first.compare(0, k.size(), k) == 0 &&
                           it->first[k.size()] == '\\';
        if (it->first == k || below)
            it = keys_.erase(it);
        else
            ++it;
    }
}

bool LockAndUpdate(const std::string& path, void (*fn)(ClassRegistry&, void*), void* ctx) {
    if (!MakeDirs(DirOf(path))) return false;
    const std::string lockPath = path + ".lock";
    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0) return false;
    while (::flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    ClassRegistry registry(path);
    bool ok = registry.Load();
    if (ok) {
        fn(registry, ctx);
        ok = registry.Save();
    }
    ::flock(lockFd, LOCK_UN);
    ::close(lockFd);
    return ok;
}

std::optional<InprocClass> LookupInprocClass(const ClassRegistry& registry,
                                             std::string_view progIdOrClsid) {
    std::optional<GUID> clsid = GuidFromString(progIdOrClsid);
    if (!clsid) {
        const auto text = registry.GetValue(std::string(progIdOrClsid) + "\\CLSID");
        if (!text) return std::nullopt;
        clsid = GuidFromString(*text);
        if (!clsid) return std::nullopt;
    }
    const std::string key = "CLSID\\" + GuidToString(*clsid) + "\\InprocServer32";
    const auto library = registry.GetValue(key);
    if (!library || library->empty()) return std::nullopt;
    return InprocClass{*clsid, *library, registry.GetValue(key, "ThreadingModel").value_or("")};
}

}  // namespace celaris::com
