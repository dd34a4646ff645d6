// A scripted engine for the binding tests: every export present, the contract version chosen at build time,
// and a view that is never made when SCRIPTED_ENGINE_NO_VIEW is set.
#include <cstdlib>

#include "docview/lydvw.h"

#define ENGINE_EXPORT extern "C" __attribute__((visibility("default")))

struct LydvwView {
    int unused = 0;
};

ENGINE_EXPORT uint32_t LydvwAbiVersion(void) {
    return SCRIPTED_ENGINE_ABI;
}

ENGINE_EXPORT LydvwView* LydvwCreateView(void*, LydvwNotifyFn, void*) {
    if (std::getenv("SCRIPTED_ENGINE_NO_VIEW"))
        return nullptr;
    return new LydvwView;
}

ENGINE_EXPORT int64_t LydvwRequest(LydvwView*, uint32_t, uint64_t, uint64_t) {
    return LYDVW_E_UNSUPPORTED;
}

ENGINE_EXPORT void* LydvwViewWidget(LydvwView*) {
    return nullptr;
}

ENGINE_EXPORT void LydvwDestroyView(LydvwView* view) {
    delete view;
}

ENGINE_EXPORT void LydvwFree(void* block) {
    std::free(block);
}

ENGINE_EXPORT void VWSetStatCallback(LydvwStatFn, LydvwView*, int32_t) {}
