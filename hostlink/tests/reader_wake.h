// Test helpers for a pipe's WakeReader: one Read on a thread of its own, as a session's reader thread does
// it, and an echo run in which every reader is woken and replaced while the host's bytes keep coming.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <string>
#include <string_view>
#include <thread>

#include "hostlink/comm_pipe.h"

namespace hostlink::testing {

// What one Read gave: its result, its bytes and the LastError of its own thread.
struct ReadOutcome {
    bool ok = false;
    std::string bytes;
    int32_t lastError = 0;
};

// Reads on until `seen` (what came before, plus what these reads bring) holds `text`; false when a Read fails
// first.
inline bool ReadUntilText(CCommPipe& pipe, std::string_view text, std::string& seen) {
    char buffer[1024];
    while (seen.find(text) == std::string::npos) {
        uint32_t got = 0;
        if (!pipe.Read(buffer, sizeof buffer, got)) {
            return false;
        }
        seen.append(buffer, got);
    }
    return true;
}

inline std::future<ReadOutcome> ReadOnThread(CCommPipe& pipe) {
    return std::async(std::launch::async, [&pipe] {
        std::array<char, 1024> buffer;
        uint32_t got = 0;
        ReadOutcome outcome;
        outcome.ok = pipe.Read(buffer.data(), static_cast<uint32_t>(buffer.size()), got);
        outcome.lastError = pipe.LastError();
        outcome.bytes.assign(buffer.data(), got);
        return outcome;
    });
}

// Waits for a Read that a wake should have ended; `unstick` (which ends the session) runs when the wake
// was slept through, so that the test fails instead of hanging.
inline ReadOutcome AwaitWokenRead(std::future<ReadOutcome>& read, const std::function<void()>& unstick) {
    if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the read slept through the wake";
        unstick();
    }
    return read.get();
}

struct WokenEchoRun {
    std::string received;
    int woken = 0;
    bool failed = false;
};

// Sends `sent` through `pipe` in blocks while reader threads take the host's echo: a wake follows each step
// of progress, landing wherever the reader is, and every fourth block the reader lets it land before its
// next Read. Each woken reader is replaced by a new one, which reads on.
inline WokenEchoRun EchoThroughWokenReaders(CCommPipe& pipe, const std::string& sent) {
    WokenEchoRun run;
    std::atomic<std::size_t> progress{0};
    std::atomic<std::size_t> wokenAt{0};
    std::atomic<bool> done{false};
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (std::size_t at = 0; at < sent.size(); at += 700) {
            const auto length = static_cast<uint32_t>(std::min<std::size_t>(700, sent.size() - at));
            if (!pipe.Write(sent.data() + at, length)) {
                return;
            }
        }
    });
    std::thread readers([&] {
        int blocks = 0;
        while (run.received.size() < sent.size() && !run.failed && !stop) {
            std::thread reader([&] {
                std::array<char, 1024> buffer;
                for (;;) {
                    if (++blocks % 4 == 0) {
                        while (wokenAt.load(std::memory_order_acquire) < run.received.size() && !stop) {
                            std::this_thread::yield();
                        }
                    }
                    uint32_t got = 0;
                    if (!pipe.Read(buffer.data(), static_cast<uint32_t>(buffer.size()), got)) {
                        if (pipe.LastError() == 995) {
                            ++run.woken;
                        } else {
                            run.failed = true;
                        }
                        return;
                    }
                    run.received.append(buffer.data(), got);
                    progress.store(run.received.size(), std::memory_order_release);
                    if (run.received.size() >= sent.size()) {
                        return;
                    }
                }
            });
            reader.join();
        }
        done = true;
    });
    std::size_t seen = 0;
    auto stalledSince = std::chrono::steady_clock::now();
    while (!done) {
        const std::size_t now = progress.load(std::memory_order_acquire);
        if (now != seen) {
            seen = now;
            stalledSince = std::chrono::steady_clock::now();
            pipe.WakeReader();
            wokenAt.store(now, std::memory_order_release);
        } else if (!stop && std::chrono::steady_clock::now() - stalledSince > std::chrono::seconds(30)) {
            ADD_FAILURE() << "the echo stopped after " << now << " bytes";  // a safety net only
            stop = true;
            pipe.WakeReader();
        } else {
            std::this_thread::yield();
        }
    }
    readers.join();
    writer.join();
    return run;
}

// Text the host programs echo as it is: digits and letters in lines, never their quit command.
inline std::string EchoText(std::size_t size) {
    std::string text;
    for (uint32_t line = 0; text.size() < size; ++line) {
        text += "line " + std::to_string(line) + " " +
                std::string(line % 37, static_cast<char>('a' + line % 26)) + "\r";
    }
    text.resize(size);
    return text;
}

}  // namespace hostlink::testing
