// A remote pipe as the login dialogs see it: records what they hand over, and runs a scripted
// ConnectAndLogin that reports progress, shows messages and can block until AbortConnect wakes it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "hostlink/login_ui.h"

namespace tools::testing {

class FakeLoginTarget : public hostlink::RemoteLoginTarget {
  public:
    // Long enough never to fire on a healthy run; only stops a broken test from hanging.
    static constexpr std::chrono::seconds kSafety{20};

    explicit FakeLoginTarget(int32_t flags = 0) : m_flags(flags) {}

    int32_t Flags() const override { return m_flags; }
    void SetOsCredentials(std::string_view user, std::string_view password) override {
        m_osUser = std::string(user);
        m_osPassword = std::string(password);
    }
    void SetAppUserNumber(int32_t user) override { m_appUser = user; }
    void SetAppPassword(std::string_view password) override { m_appPassword = std::string(password); }

    int32_t ConnectAndLogin(int32_t loadSettings) override {
        m_loadSettings = loadSettings;
        m_entered = true;
        const int32_t result = m_script ? m_script(*this) : 0;
        m_returned = true;
        return result;
    }
    void SetProgressSink(hostlink::ProgressSink* sink) override {
        std::lock_guard lock(m_mutex);
        m_sink = sink;
    }
    void SetAborted() override { m_aborted = true; }
    bool Aborted() const override { return m_aborted; }
    void AbortConnect() override {
        std::lock_guard lock(m_mutex);
        ++m_abortConnects;
        m_wake = true;
        m_changed.notify_all();
    }

    // For the script, on the worker: a position as the pipe reports it.
    void Report(int32_t percent) {
        std::lock_guard lock(m_mutex);
        if (m_sink != nullptr && !m_aborted) {
            m_sink->SetPosition(percent);
        }
    }
    // For the script: blocks like a hung connect until AbortConnect or Release; true when AbortConnect woke
    // it.
    bool Block() {
        std::unique_lock lock(m_mutex);
        m_blocked = true;
        m_changed.wait_for(lock, kSafety, [this] { return m_wake || m_released; });
        return m_wake;
    }
    // For the test: lets a blocked script go on.
    void Release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

    bool Blocked() const {
        std::lock_guard lock(m_mutex);
        return m_blocked;
    }
    int AbortConnects() const {
        std::lock_guard lock(m_mutex);
        return m_abortConnects;
    }
    bool SinkRegistered() const {
        std::lock_guard lock(m_mutex);
        return m_sink != nullptr;
    }

    std::function<int32_t(FakeLoginTarget&)> m_script;
    std::optional<std::string> m_osUser;
    std::optional<std::string> m_osPassword;
    std::optional<int32_t> m_appUser;
    std::optional<std::string> m_appPassword;
    std::atomic<int32_t> m_loadSettings{-1};
    std::atomic<bool> m_entered{false};
    std::atomic<bool> m_returned{false};

  private:
    int32_t m_flags;
    std::atomic<bool> m_aborted{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    hostlink::ProgressSink* m_sink = nullptr;
    bool m_wake = false;
    bool m_released = false;
    bool m_blocked = false;
    int m_abortConnects = 0;
};

}  // namespace tools::testing
