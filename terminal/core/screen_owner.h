// The host commands that reach beyond the screen, as the control implements them: the screen scans and
// checks each command's parameters and calls one of these with them. Replies to the host go through Reply so
// that they join the control's one ordered write path. All calls come on the window thread, during Feed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace terminal {

class ScreenOwner {
  public:
    virtual ~ScreenOwner() = default;

    // Raw bytes for the host, unframed: 0x04, "Y" or "N".
    virtual void Reply(std::string_view bytes) = 0;
    // BEL: the exclamation beep.
    virtual void Beep() = 0;

    virtual void OpenOperatorsGuide(std::string document) = 0;    // A
    virtual void StartFileTransfer(std::string description) = 0;  // B
    // E: the expected digest, when one is set, is the screen's ExpectedDigest(); the owner clears it once
    // used.
    virtual void OpenHostFile(std::string path) = 0;
    // e: the screen has already kept the first 32 characters as its expected digest.
    virtual void ExpectDigest(std::string digest) = 0;
    virtual void ShowHostMessage(std::string text) = 0;      // I, after the screen replied 0x04
    virtual void DisplayErrorBox(std::string text) = 0;      // P, after the screen replied 0x04
    virtual void SwitchPractice(std::string text) = 0;       // L: kind 0x02 s1 0x02 s2 0x02 rest
    virtual void SetHost(std::string text) = 0;              // M
    virtual void SetDataSet(std::string text) = 0;           // Q
    virtual void StartProgram(std::string commandLine) = 0;  // N
    virtual void SetTitle(std::string title) = 0;            // O
    // V: the screen has already made `toolbar` its current toolbar.
    virtual void SwitchToolbar(int32_t toolbar) = 0;
    // R: MMDDYYYY as the host sent it, or none; the owner checks the date's ranges.
    virtual void OpenCalendar(std::optional<int32_t> date) = 0;
    virtual void AppendTerminalId(int32_t number) = 0;                      // X
    virtual void SetTerminalId(std::variant<int32_t, std::string> id) = 0;  // Y
    virtual void SetChainable(int32_t value) = 0;                           // Z
    virtual void OpenField(std::string description) = 0;                    // a
    virtual void CreateObject(std::string request) = 0;                     // c
    virtual void CallObject(std::string request) = 0;                       // i
    virtual void ReleaseObject(int32_t index) = 0;                          // d
    virtual void BringToForeground() = 0;                                   // f
    virtual void NewWindow(int32_t value) = 0;                              // k
    virtual void Tamsel(std::string text) = 0;                              // n
    virtual void SetBillingServer(int32_t id) = 0;                          // o
    // p: the screen switches painting off around the call and back on (with a full redraw) afterwards,
    // whatever the print job's outcome.
    virtual void PrintHostFile(std::string text) = 0;
    virtual void ApplicationUserChanged(std::string text) = 0;  // u: number 0x20 password
};

// Ignores every command: for a screen that has no control behind it.
class NullScreenOwner : public ScreenOwner {
  public:
    void Reply(std::string_view) override {}
    void Beep() override {}
    void OpenOperatorsGuide(std::string) override {}
    void StartFileTransfer(std::string) override {}
    void OpenHostFile(std::string) override {}
    void ExpectDigest(std::string) override {}
    void ShowHostMessage(std::string) override {}
    void DisplayErrorBox(std::string) override {}
    void SwitchPractice(std::string) override {}
    void SetHost(std::string) override {}
    void SetDataSet(std::string) override {}
    void StartProgram(std::string) override {}
    void SetTitle(std::string) override {}
    void SwitchToolbar(int32_t) override {}
    void OpenCalendar(std::optional<int32_t>) override {}
    void AppendTerminalId(int32_t) override {}
    void SetTerminalId(std::variant<int32_t, std::string>) override {}
    void SetChainable(int32_t) override {}
    void OpenField(std::string) override {}
    void CreateObject(std::string) override {}
    void CallObject(std::string) override {}
    void ReleaseObject(int32_t) override {}
    void BringToForeground() override {}
    void NewWindow(int32_t) override {}
    void Tamsel(std::string) override {}
    void SetBillingServer(int32_t) override {}
    void PrintHostFile(std::string) override {}
    void ApplicationUserChanged(std::string) override {}
};

}  // namespace terminal
