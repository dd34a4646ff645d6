// Notifier UIs that record every call as one text, so tests compare call sequences: the protocol's UI and,
// with ticks and started programs too, the controller's view.
#pragma once

#include <string>
#include <vector>

#include "notifier/controller.h"
#include "notifier/ipc_protocol.h"

namespace notifier::testing {

template <class Ui>
class Recording : public Ui {
  public:
    std::vector<std::string> calls;

    void ShowTray() override { calls.push_back("ShowTray"); }
    void HideTray() override { calls.push_back("HideTray"); }
    void SetPopupTexts(std::string_view t1, std::string_view t2) override { Record("SetPopupTexts", t1, t2); }
    void SetProgressPercent(std::string_view text) override { Record("SetProgressPercent", text); }
    void HidePopupAfter(int ms) override { Record("HidePopupAfter", std::to_string(ms)); }
    void ShowPromptDialog(std::string_view buttons, std::string_view caption,
                          std::string_view text) override {
        Record("ShowPromptDialog", buttons, caption, text);
    }
    void DismissDialog() override { calls.push_back("DismissDialog"); }
    void ChangeProduct(std::string_view text, std::string_view product, std::string_view title) override {
        Record("ChangeProduct", text, product, title);
    }
    void Restart(std::string_view argument) override { Record("Restart", argument); }
    void Close() override { calls.push_back("Close"); }

  protected:
    // "Name(a,b)"
    template <class... Args>
    void Record(std::string_view name, const Args&... args) {
        std::string text(name);
        text += '(';
        const char* separator = "";
        ((text += separator, text += std::string_view(args), separator = ","), ...);
        text += ')';
        calls.push_back(std::move(text));
    }
};

using RecordingUi = Recording<NotifierUi>;

// The controller's view: the calls, and the ticks asked for and the programs started beside them.
class RecordingView : public Recording<NotifierView> {
  public:
    std::vector<int> ticks;
    std::vector<std::vector<std::string>> started;

    void CreatePopup() override { calls.push_back("CreatePopup"); }
    void ScheduleTick(int ms) override { ticks.push_back(ms); }
    bool RunCommandLine(const std::vector<std::string>& argv) override {
        started.push_back(argv);
        return true;
    }
};

}  // namespace notifier::testing
