// The control's page-drawing members on an in-process scripted engine that keeps every draw and information
// record, with recording pictures and devices in place of the toolkit's: pages laid out in order on pictures
// that go, the answers that count as drawn, what the properties keep, and the argument errors.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "docview/control_strings.h"
#include "docview/qelctrl.h"
#include "docview/tests/control_calls.h"
#include "docview/tests/null_window.h"
#include "docview/tests/stub_engine.h"
#include "platform/user_prompt.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

namespace automation = platform::automation;
using automation::DISPID;
using automation::InvokeKind;
using automation::Variant;

// ---- Pictures and devices ----

class FakeSurfaces;

class FakeCanvas final : public PageCanvas {
  public:
    explicit FakeCanvas(std::set<const void*>& alive) : m_alive(alive) { m_alive.insert(this); }
    ~FakeCanvas() override { m_alive.erase(this); }
    void* Device() const override { return const_cast<FakeCanvas*>(this); }

  private:
    std::set<const void*>& m_alive;
};

class FakePicture final : public automation::IDispatch {
  public:
    automation::HRESULT GetIDsOfNames(std::span<const std::string_view>, std::span<DISPID>) override {
        return automation::DISP_E_UNKNOWNNAME;
    }
    automation::HRESULT Invoke(DISPID, InvokeKind, std::span<const Variant>, Variant*,
                               automation::InvokeError*) override {
        return automation::DISP_E_MEMBERNOTFOUND;
    }
};

struct PictureMade {
    const PageCanvas* canvas;
    MetafileKind kind;
    int32_t width;
    int32_t height;
};

class FakeSurfaces final : public PageSurfaces {
  public:
    std::shared_ptr<void> DeviceOf(uint32_t handle) override {
        auto it = devices.find(handle);
        return it == devices.end() ? nullptr : it->second;
    }
    std::shared_ptr<void> WindowDevice(void* window) override {
        return window ? std::shared_ptr<void>(&windowDevice, [](void*) {}) : nullptr;
    }
    std::unique_ptr<PageCanvas> NewCanvas() override {
        ++made;
        return std::make_unique<FakeCanvas>(alive);
    }
    std::pair<double, double> ScreenPixelsPerInch() override { return {100.0, 50.0}; }
    std::shared_ptr<automation::IDispatch> PictureOf(const PageCanvas* canvas, MetafileKind kind,
                                                     int32_t width, int32_t height) override {
        pictures.push_back({canvas, kind, width, height});
        return std::make_shared<FakePicture>();
    }

    std::set<const void*> alive;
    int made = 0;
    int windowDevice = 0;
    std::map<uint32_t, std::shared_ptr<void>> devices;
    std::vector<PictureMade> pictures;
};

// ---- The scripted engine ----

struct Sent {
    uint32_t request;
    int32_t page = 0;
    uint32_t flags = 0;
    int32_t unitsPerInch = 0;
    int32_t formatWidth = 0;
    int32_t formatHeight = 0;
    LydvwRect target{};
    uint64_t output = 0;
    uint64_t format = 0;
    uint32_t palette = 0;
    bool outputAlive = false;  // a live picture of the control's, or a device of the host's
    uint32_t layoutOnly = 0;
};

struct PageEngine {
    std::vector<Sent> sent;
    std::map<int32_t, int64_t> drawAnswers;  // by page; 0 when not given
    std::map<int32_t, int64_t> infoAnswers;
    int64_t initAnswer = 0;
    LydvwRect result{10, 20, 110, 320};
    uint32_t palette = 0;
    FakeSurfaces* surfaces = nullptr;
    std::set<uint64_t> hostDevices;

    std::vector<int32_t> Pages(uint32_t request) const {
        std::vector<int32_t> pages;
        for (const Sent& s : sent) {
            if (s.request == request)
                pages.push_back(s.page);
        }
        return pages;
    }
};

PageEngine* g_engine = nullptr;
bool Alive(uint64_t device) {
    return g_engine->surfaces->alive.count(reinterpret_cast<const void*>(device)) > 0 ||
           g_engine->hostDevices.count(device) > 0;
}
int64_t Answer(const std::map<int32_t, int64_t>& answers, int32_t page) {
    auto it = answers.find(page);
    return it == answers.end() ? 0 : it->second;
}
int64_t RequestFn(LydvwView*, uint32_t request, uint64_t, uint64_t lparam) {
    PageEngine& engine = *g_engine;
    Sent s{request};
    int64_t answer = 0;
    if (request == LYDVW_R_DRAW_PAGE) {
        auto* record = reinterpret_cast<LydvwDrawPage*>(lparam);
        EXPECT_EQ(record->size, sizeof *record);
        s = {request,
             record->page,
             record->flags,
             record->units_per_inch,
             record->format_width,
             record->format_height,
             record->target,
             record->output,
             record->format,
             record->palette,
             Alive(record->output),
             record->layout_only};
        answer = Answer(engine.drawAnswers, record->page);
        if (answer == 0 || answer == LYDVW_E_LAST_PAGE) {
            record->result = engine.result;
            record->palette = engine.palette;
        }
    } else if (request == LYDVW_R_DRAW_INFO) {
        auto* record = reinterpret_cast<LydvwDrawInfo*>(lparam);
        EXPECT_EQ(record->size, sizeof *record);
        s.page = record->page;
        s.unitsPerInch = record->units_per_inch;
        s.output = record->output;
        s.format = record->format;
        s.outputAlive = Alive(record->output);
        answer = Answer(engine.infoAnswers, record->page);
        if (answer == 0) {
            record->format_width = 12240 + record->page;
            record->format_height = 15840;
        }
    } else if (request == LYDVW_R_INIT_DRAW) {
        answer = engine.initAnswer;
    }
    engine.sent.push_back(s);
    return answer;
}

// DrawPage's and ExtDrawPage's rectangle and format: top, left, bottom, right; width, height; units per inch.
std::vector<Variant> PageArgs(int32_t page, int16_t unitsPerInch = 1440, int32_t width = 14400,
                              int32_t height = 10800) {
    return {Variant::I4(page), Variant::I4(0),     Variant::I4(0),      Variant::I4(1000),
            Variant::I4(2000), Variant::I4(width), Variant::I4(height), Variant::I2(unitsPerInch)};
}
std::vector<Variant> ExtArgs(int32_t page, int16_t format, int16_t unitsPerInch = 1440,
                             int32_t width = 14400) {
    std::vector<Variant> args = PageArgs(page, unitsPerInch, width);
    args.push_back(Variant::I2(format));
    return args;
}
// DrawPageEx: page, flags, top, left, bottom, right, format height, format width, units, output, format DC,
// palette.
std::vector<Variant> ExArgs(int32_t page, int32_t flags, uint32_t output, uint32_t format,
                            int16_t units = 1440) {
    return {Variant::I4(page),
            Variant::I4(flags),
            Variant::I4(5),
            Variant::I4(6),
            Variant::I4(500),
            Variant::I4(600),
            Variant::I4(11000),
            Variant::I4(8500),
            Variant::I2(units),
            Variant::I4(static_cast<int32_t>(output)),
            Variant::I4(static_cast<int32_t>(format)),
            Variant::I4(3)};
}

class PageDrawingTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_engine.surfaces = m_surfaces.get();
        g_engine = &m_engine;
        m_prompt = std::make_unique<platform::ScopedDefaultPrompt>(m_prompts);
        m_surfaces->devices[0x501] = std::make_shared<int>(1);
        m_surfaces->devices[0x502] = std::make_shared<int>(2);
        for (const auto& [handle, device] : m_surfaces->devices)
            m_engine.hostDevices.insert(reinterpret_cast<uint64_t>(device.get()));
        ControlSite site = testing::StubControlSite(RequestFn);
        site.pageSurfaces = m_surfaces;
        m_control = CreateQelctrl(std::move(site));
    }
    void TearDown() override {
        m_control.reset();
        m_prompt.reset();
        g_engine = nullptr;
        RegistryTest::TearDown();
    }
    void WithView() {
        ASSERT_NE(m_control->Widget(), nullptr);
        m_engine.sent.clear();  // the options pushed to the new view
    }

    Variant Invoke(std::string_view name, InvokeKind kind, std::vector<Variant> args = {}) {
        return testing::InvokeByName(*m_control, name, kind, std::move(args));
    }
    Variant Call(std::string_view name, std::vector<Variant> args = {}) {
        return Invoke(name, InvokeKind::Method, std::move(args));
    }
    int32_t Get(std::string_view name) { return Invoke(name, InvokeKind::PropertyGet).AsI4(); }
    std::vector<int32_t> Results() {
        return {Get("PageResultTop"), Get("PageResultLeft"), Get("PageResultBottom"), Get("PageResultRight")};
    }

    PageEngine m_engine;
    std::shared_ptr<FakeSurfaces> m_surfaces = std::make_shared<FakeSurfaces>();
    platform::RecordingPrompt m_prompts;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_prompt;
    std::shared_ptr<Cqelctrl> m_control;
};

TEST_F(PageDrawingTest, WithoutTheEnginesViewEveryMemberFailsAndThePropertiesKeepTheirDefaults) {
    const std::pair<std::string_view, std::vector<Variant>> calls[] = {
        {"InitDrawPage", {}},
        {"DeinitDrawPage", {}},
        {"DrawPage", PageArgs(0)},
        {"ExtDrawPage", ExtArgs(0, 3)},
        {"DrawPageEx", ExArgs(0, 0, 0x501, 0x502)},
        {"GetDrawPageInfo", {Variant::I4(0), Variant::I2(1440), Variant::I4(0), Variant::I4(0)}},
    };
    for (const auto& [name, args] : calls) {
        m_control->ClearError();
        Call(name, args);
        EXPECT_EQ(m_control->ErrorCode(), kErrWindowless) << name;
    }
    EXPECT_TRUE(m_engine.sent.empty());
    EXPECT_EQ(m_surfaces->made, 0);
    EXPECT_EQ(Get("PageFormatWidth"), 14400);
    EXPECT_EQ(Get("PageFormatHeight"), 10800);
    EXPECT_EQ(Get("PageUnitsPerInch"), 1440);
    EXPECT_EQ(Results(), (std::vector<int32_t>{0, 0, 10800, 14400}));
    EXPECT_EQ(Get("PagePaletteHandle"), 0);
    // No page drawn: an empty picture.
    EXPECT_TRUE(Invoke("PagePicture", InvokeKind::PropertyGet).AsDispatch());
    ASSERT_EQ(m_surfaces->pictures.size(), 1u);
    EXPECT_EQ(m_surfaces->pictures[0].canvas, nullptr);
}

TEST_F(PageDrawingTest, PageThreeAfterInitLaysOutTheFirstThreeOnPicturesThatGoAndTheCounterSkipsThem) {
    WithView();
    EXPECT_EQ(Call("InitDrawPage"), Variant::I4(1));
    EXPECT_EQ(Call("DrawPage", PageArgs(3)), Variant::I4(1));
    EXPECT_EQ(m_control->ErrorCode(), 0);
    ASSERT_EQ(m_engine.sent.size(), 5u);
    EXPECT_EQ(m_engine.sent[0].request, static_cast<uint32_t>(LYDVW_R_INIT_DRAW));
    for (size_t i = 1; i < 5; ++i) {
        const Sent& s = m_engine.sent[i];
        EXPECT_EQ(s.request, static_cast<uint32_t>(LYDVW_R_DRAW_PAGE));
        EXPECT_EQ(s.page, static_cast<int32_t>(i - 1));
        EXPECT_EQ(s.flags, i < 4 ? 10u : 11u);
        EXPECT_EQ(s.layoutOnly, i < 4 ? 1u : 0u);
        EXPECT_TRUE(s.outputAlive) << i;
        // Made against a screen of 100 by 50 pixels per inch: 10 by 7.5 inches.
        EXPECT_EQ(s.target.bottom, 375);
        EXPECT_EQ(s.target.right, 1000);
        EXPECT_EQ(s.formatWidth, 14400);
        EXPECT_EQ(s.unitsPerInch, 1440);
    }
    // A picture for each page; only the wanted page's is kept.
    EXPECT_EQ(m_surfaces->made, 4);
    EXPECT_EQ(m_surfaces->alive.size(), 1u);
    EXPECT_EQ(m_surfaces->alive.count(reinterpret_cast<const void*>(m_engine.sent[4].output)), 1u);

    m_engine.sent.clear();
    EXPECT_EQ(Call("DrawPage", PageArgs(4)), Variant::I4(1));
    EXPECT_EQ(m_engine.Pages(LYDVW_R_DRAW_PAGE), (std::vector<int32_t>{4}));
    m_engine.sent.clear();
    EXPECT_EQ(Call("DrawPage", PageArgs(1)), Variant::I4(1));
    EXPECT_EQ(m_engine.Pages(LYDVW_R_DRAW_PAGE), (std::vector<int32_t>{1}));
    EXPECT_EQ(m_surfaces->alive.size(), 1u);

    // Starting again, ending, and another document each begin at the first page.
    const std::pair<std::string_view, std::vector<Variant>> resets[] = {
        {"InitDrawPage", {}},
        {"DeinitDrawPage", {}},
        {"ViewFile", {Variant::Bool(false), Variant::Bstr("/docs/a.pdf")}},
    };
    for (const auto& [name, args] : resets) {
        Call(name, args);
        m_engine.sent.clear();
        EXPECT_EQ(Call("DrawPage", PageArgs(1)), Variant::I4(1));
        EXPECT_EQ(m_engine.Pages(LYDVW_R_DRAW_PAGE), (std::vector<int32_t>{0, 1})) << name;
    }
}

TEST_F(PageDrawingTest, TheLastPagesAnswerIsSuccessAndTheRecordsResultsAreKept) {
    WithView();
    m_engine.drawAnswers[0] = LYDVW_E_LAST_PAGE;
    m_engine.palette = 7;
    EXPECT_EQ(Call("ExtDrawPage", ExtArgs(0, 1, 720, 6000)), Variant::I4(1));
    EXPECT_EQ(m_control->ErrorCode(), 0);
    EXPECT_TRUE(m_prompts.Shown().empty());
    ASSERT_EQ(m_engine.sent.size(), 1u);
    EXPECT_EQ(m_engine.sent[0].flags, 9u);
    // The Windows metafile's target is the method's rectangle.
    EXPECT_EQ(m_engine.sent[0].target.bottom, 1000);
    EXPECT_EQ(m_engine.sent[0].target.right, 2000);
    EXPECT_EQ(Get("PageFormatWidth"), 6000);
    EXPECT_EQ(Get("PageFormatHeight"), 10800);
    EXPECT_EQ(Get("PageUnitsPerInch"), 720);
    EXPECT_EQ(Results(), (std::vector<int32_t>{10, 20, 110, 320}));
    EXPECT_EQ(Get("PagePaletteHandle"), 7);

    // The picture of the page, its extent the result's size; a picture each time it is asked for.
    Invoke("PagePicture", InvokeKind::PropertyGet);
    Invoke("PagePicture", InvokeKind::PropertyGet);
    ASSERT_EQ(m_surfaces->pictures.size(), 2u);
    EXPECT_EQ(m_surfaces->pictures[0].canvas, m_surfaces->pictures[1].canvas);
    EXPECT_EQ(m_surfaces->pictures[0].kind, MetafileKind::Windows);
    EXPECT_EQ(m_surfaces->pictures[0].width, 300);
    EXPECT_EQ(m_surfaces->pictures[0].height, 100);

    // An enhanced metafile of the next page replaces it; its extent is the frame the method gave.
    EXPECT_EQ(Call("DrawPage", PageArgs(1)), Variant::I4(1));
    EXPECT_EQ(m_surfaces->alive.size(), 1u);
    Invoke("PagePicture", InvokeKind::PropertyGet);
    EXPECT_EQ(m_surfaces->pictures.back().kind, MetafileKind::Enhanced);
    EXPECT_EQ(m_surfaces->pictures.back().width, 2000);
    EXPECT_EQ(m_surfaces->pictures.back().height, 1000);
    EXPECT_NE(m_surfaces->pictures.back().canvas, m_surfaces->pictures[0].canvas);
}

TEST_F(PageDrawingTest, DrawPageExDrawsOnTheHostsDevicesAndKeepsThePaletteOnlyWhenAsked) {
    WithView();
    m_engine.palette = 9;
    Call("InitDrawPage");
    m_engine.sent.clear();
    EXPECT_EQ(Call("DrawPageEx", ExArgs(1, 4, 0x501, 0x502)), Variant::I4(1));
    ASSERT_EQ(m_engine.sent.size(), 2u);
    const uint64_t output = reinterpret_cast<uint64_t>(m_surfaces->devices[0x501].get());
    const uint64_t format = reinterpret_cast<uint64_t>(m_surfaces->devices[0x502].get());
    // The page before on a picture of its own with the host's flags and format device; the page on the
    // host's.
    EXPECT_NE(m_engine.sent[0].output, output);
    EXPECT_TRUE(m_engine.sent[0].outputAlive);
    EXPECT_EQ(m_engine.sent[1].output, output);
    EXPECT_EQ(m_engine.sent[0].layoutOnly, 1u);
    EXPECT_EQ(m_engine.sent[1].layoutOnly, 0u);
    for (const Sent& s : m_engine.sent) {
        EXPECT_EQ(s.flags, 4u);
        EXPECT_EQ(s.format, format);
        EXPECT_EQ(s.palette, 3u);
        // Height comes before width in the method's arguments.
        EXPECT_EQ(s.formatWidth, 8500);
        EXPECT_EQ(s.formatHeight, 11000);
        EXPECT_EQ(s.target.top, 5);
        EXPECT_EQ(s.target.right, 600);
    }
    EXPECT_TRUE(m_surfaces->alive.empty());
    EXPECT_EQ(Get("PagePaletteHandle"), 0);
    EXPECT_EQ(Call("DrawPageEx", ExArgs(2, 1, 0x501, 0x502)), Variant::I4(1));
    EXPECT_EQ(Get("PagePaletteHandle"), 9);
}

TEST_F(PageDrawingTest, ExtDrawPageOfAnotherFormatSucceedsWithoutARequest) {
    WithView();
    Call("DrawPage", PageArgs(-1, 0));  // leaves error 15 behind
    ASSERT_EQ(m_control->ErrorCode(), kErrBadParameter);
    for (int16_t format : {0, 3, -1}) {
        EXPECT_EQ(Call("ExtDrawPage", ExtArgs(5, format, 0)), Variant::I4(1)) << format;
        EXPECT_EQ(m_control->ErrorCode(), 0);
    }
    EXPECT_TRUE(m_engine.sent.empty());
    EXPECT_EQ(m_surfaces->made, 0);
}

TEST_F(PageDrawingTest, BadArgumentsAre15WithoutARequestOrAPicture) {
    WithView();
    const std::pair<std::string_view, std::vector<Variant>> rows[] = {
        {"DrawPage", PageArgs(0, 0)},
        {"DrawPage", PageArgs(0, -1440)},
        {"ExtDrawPage", ExtArgs(0, 1, 1440, 0)},
        {"DrawPage", PageArgs(0, 1440, 14400, -5)},
        {"DrawPageEx", ExArgs(0, 0, 0x501, 0x501)},
        {"DrawPageEx", ExArgs(0, 0, 0, 0x502)},
        {"DrawPageEx", ExArgs(0, 0, 0x501, 0)},
        {"DrawPageEx", ExArgs(0, 0, 0x999, 0x502)},
        {"DrawPageEx", ExArgs(0, 0, 0x501, 0x502, 0)},
        {"GetDrawPageInfo", {Variant::I4(0), Variant::I2(0), Variant::I4(0), Variant::I4(0)}},
        {"GetDrawPageInfo", {Variant::I4(0), Variant::I2(1440), Variant::I4(0x501), Variant::I4(0x501)}},
        {"GetDrawPageInfo", {Variant::I4(0), Variant::I2(1440), Variant::I4(0x999), Variant::I4(0)}},
    };
    for (const auto& [name, args] : rows) {
        m_prompts.Clear();
        EXPECT_EQ(Call(name, args), Variant::I4(0)) << name;
        EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter) << name;
        EXPECT_EQ(m_prompts.Shown().size(), 1u) << name;
    }
    EXPECT_TRUE(m_engine.sent.empty());
    EXPECT_TRUE(m_surfaces->alive.empty());
    // Neither handle given: both come from the control.
    EXPECT_EQ(Call("GetDrawPageInfo", {Variant::I4(0), Variant::I2(1440), Variant::I4(0), Variant::I4(0)}),
              Variant::I4(1));
}

TEST_F(PageDrawingTest, AFailingAnswerFreesTheNewPictureKeepsTheOldOneAndReports) {
    WithView();
    m_engine.palette = 4;
    ASSERT_EQ(Call("ExtDrawPage", ExtArgs(0, 1)), Variant::I4(1));
    const PageCanvas* kept = nullptr;
    Invoke("PagePicture", InvokeKind::PropertyGet);
    kept = m_surfaces->pictures.back().canvas;

    m_engine.result = {1, 2, 3, 4};
    m_engine.drawAnswers[1] = 9;
    EXPECT_EQ(Call("DrawPage", PageArgs(1, 720)), Variant::I4(0));
    EXPECT_EQ(m_control->ErrorCode(), 9);
    EXPECT_EQ(m_control->ErrorMsg(), "The file is corrupt");
    EXPECT_EQ(m_prompts.Shown().size(), 1u);
    EXPECT_EQ(m_surfaces->alive, (std::set<const void*>{kept}));
    EXPECT_EQ(Results(), (std::vector<int32_t>{10, 20, 110, 320}));
    EXPECT_EQ(Get("PageUnitsPerInch"), 1440);
    Invoke("PagePicture", InvokeKind::PropertyGet);
    EXPECT_EQ(m_surfaces->pictures.back().canvas, kept);
    EXPECT_EQ(m_surfaces->pictures.back().kind, MetafileKind::Windows);

    // A page on the way that fails stops there: the pages before it are not laid out again.
    Call("InitDrawPage");
    m_engine.sent.clear();
    m_engine.drawAnswers[1] = LYDVW_E_NO_PAGE;
    EXPECT_EQ(Call("DrawPage", PageArgs(3)), Variant::I4(0));
    EXPECT_EQ(m_control->ErrorCode(), LYDVW_E_NO_PAGE);
    EXPECT_EQ(m_engine.Pages(LYDVW_R_DRAW_PAGE), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(m_surfaces->alive.size(), 1u);
    m_engine.sent.clear();
    m_engine.drawAnswers.erase(1);
    EXPECT_EQ(Call("DrawPage", PageArgs(3)), Variant::I4(1));
    EXPECT_EQ(m_engine.Pages(LYDVW_R_DRAW_PAGE), (std::vector<int32_t>{1, 2, 3}));

    // Starting fails with the engine's answer; the counter starts again all the same.
    m_engine.initAnswer = LYDVW_E_NO_FILE;
    EXPECT_EQ(Call("InitDrawPage"), Variant::I4(0));
    EXPECT_EQ(m_control->ErrorCode(), LYDVW_E_NO_FILE);
}

TEST_F(PageDrawingTest, GetDrawPageInfoLaysOutThePagesBeforeAndKeepsThePagesFormat) {
    WithView();
    Call("InitDrawPage");
    m_engine.sent.clear();
    EXPECT_EQ(Call("GetDrawPageInfo", {Variant::I4(2), Variant::I2(1440), Variant::I4(0), Variant::I4(0)}),
              Variant::I4(1));
    EXPECT_EQ(m_control->ErrorCode(), 0);
    ASSERT_EQ(m_engine.sent.size(), 5u);
    const uint64_t window = reinterpret_cast<uint64_t>(&m_surfaces->windowDevice);
    const uint32_t order[] = {LYDVW_R_DRAW_INFO, LYDVW_R_DRAW_PAGE, LYDVW_R_DRAW_INFO, LYDVW_R_DRAW_PAGE,
                              LYDVW_R_DRAW_INFO};
    for (size_t i = 0; i < 5; ++i) {
        const Sent& s = m_engine.sent[i];
        EXPECT_EQ(s.request, order[i]);
        EXPECT_EQ(s.page, static_cast<int32_t>(i / 2));
        EXPECT_EQ(s.format, window);
        EXPECT_TRUE(s.outputAlive);
        if (s.request == LYDVW_R_DRAW_PAGE) {
            EXPECT_EQ(s.flags, 0u);
            EXPECT_EQ(s.layoutOnly, 1u);
            EXPECT_EQ(s.formatWidth, 1000);
            EXPECT_EQ(s.formatHeight, 1000);
            EXPECT_EQ(s.output, m_engine.sent[i - 1].output);
        }
    }
    // Every picture made on the way, the measuring one too, is gone.
    EXPECT_EQ(m_surfaces->made, 3);
    EXPECT_TRUE(m_surfaces->alive.empty());
    EXPECT_EQ(Get("PageFormatWidth"), 12242);
    EXPECT_EQ(Get("PageFormatHeight"), 15840);
    EXPECT_EQ(Get("PageUnitsPerInch"), 1440);

    // With the host's devices; a page that is not there is reported.
    m_engine.sent.clear();
    m_engine.infoAnswers[5] = LYDVW_E_NO_PAGE;
    EXPECT_EQ(
        Call("GetDrawPageInfo", {Variant::I4(5), Variant::I2(300), Variant::I4(0x501), Variant::I4(0x502)}),
        Variant::I4(0));
    EXPECT_EQ(m_control->ErrorCode(), LYDVW_E_NO_PAGE);
    ASSERT_FALSE(m_engine.sent.empty());
    EXPECT_EQ(m_engine.sent.back().output, reinterpret_cast<uint64_t>(m_surfaces->devices[0x501].get()));
    // Measuring a page lays out none: the counter stood at 2.
    EXPECT_EQ(m_engine.Pages(LYDVW_R_DRAW_INFO), (std::vector<int32_t>{2, 3, 4, 5}));
    EXPECT_EQ(Get("PageFormatWidth"), 12242);
}

}  // namespace
}  // namespace docview
