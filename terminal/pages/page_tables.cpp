// The page tables of the control's property pages.
#include "terminal/pages/page_tables.h"

#include <array>
#include <string>
#include <vector>

#include "suite/registry_settings.h"
#include "terminal/control/quillet_properties.h"

namespace terminal::pages {

using platform::automation::Variant;

namespace {

Variant Text(std::string_view text) {
    return Variant::Bstr(std::string(text));
}

PageField Make(int32_t id, std::string label, FieldKind kind, std::string property, std::string localProperty,
               Variant initial, NumberKind number = NumberKind::Int16,
               std::vector<std::string> choices = {}) {
    PageField field;
    field.id = id;
    field.label = std::move(label);
    field.kind = kind;
    field.property = std::move(property);
    field.localProperty = std::move(localProperty);
    field.initial = std::move(initial);
    field.number = number;
    field.choices = std::move(choices);
    return field;
}

// A page whose class goes by the progId Quillet.<className>.
PageDefinition MakePage(std::string className, const Guid& clsid, std::string caption,
                        std::string registrationName, int32_t dialogId, std::vector<PageField> fields) {
    PageDefinition page;
    page.progId = "Quillet." + className;
    page.className = std::move(className);
    page.clsid = clsid;
    page.caption = std::move(caption);
    page.registrationName = std::move(registrationName);
    page.dialogId = dialogId;
    page.fields = std::move(fields);
    return page;
}

PageDefinition MakeConnectPage() {
    std::vector<PageField> fields = {
        Make(202, "SorelProgs", FieldKind::Text, "RemoteSorelProgs", "LocalSorelProgs",
             Text(kDefaultSorelProgs)),
        Make(205, "SorelData", FieldKind::Text, "RemoteDataSet", "LocalDataSet", Text(kDefaultDataSet)),
        Make(204, "Host", FieldKind::Text, "RemoteHost", "", Text(kDefaultRemoteHost)),
        Make(207, "Port", FieldKind::Number, "RemotePort", "", Variant::I4(8002), NumberKind::Port),
        Make(208, "Env", FieldKind::Text, "RemoteEnviro", "", Text("")),
        Make(215, "Term", FieldKind::Number, "RemoteTerm", "LocalTerm", Variant::I4(1)),
        // The printer shows the connection's own printer: a remote connector's edits must not go nowhere.
        Make(216, "Printer", FieldKind::Number, "RemotePrinter", "LocalPrinter", Variant::I4(1)),
        Make(201, "Connector", FieldKind::Choice, "Connector", "", Text(kRemoteConnector), NumberKind::Int16,
             {std::string(kLocalConnector), std::string(kRemoteConnector)}),
    };
    PageDefinition page =
        MakePage("CPPConnect", kConnectPageClsid, "Connect", "Connect Property Page", 105, std::move(fields));
    page.switchProperty = "Connector";
    page.switchLocalValue = kLocalConnector;
    return page;
}

PageDefinition MakeDisplayPage() {
    std::vector<PageField> fields = {
        Make(212, "FontName", FieldKind::Text, "FontName", "", Text(suite::kDefaultFontFace)),
        Make(214, "FontSize", FieldKind::Number, "FontSize", "", Variant::I4(9)),
        Make(215, "Background Color", FieldKind::Text, "BackgroundColor", "", Text("")),
        Make(217, "Border Frame", FieldKind::Check, "Border", "", Variant::Bool(true)),
        Make(213, "Status Bar", FieldKind::Check, "StatusBar", "", Variant::Bool(false)),
        Make(216, "Simple", FieldKind::Check, "Simple", "", Variant::Bool(false)),
        Make(218, "Post Close On Sorel Exit", FieldKind::Check, "PostCloseOnSorelExit", "",
             Variant::Bool(false)),
    };
    return MakePage("CPPDisplay", kDisplayPageClsid, "Display", "Display", 212, std::move(fields));
}

PageDefinition MakeLoginPage() {
    std::vector<PageField> fields = {
        Make(207, "Sorel User Number", FieldKind::Number, "AuthSorelUser", "", Variant::I4(0),
             NumberKind::Int32),
        Make(208, "Sorel Password", FieldKind::Secret, "AuthSorelPassword", "", Text("")),
        Make(209, "OS User Name", FieldKind::Text, "AuthOsUser", "", Text("")),
        Make(210, "OS User Password", FieldKind::Secret, "AuthOsPassword", "", Text("")),
        Make(217, "Run Command", FieldKind::Text, "RunProgram", "", Text("")),
    };
    return MakePage("CPPLogin", kLoginPageClsid, "Login", "Login Property Page", 211, std::move(fields));
}

}  // namespace

const PageDefinition& ConnectPage() {
    static const PageDefinition page = MakeConnectPage();
    return page;
}

const PageDefinition& DisplayPage() {
    static const PageDefinition page = MakeDisplayPage();
    return page;
}

const PageDefinition& LoginPage() {
    static const PageDefinition page = MakeLoginPage();
    return page;
}

std::span<const PageDefinition* const> ControlPages() {
    static const std::array<const PageDefinition*, 3> pages = {&ConnectPage(), &DisplayPage(), &LoginPage()};
    return pages;
}

const PageDefinition* FindPage(const Guid& clsid) {
    for (const PageDefinition* page : ControlPages()) {
        if (page->clsid == clsid) {
            return page;
        }
    }
    return nullptr;
}

}  // namespace terminal::pages
