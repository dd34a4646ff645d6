// The process-wide prompt and the two prompts of the core: the stderr one used until a UI installs its own,
// and the recording one that tests read back.
#include "platform/user_prompt.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>

#include "platform/known_folders.h"

namespace platform {

namespace {

// The answer a box gives when its default (first) button is pressed.
PromptResult FirstButton(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok:
        case PromptButtons::OkCancel:
            return PromptResult::Ok;
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel:
            return PromptResult::Yes;
        case PromptButtons::RetryCancel:
            return PromptResult::Retry;
        case PromptButtons::AbortRetryIgnore:
            return PromptResult::Abort;
    }
    return PromptResult::Ok;
}

class StderrPrompt : public UserPrompt {
  public:
    PromptResult Show(const PromptRequest& request) override {
        std::string caption = request.caption.empty() ? ProgramFileName() : request.caption;
        std::string line = caption.empty() ? request.text : caption + ": " + request.text;
        if (line.empty() || line.back() != '\n') {
            line.push_back('\n');
        }
        // One write per message keeps lines from different threads whole.
        std::lock_guard lock(m_mutex);
        size_t done = 0;
        while (done < line.size()) {
            ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        return FirstButton(request.buttons);
    }

  private:
    std::mutex m_mutex;
};

StderrPrompt& StderrDefault() {
    static StderrPrompt prompt;
    return prompt;
}

std::atomic<UserPrompt*> g_defaultPrompt{nullptr};
thread_local UserPrompt* t_threadPrompt = nullptr;

}  // namespace

void UserPrompt::Message(std::string text, PromptIcon icon, std::string caption) {
    PromptRequest request;
    request.text = std::move(text);
    request.caption = std::move(caption);
    request.icon = icon;
    request.buttons = PromptButtons::Ok;
    Show(request);
}

UserPrompt& DefaultPrompt() {
    if (t_threadPrompt != nullptr) {
        return *t_threadPrompt;
    }
    UserPrompt* prompt = g_defaultPrompt.load(std::memory_order_acquire);
    return prompt != nullptr ? *prompt : StderrDefault();
}

UserPrompt* InstalledPrompt() {
    if (t_threadPrompt != nullptr) {
        return t_threadPrompt;
    }
    return g_defaultPrompt.load(std::memory_order_acquire);
}

void SetDefaultPrompt(UserPrompt* prompt) {
    g_defaultPrompt.store(prompt, std::memory_order_release);
}

PromptResult RecordingPrompt::Show(const PromptRequest& request) {
    std::lock_guard lock(m_mutex);
    m_shown.push_back(request);
    if (m_answers.empty()) {
        return FirstButton(request.buttons);
    }
    PromptResult answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void RecordingPrompt::QueueAnswer(PromptResult answer) {
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

std::vector<PromptRequest> RecordingPrompt::Shown() const {
    std::lock_guard lock(m_mutex);
    return m_shown;
}

std::vector<std::string> RecordingPrompt::Texts() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> texts;
    texts.reserve(m_shown.size());
    for (const PromptRequest& request : m_shown) {
        texts.push_back(request.text);
    }
    return texts;
}

void RecordingPrompt::Clear() {
    std::lock_guard lock(m_mutex);
    m_shown.clear();
    m_answers.clear();
}

ScopedThreadPrompt::ScopedThreadPrompt(UserPrompt& prompt) : m_previous(std::exchange(t_threadPrompt, &prompt)) {}

ScopedThreadPrompt::~ScopedThreadPrompt() {
    t_threadPrompt = m_previous;
}

ScopedDefaultPrompt::ScopedDefaultPrompt(UserPrompt& prompt)
    : m_previous(g_defaultPrompt.exchange(&prompt, std::memory_order_acq_rel)) {}

ScopedDefaultPrompt::~ScopedDefaultPrompt() {
    g_defaultPrompt.store(m_previous, std::memory_order_release);
}

}  // namespace platform
