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

// A page that rewrites every row: lists by position, a bit group shown inverted, a check written as 1,
// a float, and a font that holds no font object.
PageDefinition RewritingPage() {
    PageDefinition page;
    page.className = "CAll";
    page.writeEveryRow = true;
    PageField fit;
    fit.id = 1;
    fit.kind = FieldKind::List;
    fit.property = "Fit";
    fit.initial = Variant::I4(-1);
    fit.listValues = {0, 4, 5};
    fit.choices = {"0", "4", "5"};
    PageField flags;
    flags.id = 2;
    flags.kind = FieldKind::Bits;
    flags.property = "Flags";
    flags.initial = Variant::I4(0);
    flags.bits = {{21, "A", 0x1}, {22, "B", 0x2}};
    flags.bitsSetWhenClear = true;
    PageField on;
    on.id = 3;
    on.kind = FieldKind::Check;
    on.property = "On";
    on.initial = Variant::Bool(false);
    on.checkAsInteger = true;
    PageField margin;
    margin.id = 4;
    margin.kind = FieldKind::Float;
    margin.property = "Margin";
    margin.initial = Variant::R4(0);
    PageField font;
    font.id = 5;
    font.kind = FieldKind::Font;
    font.property = "Face";
    page.fields = {fit, flags, on, margin, font};
    return page;
}

TEST(PageModelTest, RewritingPagesWriteEveryRowButAListWithoutSelection) {
    const PageDefinition page = RewritingPage();
    struct Case {
        const char* name;
        Variant fit;
        size_t puts;  // Face is put by reference, which the object does not take
    };
    for (const Case& c :
         {Case{"FitWithoutEntry", Variant::I2(2), 3}, Case{"FitOnItsEntry", Variant::I2(4), 4}}) {
        auto object = std::make_shared<FakeObject>(
            std::vector<std::pair<std::string, Variant>>{{"Fit", c.fit},
                                                         {"Flags", Variant::I2(static_cast<int16_t>(0x7F01))},
                                                         {"On", Variant::I4(7)},
                                                         {"Margin", Variant::R4(1.5f)},
                                                         {"Face", Variant::I4(3)}});
        PageModel model(page);
        model.SetObjects({object});
        model.Load();
        EXPECT_FALSE(model.IsDirty()) << c.name;
        EXPECT_EQ(model.ListIndex(page.fields[0]), c.fit.AsI4() == 4 ? 1 : -1) << c.name;
        const auto font = PageFontOf(model.Value(page.fields[4]));
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(font->Description().name, "Arial");
        EXPECT_EQ(font->SizeCurrency(), 100000);

        const std::vector<std::string> refused = model.Apply();
        EXPECT_EQ(refused, std::vector<std::string>{"Face"}) << c.name;
        EXPECT_TRUE(model.IsDirty()) << "what could not be written keeps the page dirty";
        EXPECT_EQ(object->m_puts.size(), c.puts) << c.name;
        EXPECT_EQ(object->m_values["Fit"], c.fit) << c.name;
        EXPECT_EQ(object->m_values["Flags"], Variant::I2(0x1)) << "only the group's bits";
        EXPECT_EQ(object->m_values["On"], Variant::I4(1)) << "a check writes 1, not a BOOL";
        EXPECT_EQ(object->m_values["Margin"], Variant::R4(1.5f));
    }
}

TEST(PageModelTest, RewritingPagesSkipPropertiesAnObjectDoesNotHave) {
    const PageDefinition page = RewritingPage();
    auto object =
        std::make_shared<FakeObject>(std::vector<std::pair<std::string, Variant>>{{"On", Variant::I4(0)}});
    PageModel model(page);
    model.SetObjects({object});
    model.Load();
    ASSERT_TRUE(model.SetValue(page.fields[2], Variant::Bool(true)));
    EXPECT_FALSE(model.SetValue(page.fields[3], Variant::I4(1))) << "a float takes R4 only";
    EXPECT_TRUE(model.Apply().empty());
    EXPECT_FALSE(model.IsDirty());
    EXPECT_EQ(object->m_values["On"], Variant::I4(1));
}

}  // namespace
}  // namespace platform::automation
