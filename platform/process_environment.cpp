// The process-wide environment overlay.
#include "platform/process_environment.h"

#include <map>
#include <mutex>

namespace platform {
namespace {

struct Overlay {
    std::mutex mutex;
    std::map<std::string, std::string, std::less<>> vars;
};

Overlay& TheOverlay() {
    static Overlay overlay;
    return overlay;
}

}  // namespace

void SetProcessVariable(std::string_view name, std::string_view value) {
    Overlay& overlay = TheOverlay();
    std::lock_guard lock(overlay.mutex);
    overlay.vars.insert_or_assign(std::string(name), std::string(value));
}

std::optional<std::string> ProcessVariable(std::string_view name) {
    Overlay& overlay = TheOverlay();
    std::lock_guard lock(overlay.mutex);
    auto it = overlay.vars.find(name);
    if (it == overlay.vars.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::vector<std::pair<std::string, std::string>> ProcessVariables() {
    Overlay& overlay = TheOverlay();
    std::lock_guard lock(overlay.mutex);
    return {overlay.vars.begin(), overlay.vars.end()};
}

void ClearProcessVariables() {
    Overlay& overlay = TheOverlay();
    std::lock_guard lock(overlay.mutex);
    overlay.vars.clear();
}

}  // namespace platform
