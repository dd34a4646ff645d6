// Finds the TLS library once per process. It is looked for beside the library or program that holds the
// host link first, then in the folders the loader searches for that object (its run path, LD_LIBRARY_PATH,
// the system's), then by name.
#include <dlfcn.h>
#include <link.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

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

// The folders the loader would search for a library that the object holding the host link needs: its run
// path, LD_LIBRARY_PATH and the system's. Asked of the loader rather than left to dlopen, since a sanitizer
// runtime that intercepts dlopen makes itself the caller whose run path counts.
std::vector<std::string> SearchFolders(void* linkMap) {
    std::vector<std::string> folders;
    Dl_serinfo size{};
    if (::dlinfo(linkMap, RTLD_DI_SERINFOSIZE, &size) != 0 || size.dls_size < sizeof(Dl_serinfo)) {
        return folders;
    }
    std::vector<std::max_align_t> storage(size.dls_size / sizeof(std::max_align_t) + 1);
    auto* info = reinterpret_cast<Dl_serinfo*>(storage.data());
    *info = size;
    if (::dlinfo(linkMap, RTLD_DI_SERINFOSIZE, info) != 0 || ::dlinfo(linkMap, RTLD_DI_SERINFO, info) != 0) {
        return folders;
    }
    for (unsigned n = 0; n < info->dls_cnt; ++n) {
        if (const char* name = info->dls_serpath[n].dls_name; name != nullptr && name[0] == '/') {
            folders.emplace_back(name);
        }
    }
    return folders;
}

Loaded Load() {
    Loaded loaded;
    Dl_info self{};
    void* linkMap = nullptr;
    std::vector<std::filesystem::path> candidates;
    if (::dladdr1(reinterpret_cast<void*>(&LoadEngine), &self, &linkMap, RTLD_DL_LINKMAP) != 0) {
        if (self.dli_fname != nullptr && self.dli_fname[0] != '\0') {
            candidates.push_back(std::filesystem::path(self.dli_fname).parent_path() / kLibraryName);
        }
        if (linkMap != nullptr) {
            for (const std::string& folder : SearchFolders(linkMap)) {
                candidates.push_back(std::filesystem::path(folder) / kLibraryName);
            }
        }
    }
    for (const std::filesystem::path& candidate : candidates) {
        std::error_code ec;
        if (std::filesystem::exists(candidate, ec)) {
            loaded.engine = OpenEngine(candidate.string(), &loaded.why);
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
