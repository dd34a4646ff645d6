// The control's predefined values through per-property browsing: every list as data, each label's number
// equal to its cookie, display strings from the values the control holds, and the answers for unlisted
// properties and bad cookies.
#include "docview/property_lists.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "docview/qelctrl.h"

namespace docview {
namespace {

namespace automation = platform::automation;
using automation::CPropertyBrowsing;
using automation::DISPID;
using automation::InvokeKind;
using automation::IPerPropertyBrowsing;
using automation::Variant;
using automation::VarType;

struct ListCase {
    std::vector<DISPID> properties;
    VarType kind;
    std::vector<std::string> strings;
    std::vector<uint32_t> cookies;
};

const std::vector<ListCase>& ExpectedLists() {
    static const std::vector<ListCase> lists = {
        {{2,   5,   12,  13,  20,  27,  28,  35,  59,  65,  66,  67,  70,  71,  74,  79,
          126, 135, 145, 146, 147, 148, 151, 152, 153, 154, 155, 156, 158, 161, 165, 166},
         VarType::I4,
         {"True", "False"},
         {1, 0}},
        {{8},
         VarType::I2,
         {"1 - Original", "2 - Window", "3 - WindowHeight", "4 - WindowWidth"},
         {1, 2, 3, 4}},
        {{9},
         VarType::I2,
         {"1 - Original", "2 - Window", "3 - WindowHeight", "4 - WindowWidth", "5 - StretchWindow"},
         {1, 2, 3, 4, 5}},
        {{10, 11}, VarType::I2, {"1 - Original", "2 - Stretch"}, {1, 2}},
        {{7}, VarType::I2, {"0", "90", "180", "270"}, {0, 90, 180, 270}},
        {{143, 144}, VarType::I2, {"0 - Table", "1 - Optimized Tabs", "2 - Tabs"}, {0, 1, 2}},
        {{149},
         VarType::I2,
         {"0 - Original", "1 - Fit To Page", "2 - Fit To Page Width", "3 - Fit To Page Height"},
         {0, 1, 2, 3}},
        {{150}, VarType::I2, {"0 - Original", "4 - Scale Percent", "5 - Fit To Pages"}, {0, 4, 5}},
        {{139}, VarType::I2, {"0 - Across", "1 - Down"}, {0, 1}},
        {{18}, VarType::I2, {"1 - Draft", "2 - Normal", "3 - Page Preview"}, {1, 2, 3}},
        {{19}, VarType::I2, {"1 - Original", "2 - Window", "4 - WindowWidth"}, {1, 2, 4}},
        {{21}, VarType::I2, {"1 - None", "2 - Name", "3 - Size", "4 - Date"}, {1, 2, 3, 4}},
        {{31},
         VarType::I2,
         {"0 - Ansi (7 bit)", "1 - Ansi (8 bit)", "2 - Ascii (7 bit)", "3 - Ascii (8 bit)", "4 - Mac (7 bit)",
          "5 - Mac (8 bit)", "6 - Unicode", "7 - Hex", "8 - Don't View", "9 - ShiftJis", "10 - Chinese (GB)",
          "11 - Hangeul", "12 - Chinese (BIG5)", "13 - DOS (Latin2)", "14 - Japanese (EUC)",
          "15 - Cyrillic (ANSI 1251)", "16 - Cyrillic (KOI8-R)"},
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        {{54},
         VarType::I2,
         {"0 - MDY - Month, Day, Year", "1 - DMY - Day, Month, Year", "2 - YMD - Year, Month, Day"},
         {0, 1, 2}},
        {{78},
         VarType::I2,
         {"1 - All Pages", "2 - Selection", "3 - Range", "4 - Current Section"},
         {1, 2, 3, 4}},
    };
    return lists;
}

class PropertyListsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_control = CreateQelctrl(ControlSite{});
        m_browsing = automation::QueryInterfaceAs<IPerPropertyBrowsing>(*m_control,
                                                                        automation::IID_IPerPropertyBrowsing);
        ASSERT_NE(m_browsing, nullptr);
    }
    automation::HRESULT Put(std::string_view name, Variant value) {
        DISPID id = automation::DISPID_UNKNOWN;
        EXPECT_EQ(m_control->GetIDOfName(name, id), automation::S_OK) << name;
        const Variant args[] = {std::move(value)};
        return m_control->Invoke(id, InvokeKind::PropertyPut, args, nullptr, nullptr);
    }
    std::shared_ptr<Cqelctrl> m_control;
    std::shared_ptr<IPerPropertyBrowsing> m_browsing;
};

TEST_F(PropertyListsTest, EveryListedPropertyGivesItsStringsCookiesAndValueKind) {
    size_t properties = 0;
    for (const ListCase& list : ExpectedLists()) {
        for (DISPID dispid : list.properties) {
            ++properties;
            std::vector<std::string> strings;
            std::vector<uint32_t> cookies;
            ASSERT_EQ(m_browsing->GetPredefinedStrings(dispid, &strings, &cookies), automation::S_OK)
                << dispid;
            EXPECT_EQ(strings, list.strings) << dispid;
            EXPECT_EQ(cookies, list.cookies) << dispid;
            for (uint32_t cookie : cookies) {
                Variant value;
                ASSERT_EQ(m_browsing->GetPredefinedValue(dispid, cookie, &value), automation::S_OK);
                EXPECT_EQ(value.Type(), list.kind) << dispid;
                EXPECT_EQ(value.AsI4(), static_cast<int32_t>(cookie)) << dispid;
            }
        }
    }
    EXPECT_EQ(properties, 48u);  // 32 switches, 16 properties over 14 lists of their own
    EXPECT_EQ(PropertyLists().size(), ExpectedLists().size());
}

// A label that starts with a number names the value it stands for; so do the rotation's bare numbers.
TEST_F(PropertyListsTest, EachLabelsNumberIsItsCookie) {
    for (const automation::BrowseList& list : PropertyLists()) {
        std::vector<std::string> strings;
        std::vector<uint32_t> cookies;
        ASSERT_EQ(m_browsing->GetPredefinedStrings(list.properties[0], &strings, &cookies), automation::S_OK);
        for (size_t i = 0; i < strings.size(); ++i) {
            if (strings[i].empty() || !std::isdigit(static_cast<unsigned char>(strings[i][0]))) {
                continue;
            }
            EXPECT_EQ(std::stoul(strings[i]), cookies[i]) << strings[i];
        }
    }
}

TEST_F(PropertyListsTest, DisplayStringsFollowTheHeldValue) {
    struct Case {
        const char* property;
        Variant put;
        DISPID dispid;
        automation::HRESULT hr;
        const char* text;
    };
    const Case cases[] = {
        {"BMPRotation", Variant::I2(90), 7, automation::S_OK, "90"},
        {"ErrorShowMsg", Variant::I4(-1), 2, automation::E_FAIL, ""},
        {"ErrorShowMsg", Variant::I4(1), 2, automation::S_OK, "True"},
        {"HScrollbar", Variant::I4(0), 70, automation::S_OK, "False"},
        {"SSPrintFit", Variant::I2(4), 150, automation::S_OK, "4 - Scale Percent"},
        {"FallbackFormat", Variant::I2(15), 31, automation::S_OK, "15 - Cyrillic (ANSI 1251)"},
        {"ShortDateOrder", Variant::I2(2), 54, automation::S_OK, "2 - YMD - Year, Month, Day"},
        {"StatusEvents", Variant::I4(1), 166, automation::S_OK, "True"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Put(c.property, c.put), automation::S_OK) << c.property;
        std::string text = "untouched";
        EXPECT_EQ(m_browsing->GetDisplayString(c.dispid, &text), c.hr) << c.property;
        EXPECT_EQ(text, automation::Succeeded(c.hr) ? std::string(c.text) : "untouched") << c.property;
    }
}

TEST(PropertyBrowsingTest, AValueWithoutAnEntryHasNoDisplayString) {
    const std::map<DISPID, int32_t> held = {{7, 45}, {2, -1}, {19, 3}};
    CPropertyBrowsing browsing(
        PropertyLists(), [](int32_t id) { return std::to_string(id); },
        [&held](DISPID dispid) -> std::optional<int32_t> {
            const auto it = held.find(dispid);
            return it == held.end() ? std::nullopt : std::optional<int32_t>(it->second);
        });
    std::string text;
    for (DISPID dispid : {7, 2, 19, 8}) {
        EXPECT_EQ(browsing.GetDisplayString(dispid, &text), automation::E_FAIL) << dispid;
    }
}

TEST_F(PropertyListsTest, UnlistedPropertiesAnswerSFalseAndLeaveTheOutputs) {
    std::vector<std::string> strings = {"kept"};
    std::vector<uint32_t> cookies = {7};
    EXPECT_EQ(m_browsing->GetPredefinedStrings(1, &strings, &cookies), automation::S_FALSE);
    EXPECT_EQ(strings, std::vector<std::string>{"kept"});
    EXPECT_EQ(cookies, std::vector<uint32_t>{7});
    Variant value = Variant::Bstr("kept");
    EXPECT_EQ(m_browsing->GetPredefinedValue(1, 0, &value), automation::S_FALSE);
    EXPECT_EQ(value, Variant::Bstr("kept"));
    std::string text = "kept";
    EXPECT_EQ(m_browsing->GetDisplayString(14, &text), automation::S_FALSE);  // IMGXZoomPercent: a number
    EXPECT_EQ(text, "kept");

    EXPECT_EQ(m_browsing->GetPredefinedStrings(8, nullptr, &cookies), automation::E_POINTER);
    EXPECT_EQ(m_browsing->GetPredefinedStrings(8, &strings, nullptr), automation::E_POINTER);

    const automation::Guid before = automation::Guid::Generate();
    for (DISPID dispid : {19, 1}) {
        automation::Guid page = before;
        EXPECT_EQ(m_browsing->MapPropertyToPage(dispid, &page), automation::E_NOTIMPL) << dispid;
        EXPECT_EQ(page, before);
    }
}

TEST_F(PropertyListsTest, CookiesBecomeValuesOfTheListsKindWithoutACut) {
    Variant value;
    ASSERT_EQ(m_browsing->GetPredefinedValue(150, 4, &value), automation::S_OK);
    EXPECT_EQ(value, Variant::I2(4));
    ASSERT_EQ(m_browsing->GetPredefinedValue(2, 0xFFFFFFFFu, &value), automation::S_OK);
    EXPECT_EQ(value, Variant::I4(-1)) << "all 32 bits come from the cookie";
    ASSERT_EQ(m_browsing->GetPredefinedValue(139, 77, &value), automation::S_OK) << "no lookup in the list";
    EXPECT_EQ(value, Variant::I2(77));
    value = Variant::Bstr("kept");
    EXPECT_EQ(m_browsing->GetPredefinedValue(139, 70000, &value), automation::E_INVALIDARG);
    EXPECT_EQ(value, Variant::Bstr("kept"));
}

}  // namespace
}  // namespace docview
