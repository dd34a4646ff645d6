// The event table of the container's sink.
#include "container/event_sink.h"

#include <string>

namespace container {

using namespace platform::automation;

namespace {

DISPID Id(QuilletEvent event) {
    return static_cast<DISPID>(event);
}

}  // namespace

CQuilletSnk::CQuilletSnk(QuilletEventHandler& handler) : DispatchObject({}, {kQuilletEventsIid}) {
    QuilletEventHandler* h = &handler;
    const auto none = [](auto&& body) {
        return [body](std::span<const Variant> args) {
            body(args);
            return Variant();
        };
    };
    Table()
        .Method("SorelExit", Id(QuilletEvent::SorelExit), {}, VarType::Empty,
                none([h](std::span<const Variant>) { h->OnSorelExit(); }))
        .Method("NewWindow", Id(QuilletEvent::NewWindow), {{VarType::I4}, {VarType::I4}}, VarType::Empty,
                none([h](std::span<const Variant> a) { h->OnNewWindow(a[0].AsI4(), a[1].AsI4()); }))
        .Method("Tamsel", Id(QuilletEvent::Tamsel), {{VarType::Bstr}}, VarType::Empty,
                none([h](std::span<const Variant> a) { h->OnTamsel(a[0].AsBstr()); }))
        .Method("ShowContainer", Id(QuilletEvent::ShowContainer), {{VarType::I4}}, VarType::Empty,
                none([h](std::span<const Variant> a) { h->OnShowContainer(a[0].AsI4()); }))
        .Method("SwitchToolbar", Id(QuilletEvent::SwitchToolbar), {{VarType::I2}}, VarType::Empty,
                none([h](std::span<const Variant> a) { h->OnSwitchToolbar(a[0].AsI2()); }))
        .Method("PopupMenu", Id(QuilletEvent::PopupMenu),
                {{VarType::Pointer, false, std::nullopt, std::string(kPopupMenuDataTag)}}, VarType::Empty,
                none([h](std::span<const Variant> a) {
                    h->OnPopupMenu(a[0].AsPointer<const PopupMenuData>(kPopupMenuDataTag));
                }))
        .Method("SetTitle", Id(QuilletEvent::SetTitle), {{VarType::Bstr}}, VarType::Empty,
                none([h](std::span<const Variant> a) { h->OnSetTitle(a[0].AsBstr()); }))
        .Method("SetFont", Id(QuilletEvent::SetFont), {{VarType::Bstr, true, Variant::Bstr("")}},
                VarType::Empty, none([h](std::span<const Variant> a) { h->OnSetFont(a[0].AsBstr()); }))
        .Method("SetMenuStrings", Id(QuilletEvent::SetMenuStrings),
                {{VarType::Pointer, false, std::nullopt, std::string(kMenuStringEntryTag)}}, VarType::Empty,
                none([h](std::span<const Variant> a) {
                    h->OnSetMenuStrings(a[0].AsPointer<const MenuStringEntry>(kMenuStringEntryTag));
                }))
        .Method("DisplayErrorBox", Id(QuilletEvent::DisplayErrorBox), {{VarType::Bstr}}, VarType::Empty,
                none([h](std::span<const Variant> a) { h->OnDisplayErrorBox(a[0].AsBstr()); }));
}

}  // namespace container
