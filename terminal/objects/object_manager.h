// Automation objects that the host asks the control to create, call by name and release, and the way those
// objects tell the control that notification texts wait. The manager sees the objects only through their
// dispatch interface, so an object may live in this process or behind a bus.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/automation/dispatch.h"

namespace terminal {

// Messages an object posts to its client. Their numbers are part of the protocol with the objects.
inline constexpr uint32_t WM_OBJECT_NOTIFY = 3024;   // wParam 0: at least one text waits
inline constexpr uint32_t WM_OBJECT_RELEASE = 1034;  // wParam 1: the object is going away

// The member of the client window that objects call to post one of the messages above:
// PostMessage(I4 message, I4 wParam, I4 lParam) -> BOOL, false once the client no longer listens.
inline constexpr std::string_view kPostMessageMember = "PostMessage";

// What the manager needs of the control that owns it.
class ObjectHost {
  public:
    virtual ~ObjectHost() = default;
    // Bytes for the host on channel 0 of the session, in order with everything else written.
    virtual void WriteChannel0(std::string_view bytes) = 0;
    // The session pipe's description ("local", "remote"), or empty without a session.
    virtual std::string ConnectionText() = 0;
    // The control's window as objects are told it.
    virtual int32_t WindowHandle() = 0;
    // Runs `task` later on the thread that owns the manager; called from any thread. False when the task
    // can never run.
    virtual bool PostToOwner(std::function<void()> task) = 0;
};

class CObjectManager {
  public:
    static constexpr int32_t kSlotCount = 50;
    // A method's result must stay below this many bytes to reach the host.
    static constexpr std::size_t kResultLimit = 1024;

    // Why an operation failed; the numbers are the manager's traditional codes.
    enum class Failure : int32_t {
        CreateFailed = 0,
        NoFreeSlot = 1,
        BadObjectId = 3,  // not 0 to 49, or an empty slot
        OutOfMemory = 4,
        NoSuchMember = 5,
        UnknownLocale = 6,
        LookupFailed = 7,
        CallFailed = 8,  // the member was found but the call itself failed
    };

    class Error : public std::runtime_error {
      public:
        Error(Failure failure, const std::string& what) : std::runtime_error(what), m_failure(failure) {}
        Failure Code() const { return m_failure; }

      private:
        Failure m_failure;
    };

    // `host` must outlive the manager. The manager's messages are handled on the thread that owns it.
    explicit CObjectManager(ObjectHost& host);
    virtual ~CObjectManager();
    CObjectManager(const CObjectManager&) = delete;
    CObjectManager& operator=(const CObjectManager&) = delete;

    // The operations; each throws Error. They may be called from any thread: a release waits for a call
    // on the same object that runs on another thread, and a release from inside such a call (a nested
    // event loop) frees the slot at once while the object lives until the call has returned.
    int32_t CreateObject(std::string_view progId);
    platform::automation::DISPID GetDispId(int32_t slot, std::string_view name);
    std::string CallMethod(int32_t slot, std::string_view name, std::string_view argument);
    // "<slot> <text>": the object's next notification text.
    std::string GetNotifyMessage(int32_t slot);
    void ReleaseObject(int32_t slot);

    // The host's requests; each answers the host.
    void OnCreateRequest(std::string_view progId);
    // `request`: object id, 0x02, method name, 0x02, argument (the last part may be missing).
    void OnCallRequest(std::string_view request);
    // `quiet` 1 answers nothing after a successful release.
    void OnReleaseRequest(int32_t quiet, int32_t slot);
    // The object in `slot` has texts waiting: the next one goes to the host as ESC [ * slot blank text LF.
    void OnObjectNotify(int32_t slot);

    bool CallInProgress() const { return m_callsInProgress.load() > 0; }
    bool SlotInUse(int32_t slot) const;

    // The strict reading of an object id: decimal digits only, 0 to 49.
    static std::optional<int32_t> ParseObjectId(std::string_view text);

  private:
    struct Entry;
    struct Link;
    class ClientWindow;

    std::shared_ptr<Entry> Lookup(int32_t slot) const;
    int32_t FindSlot(const std::shared_ptr<Entry>& entry) const;
    // Runs a call into the object of `slot` with its call lock held.
    template <typename Body>
    auto WithObject(int32_t slot, Body&& body);
    void Register(Entry& entry, int32_t slot);
    // Empties `slot` once no call runs on its object on another thread; with `expected`, only when the slot
    // still holds that entry.
    void ReleaseSlot(int32_t slot, const Entry* expected);
    void ObjectMessage(const std::weak_ptr<Entry>& from, uint32_t message, int32_t wParam);
    void Reply(std::string_view bytes);

    ObjectHost& m_host;
    std::shared_ptr<Link> m_link;
    mutable std::mutex m_mutex;  // guards m_slots
    std::array<std::shared_ptr<Entry>, kSlotCount> m_slots;
    std::atomic<int32_t> m_callsInProgress{0};
};

}  // namespace terminal
