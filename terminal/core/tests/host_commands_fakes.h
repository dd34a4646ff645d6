// Fakes for the host command tests: a control that writes every action into one ordered log, a message box
// prompt that writes into the same log, and a local pipe whose session operations are recorded instead of
// starting windows.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "hostlink/local_pipe.h"
#include "hostlink/tests/fake_owner.h"
#include "platform/user_prompt.h"
#include "terminal/core/host_commands.h"

namespace terminal::testing {

using Log = std::vector<std::string>;

// The session operations a command reaches, written into the shared log.
class RecordingPipe : public hostlink::CLocalPipe {
  public:
    explicit RecordingPipe(Log& log) : m_log(log) {}

    bool StartNewSession(std::string_view runText) override {
        m_log.push_back("pipe StartNewSession(" + std::string(runText) + ")");
        return true;
    }
    void SetDataSet(std::string_view dataSet) override {
        m_log.push_back("pipe SetDataSet(" + std::string(dataSet) + ")");
    }
    void SwitchMsoSession(std::string_view s1, std::string_view s2, std::string_view s3) override {
        m_log.push_back("pipe SwitchMsoSession(" + Join({s1, s2, s3}) + ")");
    }
    void SwitchBillingSession(std::string_view s1, std::string_view s2, std::string_view s3,
                              std::string_view s4) override {
        m_log.push_back("pipe SwitchBillingSession(" + Join({s1, s2, s3, s4}) + ")");
    }
    void SetHost(std::string_view host) override {
        m_log.push_back("pipe SetHost(" + std::string(host) + ")");
    }
    void SetAppUser(int32_t user, std::string_view password) override {
        m_log.push_back("pipe SetAppUser(" + std::to_string(user) + "|" + std::string(password) + ")");
        if (m_owner != nullptr) {
            m_owner->SetAppUser(user, password);
        }
    }

  private:
    static std::string Join(std::initializer_list<std::string_view> parts) {
        std::string out;
        for (std::string_view part : parts) {
            if (!out.empty()) {
                out += '|';
            }
            out += part;
        }
        return out;
    }

    Log& m_log;
};

// Message boxes, in order with everything else the commands do.
class LoggingPrompt : public platform::RecordingPrompt {
  public:
    explicit LoggingPrompt(Log& log) : m_log(log) {}
    platform::PromptResult Show(const platform::PromptRequest& request) override {
        m_log.push_back("box " + request.text);
        return RecordingPrompt::Show(request);
    }

  private:
    Log& m_log;
};

class RecordingSink : public HostCommandSink {
  public:
    void WriteToHost(std::string_view bytes) override { m_log.push_back("write " + std::string(bytes)); }
    void Beep() override { m_log.push_back("beep"); }
    void LogLine(std::string_view text) override { m_debug.push_back(std::string(text)); }
    hostlink::CCommPipe* Pipe() override { return m_pipe; }

    bool InVarnel() const override { return m_inVarnel; }
    bool ShowsOwnToolbars() const override { return m_ownToolbars; }
    std::string NewWindowChainCommand() const override { return m_chainCommand; }

    void FireSetTitle(std::string_view title) override { m_log.push_back("SetTitle " + std::string(title)); }
    void FireSwitchToolbar(int16_t bar) override {
        m_log.push_back("SwitchToolbar event " + std::to_string(bar));
    }
    void FireTamsel(std::string_view text) override { m_log.push_back("Tamsel " + std::string(text)); }
    void FireDisplayErrorBox(std::string_view text) override {
        m_log.push_back("DisplayErrorBox " + std::string(text));
    }

    void SwitchOwnToolbar(int32_t bar) override { m_log.push_back("own toolbar " + std::to_string(bar)); }
    void SetChainable(int32_t value) override { m_log.push_back("chainable " + std::to_string(value)); }
    void RequestCalendar(const CalendarDate& date) override {
        m_log.push_back("calendar");
        m_dates.push_back(date);
    }
    void RequestCreateObject(std::string progId) override { m_log.push_back("create object " + progId); }
    void RequestCallObject(std::string request) override { m_log.push_back("call object " + request); }
    void RequestReleaseObject(int32_t index) override {
        m_log.push_back("release object " + std::to_string(index));
    }
    void BringToForeground() override { m_log.push_back("foreground"); }
    void OpenNewWindow(std::string_view switchText) override {
        m_log.push_back("new window [" + std::string(switchText) + "]");
    }
    void ApplicationUserChanged(int32_t user, std::string_view password) override {
        m_log.push_back("app user " + std::to_string(user) + "|" + std::string(password));
    }
    void PrintFile(std::string printer, std::filesystem::path file) override {
        m_log.push_back("print [" + printer + "] " + file.filename().string() +
                        (m_screen != nullptr && !m_screen->PaintingOn() ? " (painting off)" : ""));
        m_printed.push_back(file);
        if (m_printThrows) {
            throw std::runtime_error("spooler gone");
        }
    }
    bool OpenField(std::string_view description, const CellGeometry& geometry) override {
        m_log.push_back("field " + std::string(description));
        m_geometries.push_back(geometry);
        return true;
    }
    hostlink::PipeOwner& TransferOwner() override { return m_transferOwner; }
    void KeepTransfer(hostlink::FileXferThread transfer) override {
        m_log.push_back("transfer started");
        m_transfers.push_back(std::move(transfer));
    }

    Log m_log;
    Log m_debug;
    hostlink::CCommPipe* m_pipe = nullptr;
    const CTerminalScreen* m_screen = nullptr;
    bool m_inVarnel = false;
    bool m_ownToolbars = false;
    bool m_printThrows = false;
    std::string m_chainCommand;
    std::vector<CalendarDate> m_dates;
    std::vector<std::filesystem::path> m_printed;
    std::vector<CellGeometry> m_geometries;
    hostlink::testing::FakeOwner m_transferOwner;
    std::vector<hostlink::FileXferThread> m_transfers;
};

}  // namespace terminal::testing
