// Requests to one engine view.
#include "docview/engine_view.h"

namespace docview {

int64_t CEngineView::Request(uint32_t request, uint64_t wparam, uint64_t lparam) const {
    return m_view ? m_api.request(m_view, request, wparam, lparam) : int64_t{LYDVW_E_ARGUMENT};
}

int64_t CEngineView::SetOption(uint32_t id, const void* data, size_t) {
    LydvwOptionBlock block{sizeof block, id, LYDVW_OPT_CURRENT, 0, reinterpret_cast<uint64_t>(data)};
    return Request(LYDVW_R_SET_OPTION, block);
}

int64_t CEngineView::GetOption(uint32_t id, void* data, size_t) {
    return GetOption(id, true, false, data);
}

int64_t CEngineView::GetOption(uint32_t id, bool current, bool engineDefault, void* data) {
    if (current && engineDefault)
        return LYDVW_E_ARGUMENT;
    const uint32_t flags =
        (current ? uint32_t{LYDVW_OPT_CURRENT} : 0u) | (engineDefault ? uint32_t{LYDVW_OPT_DEFAULT} : 0u);
    LydvwOptionBlock block{sizeof block, id, flags, 0, reinterpret_cast<uint64_t>(data)};
    return Request(LYDVW_R_GET_OPTION, block);
}

void CEngineView::SetStatCallback(LydvwStatFn fn) const {
    if (m_view)
        m_api.setStatCallback(fn, m_view, 0);
}

void CEngineView::Destroy() {
    // Cleared first, so a notification raised while the engine tears down cannot reach a dead view.
    LydvwView* view = m_view;
    m_view = nullptr;
    if (view)
        m_api.destroyView(view);
}

}  // namespace docview
