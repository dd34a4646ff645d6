// The control's seven property pages offscreen, on the control itself and on objects with named properties:
// their classes and the control's page list and verb, lists by position against the control's browsing,
// load and Apply as a table per page (every row written, a list without a selection left alone), bit groups,
// margins, fonts, two objects, and numbers that are refused with the page left dirty.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>

#include "docview/page_tables.h"
#include "docview/qelctrl.h"
#include "platform/automation/property_browsing.h"
#include "platform/automation/stock_font.h"
#include "platform/user_prompt.h"
#include "suite/qt/page_object.h"
#include "suite/qt/qt_text.h"
#include "testsupport/fake_dispatch_object.h"

namespace docview {
namespace {

namespace automation = platform::automation;
using automation::DISPID;
using automation::IDispatch;
using automation::InvokeKind;
using automation::Variant;
using testsupport::FakeObject;

class PagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_scoped = std::make_unique<platform::ScopedDefaultPrompt>(m_prompts);
        m_control = CreateQelctrl(ControlSite{});
    }
    void TearDown() override {
        m_page.reset();
        m_host.reset();
        m_scoped.reset();
    }

    // The page made by its class factory, given `objects` and activated in a host widget.
    suite::CPropertyPage& Open(const PageDefinition& definition,
                               std::vector<std::shared_ptr<IDispatch>> objects) {
        auto factory = suite::PageClassFactoryOf(ControlPages(), definition.clsid);
        EXPECT_NE(factory, nullptr);
        std::shared_ptr<IDispatch> made;
        EXPECT_EQ(factory->CreateInstance(made), automation::S_OK);
        m_page = std::dynamic_pointer_cast<suite::CPropertyPageObject>(made);
        EXPECT_NE(m_page, nullptr);
        m_page->SetObjects(std::move(objects));
        m_host = std::make_unique<QWidget>();
        m_page->Activate(m_host.get());
        return *m_page->Widget();
    }
    suite::CPropertyPage& OpenOnControl(const PageDefinition& definition) {
        return Open(definition, {m_control});
    }

    template <typename T>
    T* Control(int32_t id) {
        auto* widget = qobject_cast<T*>(m_page->Widget()->FieldWidget(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    void Type(int32_t id, const QString& text) {
        auto* edit = Control<QLineEdit>(id);
        edit->setText(text);
        emit edit->textEdited(text);
    }
    Variant Get(IDispatch& object, std::string_view name) {
        DISPID id = automation::DISPID_UNKNOWN;
        EXPECT_EQ(object.GetIDOfName(name, id), automation::S_OK) << name;
        Variant value;
        EXPECT_EQ(object.Invoke(id, InvokeKind::PropertyGet, {}, &value, nullptr), automation::S_OK) << name;
        return value;
    }
    void Put(std::string_view name, Variant value) {
        DISPID id = automation::DISPID_UNKNOWN;
        ASSERT_EQ(m_control->GetIDOfName(name, id), automation::S_OK) << name;
        const Variant args[] = {std::move(value)};
        ASSERT_EQ(m_control->Invoke(id, InvokeKind::PropertyPut, args, nullptr, nullptr), automation::S_OK)
            << name;
    }
    int32_t Held(std::string_view name) { return Get(*m_control, name).AsI4(); }

    platform::RecordingPrompt m_prompts;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_scoped;
    std::shared_ptr<Cqelctrl> m_control;
    std::shared_ptr<suite::CPropertyPageObject> m_page;
    std::unique_ptr<QWidget> m_host;
};

TEST_F(PagesTest, ThePageClassesAreTheControlsListAndThePropertyVerbOpensTheFrame) {
    struct Expected {
        const char* className;
        const char* clsid;
        const char* progId;
        const char* title;
        const char* typeName;
    };
    const Expected expected[] = {
        {"CPropView", "{19D90432-853B-4B09-9DC4-2D68C9445EDA}", "PropView.PropView.1", "&Viewing",
         "PropView Class"},
        {"CDBOpt", "{9B4B3A21-02C1-4E96-B904-F8D4A251A894}", "DBOpt.DBOpt.1", "&Database", "DBOpt Class"},
        {"CEventPpg", "{9B4B3A23-02C1-4E96-B904-F8D4A251A894}", "EventPpg.EventPpg.1", "&Misc",
         "EventPpg Class"},
        {"CImageOpt", "{9B4B3A24-02C1-4E96-B904-F8D4A251A894}", "ImageOpt.ImageOpt.1", "&Image",
         "ImageOpt Class"},
        {"CWPOpt", "{9B4B3A25-02C1-4E96-B904-F8D4A251A894}", "WPOpt.WPOpt.1", "&Word Processing",
         "WPOpt Class"},
        {"CPrintPpg", "{95E781B1-1BF1-48F8-96BE-F3E8526D0498}", "PrintPpg.PrintPpg.1", "&Printing",
         "PrintPpg Class"},
        {"CSSPpg", "{C4939281-60F9-4B94-B0A0-39CBFA751740}", "SSPpg.SSPpg.1", "&Spreadsheet", "SSPpg Class"},
    };
    auto list = automation::QueryInterfaceAs<automation::ISpecifyPropertyPages>(
        *m_control, automation::IID_ISpecifyPropertyPages);
    ASSERT_NE(list, nullptr);
    std::vector<automation::Guid> pages;
    ASSERT_EQ(list->GetPages(pages), automation::S_OK);
    ASSERT_EQ(pages.size(), std::size(expected));
    const auto registrations = suite::PageRegistrationsOf(ControlPages());
    for (size_t i = 0; i < pages.size(); ++i) {
        const PageDefinition& page = *ControlPages()[i];
        EXPECT_EQ(page.className, expected[i].className);
        EXPECT_EQ(pages[i].ToString(), expected[i].clsid);
        EXPECT_EQ(registrations[i].progId, expected[i].progId);
        EXPECT_EQ(registrations[i].typeName, expected[i].typeName);
        Open(page, {m_control});
        EXPECT_EQ(m_page->Title(), expected[i].title);
        EXPECT_FALSE(m_page->IsPageDirty()) << "loading is no change";
    }

    int shown = 0;
    ControlSite site;
    site.showProperties = [&shown](Cqelctrl&) { ++shown; };
    auto control = CreateQelctrl(std::move(site));
    auto verbs =
        automation::QueryInterfaceAs<automation::IObjectVerbs>(*control, automation::IID_IObjectVerbs);
    ASSERT_NE(verbs, nullptr);
    EXPECT_EQ(verbs->DoVerb(automation::OLEIVERB_PROPERTIES), automation::S_OK);
    EXPECT_EQ(verbs->DoVerb(0), automation::OLEOBJ_S_INVALIDVERB);
    EXPECT_EQ(shown, 1);
}

// Each browsed list's positions write the values the control's browsing gives as cookies, and its entries
// are the browsing strings.
TEST_F(PagesTest, ListPositionsStandForTheBrowsingCookies) {
    auto browsing = automation::QueryInterfaceAs<automation::IPerPropertyBrowsing>(
        *m_control, automation::IID_IPerPropertyBrowsing);
    ASSERT_NE(browsing, nullptr);
    size_t lists = 0;
    for (const PageDefinition* page : ControlPages()) {
        suite::CPropertyPage& widget = OpenOnControl(*page);
        for (const automation::PageField& field : page->fields) {
            if (field.kind != automation::FieldKind::List) {
                continue;
            }
            ++lists;
            DISPID id = automation::DISPID_UNKNOWN;
            ASSERT_EQ(m_control->GetIDOfName(field.property, id), automation::S_OK);
            std::vector<std::string> strings;
            std::vector<uint32_t> cookies;
            ASSERT_EQ(browsing->GetPredefinedStrings(id, &strings, &cookies), automation::S_OK)
                << field.property;
            EXPECT_EQ(std::vector<uint32_t>(field.listValues.begin(), field.listValues.end()), cookies)
                << field.property;
            auto* combo = qobject_cast<QComboBox*>(widget.FieldWidget(field.id));
            ASSERT_EQ(combo->count(), static_cast<int>(strings.size())) << field.property;
            for (int i = 0; i < combo->count(); ++i) {
                EXPECT_EQ(suite::ToCp1252(combo->itemText(i)), strings[static_cast<size_t>(i)]);
            }
        }
    }
    EXPECT_EQ(lists, 15u);
}

struct ApplyCase {
    const char* name;
    const PageDefinition& (*page)();
    std::function<void(PagesTest&)> before;  // puts on the control before the page opens
    std::function<void(PagesTest&)> edit;    // the user's edits on the open page
    std::vector<std::pair<const char*, int32_t>> after;
};

// Exposes the fixture's helpers to the table's lambdas.
class PageApplyTest : public PagesTest, public ::testing::WithParamInterface<ApplyCase> {
  public:
    using PagesTest::Control;
    using PagesTest::Held;
    using PagesTest::Put;
    using PagesTest::Type;
};

const ApplyCase kApplyCases[] = {
    {"WordFitModeFourIsTheThirdItem",
     WordProcessingPage,
     [](PagesTest& t) { static_cast<PageApplyTest&>(t).Put("WPFitMode", Variant::I2(4)); },
     [](PagesTest& t) {
         auto* list = static_cast<PageApplyTest&>(t).Control<QComboBox>(1021);
         EXPECT_EQ(list->currentIndex(), 2);
         EXPECT_EQ(list->currentText(), "4 - WindowWidth");
         list->setCurrentIndex(1);
         list->setCurrentIndex(2);
     },
     {{"WPFitMode", 4}, {"WPDisplayMode", 3}}},
    {"RotationOneEightyIsWritten",
     ImagePage,
     nullptr,
     [](PagesTest& t) {
         auto* list = static_cast<PageApplyTest&>(t).Control<QComboBox>(1019);
         EXPECT_EQ(list->currentText(), "0");
         list->setCurrentIndex(2);
     },
     {{"BMPRotation", 180}, {"BMPFitMode", 1}, {"IMGXZoomPercent", 100}}},
    {"EveryDialogFlagsBoxCheckedWritesZero",
     MiscPage,
     [](PagesTest& t) { static_cast<PageApplyTest&>(t).Put("DialogFlags", Variant::I2(0x7FFF)); },
     [](PagesTest& t) {
         for (int32_t id : {1030, 1038, 1031, 1034, 1035, 1036, 1037, 1033, 1032}) {
             auto* box = static_cast<PageApplyTest&>(t).Control<QCheckBox>(id);
             EXPECT_FALSE(box->isChecked()) << id;
             box->setChecked(true);
         }
     },
     {{"DialogFlags", 0}}},
    {"NoDialogFlagsBoxCheckedWritesTheNineBitsAlone",
     MiscPage,
     [](PagesTest& t) { static_cast<PageApplyTest&>(t).Put("DialogFlags", Variant::I2(0x7E00)); },
     [](PagesTest& t) {
         for (int32_t id : {1030, 1038, 1031, 1034, 1035, 1036, 1037, 1033, 1032}) {
             static_cast<PageApplyTest&>(t).Control<QCheckBox>(id)->setChecked(false);
         }
     },
     {{"DialogFlags", 0x1FF}}},
    {"ClipboardFormatBoxesAreTheirBits",
     MiscPage,
     [](PagesTest& t) { static_cast<PageApplyTest&>(t).Put("ToClipboard", Variant::I4(0x7FFFF)); },
     [](PagesTest& t) {
         auto& p = static_cast<PageApplyTest&>(t);
         EXPECT_TRUE(p.Control<QCheckBox>(101)->isChecked());
         p.Control<QCheckBox>(211)->setChecked(false);
         p.Control<QCheckBox>(101)->setChecked(false);
     },
     {{"ToClipboard", 0x1 | 0x80 | 0x100 | 0x400}}},
    {"UntouchedPageRewritesWhatItShows",
     PrintingPage,
     [](PagesTest& t) {
         auto& p = static_cast<PageApplyTest&>(t);
         p.Put("PrintCopies", Variant::I2(3));
         p.Put("WhatToPrint", Variant::I2(3));
         p.Put("PrintCollate", Variant::I4(7));
     },
     nullptr,
     {{"PrintCopies", 3}, {"WhatToPrint", 3}, {"PrintCollate", 1}, {"PrintStartPage", 1}}},
    {"NumbersAndMarginsAreRead",
     PrintingPage,
     nullptr,
     [](PagesTest& t) {
         auto& p = static_cast<PageApplyTest&>(t);
         p.Type(219, " 12 ");
         p.Type(1009, "-5");
         p.Type(225, "1.25");
     },
     {{"PrintCopies", 12}, {"PrintStartPage", -5}}},
    {"FallbackCyrillicEntriesWriteTheirLabels",
     ViewingPage,
     nullptr,
     [](PagesTest& t) {
         auto* list = static_cast<PageApplyTest&>(t).Control<QComboBox>(1008);
         list->setCurrentIndex(15);
         EXPECT_EQ(list->currentText(), "15 - Cyrillic (ANSI 1251)");
     },
     {{"FallbackFormat", 15}, {"ArchiveSortOrder", 1}, {"HScrollbar", 1}}},
};

TEST_P(PageApplyTest, LoadsEditsAndWritesEveryRow) {
    const ApplyCase& c = GetParam();
    if (c.before) {
        c.before(*this);
    }
    OpenOnControl(c.page());
    EXPECT_FALSE(m_page->IsPageDirty());
    if (c.edit) {
        c.edit(*this);
    }
    EXPECT_EQ(m_page->Apply(), automation::S_OK) << ::testing::PrintToString(m_prompts.Texts());
    EXPECT_FALSE(m_page->IsPageDirty());
    for (const auto& [property, value] : c.after) {
        EXPECT_EQ(Held(property), value) << property;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PageApplyTest, ::testing::ValuesIn(kApplyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PagesTest, MarginsShowAsShortestFloatAndAreWrittenAsFloats) {
    auto object = std::make_shared<FakeObject>(
        std::vector<std::pair<std::string, Variant>>{{"PrintMarginTop", Variant::R4(0.5f)},
                                                     {"PrintMarginBottom", Variant::R4(1.0f)},
                                                     {"PrintMarginLeft", Variant::R4(2.54f)},
                                                     {"PrintMarginRight", Variant::R4(0.0f)}});
    Open(PrintingPage(), {object});
    EXPECT_EQ(Control<QLineEdit>(225)->text(), "0.5");
    EXPECT_EQ(Control<QLineEdit>(226)->text(), "1");
    EXPECT_EQ(Control<QLineEdit>(227)->text(), "2.54");
    Type(228, "0.75");
    ASSERT_EQ(m_page->Apply(), automation::S_OK);
    EXPECT_EQ(object->m_values["PrintMarginRight"], Variant::R4(0.75f));
    EXPECT_EQ(object->m_values["PrintMarginLeft"], Variant::R4(2.54f));
}

// A list whose value has no entry shows no selection and is not written; the page's other rows are.
TEST_F(PagesTest, AListWithoutASelectionIsLeftAlone) {
    auto object = std::make_shared<FakeObject>(std::vector<std::pair<std::string, Variant>>{
        {"SSPrintFit", Variant::I2(2)}, {"SSClipboard", Variant::I2(1)}, {"SSDraftMode", Variant::I4(1)}});
    Open(SpreadsheetPage(), {object});
    EXPECT_EQ(Control<QComboBox>(234)->currentIndex(), -1);
    EXPECT_EQ(Control<QComboBox>(233)->currentIndex(), 1);
    EXPECT_TRUE(Control<QCheckBox>(229)->isChecked());
    ASSERT_EQ(m_page->Apply(), automation::S_OK);
    EXPECT_EQ(object->m_values["SSPrintFit"], Variant::I2(2));
    for (const auto& [name, value] : object->m_puts) {
        EXPECT_NE(name, "SSPrintFit");
    }
    EXPECT_EQ(object->m_puts.size(), 2u);
}

TEST_F(PagesTest, WithTwoObjectsTheSecondShowsAndBothGetTheShownValues) {
    auto first = std::make_shared<FakeObject>(
        std::vector<std::pair<std::string, Variant>>{{"WPWrapToWindow", Variant::I4(0)},
                                                     {"WPDisplayMode", Variant::I2(1)},
                                                     {"WPFitMode", Variant::I2(1)}});
    auto second = std::make_shared<FakeObject>(
        std::vector<std::pair<std::string, Variant>>{{"WPWrapToWindow", Variant::I4(1)},
                                                     {"WPDisplayMode", Variant::I2(3)},
                                                     {"WPFitMode", Variant::I2(2)}});
    Open(WordProcessingPage(), {first, second});
    EXPECT_TRUE(Control<QCheckBox>(1022)->isChecked());
    EXPECT_EQ(Control<QComboBox>(1020)->currentIndex(), 2);
    ASSERT_EQ(m_page->Apply(), automation::S_OK);
    for (const auto& object : {first, second}) {
        EXPECT_EQ(object->m_values["WPWrapToWindow"], Variant::I4(1)) << "a check writes 1, not a BOOL";
        EXPECT_EQ(object->m_values["WPDisplayMode"], Variant::I2(3));
        EXPECT_EQ(object->m_values["WPFitMode"], Variant::I2(2));
    }
}

TEST_F(PagesTest, RefusedNumbersAndPutsFailApplyAndKeepThePageDirty) {
    struct Case {
        const char* text;
        bool refused;
    };
    for (const Case& c : {Case{"abc", true}, Case{"70000", true}, Case{"12abc", true}, Case{"", true},
                          Case{"32767", false}}) {
        Put("PrintCopies", Variant::I2(2));
        OpenOnControl(PrintingPage());
        Type(219, c.text);
        EXPECT_TRUE(m_page->IsPageDirty()) << c.text;
        m_prompts.Clear();
        EXPECT_EQ(automation::Failed(m_page->Apply()), c.refused) << c.text;
        EXPECT_EQ(m_page->IsPageDirty(), c.refused) << c.text;
        EXPECT_EQ(Held("PrintCopies"), c.refused ? 2 : 32767) << c.text << ": never 0 or a cut value";
        EXPECT_EQ(m_prompts.Texts().size(), c.refused ? 1u : 0u) << c.text;
    }

    auto object = std::make_shared<FakeObject>(std::vector<std::pair<std::string, Variant>>{
        {"DBDraftMode", Variant::I4(0)}, {"DBClipboard", Variant::I2(0)}});
    object->m_refused.insert("DBDraftMode");
    Open(DatabasePage(), {object});
    m_prompts.Clear();
    EXPECT_EQ(m_page->Apply(), automation::E_FAIL) << "a refused put is no success";
    EXPECT_TRUE(m_page->IsPageDirty());
    EXPECT_EQ(object->m_values["DBClipboard"], Variant::I2(0)) << "the other rows are still written";
}

TEST_F(PagesTest, FontsLoadAsFaceNamesAndApplyGivesFreshObjects) {
    const Variant before = Get(*m_control, "DisplayFont");
    auto display = before.AsDispatch();
    ASSERT_NE(display, nullptr);
    auto stock = std::dynamic_pointer_cast<automation::CStockFont>(display);
    ASSERT_NE(stock, nullptr);
    automation::FontDescription description = stock->Description();
    description.name = "Courier New";
    description.weight = 700;
    description.italic = true;
    stock->SetDescription(description);
    stock->SetSizeCurrency(125000);  // 12.5 points

    OpenOnControl(ViewingPage());
    EXPECT_EQ(Control<QLineEdit>(206)->text(), "Courier New");
    EXPECT_EQ(Control<QLineEdit>(207)->text(), "Arial");
    ASSERT_EQ(m_page->Apply(), automation::S_OK);

    const auto after =
        std::dynamic_pointer_cast<automation::CStockFont>(Get(*m_control, "DisplayFont").AsDispatch());
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after.get(), stock.get()) << "a fresh object";
    EXPECT_EQ(after->Description().name, "Courier New");
    EXPECT_EQ(after->SizeCurrency(), 125000);
    EXPECT_EQ(after->Description().weight, 700);
    EXPECT_TRUE(after->Description().italic);
    EXPECT_FALSE(after->Description().underline);
    const auto clip =
        std::dynamic_pointer_cast<automation::CStockFont>(Get(*m_control, "ClipFont").AsDispatch());
    ASSERT_NE(clip, nullptr);
    EXPECT_EQ(clip->Description().name, "Arial");
}

TEST_F(PagesTest, TheFontButtonChoosesAndACancelLeavesThePageClean) {
    suite::CPropertyPage& page = OpenOnControl(ViewingPage());
    std::optional<QFont> answer;
    QFont offered;
    page.SetFontChooser([&](const QFont& initial, QWidget*) {
        offered = initial;
        return answer;
    });
    Control<QPushButton>(203)->click();
    EXPECT_EQ(offered.family(), "Arial");
    EXPECT_DOUBLE_EQ(offered.pointSizeF(), 10.0);
    EXPECT_FALSE(m_page->IsPageDirty()) << "cancelled";

    QFont chosen("Times New Roman");
    chosen.setPointSizeF(14.5);
    chosen.setUnderline(true);
    answer = chosen;
    Control<QPushButton>(203)->click();
    EXPECT_TRUE(m_page->IsPageDirty());
    EXPECT_EQ(Control<QLineEdit>(208)->text(), "Times New Roman");
    ASSERT_EQ(m_page->Apply(), automation::S_OK);
    const auto print =
        std::dynamic_pointer_cast<automation::CStockFont>(Get(*m_control, "PrintFont").AsDispatch());
    ASSERT_NE(print, nullptr);
    EXPECT_EQ(print->Description().name, "Times New Roman");
    EXPECT_EQ(print->SizeCurrency(), 145000);
    EXPECT_TRUE(print->Description().underline);
}

TEST_F(PagesTest, AFontPropertyThatHoldsNoFontLoadsAsArialTenPoints) {
    auto object = std::make_shared<FakeObject>(std::vector<std::pair<std::string, Variant>>{
        {"DisplayFont", Variant::I4(5)},
        {"ClipFont",
         Variant::Dispatch(std::make_shared<FakeObject>(
             std::vector<std::pair<std::string, Variant>>{{"Name", Variant::Bstr("Not A Font")}}))}});
    Open(ViewingPage(), {object});
    EXPECT_EQ(Control<QLineEdit>(206)->text(), "Arial");
    EXPECT_EQ(Control<QLineEdit>(207)->text(), "Arial");
    const auto font = automation::PageFontOf(m_page->Model().Value(*ViewingPage().Field(207)));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->SizeCurrency(), 100000) << "the size is ten points too";
}

}  // namespace
}  // namespace docview
