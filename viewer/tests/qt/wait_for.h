// Waiting for a condition while the viewer's event loop runs, with a deadline generous for a loaded machine.
#pragma once

#include <QApplication>
#include <chrono>
#include <functional>

namespace viewer {

inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace viewer
