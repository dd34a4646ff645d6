// The notifier's main-window logic: ticks, poll passes, one prompt at a time, answers and the restart.
#include "notifier/controller.h"

#include <unistd.h>

#include <cstdio>

namespace notifier {

void NotifierController::Adapter::SetPopupTexts(std::string_view t1, std::string_view t2) {
    m_c.m_text1 = t1;
    m_c.m_text2 = t2;
    m_c.m_view.SetPopupTexts(t1, t2);
}

void NotifierController::Adapter::ShowPromptDialog(std::string_view buttons, std::string_view caption,
                                                   std::string_view text) {
    m_c.m_promptOpen = true;
    m_c.m_view.ShowPromptDialog(buttons, caption, text);
}

void NotifierController::Adapter::DismissDialog() {
    if (!m_c.m_promptOpen)
        return;
    m_c.m_promptOpen = false;
    m_c.m_view.DismissDialog();
}

void NotifierController::Adapter::Restart(std::string_view argument) {
    const std::string launcher = ReadNotifierSetting(kLauncherPathValue);
    if (launcher.empty())
        return;
    // The launcher ends us by pid, in place of the window handle.
    std::vector<std::string> argv{launcher, std::to_string(::getpid())};
    if (!argument.empty())
        argv.emplace_back(argument);
    if (!m_c.m_view.RunCommandLine(argv))
        std::fprintf(stderr, "pipwell: cannot start %s\n", launcher.c_str());
}

void NotifierController::Adapter::Close() {
    if (m_c.m_closed)
        return;
    m_c.m_closed = true;
    m_c.m_promptOpen = false;
    m_c.m_reader.Close();
    m_c.m_view.Close();
}

bool NotifierController::TryOpen() {
    m_readPath = ReadNotifierSetting(kIpcReadPathValue);
    m_writePath = ReadNotifierSetting(kIpcWritePathValue);
    if (m_readPath.empty() || m_writePath.empty())
        return false;
    if (!m_reader.Open(m_readPath)) {
        if (!m_openReported)
            std::fprintf(stderr, "pipwell: cannot open the command file %s; will retry\n",
                         m_readPath.c_str());
        m_openReported = true;
        return false;
    }
    m_openReported = false;
    return true;
}

void NotifierController::OnTick() {
    if (m_closed)
        return;
    ++m_tick;
    if (m_tick == 1) {
        m_view.CreatePopup();
        m_view.ScheduleTick(100);
        return;
    }
    if (!m_initialised) {
        m_view.HidePopupAfter(0);
        m_initialised = true;
    } else if (m_text1 == kInitialText) {
        m_view.HidePopupAfter(0);
    }
    if (!m_reader.IsOpen()) {
        // Settings not there yet: look again soon. An open that failed is retried at the poll pace.
        const bool haveSettings = !ReadNotifierSetting(kIpcReadPathValue).empty() &&
                                  !ReadNotifierSetting(kIpcWritePathValue).empty();
        if (!TryOpen()) {
            m_view.ScheduleTick(haveSettings ? 1500 : 500);
            return;
        }
    }
    m_answers.Flush(m_writePath);
    PollIpcFile();
    if (!m_closed)
        m_view.ScheduleTick(1500);
}

void NotifierController::PollIpcFile() {
    if (m_inPoll || m_closed || !m_reader.IsOpen())
        return;
    m_inPoll = true;
    m_reader.CheckFile();
    if (m_firstPass) {
        m_firstPass = false;
        if (auto line = m_reader.ReplayPendingPrompt())
            DispatchIpcLine(*line, m_adapter);
    }
    while (!m_closed) {
        auto line = m_reader.ReadNextIpcLine();
        if (!line)
            break;
        // A prompt waits until the open one has its answer.
        if (m_promptOpen && SplitFields(*line)[0] == std::optional<std::string_view>("prompt")) {
            m_reader.Unread();
            break;
        }
        if (DispatchIpcLine(*line, m_adapter) == DispatchResult::Close)
            break;
    }
    m_inPoll = false;
}

void NotifierController::OnPromptAnswer(std::string_view word) {
    if (!m_promptOpen)
        return;
    m_promptOpen = false;
    m_answers.WriteAnswer(word, m_writePath);
    PollIpcFile();
}

}  // namespace notifier
