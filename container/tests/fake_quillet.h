// The stand-in terminal control the container tests load: what the tests set before the control is made
// (missing names, answers, members that fail) and what it saw afterwards (lookups, calls), shared with the
// component library through its FakeQuilletGetState entry.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"

namespace container::testing {

struct FakeCall {
    std::string member;
    std::vector<platform::automation::Variant> args;
    platform::automation::InvokeKind kind = platform::automation::InvokeKind::Method;
};

struct FakeQuilletState {
    // Set before creation.
    std::vector<std::string> omitted;  // names the control does not know
    bool oddCase = false;              // the control spells its names in another case
    bool withWidget = false;           // the control answers the widget interface
    std::vector<std::string> failing;  // members whose handler throws (a failed call)
    std::vector<std::string> raising;  // members whose Invoke itself throws
    int32_t loginResult = 0;
    bool autoLoginResult = true;
    bool chainable = false;
    bool simple = false;
    bool directChainMode = false;
    // MinimumWindowSize's answer, and the size the control then asks for.
    bool minimumAccepted = true;
    int32_t minWindowWidth = 0;
    int32_t minWindowHeight = 0;
    // Runs inside Login and AutoLogin, as the control fires ShowContainer there.
    std::function<void()> onLogin;

    // Seen by the control.
    int created = 0;
    int alive = 0;
    std::vector<std::string> lookups;
    std::vector<FakeCall> calls;
    std::string loginText;  // read through Login's pointer during the call
    // Fires an event on the live control; 0 sinks when none is alive.
    std::function<size_t(platform::automation::DISPID, std::span<const platform::automation::Variant>)> fire;
    // Told when the control object goes.
    std::function<void()> onDestroyed;

    void Reset() { *this = FakeQuilletState{}; }
    // The calls of one member, in order.
    std::vector<FakeCall> CallsOf(const std::string& member) const {
        std::vector<FakeCall> out;
        for (const FakeCall& call : calls) {
            if (call.member == member) {
                out.push_back(call);
            }
        }
        return out;
    }
};

using FakeQuilletGetStateFn = FakeQuilletState* (*)();
inline constexpr const char* kFakeQuilletGetState = "FakeQuilletGetState";

}  // namespace container::testing
