// What the real viewing engine's tests start from: the engine loaded, one view on a parent window that is
// never shown, and the fixture documents written to a temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <QSize>
#include <QWidget>

#include <cstdint>
#include <string>

#include "docview/engine_binding.h"
#include "docview/tests/doc_fixtures.h"
#include "testsupport/test_support.h"

namespace docview::testing {

class EngineViewTest : public ::testing::Test {
  protected:
    // Call under ASSERT_NO_FATAL_FAILURE. With a size, the parent and the view over all of it take it.
    void OpenView(LydvwNotifyFn notify, void* context, QSize size = {}) {
        std::string message;
        ASSERT_EQ(LoadEngine(CARROWLINE_LYDVW_ENGINE, m_api, &message), 0) << message;
        if (size.isValid()) {
            m_parent.resize(size);
        }
        m_view = m_api.createView(&m_parent, notify, context);
        ASSERT_NE(m_view, nullptr);
        if (size.isValid()) {
            ViewWidget()->setGeometry(0, 0, size.width(), size.height());
        }
        WriteDocuments(m_temp.Path());
    }
    void TearDown() override {
        if (m_view) {
            m_api.destroyView(m_view);
        }
    }

    QWidget* ViewWidget() const { return static_cast<QWidget*>(m_api.viewWidget(m_view)); }
    std::string Path(const std::string& name) const { return (m_temp.Path() / name).string(); }
    // Views `path` (a whole path, not a fixture's name) as the engine's callers name a file.
    int64_t ViewPath(const std::string& path, uint32_t viewAs = 0) {
        LydvwViewFile record{};
        record.size = sizeof record;
        record.spec_type = LYDVW_SPEC_ANSI;
        record.spec = reinterpret_cast<uint64_t>(path.c_str());
        record.view_as = viewAs;
        return m_api.request(m_view, LYDVW_R_VIEW_FILE, 0, reinterpret_cast<uint64_t>(&record));
    }

    testsupport::TempFolder m_temp;
    EngineApi m_api;
    QWidget m_parent;  // never shown: a view must show documents before its host is on screen
    LydvwView* m_view = nullptr;
};

}  // namespace docview::testing
