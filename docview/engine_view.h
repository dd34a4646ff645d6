// One engine view as the control holds it: every request goes through it, it is the option channel, and
// it destroys the view exactly once.
#pragma once

#include <cstdint>

#include "docview/engine_binding.h"
#include "docview/options.h"

namespace docview {

// A request record, zeroed, its size in its first field.
template <typename Record>
Record Sized() {
    Record record{};
    record.size = sizeof record;
    return record;
}

class CEngineView final : public OptionChannel {
  public:
    CEngineView(const EngineApi& api, LydvwView* view) : m_api(api), m_view(view) {}
    ~CEngineView() override { Destroy(); }
    CEngineView(const CEngineView&) = delete;
    CEngineView& operator=(const CEngineView&) = delete;

    bool Exists() const { return m_view != nullptr; }
    LydvwView* View() const { return m_view; }
    // The engine's widget (a QWidget*), or null.
    void* Widget() const { return m_view ? m_api.viewWidget(m_view) : nullptr; }

    // The engine's answer; LYDVW_E_ARGUMENT once the view is gone.
    int64_t Request(uint32_t request, uint64_t wparam = 0, uint64_t lparam = 0) const;
    template <typename Record>
    int64_t Request(uint32_t request, Record& record) const {
        return Request(request, 0, reinterpret_cast<uint64_t>(&record));
    }

    // Requests 2074 and 2075 with the "current document" flag.
    int64_t SetOption(uint32_t id, const void* data, size_t size) override;
    int64_t GetOption(uint32_t id, void* data, size_t size) override;
    // Both flags set is refused here with 15, never sent.
    int64_t GetOption(uint32_t id, bool current, bool engineDefault, void* data);

    // Gives a block the engine handed out back to it.
    void Free(void* block) const {
        if (block && m_api.freeBlock)
            m_api.freeBlock(block);
    }

    void SetStatCallback(LydvwStatFn fn) const;
    void Destroy();

  private:
    EngineApi m_api;
    LydvwView* m_view;
};

}  // namespace docview
