// Waiting in tests for what another process does, with a generous deadline for loaded machines.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace notifier::testing {

inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

}  // namespace notifier::testing
