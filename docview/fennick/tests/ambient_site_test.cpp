// The control on Qt asks its container's ambient site, found on the nearest ancestor of its widget that has
// one: a PrinterDC put while the site says design mode is refused as runtime only; without a site the
// control is in run mode.
#include <gtest/gtest.h>

#include <QWidget>

#include "docview/fennick/fennick_window.h"
#include "docview/tests/control_calls.h"
#include "platform/user_prompt.h"
#include "suite/qt/ambient_site.h"
#include "testsupport/test_support.h"

namespace fennick {
namespace {

using platform::automation::InvokeKind;
using platform::automation::Variant;

class FormSite : public QWidget, public suite::AmbientSite {
    Q_OBJECT
    Q_INTERFACES(suite::AmbientSite)

  public:
    bool UserMode() const override { return userMode; }
    bool userMode = false;
};

class AmbientSiteTest : public testsupport::RegistryTest {};

TEST_F(AmbientSiteTest, PrinterDCIsRuntimeOnlyWhileTheNearestSiteSaysDesignMode) {
    platform::RecordingPrompt prompts;
    docview::ControlSite site;
    site.prompt = [&prompts]() -> platform::UserPrompt& { return prompts; };
    site.exePath = "/opt/viewer";
    std::shared_ptr<docview::Cqelctrl> control = CreateFennickControl(site);
    auto* widget = static_cast<QWidget*>(control->Widget());
    const auto putAndGet = [&](int32_t dc) {
        docview::testing::InvokeByName(*control, "PrinterDC", InvokeKind::PropertyPut, {Variant::I4(dc)});
        return docview::testing::InvokeByName(*control, "PrinterDC", InvokeKind::PropertyGet).AsI4();
    };
    // No site: run mode.
    EXPECT_EQ(putAndGet(5), 5);

    // A form in design mode, with a plain frame between it and the control.
    FormSite form;
    QWidget frame(&form);
    widget->setParent(&frame);
    prompts.Clear();
    EXPECT_EQ(putAndGet(6), 5);
    EXPECT_EQ(docview::testing::InvokeByName(*control, "ErrorCode", InvokeKind::PropertyGet),
              Variant::I4(16653));
    ASSERT_EQ(prompts.Shown().size(), 1u);
    EXPECT_EQ(prompts.Shown()[0].text, "Runtime Only");

    form.userMode = true;
    EXPECT_EQ(putAndGet(7), 7);
    widget->setParent(nullptr);
}

}  // namespace
}  // namespace fennick

#include "ambient_site_test.moc"
