// The container's hold on the terminal control: the control object made by its class id through the class
// registry, its members bound once by name, and one typed wrapper per member the container calls. No
// wrapper lets an exception out: a failed call is logged and answered with its failure.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "container/quillet_contract.h"
#include "platform/automation/connection_point.h"
#include "platform/automation/dispatch.h"

namespace container {

using platform::automation::HRESULT;

class CQuillet {
  public:
    using LogFn = std::function<void(std::string_view)>;

    // `log` receives one line per failed call; null logs to the process debug log.
    explicit CQuillet(LogFn log = nullptr);
    // Releases the control (Close).
    ~CQuillet();
    CQuillet(const CQuillet&) = delete;
    CQuillet& operator=(const CQuillet&) = delete;

    // Creates the control and binds every member by name, in order. The first name the control does not
    // know shows "Error late-binding to QUILLET.QuilletCtrl.1 --Function <index>" and stops the binding.
    bool Attach();
    // Unadvises what is still advised and releases the control. Safe to call twice.
    void Close();

    bool IsAttached() const { return m_control != nullptr; }
    DISPID BoundId(Member member) const { return m_dispids[static_cast<size_t>(member)]; }
    std::shared_ptr<platform::automation::IDispatch> Object() const { return m_control; }
    // Another interface of the control (the widget: kQuilletWidgetIid); null when it has none.
    std::shared_ptr<void> QueryControl(const Guid& iid) const;

    // The event sink on the control's event interface. The point keeps the sink until Unadvise.
    HRESULT Advise(std::shared_ptr<platform::automation::IDispatch> sink);
    HRESULT Unadvise();
    bool IsAdvised() const { return m_cookie != 0; }

    // Property puts and gets. A get that fails or is not bound answers false or 0.
    HRESULT SetBorder(bool value) { return PutBool(Member::Border, value); }
    HRESULT SetToolBars(bool value) { return PutBool(Member::ToolBars, value); }
    HRESULT SetInVarnel(bool value) { return PutBool(Member::InVarnel, value); }
    HRESULT SetIsContainerRunning(bool value) { return PutBool(Member::IsContainerRunning, value); }
    bool IsChainable() { return GetBool(Member::IsChainable); }
    bool Simple() { return GetBool(Member::Simple); }
    bool DirectChainMode() { return GetBool(Member::DirectChainMode); }
    int32_t MinWindowWidth() { return GetLong(Member::MinWindowWidth); }
    int32_t MinWindowHeight() { return GetLong(Member::MinWindowHeight); }
    HRESULT SetNewWindowChainCommand(std::string_view text);

    // Methods. Those without a result answer S_FALSE when the member is not bound.
    HRESULT Send(std::string_view text) { return CallText(Member::Send, text); }
    HRESULT SendToolbarCommand(std::string_view text) { return CallText(Member::SendToolbarCommand, text); }
    HRESULT ShutDownSorel() { return CallPlain(Member::ShutDownSorel); }
    HRESULT VBASetFocus() { return CallPlain(Member::VBASetFocus); }
    HRESULT ShowCalc() { return CallPlain(Member::ShowCalc); }
    HRESULT Activate() { return CallPlain(Member::Activate); }
    HRESULT BootSorel() { return CallPlain(Member::BootSorel); }
    HRESULT SendProcess() { return CallPlain(Member::SendProcess); }
    bool AutoLogin(int32_t pipeHandle, int32_t processId);
    // The control's answer, or the failure code of the call. `commandLine` stays the caller's: the control
    // reads it during the call.
    int32_t Login(int16_t loginType, std::string& commandLine);
    // `printer` is the QPrinter to print the screen on.
    HRESULT Print(void* printer);
    HRESULT PopupMenuItem(int16_t item) { return CallShort(Member::PopupMenuItem, item); }
    HRESULT ForceNewWindow(int16_t force) { return CallShort(Member::ForceNewWindow, force); }
    bool ResizeRequest(int32_t cx, int32_t cy) { return CallSize(Member::ResizeRequest, cx, cy); }
    bool MinimumWindowSize(int32_t cx, int32_t cy) { return CallSize(Member::MinimumWindowSize, cx, cy); }
    // Invoked by their fixed dispids, and only when the name was bound.
    HRESULT EditCopy() { return CallFixed(Member::EditCopy, kEditCopyDispid); }
    HRESULT EditPaste() { return CallFixed(Member::EditPaste, kEditPasteDispid); }
    HRESULT SetFontControl() { return CallFixed(Member::SetFontControl, kSetFontControlDispid); }
    HRESULT EditCustomMenu() { return CallFixed(Member::EditCustomMenu, kEditCustomMenuDispid); }
    HRESULT AboutBox();

  private:
    // Every call goes through here: never throws.
    HRESULT Invoke(std::string_view name, DISPID dispid, platform::automation::InvokeKind kind,
                   std::span<const platform::automation::Variant> args,
                   platform::automation::Variant* result);
    HRESULT InvokeMember(Member member, platform::automation::InvokeKind kind,
                         std::span<const platform::automation::Variant> args,
                         platform::automation::Variant* result);
    HRESULT PutBool(Member member, bool value);
    bool GetBool(Member member);
    int32_t GetLong(Member member);
    HRESULT CallText(Member member, std::string_view text);
    HRESULT CallPlain(Member member);
    HRESULT CallShort(Member member, int16_t value);
    bool CallSize(Member member, int32_t cx, int32_t cy);
    HRESULT CallFixed(Member member, DISPID dispid);
    void Log(std::string_view text) const;

    LogFn m_log;
    std::shared_ptr<platform::automation::IDispatch> m_control;
    std::shared_ptr<platform::automation::ConnectionPoint> m_eventPoint;
    uint32_t m_cookie = 0;
    std::array<DISPID, kMemberCount> m_dispids{};
};

// One line to `log`, or to the process debug log when `log` is null.
void LogLine(const CQuillet::LogFn& log, std::string_view text);

}  // namespace container
