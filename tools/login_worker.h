// The automatic login's worker thread without its dialog: runs the remote pipe's connect and login, keeps
// what the pipe would have shown so the dialog can show it once the worker has ended, and is cancelled
// cooperatively (the pipe's AbortConnect wakes a blocked connect; a thread is never killed).
#pragma once

#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "hostlink/login_ui.h"
#include "platform/user_prompt.h"

namespace tools {

class LoginWorker {
  public:
    explicit LoginWorker(hostlink::RemoteLoginTarget& target);
    // A worker still running is aborted and joined.
    ~LoginWorker();
    LoginWorker(const LoginWorker&) = delete;
    LoginWorker& operator=(const LoginWorker&) = delete;

    // Runs target.ConnectAndLogin(0) on a new thread, then `ended` with its result on that thread; `ended`
    // must not block. Once only.
    void Start(std::function<void(int32_t result)> ended);
    bool Started() const { return m_thread.joinable() || m_joined; }
    // Marks the connection aborted and wakes whatever the worker waits on. From any thread.
    void Abort();
    // Waits for the worker to end; returns at once when it never started or was joined already.
    void Join();
    // The messages the worker's calls asked to show, in their order. Complete after Join.
    std::vector<platform::PromptRequest> Messages() const { return m_prompt.Shown(); }

  private:
    hostlink::RemoteLoginTarget& m_target;
    platform::RecordingPrompt m_prompt;
    std::thread m_thread;
    bool m_joined = false;
};

}  // namespace tools
