// The stock font object: its members, reading any font object by name, and its persistence.
#include "platform/automation/stock_font.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/fake_dispatch_object.h"
#include "testsupport/map_property_bag.h"

namespace platform::automation {
namespace {

using testsupport::FakeObject;
using testsupport::MapBag;

Variant GetMember(IDispatch& object, std::string_view name) {
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(object.GetIDOfName(name, id), S_OK) << name;
    Variant result;
    EXPECT_EQ(object.Invoke(id, InvokeKind::PropertyGet, {}, &result, nullptr), S_OK) << name;
    return result;
}

HRESULT PutMember(IDispatch& object, std::string_view name, Variant value) {
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(object.GetIDOfName(name, id), S_OK) << name;
    const Variant args[] = {std::move(value)};
    return object.Invoke(id, InvokeKind::PropertyPut, args, nullptr, nullptr);
}

TEST(StockFont, MembersChangeTheDescriptionAndReportRealChangesOnly) {
    int changes = 0;
    auto font = std::make_shared<CStockFont>(FontDescription{}, [&changes] { ++changes; });
    EXPECT_EQ(PutMember(*font, "Name", Variant::Bstr("Courier New")), S_OK);
    EXPECT_EQ(PutMember(*font, "Size", Variant::Bstr("12")), S_OK);
    EXPECT_EQ(PutMember(*font, "Bold", Variant::Bool(true)), S_OK);
    EXPECT_EQ(PutMember(*font, "Italic", Variant::Bool(true)), S_OK);
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(PutMember(*font, "Bold", Variant::Bool(true)), S_OK);  // no change, no report
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(GetMember(*font, "Weight"), Variant::I2(700));
    EXPECT_EQ(PutMember(*font, "Weight", Variant::I2(400)), S_OK);
    EXPECT_EQ(GetMember(*font, "Bold"), Variant::Bool(false));

    // Values no font can have change nothing.
    for (auto [name, value] :
         std::vector<std::pair<std::string_view, Variant>>{{"Name", Variant::Bstr("")},
                                                           {"Size", Variant::I4(0)},
                                                           {"Size", Variant::I4(5000)},
                                                           {"Weight", Variant::I2(-1)},
                                                           {"Charset", Variant::I2(256)}}) {
        EXPECT_EQ(PutMember(*font, name, value), E_INVALIDARG) << name;
    }
    const FontDescription expected{"Courier New", 12, 400, 0, true, false, false};
    EXPECT_EQ(font->Description(), expected);
    EXPECT_EQ(changes, 5);
    EXPECT_EQ(GetMember(*font, "Name"), Variant::Bstr("Courier New"));
    DISPID id = 1;
    ASSERT_EQ(font->GetIDOfName("name", id), S_OK);
    EXPECT_EQ(id, DISPID_VALUE);
}

TEST(StockFont, ReadsAnyFontObjectByName) {
    auto other = std::make_shared<FakeObject>(
        std::vector<std::pair<std::string, Variant>>{{"Name", Variant::Bstr("Lucida Console")},
                                                     {"Size", Variant::I2(14)},
                                                     {"Bold", Variant::Bool(true)},
                                                     {"Underline", Variant::Bool(true)}});
    const auto read = CStockFont::ReadFrom(*other);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, (FontDescription{"Lucida Console", 14, 700, 0, false, true, false}));
    // No size: not a font.
    auto notFont = std::make_shared<FakeObject>(
        std::vector<std::pair<std::string, Variant>>{{"Name", Variant::Bstr("Lucida Console")}});
    EXPECT_FALSE(CStockFont::ReadFrom(*notFont));
}

TEST(StockFont, PersistsAndKeepsItsValuesAgainstADamagedStore) {
    CStockFont font(FontDescription{"Courier New", 11, 700, 2, true, true, true});
    MapBag bag;
    font.Save(bag);
    int changes = 0;
    CStockFont loaded(FontDescription{}, [&changes] { ++changes; });
    loaded.Load(bag);
    EXPECT_EQ(loaded.Description(), font.Description());
    EXPECT_EQ(changes, 0);

    MapBag damaged;
    damaged.m_values["Font.Name"] = PropertyValue{std::string()};
    damaged.m_values["Font.Size"] = PropertyValue{int32_t{-4}};
    damaged.m_values["Font.Weight"] = PropertyValue{std::string("bold")};
    damaged.m_values["Font.Italic"] = PropertyValue{true};
    CStockFont kept(FontDescription{"Courier New", 11});
    kept.Load(damaged);
    EXPECT_EQ(kept.Description(), (FontDescription{"Courier New", 11, 400, 0, true, false, false}));
}

// A font object of the system's form: Size in currency units with half points kept, the font interfaces
// answered; the stored form stays whole points.
TEST(StockFont, TheCurrencyFormKeepsHalfPointsAndAnswersTheFontInterfaces) {
    int changes = 0;
    auto font = std::make_shared<CStockFont>(
        FontDescription{"Arial", 10}, [&] { ++changes; }, FontSizeUnit::Currency);
    EXPECT_EQ(GetMember(*font, "Size"), Variant::I4(100000));
    ASSERT_EQ(PutMember(*font, "Size", Variant::I4(105000)), S_OK);
    EXPECT_EQ(font->SizeCurrency(), 105000);
    EXPECT_EQ(GetMember(*font, "Size"), Variant::I4(105000));
    EXPECT_EQ(font->Description().size, 11);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(PutMember(*font, "Size", Variant::I4(0)), E_INVALIDARG);
    for (const Guid& iid : {IID_IFont, IID_IFontDisp}) {
        std::shared_ptr<void> out;
        EXPECT_EQ(font->QueryInterface(iid, out), S_OK);
    }
    MapBag bag;
    font->Save(bag);
    EXPECT_EQ(bag.Load("Font.Size"), std::optional<PropertyValue>(PropertyValue{int32_t{11}}));

    auto points = std::make_shared<CStockFont>(FontDescription{"Arial", 10});
    EXPECT_EQ(GetMember(*points, "Size"), Variant::I4(10));
    std::shared_ptr<void> out;
    EXPECT_EQ(points->QueryInterface(IID_IFont, out), E_NOINTERFACE);
}

}  // namespace
}  // namespace platform::automation
