// The practice model's diagnostic sink.
#include "practice/practice_log.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace practice {

namespace {
std::mutex g_logMutex;
LogSink g_logSink;
}  // namespace

void SetLogSink(LogSink sink) {
    std::lock_guard lock(g_logMutex);
    g_logSink = std::move(sink);
}

void Log(std::string_view line) {
    std::lock_guard lock(g_logMutex);
    if (g_logSink) {
        g_logSink(line);
        return;
    }
    std::fprintf(stderr, "practice: %.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace practice
