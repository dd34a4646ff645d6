// The automatic login's worker thread.
#include "tools/login_worker.h"

#include <utility>

namespace tools {

LoginWorker::LoginWorker(hostlink::RemoteLoginTarget& target) : m_target(target) {}

LoginWorker::~LoginWorker() {
    if (m_thread.joinable()) {
        Abort();
        Join();
    }
}

void LoginWorker::Start(std::function<void(int32_t)> ended) {
    if (Started()) {
        return;
    }
    m_thread = std::thread([this, ended = std::move(ended)] {
        // Messages are kept, not shown: the user-interface thread may be waiting for this thread.
        platform::ScopedThreadPrompt prompt(m_prompt);
        int32_t result = 1;
        try {
            result = m_target.ConnectAndLogin(0);
        } catch (...) {
            // Nothing may escape a thread; an exception is a failed connection.
            result = 1;
        }
        if (ended) {
            ended(result);
        }
    });
}

void LoginWorker::Abort() {
    m_target.SetAborted();
    m_target.AbortConnect();
}

void LoginWorker::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
        m_joined = true;
    }
}

}  // namespace tools
