// The scheduler's client library, found with dlopen and kept open once found.
#include "platform/print/cups_library.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>
#include <type_traits>

namespace platform {

const CupsLibrary& CupsLibrary::Get(std::string_view soname) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<CupsLibrary>, std::less<>> loaded;
    std::lock_guard lock(mutex);
    auto at = loaded.find(soname);
    if (at == loaded.end()) {
        const std::string name(soname);
        at = loaded.emplace(name, std::unique_ptr<CupsLibrary>(new CupsLibrary(name))).first;
    }
    return *at->second;
}

CupsLibrary::CupsLibrary(const std::string& soname) {
    // Never closed: the library keeps threads and state of its own that may outlive any one print.
    void* handle = ::dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        m_error = "the print library " + soname + " could not be loaded";
        if (why != nullptr) {
            m_error += std::string(": ") + why;
        }
        return;
    }
    bool complete = true;
    const auto find = [&](auto& function, const char* name) {
        void* symbol = ::dlsym(handle, name);
        if (symbol == nullptr) {
            if (complete) {
                m_error = "the print library " + soname + " has no " + name;
            }
            complete = false;
            return;
        }
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(symbol);
    };
#define CARROWLINE_CUPS_FIND(name) find(name, #name)
    CARROWLINE_CUPS_FIND(httpClose);
    CARROWLINE_CUPS_FIND(httpConnect2);
    CARROWLINE_CUPS_FIND(httpAssembleURIf);
    CARROWLINE_CUPS_FIND(cupsFreeDests);
    CARROWLINE_CUPS_FIND(cupsFreeDestInfo);
    CARROWLINE_CUPS_FIND(cupsLastErrorString);
    CARROWLINE_CUPS_FIND(cupsLastError);
    CARROWLINE_CUPS_FIND(cupsServer);
    CARROWLINE_CUPS_FIND(cupsEncryption);
    CARROWLINE_CUPS_FIND(cupsUser);
    CARROWLINE_CUPS_FIND(cupsGetNamedDest);
    CARROWLINE_CUPS_FIND(cupsCopyDestInfo);
    CARROWLINE_CUPS_FIND(cupsGetOption);
    CARROWLINE_CUPS_FIND(cupsGetJobs2);
    CARROWLINE_CUPS_FIND(cupsFreeJobs);
    CARROWLINE_CUPS_FIND(cupsCreateDestJob);
    CARROWLINE_CUPS_FIND(cupsCancelDestJob);
    CARROWLINE_CUPS_FIND(cupsStartDestDocument);
    CARROWLINE_CUPS_FIND(cupsWriteRequestData);
    CARROWLINE_CUPS_FIND(cupsFinishDestDocument);
    CARROWLINE_CUPS_FIND(cupsDoRequest);
    CARROWLINE_CUPS_FIND(ippDelete);
    CARROWLINE_CUPS_FIND(ippErrorString);
    CARROWLINE_CUPS_FIND(ippEnumString);
    CARROWLINE_CUPS_FIND(ippPort);
    CARROWLINE_CUPS_FIND(ippNewRequest);
    CARROWLINE_CUPS_FIND(ippAddString);
    CARROWLINE_CUPS_FIND(ippAddStrings);
    CARROWLINE_CUPS_FIND(ippAddInteger);
    CARROWLINE_CUPS_FIND(ippFindAttribute);
    CARROWLINE_CUPS_FIND(ippGetCount);
    CARROWLINE_CUPS_FIND(ippGetString);
    CARROWLINE_CUPS_FIND(ippGetInteger);
#undef CARROWLINE_CUPS_FIND
}

}  // namespace platform
