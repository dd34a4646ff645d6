// A control window for tests of the control without its toolkit: it stands for the widget, counts refreshes
// and tells the control when it goes first.
#pragma once

#include <functional>

#include "docview/qelctrl.h"

namespace docview::testing {

class NullWindow : public ControlWindow {
  public:
    explicit NullWindow(Cqelctrl& control) : m_control(&control) {}
    ~NullWindow() override {
        if (m_control)
            m_control->OnDestroy();
    }
    void* Widget() override { return this; }
    void Post(std::function<void()>) override {}
    void Update() override {}
    void PlaceView(void*) override {}
    void RefreshView(void*) override { ++refreshed; }
    void FocusView(void*) override {}
    void Dispose() override {
        m_control = nullptr;
        delete this;
    }
    static inline int refreshed = 0;

  private:
    Cqelctrl* m_control;
};

}  // namespace docview::testing
