// The class registry: CLSID and ProgID entries in the registry store laid out as Windows keeps them under
// HKEY_CLASSES_ROOT, lookups from ProgID to CLSID to library, and creation of objects from in-process
// component libraries loaded with dlopen (and never unloaded, as objects and factories point into them).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/component.h"

namespace platform::automation {

// Where registration writes: the user's HKCU\Software\Classes (the default, no machine rights needed) or the
// machine's HKLM\SOFTWARE\Classes. Lookups read HKEY_CLASSES_ROOT, the user's entries over the machine's.
enum class RegistrationScope { User, Machine };

// How a class is served: a library loaded into the caller, or a program of its own reached over the session
// bus, one process per object.
enum class ServerKind { InProcess, LocalServer };

// A key below HKCR\CLSID\{clsid} with its default value ("Control", "MiscStatus\1", "TypeLib"...).
struct ClassSubkey {
    std::string subkey;
    std::string defaultValue;
};

struct ClassRegistration {
    Guid clsid;
    std::string progId;       // may be empty: the class then has no ProgID keys
    std::string typeName;     // default value of the CLSID and ProgID keys
    std::string libraryPath;  // absolute; RegisterServer fills it in from the library itself
    std::string threadingModel = "Apartment";
    std::vector<ClassSubkey> subkeys;
    // May be empty; else HKCR\<it> names the class too, with CurVer naming the ProgID.
    std::string versionIndependentProgId = {};
    ServerKind kind = ServerKind::InProcess;
    // For a local server: the program (absolute) and the well-known bus name each of its processes takes
    // with ".p<pid>" appended.
    std::string programPath = {};
    std::string busName = {};
};

// Writes HKCR\CLSID\{clsid} (default = type name; InprocServer32 default = library path and ThreadingModel,
// or for a local server LocalServer32 default = quoted program path and "BusName"; ProgID default = ProgID;
// the extra subkeys) and HKCR\<ProgID> (default = type name; CLSID default = {clsid}), and the
// version-independent ProgID when there is one. Stale keys of an earlier registration of the class in the
// same scope are removed first. E_INVALIDARG for a null CLSID, a ProgID that cannot be a key name, a relative
// library or program path, or a bus name that is not one; REGDB_E_WRITEREGDB when the hive cannot be written.
HRESULT RegisterClass(const ClassRegistration& registration, RegistrationScope scope,
                      std::string* message = nullptr);
// Removes HKCR\CLSID\{clsid} and, when it still names this class, HKCR\<ProgID>, from that scope only.
// A class that is not registered there is not an error.
HRESULT UnregisterClass(const Guid& clsid, std::string_view progId, RegistrationScope scope,
                        std::string* message = nullptr);

// The scope the registration tool asks for: "machine" in CARROWLINE_REGISTER_SCOPE, else the user's.
inline constexpr const char* kRegisterScopeVariable = "CARROWLINE_REGISTER_SCOPE";
RegistrationScope RequestedRegistrationScope();
// The absolute path of the loaded library (or program) that holds `address`.
std::optional<std::string> LibraryPathOf(const void* address);
// For a component's DllRegisterServer: registers every class with the path of the library that holds
// `addressInLibrary`, in the requested scope. SELFREG_E_CLASS when a class cannot be registered; the classes
// written before it are removed again.
HRESULT RegisterServer(std::span<const ClassRegistration> classes, const void* addressInLibrary);
// For DllUnregisterServer: SELFREG_E_CLASS when a class cannot be removed.
HRESULT UnregisterServer(std::span<const ClassRegistration> classes);

// CO_E_CLASSSTRING when no class is registered under the name (or it is not a valid name).
HRESULT CLSIDFromProgID(std::string_view progId, Guid& clsid);
// REGDB_E_CLASSNOTREG when the class or its ProgID is not registered.
HRESULT ProgIDFromCLSID(const Guid& clsid, std::string& progId);
// The registered in-process library of the class (REG_EXPAND_SZ expanded). REGDB_E_CLASSNOTREG when the
// class or its InprocServer32 key is missing; E_MODNOTFOUND when the path is empty or relative.
HRESULT InprocServerPath(const Guid& clsid, std::string& path, std::string* message = nullptr);

// A class served by a program: the command line registered under LocalServer32 split into the program and
// its arguments (the activator appends "-Embedding"), and the bus name.
struct LocalServer {
    Guid clsid;
    std::vector<std::string> command;  // never empty; command[0] is absolute
    std::string busName;
};
// REGDB_E_CLASSNOTREG when the class or its LocalServer32 key is missing; E_MODNOTFOUND when the program is
// not an absolute path; CO_E_BADPATH when the bus name is missing or not a valid one.
HRESULT LocalServerOf(const Guid& clsid, LocalServer& server, std::string* message = nullptr);
// A well-known bus name with room for the ".p<pid>" suffix: two or more dot-separated elements of letters,
// digits, "_" and "-", none starting with a digit.
bool IsValidBusName(std::string_view name);

// Starts a local server and connects to its object. The core cannot reach the bus, so the program's bus
// layer installs this; without it, creating a local-server class fails with CO_E_SERVER_EXEC_FAILURE.
using LocalServerActivator = std::function<HRESULT(const LocalServer& server,
                                                   std::shared_ptr<IDispatch>& object, std::string* message)>;
// Replaces the hook (an empty function removes it). Thread-safe.
void SetLocalServerActivator(LocalServerActivator activator);

// Loads a library once per path (RTLD_NOW | RTLD_LOCAL) and keeps it: E_MODNOTFOUND when it cannot load.
HRESULT LoadComponentLibrary(const std::string& path, void*& handle, std::string* message = nullptr);
// E_PROCNOTFOUND when the library does not export `name`.
HRESULT FindComponentEntry(void* handle, const char* name, void*& entry, std::string* message = nullptr);

// The class factory of a registered class, from its library's DllGetClassObject.
HRESULT CoGetClassObject(const Guid& clsid, std::shared_ptr<IClassFactory>& factory,
                         std::string* message = nullptr);
// A new object of a registered class, as its dispatch interface: from its in-process library when it has
// one, else from its local server through the installed activator. Every failure names its cause in
// `message`: not registered, library missing or not loadable, entry missing, class not in the library,
// no activator, the server not started, creation failed.
HRESULT CoCreateInstance(const Guid& clsid, std::shared_ptr<IDispatch>& object,
                         std::string* message = nullptr);
HRESULT CreateByProgID(std::string_view progId, std::shared_ptr<IDispatch>& object,
                       std::string* message = nullptr);

}  // namespace platform::automation
