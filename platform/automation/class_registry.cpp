// Class registration in the registry store, lookups through HKEY_CLASSES_ROOT, and loading of component
// libraries and their class factories.
#include "platform/automation/class_registry.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>

#include "platform/expand_environment.h"
#include "platform/registry.h"
#include "platform/spawn.h"
#include "platform/win32_error.h"

namespace platform::automation {
namespace {

namespace fs = std::filesystem;

void SetMessage(std::string* message, std::string text) {
    if (message) {
        *message = std::move(text);
    }
}

struct ScopeRoot {
    HKey root;
    std::string prefix;  // the classes key of the hive, with a trailing separator
    std::string display;
};

ScopeRoot RootOf(RegistrationScope scope) {
    if (scope == RegistrationScope::Machine) {
        return {HKey::LocalMachine, "SOFTWARE\\Classes\\", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\"};
    }
    return {HKey::CurrentUser, "Software\\Classes\\", "HKEY_CURRENT_USER\\Software\\Classes\\"};
}

// A ProgID becomes a key name directly below the classes root, so it must be one plain key name.
bool IsValidProgId(std::string_view progId) {
    if (progId.empty() || progId.size() > 39 || (progId.front() >= '0' && progId.front() <= '9')) {
        return false;
    }
    for (const char c : progId) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || c == '\\' || c == ' ' || c == '[' || c == ']' || c == '"') {
            return false;
        }
    }
    return true;
}

std::string ClassKey(const Guid& clsid) {
    return "CLSID\\" + clsid.ToString();
}

std::string RegistryFailure(int32_t rc) {
    switch (rc) {
        case win32::kAccessDenied:
            return "access denied";
        case win32::kInvalidData:
            return "the hive file is damaged";
        default:
            return "error " + std::to_string(rc);
    }
}

HRESULT ReadFailure(int32_t rc) {
    return rc == win32::kFileNotFound ? REGDB_E_CLASSNOTREG : REGDB_E_READREGDB;
}

// Reads the default value of an HKCR key as text.
int32_t ReadDefaultText(std::string_view subkey, std::string& out, RegType* type = nullptr) {
    RegValue value;
    const int32_t rc = Registry::Default().QueryValue(HKey::ClassesRoot, subkey, "", value);
    if (rc != win32::kSuccess) {
        return rc;
    }
    auto text = value.AsString();
    if (!text) {
        return win32::kInvalidData;
    }
    out = *text;
    if (type) {
        *type = value.type;
    }
    return win32::kSuccess;
}

class Writer {
  public:
    Writer(RegistrationScope scope, std::string* message) : m_root(RootOf(scope)), m_message(message) {}

    bool Set(const std::string& subkey, std::string_view name, std::string_view text) {
        const int32_t rc =
            Registry::Default().SetValue(m_root.root, m_root.prefix + subkey, name, RegValue::String(text));
        return Check(rc, subkey);
    }
    bool Remove(const std::string& subkey) {
        const int32_t rc = Registry::Default().DeleteTree(m_root.root, m_root.prefix + subkey);
        return rc == win32::kFileNotFound || Check(rc, subkey);
    }
    std::optional<std::string> Read(const std::string& subkey) {
        RegValue value;
        if (Registry::Default().QueryValue(m_root.root, m_root.prefix + subkey, "", value) !=
            win32::kSuccess) {
            return std::nullopt;
        }
        return value.AsString();
    }

  private:
    bool Check(int32_t rc, const std::string& subkey) {
        if (rc == win32::kSuccess) {
            return true;
        }
        SetMessage(m_message, "cannot write " + m_root.display + subkey + ": " + RegistryFailure(rc));
        return false;
    }

    ScopeRoot m_root;
    std::string* m_message;
};

struct LoadedLibraries {
    std::mutex mutex;
    std::map<std::string, void*> handles;
};

struct ActivatorHook {
    std::mutex mutex;
    LocalServerActivator activator;
};

ActivatorHook& Activator() {
    static ActivatorHook* hook = new ActivatorHook;  // never destroyed: objects may outlive static teardown
    return *hook;
}

LoadedLibraries& Libraries() {
    static LoadedLibraries* libraries = new LoadedLibraries;  // never destroyed: libraries stay loaded
    return *libraries;
}

}  // namespace

HRESULT ClassFactory::CreateInstance(std::shared_ptr<IDispatch>& out) {
    out.reset();
    try {
        out = m_maker ? m_maker() : nullptr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const DispatchError& e) {
        out.reset();
        return Failed(e.Code()) ? e.Code() : E_FAIL;
    } catch (...) {
        out.reset();
        return E_FAIL;
    }
    return out ? S_OK : E_FAIL;
}

HRESULT RegisterClass(const ClassRegistration& registration, RegistrationScope scope, std::string* message) {
    if (registration.clsid.IsNull()) {
        SetMessage(message, "a class cannot be registered under the null CLSID");
        return E_INVALIDARG;
    }
    if (!registration.progId.empty() && !IsValidProgId(registration.progId)) {
        SetMessage(message, "\"" + registration.progId + "\" is not a valid ProgID");
        return E_INVALIDARG;
    }
    const bool local = registration.kind == ServerKind::LocalServer;
    const std::string& serverPath = local ? registration.programPath : registration.libraryPath;
    if (serverPath.empty() || !fs::path(serverPath).is_absolute()) {
        SetMessage(message, std::string(local ? "the program path \"" : "the library path \"") + serverPath +
                                "\" is not absolute");
        return E_INVALIDARG;
    }
    if (local && !IsValidBusName(registration.busName)) {
        SetMessage(message, "\"" + registration.busName + "\" is not a valid bus name");
        return E_INVALIDARG;
    }
    const std::string classKey = ClassKey(registration.clsid);
    const std::string clsidText = registration.clsid.ToString();
    Writer writer(scope, message);
    bool ok = writer.Remove(classKey) && writer.Set(classKey, "", registration.typeName);
    if (ok && local) {
        ok = writer.Set(classKey + "\\LocalServer32", "", JoinCommandLine({registration.programPath})) &&
             writer.Set(classKey + "\\LocalServer32", "BusName", registration.busName);
    } else if (ok) {
        ok = writer.Set(classKey + "\\InprocServer32", "", registration.libraryPath) &&
             writer.Set(classKey + "\\InprocServer32", "ThreadingModel", registration.threadingModel);
    }
    if (ok && !registration.progId.empty()) {
        ok = writer.Set(classKey + "\\ProgID", "", registration.progId);
    }
    for (const ClassSubkey& extra : registration.subkeys) {
        if (!ok) {
            break;
        }
        ok = writer.Set(classKey + "\\" + extra.subkey, "", extra.defaultValue);
    }
    if (ok && !registration.progId.empty()) {
        ok = writer.Set(registration.progId, "", registration.typeName) &&
             writer.Set(registration.progId + "\\CLSID", "", clsidText);
    }
    const std::string& independent = registration.versionIndependentProgId;
    if (ok && !independent.empty()) {
        ok = IsValidProgId(independent) &&
             writer.Set(classKey + "\\VersionIndependentProgID", "", independent) &&
             writer.Set(independent, "", registration.typeName) &&
             writer.Set(independent + "\\CLSID", "", clsidText) &&
             writer.Set(independent + "\\CurVer", "", registration.progId);
    }
    if (!ok) {
        // Leave no half-registered class behind; a ProgID that another class holds is not ours to remove.
        std::string why = message ? *message : std::string();
        writer.Remove(classKey);
        for (const std::string& progId : {registration.progId, independent}) {
            if (progId.empty() || !IsValidProgId(progId)) {
                continue;
            }
            auto owner = writer.Read(progId + "\\CLSID");
            if (!owner || *owner == clsidText) {
                writer.Remove(progId);
            }
        }
        SetMessage(message, std::move(why));
        return REGDB_E_WRITEREGDB;
    }
    return S_OK;
}

HRESULT UnregisterClass(const Guid& clsid, std::string_view progId, RegistrationScope scope,
                        std::string* message) {
    Writer writer(scope, message);
    if (!progId.empty() && IsValidProgId(progId)) {
        const std::string progKey(progId);
        // A ProgID taken over by another class since is that class's now.
        auto registered = writer.Read(progKey + "\\CLSID");
        auto parsed = registered ? Guid::Parse(*registered) : std::nullopt;
        if (parsed && *parsed == clsid && !writer.Remove(progKey)) {
            return REGDB_E_WRITEREGDB;
        }
    }
    if (!writer.Remove(ClassKey(clsid))) {
        return REGDB_E_WRITEREGDB;
    }
    return S_OK;
}

RegistrationScope RequestedRegistrationScope() {
    const char* value = std::getenv(kRegisterScopeVariable);
    return (value && std::string_view(value) == "machine") ? RegistrationScope::Machine
                                                           : RegistrationScope::User;
}

std::optional<std::string> LibraryPathOf(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == '\0') {
        return std::nullopt;
    }
    std::error_code ec;
    fs::path path = fs::canonical(info.dli_fname, ec);
    if (ec) {
        return std::nullopt;
    }
    return path.string();
}

HRESULT RegisterServer(std::span<const ClassRegistration> classes, const void* addressInLibrary) {
    const auto path = LibraryPathOf(addressInLibrary);
    if (!path) {
        return SELFREG_E_CLASS;
    }
    const RegistrationScope scope = RequestedRegistrationScope();
    for (size_t i = 0; i < classes.size(); ++i) {
        ClassRegistration registration = classes[i];
        registration.libraryPath = *path;
        if (Failed(RegisterClass(registration, scope))) {
            for (size_t done = 0; done < i; ++done) {
                UnregisterClass(classes[done].clsid, classes[done].progId, scope);
                if (!classes[done].versionIndependentProgId.empty()) {
                    UnregisterClass(classes[done].clsid, classes[done].versionIndependentProgId, scope);
                }
            }
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}

HRESULT UnregisterServer(std::span<const ClassRegistration> classes) {
    const RegistrationScope scope = RequestedRegistrationScope();
    HRESULT hr = S_OK;
    for (const ClassRegistration& registration : classes) {
        if (Failed(UnregisterClass(registration.clsid, registration.progId, scope)) ||
            (!registration.versionIndependentProgId.empty() &&
             Failed(UnregisterClass(registration.clsid, registration.versionIndependentProgId, scope)))) {
            hr = SELFREG_E_CLASS;
        }
    }
    return hr;
}

HRESULT CLSIDFromProgID(std::string_view progId, Guid& clsid) {
    clsid = Guid{};
    if (!IsValidProgId(progId)) {
        return CO_E_CLASSSTRING;
    }
    std::string text;
    if (ReadDefaultText(std::string(progId) + "\\CLSID", text) != win32::kSuccess) {
        return CO_E_CLASSSTRING;
    }
    auto parsed = Guid::Parse(text);
    if (!parsed) {
        return CO_E_CLASSSTRING;
    }
    clsid = *parsed;
    return S_OK;
}

HRESULT ProgIDFromCLSID(const Guid& clsid, std::string& progId) {
    progId.clear();
    std::string text;
    const int32_t rc = ReadDefaultText(ClassKey(clsid) + "\\ProgID", text);
    if (rc != win32::kSuccess) {
        return ReadFailure(rc);
    }
    if (text.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    progId = std::move(text);
    return S_OK;
}

HRESULT InprocServerPath(const Guid& clsid, std::string& path, std::string* message) {
    path.clear();
    const std::string classKey = ClassKey(clsid);
    std::string text;
    RegType type = RegType::Sz;
    const int32_t rc = ReadDefaultText(classKey + "\\InprocServer32", text, &type);
    if (rc != win32::kSuccess) {
        if (rc == win32::kFileNotFound) {
            SetMessage(message, Registry::Default().KeyExists(HKey::ClassesRoot, classKey)
                                    ? "class " + clsid.ToString() + " has no in-process library registered"
                                    : "class " + clsid.ToString() + " is not registered");
        } else {
            SetMessage(message, "cannot read the registration of class " + clsid.ToString() + ": " +
                                    RegistryFailure(rc));
        }
        return ReadFailure(rc);
    }
    if (type == RegType::ExpandSz) {
        text = ExpandEnvironment(text);
    }
    if (text.empty() || !fs::path(text).is_absolute()) {
        SetMessage(message, "class " + clsid.ToString() + " names the library \"" + text +
                                "\", which is not an absolute path");
        return E_MODNOTFOUND;
    }
    path = std::move(text);
    return S_OK;
}

bool IsValidBusName(std::string_view name) {
    // Room for ".p" and a pid within the bus's 255 characters.
    if (name.empty() || name.size() > 230) {
        return false;
    }
    size_t elements = 0;
    size_t start = 0;
    while (start <= name.size()) {
        const size_t dot = std::min(name.find('.', start), name.size());
        const std::string_view element = name.substr(start, dot - start);
        if (element.empty() || (element.front() >= '0' && element.front() <= '9')) {
            return false;
        }
        for (const char c : element) {
            const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                            c == '_' || c == '-';
            if (!ok) {
                return false;
            }
        }
        ++elements;
        start = dot + 1;
    }
    return elements >= 2;
}

HRESULT LocalServerOf(const Guid& clsid, LocalServer& server, std::string* message) {
    server = LocalServer{};
    const std::string key = ClassKey(clsid) + "\\LocalServer32";
    std::string text;
    RegType type = RegType::Sz;
    if (const int32_t rc = ReadDefaultText(key, text, &type); rc != win32::kSuccess) {
        SetMessage(message, rc == win32::kFileNotFound
                                ? "class " + clsid.ToString() + " has no local server registered"
                                : "cannot read the registration of class " + clsid.ToString() + ": " +
                                      RegistryFailure(rc));
        return ReadFailure(rc);
    }
    if (type == RegType::ExpandSz) {
        text = ExpandEnvironment(text);
    }
    std::vector<std::string> command = SplitCommandLine(text);
    if (command.empty() || !fs::path(command.front()).is_absolute()) {
        SetMessage(message, "class " + clsid.ToString() + " names the program \"" + text +
                                "\", which is not an absolute path");
        return E_MODNOTFOUND;
    }
    RegValue value;
    std::optional<std::string> busName;
    if (Registry::Default().QueryValue(HKey::ClassesRoot, key, "BusName", value) == win32::kSuccess) {
        busName = value.AsString();
    }
    if (!busName || !IsValidBusName(*busName)) {
        SetMessage(message, "class " + clsid.ToString() + " has no valid \"BusName\" for its local server");
        return CO_E_BADPATH;
    }
    server.clsid = clsid;
    server.command = std::move(command);
    server.busName = std::move(*busName);
    return S_OK;
}

void SetLocalServerActivator(LocalServerActivator activator) {
    ActivatorHook& hook = Activator();
    std::lock_guard lock(hook.mutex);
    hook.activator = std::move(activator);
}

HRESULT LoadComponentLibrary(const std::string& path, void*& handle, std::string* message) {
    handle = nullptr;
    LoadedLibraries& libraries = Libraries();
    std::lock_guard lock(libraries.mutex);
    if (auto it = libraries.handles.find(path); it != libraries.handles.end()) {
        handle = it->second;
        return S_OK;
    }
    dlerror();
    void* loaded = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (loaded == nullptr) {
        const char* why = dlerror();
        SetMessage(message, "cannot load the library " + path + ": " + (why ? why : "unknown error"));
        return E_MODNOTFOUND;
    }
    libraries.handles.emplace(path, loaded);
    handle = loaded;
    return S_OK;
}

HRESULT FindComponentEntry(void* handle, const char* name, void*& entry, std::string* message) {
    entry = nullptr;
    if (handle == nullptr || name == nullptr) {
        return E_POINTER;
    }
    dlerror();
    entry = dlsym(handle, name);
    if (entry == nullptr) {
        SetMessage(message, std::string("the library does not export ") + name);
        return E_PROCNOTFOUND;
    }
    return S_OK;
}

HRESULT CoGetClassObject(const Guid& clsid, std::shared_ptr<IClassFactory>& factory, std::string* message) {
    factory.reset();
    std::string path;
    if (const HRESULT hr = InprocServerPath(clsid, path, message); Failed(hr)) {
        return hr;
    }
    void* handle = nullptr;
    if (const HRESULT hr = LoadComponentLibrary(path, handle, message); Failed(hr)) {
        return hr;
    }
    void* entry = nullptr;
    if (Failed(FindComponentEntry(handle, kDllGetClassObject, entry))) {
        SetMessage(message, "the library " + path + " does not export " + kDllGetClassObject);
        return E_PROCNOTFOUND;
    }
    HRESULT hr = E_FAIL;
    try {
        hr = reinterpret_cast<DllGetClassObjectFn>(entry)(clsid, factory);
    } catch (...) {
        factory.reset();
        SetMessage(message, "the library " + path + " failed while asked for class " + clsid.ToString());
        return CO_E_ERRORINDLL;
    }
    if (Failed(hr)) {
        factory.reset();
        SetMessage(message, "the library " + path + " does not provide class " + clsid.ToString() + ": " +
                                FormatHResult(hr));
        return hr;
    }
    if (!factory) {
        SetMessage(message, "the library " + path + " returned no class factory for " + clsid.ToString());
        return CO_E_ERRORINDLL;
    }
    return S_OK;
}

namespace {

HRESULT CreateFromLocalServer(const Guid& clsid, std::shared_ptr<IDispatch>& object, std::string* message) {
    LocalServer server;
    if (const HRESULT hr = LocalServerOf(clsid, server, message); Failed(hr)) {
        return hr;
    }
    LocalServerActivator activator;
    {
        ActivatorHook& hook = Activator();
        std::lock_guard lock(hook.mutex);
        activator = hook.activator;
    }
    if (!activator) {
        SetMessage(message, "class " + clsid.ToString() + " is served by the program " +
                                server.command.front() +
                                ", which this program cannot start: it has no connection to the session bus");
        return CO_E_SERVER_EXEC_FAILURE;
    }
    HRESULT hr = E_FAIL;
    try {
        hr = activator(server, object, message);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        SetMessage(message, "starting the server of class " + clsid.ToString() + " failed");
        hr = CO_E_SERVER_EXEC_FAILURE;
    }
    if (Succeeded(hr) && !object) {
        SetMessage(message, "the server of class " + clsid.ToString() + " returned no object");
        hr = CO_E_SERVER_EXEC_FAILURE;
    }
    if (Failed(hr)) {
        object.reset();
    }
    return hr;
}

}  // namespace

HRESULT CoCreateInstance(const Guid& clsid, std::shared_ptr<IDispatch>& object, std::string* message) {
    object.reset();
    const std::string classKey = ClassKey(clsid);
    if (!Registry::Default().KeyExists(HKey::ClassesRoot, classKey + "\\InprocServer32") &&
        Registry::Default().KeyExists(HKey::ClassesRoot, classKey + "\\LocalServer32")) {
        return CreateFromLocalServer(clsid, object, message);
    }
    std::shared_ptr<IClassFactory> factory;
    if (const HRESULT hr = CoGetClassObject(clsid, factory, message); Failed(hr)) {
        return hr;
    }
    HRESULT hr = E_FAIL;
    try {
        hr = factory->CreateInstance(object);
    } catch (...) {
        hr = E_FAIL;
    }
    if (Failed(hr) || !object) {
        object.reset();
        if (Succeeded(hr)) {
            hr = E_NOINTERFACE;
        }
        SetMessage(message,
                   "an object of class " + clsid.ToString() + " could not be created: " + FormatHResult(hr));
        return hr;
    }
    return S_OK;
}

HRESULT CreateByProgID(std::string_view progId, std::shared_ptr<IDispatch>& object, std::string* message) {
    object.reset();
    Guid clsid;
    if (const HRESULT hr = CLSIDFromProgID(progId, clsid); Failed(hr)) {
        SetMessage(message, "no class is registered under the name \"" + std::string(progId) + "\"");
        return hr;
    }
    return CoCreateInstance(clsid, object, message);
}

}  // namespace platform::automation
