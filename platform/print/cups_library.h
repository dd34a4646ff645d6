// The print scheduler's client library, loaded when a print first needs it rather than with a program's
// libraries: it brings its own TLS, Kerberos and service-discovery libraries, which cost every start of a
// control several milliseconds and are needed only when something is printed.
#pragma once

#include <cups/cups.h>

#include <string>
#include <string_view>

namespace platform {

struct CupsLibrary {
    static constexpr std::string_view kSoname = "libcups.so.2";

    // The library by `soname`, loaded at the first call for that name and kept for the process's life;
    // thread-safe. When it or one of its functions cannot be found, `Loaded()` is false, `Error()` says
    // why, and no function of it may be called.
    static const CupsLibrary& Get(std::string_view soname = kSoname);

    bool Loaded() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }

    decltype(&::httpClose) httpClose = nullptr;
    decltype(&::httpConnect2) httpConnect2 = nullptr;
    decltype(&::httpAssembleURIf) httpAssembleURIf = nullptr;
    decltype(&::cupsFreeDests) cupsFreeDests = nullptr;
    decltype(&::cupsFreeDestInfo) cupsFreeDestInfo = nullptr;
    decltype(&::cupsLastErrorString) cupsLastErrorString = nullptr;
    decltype(&::cupsLastError) cupsLastError = nullptr;
    decltype(&::cupsServer) cupsServer = nullptr;
    decltype(&::cupsEncryption) cupsEncryption = nullptr;
    decltype(&::cupsUser) cupsUser = nullptr;
    decltype(&::cupsGetNamedDest) cupsGetNamedDest = nullptr;
    decltype(&::cupsCopyDestInfo) cupsCopyDestInfo = nullptr;
    decltype(&::cupsGetOption) cupsGetOption = nullptr;
    decltype(&::cupsGetJobs2) cupsGetJobs2 = nullptr;
    decltype(&::cupsFreeJobs) cupsFreeJobs = nullptr;
    decltype(&::cupsCreateDestJob) cupsCreateDestJob = nullptr;
    decltype(&::cupsCancelDestJob) cupsCancelDestJob = nullptr;
    decltype(&::cupsStartDestDocument) cupsStartDestDocument = nullptr;
    decltype(&::cupsWriteRequestData) cupsWriteRequestData = nullptr;
    decltype(&::cupsFinishDestDocument) cupsFinishDestDocument = nullptr;
    decltype(&::cupsDoRequest) cupsDoRequest = nullptr;
    decltype(&::ippDelete) ippDelete = nullptr;
    decltype(&::ippErrorString) ippErrorString = nullptr;
    decltype(&::ippEnumString) ippEnumString = nullptr;
    decltype(&::ippPort) ippPort = nullptr;
    decltype(&::ippNewRequest) ippNewRequest = nullptr;
    decltype(&::ippAddString) ippAddString = nullptr;
    decltype(&::ippAddStrings) ippAddStrings = nullptr;
    decltype(&::ippAddInteger) ippAddInteger = nullptr;
    decltype(&::ippFindAttribute) ippFindAttribute = nullptr;
    decltype(&::ippGetCount) ippGetCount = nullptr;
    decltype(&::ippGetString) ippGetString = nullptr;
    decltype(&::ippGetInteger) ippGetInteger = nullptr;

  private:
    explicit CupsLibrary(const std::string& soname);
    std::string m_error;
};

}  // namespace platform
