// The notifier's main-window logic without a toolkit: the tick sequence, the poll passes over the command
// file, prompts one at a time, answers and the restart. The Qt program supplies the view and the timer.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "notifier/ipc_protocol.h"

namespace notifier {

// What the controller drives. Close ends both dialogs and the program; DismissDialog ends the open prompt
// without calling back.
class NotifierView : public NotifierUi {
  public:
    virtual void CreatePopup() = 0;
    // The next tick in that many milliseconds (the one timer, restarted).
    virtual void ScheduleTick(int milliseconds) = 0;
    virtual bool RunCommandLine(const std::vector<std::string>& argv) = 0;
    // Restart reaches the controller, not the view.
    void Restart(std::string_view) override {}
};

class NotifierController {
  public:
    explicit NotifierController(NotifierView& view) : m_view(view), m_adapter(*this) {}

    void Start() { m_view.ScheduleTick(100); }
    void OnTick();
    // The command file or its folder changed.
    void OnFileChanged() { PollIpcFile(); }
    // The open prompt was answered with one of the five words.
    void OnPromptAnswer(std::string_view word);
    void OnTrayActivated() { m_view.SetPopupTexts(m_text1, m_text2); }
    // SIGTERM from the launcher.
    void OnTerminate() { m_adapter.Close(); }

    bool Closed() const { return m_closed; }
    bool PromptOpen() const { return m_promptOpen; }
    const std::filesystem::path& ReadPath() const { return m_readPath; }

    void PollIpcFile();

  private:
    // Sees every dispatched call first, so prompts, restart and close are kept track of here.
    class Adapter : public NotifierUi {
      public:
        explicit Adapter(NotifierController& c) : m_c(c) {}
        void ShowTray() override { m_c.m_view.ShowTray(); }
        void HideTray() override { m_c.m_view.HideTray(); }
        void SetPopupTexts(std::string_view t1, std::string_view t2) override;
        void SetProgressPercent(std::string_view text) override { m_c.m_view.SetProgressPercent(text); }
        void HidePopupAfter(int ms) override { m_c.m_view.HidePopupAfter(ms); }
        void ShowPromptDialog(std::string_view buttons, std::string_view caption,
                              std::string_view text) override;
        void DismissDialog() override;
        void ChangeProduct(std::string_view text, std::string_view product, std::string_view title) override {
            m_c.m_view.ChangeProduct(text, product, title);
        }
        void Restart(std::string_view argument) override;
        void Close() override;

      private:
        NotifierController& m_c;
    };

    bool TryOpen();

    NotifierView& m_view;
    Adapter m_adapter;
    IpcReader m_reader;
    AnswerQueue m_answers;
    std::filesystem::path m_readPath;
    std::filesystem::path m_writePath;
    std::string m_text1{kInitialText};
    std::string m_text2;
    int m_tick = 0;
    bool m_initialised = false;
    bool m_firstPass = true;
    bool m_promptOpen = false;
    bool m_inPoll = false;
    bool m_closed = false;
    bool m_openReported = false;
};

}  // namespace notifier
