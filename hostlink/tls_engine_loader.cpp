// Finds the TLS library once per process. It is looked for beside the library or program that holds the
// host link first, then by name (the run path, LD_LIBRARY_PATH, the system's folders).
#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <string>

#include "hostlink/tls/tls_engine.h"

namespace hostlink::tls {
namespace {

struct Loaded {
    const Engine* engine = nullptr;
    std::string why;
};

std::string DlError() {
    const char* text = ::dlerror();
    return text != nullptr ? text : "unknown error";
}

Loaded Load() {
    Loaded loaded;
    Dl_info self{};
    if (::dladdr(reinterpret_cast<void*>(&LoadEngine), &self) != 0 && self.dli_fname != nullptr) {
        const std::filesystem::path beside =
            std::filesystem::path(self.dli_fname).parent_path() / kLibraryName;
        std::error_code ec;
        if (std::filesystem::exists(beside, ec)) {
            loaded.engine = OpenEngine(beside.string(), &loaded.why);
            if (loaded.engine != nullptr) {
                return loaded;
            }
        }
    }
    loaded.engine = OpenEngine(kLibraryName, &loaded.why);
    return loaded;
}

}  // namespace

const Engine* OpenEngine(const std::string& library, std::string* why) {
    // Never closed: objects it made may outlive any one connection.
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        if (why != nullptr) {
            *why = "the TLS library " + library + " could not be loaded: " + DlError();
        }
        return nullptr;
    }
    const auto entry = reinterpret_cast<EntryFunction>(::dlsym(handle, kEntryName));
    const Engine* engine = entry != nullptr ? entry() : nullptr;
    if (engine == nullptr && why != nullptr) {
        *why = "the TLS library " + library + " has no " + kEntryName;
    }
    return engine;
}

const Engine* LoadEngine(std::string* why) {
    static const Loaded loaded = Load();
    if (loaded.engine == nullptr && why != nullptr) {
        *why = loaded.why;
    }
    return loaded.engine;
}

}  // namespace hostlink::tls
