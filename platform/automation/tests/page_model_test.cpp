// A page table of its own, without the control's: a field with a local property follows the page's
// switch only when the page names one, and edits reach every object by name.
#include "platform/automation/page_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/fake_dispatch_object.h"

namespace platform::automation {
namespace {

using testsupport::FakeObject;

PageDefinition MakePage(std::string switchProperty) {
    PageDefinition page;
    page.className = "CPPView";
    page.caption = "View";
    PageField mode;
    mode.id = 1;
    mode.label = "Mode";
    mode.kind = FieldKind::Choice;
    mode.property = "Mode";
    mode.initial = Variant::Bstr("wide");
    mode.choices = {"narrow", "wide"};
    PageField width;
    width.id = 2;
    width.label = "Width";
    width.kind = FieldKind::Number;
    width.property = "WideWidth";
    width.localProperty = "NarrowWidth";
    width.initial = Variant::I4(80);
    page.fields = {mode, width};
    page.switchProperty = std::move(switchProperty);
    page.switchLocalValue = "narrow";
    return page;
}

std::shared_ptr<FakeObject> ViewObject() {
    return std::make_shared<FakeObject>(
        std::vector<std::pair<std::string, Variant>>{{"Mode", Variant::Bstr("narrow")},
                                                     {"WideWidth", Variant::I2(132)},
                                                     {"NarrowWidth", Variant::I2(40)}});
}

TEST(PageModel, AFieldFollowsOnlyTheSwitchItsPageNames) {
    struct Case {
        const char* switchProperty;
        const char* bound;
        int32_t shown;
    };
    const Case cases[] = {{"Mode", "NarrowWidth", 40}, {"", "WideWidth", 132}, {"Other", "WideWidth", 132}};
    for (const Case& c : cases) {
        const PageDefinition page = MakePage(c.switchProperty);
        PageModel model(page);
        model.SetObjects({ViewObject(), nullptr});
        model.Load();
        EXPECT_EQ(model.BoundProperty(*page.Field(2)), c.bound) << c.switchProperty;
        EXPECT_EQ(model.Value(*page.Field(2)), Variant::I4(c.shown)) << c.switchProperty;
    }

    const PageDefinition page = MakePage("Mode");
    auto object = ViewObject();
    PageModel model(page);
    model.SetObjects({object});
    model.Load();
    ASSERT_TRUE(model.SetValue(*page.Field(2), Variant::I4(50)));
    ASSERT_TRUE(model.SetValue(*page.Field(1), Variant::Bstr("wide")));
    EXPECT_EQ(model.Value(*page.Field(2)), Variant::I4(132));
    EXPECT_TRUE(model.Apply().empty());
    EXPECT_EQ(object->m_puts, (std::vector<std::pair<std::string, Variant>>{
                                  {"Mode", Variant::Bstr("wide")}, {"NarrowWidth", Variant::I2(50)}}));
}

}  // namespace
}  // namespace platform::automation
