// The component entries of libfennick.so: the control's class factory, and its registration with the
// engine's folder, so that a fresh machine finds its engine beside the control.
#include <QCoreApplication>
#include <QThread>
#include <filesystem>

#include "docview/fennick/fennick_window.h"
#include "docview/page_tables.h"
#include "docview/qel_pos.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/component.h"
#include "suite/qt/page_object.h"
#include "suite/registry_settings.h"

namespace {

using namespace platform::automation;

// OLEMISC_ACTIVATEWHENVISIBLE | SETCLIENTSITEFIRST | INSIDEOUT | CANTLINKINSIDE | RECOMPOSEONRESIZE.
constexpr const char* kMiscStatus = "131473";
constexpr const char* kEngineKey = "SOFTWARE\\QEL\\Fennick";

std::vector<ClassRegistration> Classes() {
    ClassRegistration control{fennick::kQelctrlClsid,
                              std::string(fennick::kQelctrlProgId),
                              std::string(fennick::kQelctrlTypeName),
                              "",
                              "Apartment",
                              {{"Control", ""},
                               {"Insertable", ""},
                               {"Programmable", ""},
                               {"MiscStatus", "0"},
                               {"MiscStatus\\1", kMiscStatus},
                               {"ToolboxBitmap32", "1"},
                               {"TypeLib", fennick::kFennickTypeLibId.ToString()},
                               {"Version", "1.0"}},
                              std::string(fennick::kQelctrlVersionIndependentProgId)};
    ClassRegistration position{
        fennick::kQelPosClsid, std::string(fennick::kQelPosProgId), "QelPos Class", "", "Apartment", {}};
    // Registered for hosts that look the names up; this library has no object behind them.
    ClassRegistration io{
        fennick::kQelioClsid, std::string(fennick::kQelioProgId), "qelio Class", "", "Apartment", {}};
    ClassRegistration redirect{fennick::kQelIORedirClsid,
                               std::string(fennick::kQelIORedirProgId),
                               "QelIORedir Class",
                               "",
                               "Apartment",
                               {}};
    std::vector<ClassRegistration> classes = {control, position, io, redirect};
    for (ClassRegistration& page : suite::PageRegistrationsOf(docview::ControlPages()))
        classes.push_back(std::move(page));
    return classes;
}

std::shared_ptr<IDispatch> MakeControl() {
    // The control is a widget: it can only be made on the application's user-interface thread.
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() != app->thread())
        throw DispatchError(E_UNEXPECTED, "qelctrl needs the application's user-interface thread");
    return fennick::CreateFennickControl();
}

}  // namespace

HRESULT DllGetClassObject(const Guid& clsid, std::shared_ptr<IClassFactory>& factory) {
    if (clsid == fennick::kQelctrlClsid) {
        factory = std::make_shared<ClassFactory>(MakeControl);
        return S_OK;
    }
    if (clsid == fennick::kQelPosClsid) {
        factory = std::make_shared<ClassFactory>(
            [] { return std::shared_ptr<IDispatch>(docview::CreateQelPos()); });
        return S_OK;
    }
    if (auto page = suite::PageClassFactoryOf(docview::ControlPages(), clsid)) {
        factory = std::move(page);
        return S_OK;
    }
    factory.reset();
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT DllRegisterServer() {
    const std::vector<ClassRegistration> classes = Classes();
    const auto library = LibraryPathOf(reinterpret_cast<const void*>(&DllRegisterServer));
    if (!library)
        return SELFREG_E_CLASS;
    if (const HRESULT hr = RegisterServer(classes, reinterpret_cast<const void*>(&DllRegisterServer));
        Failed(hr))
        return hr;
    // The engine ships beside the control.
    const std::string folder = std::filesystem::path(*library).parent_path().string();
    if (suite::RegWriteValue(platform::HKey::LocalMachine, kEngineKey, "FilterPath", platform::RegType::Sz,
                             folder.c_str(), static_cast<uint32_t>(folder.size() + 1)) != 0) {
        UnregisterServer(classes);
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

HRESULT DllUnregisterServer() {
    const std::vector<ClassRegistration> classes = Classes();
    return UnregisterServer(classes);
}
