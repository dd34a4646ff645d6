// Calling an automation object by member name in a test, as a host does (the method's text result, with a
// test failure when the name is unknown or the call fails), and a client window that records what an object
// posts to it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch_object.h"

namespace testsupport {

inline std::string CallForText(platform::automation::IDispatch& object, std::string_view name,
                               std::vector<platform::automation::Variant> args = {}) {
    namespace automation = platform::automation;
    automation::DISPID id = automation::DISPID_UNKNOWN;
    EXPECT_EQ(object.GetIDOfName(name, id), automation::S_OK) << name;
    automation::Variant result;
    EXPECT_EQ(object.Invoke(id, automation::InvokeKind::Method, args, &result, nullptr), automation::S_OK)
        << name;
    return result.AsBstr();
}

// The same with one text argument.
inline std::string CallForText(platform::automation::IDispatch& object, std::string_view name,
                               std::string argument) {
    return CallForText(object, name, {platform::automation::Variant::Bstr(std::move(argument))});
}

// The client window as the object manager hands it to its objects: PostMessage(message, wParam, lParam)
// recorded, answering `listening`.
class RecordingClientWindow : public platform::automation::DispatchObject {
  public:
    struct Posted {
        uint32_t message;
        int32_t wParam;
        int32_t lParam;
    };
    RecordingClientWindow() {
        namespace automation = platform::automation;
        using automation::VarType;
        Table().Method(
            "PostMessage", 1, {VarType::I4, VarType::I4, VarType::I4}, VarType::Bool,
            [this](std::span<const automation::Variant> args) {
                posts.push_back({static_cast<uint32_t>(args[0].AsI4()), args[1].AsI4(), args[2].AsI4()});
                return automation::Variant::Bool(listening);
            });
    }
    std::vector<Posted> posts;
    bool listening = true;
};

}  // namespace testsupport
