// Message boxes and questions as an interface: protocol and file code reports through it, the Qt side shows
// real boxes on the GUI thread, tests record what would have been shown.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

enum class PromptIcon { None, Stop, Exclamation, Information, Question };
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
// Values as the Windows message box returns them.
enum class PromptResult { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

struct PromptRequest {
    std::string text;     // 8-bit text, shown as given (never rich text)
    std::string caption;  // empty means the program's own name
    PromptIcon icon = PromptIcon::None;
    PromptButtons buttons = PromptButtons::Ok;
    bool systemModal = false;
    bool operator==(const PromptRequest&) const = default;
};

class UserPrompt {
public:
    virtual ~UserPrompt() = default;
    virtual PromptResult Show(const PromptRequest& request) = 0;

    // A plain box with an OK button, as most messages are.
    void Message(std::string text, PromptIcon icon = PromptIcon::None, std::string caption = {});
};

// The process-wide prompt. Until a UI installs one, messages go to stderr and the first button's answer
// is returned (OK, Yes, Retry or Abort).
UserPrompt& DefaultPrompt();
// Installs `prompt` (not owned) as the process-wide one; null restores the stderr prompt.
void SetDefaultPrompt(UserPrompt* prompt);
// What DefaultPrompt() answers when someone installed it (for this thread or the process); null while
// messages would go to stderr. A component with boxes of its own shows them only then.
UserPrompt* InstalledPrompt();

// Records every request and answers from a queue (OK/first button when the queue is empty). Thread-safe.
class RecordingPrompt : public UserPrompt {
public:
    PromptResult Show(const PromptRequest& request) override;
    void QueueAnswer(PromptResult answer);
    std::vector<PromptRequest> Shown() const;
    std::vector<std::string> Texts() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<PromptRequest> m_shown;
    std::deque<PromptResult> m_answers;
};

// Installs `prompt` as what DefaultPrompt() answers on the calling thread only, for a scope. A worker that
// must never wait for the user-interface thread (the auto-login worker) records its messages this way and
// the dialog shows them once the worker has ended.
class ScopedThreadPrompt {
public:
    explicit ScopedThreadPrompt(UserPrompt& prompt);
    ~ScopedThreadPrompt();
    ScopedThreadPrompt(const ScopedThreadPrompt&) = delete;
    ScopedThreadPrompt& operator=(const ScopedThreadPrompt&) = delete;

private:
    UserPrompt* m_previous;
};

// Installs a prompt as the default for a scope (tests).
class ScopedDefaultPrompt {
public:
    explicit ScopedDefaultPrompt(UserPrompt& prompt);
    ~ScopedDefaultPrompt();
    ScopedDefaultPrompt(const ScopedDefaultPrompt&) = delete;
    ScopedDefaultPrompt& operator=(const ScopedDefaultPrompt&) = delete;

private:
    UserPrompt* m_previous;
};

}  // namespace platform
