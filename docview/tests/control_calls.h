// A control member called by name, as a host calls it: the call itself must succeed, and its result is
// returned. What a method failed with is in the control's ErrorCode.
#pragma once

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "docview/qelctrl.h"

namespace docview::testing {

inline platform::automation::Variant InvokeByName(Cqelctrl& control, std::string_view name,
                                                  platform::automation::InvokeKind kind,
                                                  std::vector<platform::automation::Variant> args = {}) {
    platform::automation::DISPID id = platform::automation::DISPID_UNKNOWN;
    EXPECT_EQ(control.GetIDOfName(name, id), platform::automation::S_OK) << name;
    platform::automation::Variant result;
    platform::automation::InvokeError error;
    EXPECT_EQ(control.Invoke(id, kind, args, &result, &error), platform::automation::S_OK)
        << name << ": " << error.description;
    return result;
}

}  // namespace docview::testing
