// Finding and loading the viewing engine.
#include "docview/engine_binding.h"

#include <algorithm>
#include <cstring>

#include "platform/automation/class_registry.h"
#include "suite/registry_settings.h"

namespace docview {

namespace {

constexpr std::string_view kKeyPrefix = "SOFTWARE\\QEL\\";
constexpr uint32_t kFilterPathMax = 260;

template <typename Fn>
bool Resolve(void* handle, const char* name, Fn& fn, std::string* message) {
    void* entry = nullptr;
    if (platform::automation::Failed(
            platform::automation::FindComponentEntry(handle, name, entry, message))) {
        return false;
    }
    fn = reinterpret_cast<Fn>(entry);
    return true;
}

}  // namespace

bool EngineApi::Complete() const {
    return abiVersion && createView && request && viewWidget && destroyView && freeBlock && setStatCallback;
}

std::string FilterPathKey(std::string_view exePath, int index) {
    switch (index) {
        case 0: {
            std::string path(exePath);
            for (char& c : path) {
                if (c == '\\')
                    c = '/';
            }
            return std::string(kKeyPrefix) + path;
        }
        case 1: {
            const size_t slash = exePath.find_last_of("/\\");
            return std::string(kKeyPrefix) +
                   std::string(slash == std::string_view::npos ? exePath : exePath.substr(slash + 1));
        }
        case 2:
            return "SOFTWARE\\QEL\\Fennick";
        default:
            return "SOFTWARE\\Quenby\\Fennick";
    }
}

int32_t ReadFilterPath(std::string_view exePath, std::string& folder, std::string* chosenKey) {
    folder.clear();
    for (int i = 0; i < kFilterPathKeyCount; ++i) {
        const std::string key = FilterPathKey(exePath, i);
        if (!suite::RegKeyExists(platform::HKey::LocalMachine, key))
            continue;
        if (chosenKey)
            *chosenKey = key;
        char buffer[kFilterPathMax] = {};
        uint32_t size = sizeof buffer;
        platform::RegType type = platform::RegType::Sz;
        if (suite::RegReadValue(platform::HKey::LocalMachine, key, "FilterPath", type, buffer, size) != 0) {
            return kNoFilterPath;
        }
        // Bounded: a value without its terminator is taken up to the buffer's end.
        folder.assign(buffer, strnlen(buffer, std::min<size_t>(size, sizeof buffer)));
        return 0;
    }
    return kNoFilterPath;
}

std::string EngineLibraryPath(std::string_view folder) {
    if (!folder.empty() && folder.back() == '/')
        folder.remove_suffix(1);
    return std::string(folder) + "/" + LYDVW_LIBRARY_NAME;
}

int32_t LoadEngine(const std::string& path, EngineApi& api, std::string* message) {
    api = EngineApi{};
    void* handle = nullptr;
    if (platform::automation::Failed(platform::automation::LoadComponentLibrary(path, handle, message))) {
        return kNoLibrary;
    }
    EngineApi found;
    if (!Resolve(handle, "LydvwAbiVersion", found.abiVersion, message) ||
        !Resolve(handle, "LydvwCreateView", found.createView, message) ||
        !Resolve(handle, "LydvwRequest", found.request, message) ||
        !Resolve(handle, "LydvwViewWidget", found.viewWidget, message) ||
        !Resolve(handle, "LydvwDestroyView", found.destroyView, message) ||
        !Resolve(handle, "LydvwFree", found.freeBlock, message) ||
        !Resolve(handle, "VWSetStatCallback", found.setStatCallback, message)) {
        return kNoLibrary;
    }
    const uint32_t version = found.abiVersion();
    if (version != LYDVW_ABI_VERSION) {
        if (message) {
            *message = path + ": engine contract version " + std::to_string(version) + ", expected " +
                       std::to_string(LYDVW_ABI_VERSION);
        }
        return kNoLibrary;
    }
    api = found;
    return 0;
}

}  // namespace docview
