// A notifier UI that records every call as one text, so tests compare call sequences.
#pragma once

#include <string>
#include <vector>

#include "notifier/ipc_protocol.h"

namespace notifier::testing {

class RecordingUi : public NotifierUi {
  public:
    std::vector<std::string> calls;

    void ShowTray() override { calls.push_back("ShowTray"); }
    void HideTray() override { calls.push_back("HideTray"); }
    void SetPopupTexts(const std::string& t1, const std::string& t2) override {
        calls.push_back("SetPopupTexts(" + t1 + "," + t2 + ")");
    }
    void SetProgressPercent(const std::string& text) override {
        calls.push_back("SetProgressPercent(" + text + ")");
    }
    void HidePopupAfter(int ms) override { calls.push_back("HidePopupAfter(" + std::to_string(ms) + ")"); }
    void ShowPromptDialog(const std::string& buttons, const std::string& caption,
                          const std::string& text) override {
        calls.push_back("ShowPromptDialog(" + buttons + "," + caption + "," + text + ")");
    }
    void DismissDialog() override { calls.push_back("DismissDialog"); }
    void ChangeProduct(const std::string& text, const std::string& product,
                       const std::string& title) override {
        calls.push_back("ChangeProduct(" + text + "," + product + "," + title + ")");
    }
    void Restart(const std::string& argument) override { calls.push_back("Restart(" + argument + ")"); }
    void Close() override { calls.push_back("Close"); }
};

}  // namespace notifier::testing
