// The exports of an in-process engine for tests of the control: one view at a fixed address, made in any
// window, whose requests go to the test's own function; the other exports do nothing.
#pragma once

#include "docview/engine_binding.h"

namespace docview::testing {

inline EngineApi StubEngineApi(LydvwRequestFn request) {
    alignas(8) static char view[8];
    return EngineApi{[] { return uint32_t{LYDVW_ABI_VERSION}; },
                     [](void* parent, LydvwNotifyFn, void*) {
                         return parent ? reinterpret_cast<LydvwView*>(view) : nullptr;
                     },
                     request,
                     [](LydvwView*) -> void* { return nullptr; },
                     [](LydvwView*) {},
                     [](void*) {},
                     [](LydvwStatFn, LydvwView*, int32_t) {}};
}

}  // namespace docview::testing
