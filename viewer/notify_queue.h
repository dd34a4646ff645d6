// The viewer's side of the object-notification protocol: the user's verdicts wait in a queue inside the
// document object, and the client's window is told by a posted message that something waits. The viewer
// never calls its client otherwise.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace viewer {

// Message numbers shared with the client's object manager.
inline constexpr uint32_t WM_OBJECT_NOTIFY = 3024;   // wParam 0: at least one text is queued
inline constexpr uint32_t WM_OBJECT_RELEASE = 1034;  // wParam 1: the document is closing

// The verdict texts, exactly as the client forwards them.
inline constexpr std::string_view kAccept = "accept";
inline constexpr std::string_view kReject = "reject";
inline constexpr std::string_view kBack = "back";
inline constexpr std::string_view kNext = "next";
inline constexpr std::string_view kEdit = "edit";
inline constexpr std::string_view kEditEnd = "EditEnd";

// Posts one message to the client's window; false when the window no longer listens.
using ClientPoster = std::function<bool(uint32_t message, int32_t wParam, int32_t lParam)>;

class NotifyQueue {
  public:
    // From RegisterSorelIDs: texts are queued from now on.
    void Register(int32_t clientWindow, int32_t clientId, ClientPoster poster);
    // Drops the text and answers false while no client is registered; else queues it and notifies.
    bool Enqueue(std::string text);
    // Posts WM_OBJECT_NOTIFY unless notifications are suspended; a failed post ends the registration.
    bool Notify();
    // The next text, or "" with an empty queue; posts once more first when texts stay behind.
    std::string GetNotifyMessage();
    // "0" (any case) suspends; anything else resumes and notifies at once when texts wait. "1" when that
    // post fails, else "0".
    std::string SafeToNotify(std::string_view flag);
    // The document is going away: with a client registered, `raise` gets its window, then, unless
    // notifications are suspended, WM_OBJECT_RELEASE is posted.
    void Release(const std::function<void(int32_t clientWindow)>& raise);

    bool Registered() const { return m_registered; }
    int32_t ClientWindow() const { return m_clientWindow; }
    size_t Size() const { return m_queue.size(); }

  private:
    bool Post(uint32_t message, int32_t wParam);

    std::deque<std::string> m_queue;
    bool m_registered = false;
    bool m_notifyAllowed = true;
    int32_t m_clientWindow = 0;
    int32_t m_clientId = 0;
    ClientPoster m_poster;
};

}  // namespace viewer
