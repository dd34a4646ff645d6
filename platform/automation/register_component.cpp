// register-component: registers or unregisters an in-process component library by loading it and calling its
// DllRegisterServer or DllUnregisterServer. Classes go to the user's classes key unless /m asks for the
// machine's.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/automation/class_registry.h"

namespace {

namespace automation = platform::automation;

constexpr const char* kUsage =
    "usage: register-component [/u] [/m] <library>  (/u unregister, /m machine-wide)";

int Fail(const std::string& text) {
    std::fprintf(stderr, "register-component: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool machine = false;
    std::string library;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            std::printf("%s\n", kUsage);
            return 0;
        }
        if (arg == "/u" || arg == "/U" || arg == "-u") {
            unregister = true;
        } else if (arg == "/m" || arg == "/M" || arg == "-m") {
            machine = true;
        } else if (!arg.empty() && (arg.front() == '-' || (arg.front() == '/' && arg.size() == 2))) {
            std::fprintf(stderr, "register-component: unknown option %s\n%s\n", argv[i], kUsage);
            return 2;
        } else if (library.empty()) {
            library = arg;
        } else {
            std::fprintf(stderr, "register-component: more than one library given\n%s\n", kUsage);
            return 2;
        }
    }
    if (library.empty()) {
        std::fprintf(stderr, "register-component: no library given\n%s\n", kUsage);
        return 2;
    }

    std::error_code ec;
    const std::filesystem::path path = std::filesystem::canonical(library, ec);
    if (ec) {
        return Fail(library + ": " + ec.message());
    }
    // The component's registration helpers read the scope from here; nothing else runs yet in this process.
    setenv(automation::kRegisterScopeVariable, machine ? "machine" : "user", 1);

    void* handle = nullptr;
    std::string message;
    if (automation::Failed(automation::LoadComponentLibrary(path.string(), handle, &message))) {
        return Fail(message);
    }
    const char* entryName = unregister ? automation::kDllUnregisterServer : automation::kDllRegisterServer;
    void* entry = nullptr;
    if (automation::Failed(automation::FindComponentEntry(handle, entryName, entry))) {
        return Fail(path.string() + " does not export " + entryName + "; it is not a component library");
    }
    automation::HRESULT hr = automation::E_FAIL;
    try {
        hr = reinterpret_cast<automation::DllRegisterServerFn>(entry)();
    } catch (const std::exception& e) {
        return Fail(std::string(entryName) + " in " + path.string() + " failed: " + e.what());
    } catch (...) {
        return Fail(std::string(entryName) + " in " + path.string() + " failed");
    }
    if (automation::Failed(hr)) {
        return Fail(std::string(entryName) + " in " + path.string() +
                    " failed: " + automation::FormatHResult(hr));
    }
    std::printf("%s in %s succeeded.\n", entryName, path.string().c_str());
    return 0;
}
