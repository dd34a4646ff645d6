// The exports of an in-process engine for tests of the control: one view at a fixed address, made in any
// window, whose requests go to the test's own function; the other exports do nothing.
#pragma once

#include "docview/engine_binding.h"
#include "docview/qelctrl.h"
#include "docview/tests/null_window.h"

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

// A control site on the stub engine and a window-free control window, as the control's core tests use.
inline ControlSite StubControlSite(LydvwRequestFn request) {
    ControlSite site;
    site.makeWindow = [](Cqelctrl& control) { return new NullWindow(control); };
    site.loadEngine = [request](EngineApi& api) {
        api = StubEngineApi(request);
        return 0;
    };
    site.exePath = "/opt/hosts/bin/viewer";
    return site;
}

}  // namespace docview::testing
