// The verdict queue and its posts.
#include "viewer/notify_queue.h"

#include "platform/codepage.h"

namespace viewer {

void NotifyQueue::Register(int32_t clientWindow, int32_t clientId, ClientPoster poster) {
    m_clientWindow = clientWindow;
    m_clientId = clientId;
    m_poster = std::move(poster);
    m_registered = true;
}

bool NotifyQueue::Post(uint32_t message, int32_t wParam) {
    bool posted = false;
    try {
        posted = m_poster && m_poster(message, wParam, m_clientId);
    } catch (...) {
        posted = false;
    }
    if (!posted) {
        m_registered = false;
    }
    return posted;
}

bool NotifyQueue::Enqueue(std::string text) {
    if (!m_registered) {
        return false;
    }
    m_queue.push_back(std::move(text));
    return Notify();
}

bool NotifyQueue::Notify() {
    if (!m_notifyAllowed) {
        return true;
    }
    return Post(WM_OBJECT_NOTIFY, 0);
}

std::string NotifyQueue::GetNotifyMessage() {
    if (m_queue.empty()) {
        return {};
    }
    if (m_queue.size() > 1) {
        Notify();
    }
    std::string text = std::move(m_queue.front());
    m_queue.pop_front();
    return text;
}

std::string NotifyQueue::SafeToNotify(std::string_view flag) {
    if (platform::EqualsNoCase(flag, "0")) {
        m_notifyAllowed = false;
        return "0";
    }
    m_notifyAllowed = true;
    if (!m_queue.empty() && !Notify()) {
        return "1";
    }
    return "0";
}

void NotifyQueue::Release(const std::function<void(int32_t clientWindow)>& raise) {
    if (!m_registered) {
        return;
    }
    if (raise) {
        raise(m_clientWindow);
    }
    if (m_notifyAllowed) {
        Post(WM_OBJECT_RELEASE, 1);
    }
}

}  // namespace viewer
