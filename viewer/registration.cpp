// Self-registration of the viewer.
#include "viewer/registration.h"

#include "platform/known_folders.h"
#include "viewer/lumetra_doc.h"

namespace viewer {

namespace automation = platform::automation;

automation::ClassRegistration LumetraRegistration(std::string programPath) {
    automation::ClassRegistration r{kLumetraClsid, kLumetraProgId, kLumetraTypeName, "", "Apartment", {}};
    r.kind = automation::ServerKind::LocalServer;
    r.programPath = std::move(programPath);
    r.busName = kLumetraBusName;
    return r;
}

automation::HRESULT RegisterLumetra(std::string* message) {
    const std::string program = (platform::ProgramFolder() / platform::ProgramFileName()).string();
    return automation::RegisterClass(LumetraRegistration(program), automation::RequestedRegistrationScope(),
                                     message);
}

}  // namespace viewer
