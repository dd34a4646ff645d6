// The control's events: what it fires through _DQuilletEvents to its container.
#include "terminal/quillet/quillet_ctrl.h"

namespace terminal {

namespace automation = platform::automation;
using automation::Variant;

void CQuilletCtrl::Fire(QuilletEvent event, std::span<const Variant> args) {
    FireEvent(kQuilletEventsIid, static_cast<DISPID>(event), args);
}

void CQuilletCtrl::FireShowContainer(int eventFd) {
    const Variant args[] = {Variant::I4(eventFd)};
    Fire(QuilletEvent::ShowContainer, args);
}

void CQuilletCtrl::FireSorelExit() {
    Fire(QuilletEvent::SorelExit);
}

void CQuilletCtrl::FireNewWindow(int32_t pipeHandle, int32_t processId) {
    const Variant args[] = {Variant::I4(pipeHandle), Variant::I4(processId)};
    Fire(QuilletEvent::NewWindow, args);
}

void CQuilletCtrl::FireSetTitle(std::string_view title) {
    const Variant args[] = {Variant::Bstr(std::string(title))};
    Fire(QuilletEvent::SetTitle, args);
}

void CQuilletCtrl::FireSwitchToolbar(int16_t bar) {
    const Variant args[] = {Variant::I2(bar)};
    Fire(QuilletEvent::SwitchToolbar, args);
}

void CQuilletCtrl::FireTamsel(std::string_view text) {
    const Variant args[] = {Variant::Bstr(std::string(text))};
    Fire(QuilletEvent::Tamsel, args);
}

void CQuilletCtrl::FireDisplayErrorBox(std::string_view text) {
    const Variant args[] = {Variant::Bstr(std::string(text))};
    Fire(QuilletEvent::DisplayErrorBox, args);
}

}  // namespace terminal
