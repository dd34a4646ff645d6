// Finding and loading the viewing engine: the registry names the engine's folder, the library is loaded once
// and kept, and an engine built against another contract version is refused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "docview/lydvw.h"

namespace docview {

// Start-up errors the control shows once (string ids of its table).
inline constexpr int32_t kNoFilterPath = 16642;
inline constexpr int32_t kNoLibrary = 16643;
inline constexpr int32_t kNoViewWindow = 16644;

// The engine's exports, all resolved, or none.
struct EngineApi {
    LydvwAbiVersionFn abiVersion = nullptr;
    LydvwCreateViewFn createView = nullptr;
    LydvwRequestFn request = nullptr;
    LydvwViewWidgetFn viewWidget = nullptr;
    LydvwDestroyViewFn destroyView = nullptr;
    LydvwFreeFn freeBlock = nullptr;
    LydvwSetStatCallbackFn setStatCallback = nullptr;
    bool Complete() const;
};

// The machine keys looked at, in order, for a program at `exePath`: its whole path, its file name, then the
// two fixed keys.
std::string FilterPathKey(std::string_view exePath, int index);
inline constexpr int kFilterPathKeyCount = 4;

// "FilterPath" of the first key that exists: 0, or kNoFilterPath when no key exists or the value cannot be
// read as text of at most 260 bytes. `chosenKey` receives the key that was read.
int32_t ReadFilterPath(std::string_view exePath, std::string& folder, std::string* chosenKey = nullptr);

// The folder less one trailing "/", then "/liblydvw.so".
std::string EngineLibraryPath(std::string_view folder);

// Loads the engine at `path` and resolves its exports: 0, or kNoLibrary when it does not load, misses an
// export or reports another LYDVW_ABI_VERSION. The library is never unloaded.
int32_t LoadEngine(const std::string& path, EngineApi& api, std::string* message = nullptr);

}  // namespace docview
