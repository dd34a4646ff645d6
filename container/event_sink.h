// The container's event sink: the ten events of the control's event interface, at the dispids the control
// fires them with, each handed to the container's handler with its arguments checked and converted.
#pragma once

#include <cstdint>
#include <string_view>

#include "container/quillet_contract.h"
#include "platform/automation/dispatch_object.h"

namespace container {

class QuilletEventHandler {
  public:
    virtual ~QuilletEventHandler() = default;
    virtual void OnSorelExit() = 0;
    virtual void OnNewWindow(int32_t pipeHandle, int32_t processId) = 0;
    virtual void OnTamsel(std::string_view text) = 0;
    virtual void OnShowContainer(int32_t eventHandle) = 0;
    virtual void OnSwitchToolbar(int16_t bar) = 0;
    // Null when the control passed no record.
    virtual void OnPopupMenu(const PopupMenuData* data) = 0;
    virtual void OnSetTitle(std::string_view title) = 0;
    virtual void OnSetFont(std::string_view unused) = 0;
    // The first entry of the control's table, or null; valid only during the call.
    virtual void OnSetMenuStrings(const MenuStringEntry* table) = 0;
    virtual void OnDisplayErrorBox(std::string_view text) = 0;
};

class CQuilletSnk : public platform::automation::DispatchObject {
  public:
    // `handler` must outlive the sink's advise.
    explicit CQuilletSnk(QuilletEventHandler& handler);
};

}  // namespace container
