// The component entries of libquillet.so: the class factory of the terminal control and its
// self-registration under the control's CLSID and ProgID.
#include <QCoreApplication>
#include <QThread>

#include "platform/automation/class_registry.h"
#include "platform/automation/component.h"
#include "terminal/pages/page_widgets.h"
#include "terminal/quillet/quillet_ctrl.h"

namespace {

using namespace platform::automation;

// OLEMISC_ACTIVATEWHENVISIBLE | SETCLIENTSITEFIRST | INSIDEOUT | CANTLINKINSIDE | RECOMPOSEONRESIZE.
constexpr const char* kMiscStatus = "131473";

const ClassRegistration kClasses[] = {
    {terminal::kQuilletClsid,
     std::string(terminal::kQuilletProgId),
     std::string(terminal::kQuilletTypeName),
     "",
     "Apartment",
     {{"Control", ""},
      {"MiscStatus", "0"},
      {"MiscStatus\\1", kMiscStatus},
      {"ToolboxBitmap32", "3"},
      {"TypeLib", terminal::kQuilletTypeLibId.ToString()},
      {"Version", "1.0"}}},
};

// The control, then its property pages.
std::vector<ClassRegistration> AllClasses() {
    std::vector<ClassRegistration> classes(std::begin(kClasses), std::end(kClasses));
    for (ClassRegistration& page : terminal::pages::PageRegistrations()) {
        classes.push_back(std::move(page));
    }
    return classes;
}

std::shared_ptr<IDispatch> MakeControl() {
    // The control is a widget: it can only be made on the application's user-interface thread.
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        throw DispatchError(E_UNEXPECTED, "Quillet Control needs the application's user-interface thread");
    }
    return terminal::CreateQuilletCtrl();
}

}  // namespace

HRESULT DllGetClassObject(const Guid& clsid, std::shared_ptr<IClassFactory>& factory) {
    if (clsid == terminal::kQuilletClsid) {
        factory = std::make_shared<ClassFactory>(MakeControl);
        return S_OK;
    }
    if (auto page = terminal::pages::PageClassFactory(clsid)) {
        factory = std::move(page);
        return S_OK;
    }
    factory.reset();
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT DllRegisterServer() {
    const std::vector<ClassRegistration> classes = AllClasses();
    return RegisterServer(classes, reinterpret_cast<const void*>(&DllRegisterServer));
}

HRESULT DllUnregisterServer() {
    const std::vector<ClassRegistration> classes = AllClasses();
    return UnregisterServer(classes);
}
