// Fakes for the connection life-cycle tests: a scripted pipe whose Read blocks until the test feeds bytes
// or ends the line, a factory that makes such pipes, and a control whose user-interface thread is a task
// queue the test pumps.
#pragma once

#include <fcntl.h>

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/shared_mapping.h"
#include "practice/practice.h"
#include "terminal/control/quillet_session.h"

namespace terminal::testing {

using namespace std::chrono_literals;
inline constexpr auto kSafetyNet = 10s;

// One host connection as the test drives it; outlives the pipe that uses it.
class FakeLine {
  public:
    void Feed(std::string bytes) {
        {
            std::lock_guard lock(m_mutex);
            m_input.push_back(std::move(bytes));
        }
        m_changed.notify_all();
    }
    void FailRead() {
        {
            std::lock_guard lock(m_mutex);
            m_readFails = true;
        }
        m_changed.notify_all();
    }
    void BlockWrites() {
        std::lock_guard lock(m_mutex);
        m_blockWrites = true;
    }
    void ReleaseWrites() {
        {
            std::lock_guard lock(m_mutex);
            m_blockWrites = false;
        }
        m_changed.notify_all();
    }
    // Every write takes at least this long and a try-write takes nothing, as with a host that is slow to
    // take its input and has left its pipe full.
    void SlowWrites(std::chrono::microseconds delay) {
        std::lock_guard lock(m_mutex);
        m_writeDelay = delay;
    }
    // Bytes fed that no Read has taken yet.
    std::size_t Pending() const {
        std::lock_guard lock(m_mutex);
        return PendingLocked();
    }
    bool WaitPending(std::size_t bytes) {
        return WaitFor([this, bytes] { return PendingLocked() == bytes; });
    }
    bool WaitFor(const std::function<bool()>& condition) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kSafetyNet, condition);
    }
    bool WaitInRead() {
        return WaitFor([this] { return m_inRead; });
    }
    bool WaitWriteBlocked() {
        return WaitFor([this] { return m_writeBlocked; });
    }
    std::string Written() const {
        std::lock_guard lock(m_mutex);
        return m_written;
    }
    std::vector<std::string> Journal() const {
        std::lock_guard lock(m_mutex);
        return m_journal;
    }
    bool Closed() const {
        std::lock_guard lock(m_mutex);
        return m_closed;
    }
    void Note(std::string entry) {
        std::lock_guard lock(m_mutex);
        m_journal.push_back(std::move(entry));
    }

    // Pipe side. `beforeWait` runs, without the line's lock, when the read is about to wait.
    bool Read(void* buffer, uint32_t count, uint32_t& bytesRead,
              const std::function<void()>& beforeWait = {}) {
        std::unique_lock lock(m_mutex);
        if (beforeWait && m_input.empty() && !m_readFails && !m_closed) {
            lock.unlock();
            beforeWait();
            lock.lock();
        }
        m_inRead = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_input.empty() || m_readFails || m_closed; });
        m_inRead = false;
        if (m_input.empty()) {
            bytesRead = 0;
            return false;
        }
        std::string& front = m_input.front();
        bytesRead = static_cast<uint32_t>(std::min<std::size_t>(count, front.size()));
        std::memcpy(buffer, front.data(), bytesRead);
        front.erase(0, bytesRead);
        if (front.empty()) {
            m_input.pop_front();
        }
        m_changed.notify_all();
        return true;
    }
    bool Write(const void* bytes, uint32_t count) {
        std::chrono::microseconds delay{};
        {
            std::lock_guard lock(m_mutex);
            delay = m_writeDelay;
        }
        std::this_thread::sleep_for(delay);
        std::unique_lock lock(m_mutex);
        if (m_blockWrites) {
            m_writeBlocked = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return !m_blockWrites || m_closed; });
            m_writeBlocked = false;
        }
        if (m_closed) {
            return false;
        }
        m_written.append(static_cast<const char*>(bytes), count);
        if (count != 0) {
            m_journal.push_back("write " + std::string(static_cast<const char*>(bytes), count));
        }
        return true;
    }
    // A write that never waits: a line whose writes are held takes nothing. (A slow line still takes the
    // block in its own time, as a pipe's buffer would take it; the sender learns from that time.)
    hostlink::TryWriteResult TryWrite(const void* bytes, uint32_t count) {
        {
            std::lock_guard lock(m_mutex);
            if (m_blockWrites || m_writeDelay.count() > 0) {
                return hostlink::TryWriteResult::NotWritten;
            }
        }
        return Write(bytes, count) ? hostlink::TryWriteResult::Written : hostlink::TryWriteResult::Failed;
    }
    void Close() {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
            m_journal.push_back("close");
        }
        m_changed.notify_all();
    }

  private:
    std::size_t PendingLocked() const {
        std::size_t total = 0;
        for (const std::string& piece : m_input) {
            total += piece.size();
        }
        return total;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_input;
    bool m_readFails = false;
    bool m_closed = false;
    bool m_inRead = false;
    bool m_blockWrites = false;
    bool m_writeBlocked = false;
    std::chrono::microseconds m_writeDelay{};
    std::string m_written;
    std::vector<std::string> m_journal;
};

// What a fake pipe is told and answers, set by the test before the session uses it.
struct FakeScript {
    bool openResult = true;
    bool parseResult = true;
    bool loadStateResult = true;
    std::string savedState = "session-state";
    bool callsBeforeReadWait = false;  // the pipe says when its Read is about to wait, as the local pipe
};

class FakePipe : public hostlink::CCommPipe {
  public:
    FakePipe(bool remote, std::shared_ptr<FakeLine> line, FakeScript script)
        : CCommPipe(remote ? 1 : 0), m_line(std::move(line)), m_script(std::move(script)) {}
    ~FakePipe() override { m_line->Note("destroyed"); }

    bool Read(void* buffer, uint32_t count, uint32_t& bytesRead) override {
        if (!m_script.callsBeforeReadWait) {
            return m_line->Read(buffer, count, bytesRead);
        }
        return m_line->Read(buffer, count, bytesRead, [this] { BeforeReadWait(); });
    }
    bool CallsBeforeReadWait() const override { return m_script.callsBeforeReadWait; }
    bool Open(hostlink::PipeOwner* owner) override {
        m_owner = owner;
        m_line->Note(m_script.openResult ? "open" : "open failed");
        return m_script.openResult;
    }
    void Close() override { m_line->Close(); }
    bool StartNewSession(std::string_view runText) override {
        m_line->Note("new session " + std::string(runText));
        return true;
    }
    std::string Describe() const override { return "fake"; }
    void SetAppUser(int32_t, std::string_view) override {}
    platform::UniqueFd SaveState(bool withHeader) override {
        const std::string record = m_script.savedState;
        auto mapping = platform::SharedMapping::Create(record.size());
        std::memcpy(mapping->Data(), record.data(), record.size());
        m_line->Note(withHeader ? "save state with header" : "save state");
        return platform::UniqueFd(::dup(mapping->Fd()));
    }
    bool LoadState(int handle, pid_t processId, std::optional<std::span<const uint8_t>> record) override {
        if (record) {
            m_line->Note("load record " + std::string(record->begin(), record->end()).substr(0, 20));
        } else {
            auto mapping = platform::SharedMapping::OpenFd(handle, m_script.savedState.size(), true);
            m_line->Note(mapping
                             ? "load state " + std::string(mapping->Bytes().begin(), mapping->Bytes().end())
                             : "load state refused");
            if (!mapping) {
                return false;
            }
        }
        (void)processId;
        return m_script.loadStateResult;
    }
    void ApplyPractice(const practice::CPracticeConn& conn) override {
        m_line->Note("practice " + conn.m_Name);
    }
    bool ParseOptions(hostlink::PipeOwner*, std::string_view text, bool keep) override {
        m_line->Note("options [" + std::string(text) + "]" + (keep ? " keep" : ""));
        return m_script.parseResult;
    }
    int32_t GetUnixEscKey() override { return 1; }
    FakeLine& Line() { return *m_line; }

  protected:
    bool WriteBytes(const void* bytes, uint32_t count) override { return m_line->Write(bytes, count); }
    hostlink::TryWriteResult TryWriteBytes(const void* bytes, uint32_t count) override {
        return m_line->TryWrite(bytes, count);
    }

  private:
    std::shared_ptr<FakeLine> m_line;
    FakeScript m_script;
};

class FakeFactory : public PipeFactory {
  public:
    struct Shared {
        std::mutex mutex;
        std::vector<std::shared_ptr<FakeLine>> lines;
        std::vector<bool> remote;
        FakeScript script;
        bool remoteSettings = true;
        std::vector<std::string> calls;
        // Bytes that arrive on the line just as it is woken: a block the reader reads as it is stopped.
        std::string feedOnWake;
    };

    explicit FakeFactory(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

    std::unique_ptr<hostlink::CCommPipe> MakeEmpty(bool remote) override { return Make(remote, "empty"); }
    std::size_t StateRecordSize(bool) const override { return 32; }
    std::unique_ptr<hostlink::CCommPipe> MakeConfigured(bool remote, const QuilletProperties&) override {
        return Make(remote, "configured");
    }
    bool LoadRemoteSettings(hostlink::CCommPipe&) override {
        Call("remote settings");
        return m_shared->remoteSettings;
    }
    void ConfigureLocal(hostlink::CCommPipe&, std::string_view dataSet,
                        std::string_view programDir) override {
        Call("local " + std::string(dataSet) + " " + std::string(programDir));
    }
    void CopyBack(const hostlink::CCommPipe&, QuilletProperties&) override { Call("copy back"); }
    void SetHostIsTrans(hostlink::CCommPipe&, bool value) override {
        Call(value ? "host is trans 1" : "host is trans 0");
    }
    bool StartNewSession(hostlink::CCommPipe& pipe, std::string_view chainCommand) override {
        return pipe.StartNewSession(chainCommand);
    }
    platform::UniqueFd SaveNewWindowState(hostlink::CCommPipe& pipe, std::string_view chainCommand) override {
        Call("new window state " + std::string(chainCommand));
        return pipe.SaveState(true);
    }
    void WakeIo(hostlink::CCommPipe& pipe) override {
        Call("wake");
        std::string feed;
        {
            std::lock_guard lock(m_shared->mutex);
            feed = std::exchange(m_shared->feedOnWake, {});
        }
        if (!feed.empty()) {
            dynamic_cast<FakePipe&>(pipe).Line().Feed(std::move(feed));
        }
        pipe.Close();
    }

  private:
    std::unique_ptr<hostlink::CCommPipe> Make(bool remote, const char* kind) {
        std::lock_guard lock(m_shared->mutex);
        auto line = std::make_shared<FakeLine>();
        m_shared->lines.push_back(line);
        m_shared->remote.push_back(remote);
        m_shared->calls.push_back(std::string(kind) + (remote ? " remote" : " local"));
        return std::make_unique<FakePipe>(remote, line, m_shared->script);
    }
    void Call(std::string text) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->calls.push_back(std::move(text));
    }

    std::shared_ptr<Shared> m_shared;
};

// The control: its user-interface thread is the test thread pumping the task queue.
class FakeControl : public SessionHost {
  public:
    // hostlink::PipeOwner
    void SetAppUser(int32_t, std::string_view) override {}
    bool Debug() const override { return false; }
    void SetSimple(bool) override {}
    std::string ClientFileName() const override { return {}; }
    bool PostCloseOnSorelExit() const override { return false; }
    void SorelExit() override { Event("SorelExit"); }
    void ReportTransfer(hostlink::TransferProgress, int64_t, std::string_view) override {}
    std::optional<std::vector<std::string>> ChooseFiles(hostlink::FileDialogKind, std::string_view,
                                                        std::string_view) override {
        return std::nullopt;
    }

    void PostToUi(std::function<void()> task) override {
        {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_changed.notify_all();
    }
    // Runs queued tasks until `done` holds; false when the safety net ran out first.
    bool PumpUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + kSafetyNet;
        while (!done()) {
            std::function<void()> task;
            {
                std::unique_lock lock(m_mutex);
                if (!m_changed.wait_until(lock, deadline, [this] { return !m_tasks.empty(); })) {
                    return false;
                }
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            task();
        }
        return true;
    }
    // Waits until a task is queued, without running it.
    bool WaitQueued() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kSafetyNet, [this] { return !m_tasks.empty(); });
    }
    std::size_t Queued() const {
        std::lock_guard lock(m_mutex);
        return m_tasks.size();
    }
    // Runs the first queued task, if there is one; false when there was none.
    bool RunOne() {
        std::function<void()> task;
        {
            std::lock_guard lock(m_mutex);
            if (m_tasks.empty()) {
                return false;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
        return true;
    }
    // Runs what is queued now, without waiting.
    void PumpPending() {
        while (RunOne()) {
        }
    }

    bool WindowValid() const override { return m_windowValid; }
    void SetWaitCursor(bool on) override { Event(on ? "wait on" : "wait off"); }
    void FireShowContainer(int eventFd) override {
        Event("ShowContainer");
        if (m_answerShowContainer) {
            const uint64_t one = 1;
            EXPECT_EQ(::write(eventFd, &one, sizeof one), static_cast<ssize_t>(sizeof one));
        }
    }
    void FireSorelExit() override { Event("SorelExit"); }
    void FireNewWindow(int32_t pipeHandle, int32_t processId) override {
        Event("NewWindow");
        m_newWindowHandle = pipeHandle;
        m_newWindowPid = processId;
        m_newWindowHandleOpen = ::fcntl(pipeHandle, F_GETFD) != -1;
    }
    void CloseContainerFrame() override { Event("CloseFrame"); }
    void PrepareConnectedUi() override { Event("prepare"); }
    void ShowConnectedUi(bool restored) override { Event(restored ? "show restored" : "show"); }
    void ConnectionEnded(bool repaint) override { Event(repaint ? "ended repaint" : "ended"); }
    void FocusFieldEditor() override { Event("focus editor"); }
    void FocusControl() override { Event("focus control"); }
    bool FieldInputInactive() const override { return true; }
    void SetUnixEscKey(bool) override {}
    void MergeInPlaceMenu() override { Event("menu"); }
    void HostData(std::span<const uint8_t> bytes) override {
        std::function<void()> hook;
        {
            std::lock_guard lock(m_mutex);
            m_hostData.append(bytes.begin(), bytes.end());
            ++m_blocks;
            hook = std::exchange(m_onHostData, nullptr);
        }
        if (hook) {
            hook();
        }
    }
    platform::UniqueFd SaveScreen() override {
        auto mapping = platform::SharedMapping::Create(8);
        std::memcpy(mapping->Data(), "screen!!", 8);
        return platform::UniqueFd(::dup(mapping->Fd()));
    }
    bool RestoreScreen(int handle) override {
        auto mapping = platform::SharedMapping::OpenFd(handle, 8, true);
        Event(mapping ? "restore " + std::string(mapping->Bytes().begin(), mapping->Bytes().end())
                      : "restore refused");
        return mapping.has_value();
    }
    void LogLine(std::string_view text) override {
        std::lock_guard lock(m_mutex);
        m_log.emplace_back(text);
    }

    int Count(std::string_view event) const {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::count(m_events.begin(), m_events.end(), event));
    }
    std::vector<std::string> Events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::string HostDataSeen() const {
        std::lock_guard lock(m_mutex);
        return m_hostData;
    }
    void Event(std::string text) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(text));
    }

    bool m_windowValid = true;
    bool m_answerShowContainer = true;
    int32_t m_newWindowHandle = -1;
    int32_t m_newWindowPid = 0;
    bool m_newWindowHandleOpen = false;  // while the event ran
    std::function<void()> m_onHostData;  // runs once, inside the next HostData
    int m_blocks = 0;
    std::vector<std::string> m_log;

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_tasks;
    std::vector<std::string> m_events;
    std::string m_hostData;
};

}  // namespace terminal::testing
