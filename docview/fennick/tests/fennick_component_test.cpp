// The control as a host meets it: libfennick.so registered with register-component on a temporary machine,
// created by ProgID, its widget placed in a host widget that is never shown, and the real engine found
// through the folder the registration wrote: a PDF, a PNG and a text file show, bad files fail their way, and
// the control keeps working.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <random>

#include "docview/fennick/fennick_window.h"
#include "docview/fennick_contract.h"
#include "docview/qel_pos.h"
#include "docview/qelctrl_redirect.h"
#include "docview/tests/doc_fixtures.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/handle_table.h"
#include "platform/registry.h"
#include "suite/qt/paint_handles.h"
#include "suite/qt/picture_object.h"
#include "suite/registry_settings.h"
#include "testsupport/fake_dispatch_object.h"
#include "testsupport/test_support.h"

namespace fennick {
namespace {

namespace fs = std::filesystem;
using namespace platform::automation;

int RunTool(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Events as the host's sink sees them.
class Sink : public IDispatch {
  public:
    HRESULT GetIDsOfNames(std::span<const std::string_view>, std::span<DISPID>) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID dispid, InvokeKind, std::span<const Variant> args, Variant*,
                   InvokeError*) override {
        std::vector<int32_t> values;
        for (const Variant& arg : args)
            values.push_back(arg.AsI4());
        fired.emplace_back(dispid, values);
        return S_OK;
    }
    std::vector<std::pair<DISPID, std::vector<int32_t>>> fired;
    // The FileChange events' (bOpen, bOpenFollowing).
    std::vector<std::vector<int32_t>> FileChanges() const {
        std::vector<std::vector<int32_t>> changes;
        for (const auto& [id, args] : fired) {
            if (id == static_cast<DISPID>(Event::FileChange))
                changes.push_back(args);
        }
        return changes;
    }
};

class FennickComponentTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Once per process: the library keeps the registry it first opened.
        static testsupport::TempFolder folder;
        s_root = &folder.Path();
        for (const char* name : {"home", "tmp", "config", "root", "docs"})
            fs::create_directories(*s_root / name);
        s_env = std::make_unique<testsupport::ScopedEnv>();
        s_env->Set("HOME", (*s_root / "home").string());
        s_env->Set("TMPDIR", (*s_root / "tmp").string());
        s_env->Set("XDG_CONFIG_HOME", (*s_root / "config").string());
        s_env->Set("CARROWLINE_ROOT", (*s_root / "root").string());
        ASSERT_EQ(RunTool({CARROWLINE_REGISTER_COMPONENT, CARROWLINE_FENNICK_LIBRARY}), 0);
        WriteFixtures();
    }
    static void TearDownTestSuite() { s_env.reset(); }

    static std::string Doc(const std::string& name) { return (*s_root / "docs" / name).string(); }

    static void WriteFixtures() {
        docview::testing::WriteDocuments(*s_root / "docs");
        testsupport::WriteFile(Doc("cut.pdf"), testsupport::ReadFile(Doc("two.pdf")).substr(0, 40));
        testsupport::WriteFile(Doc("empty.txt"), "");
        std::mt19937 random(11);
        std::string noise(3000, '\0');
        for (char& c : noise)
            c = static_cast<char>(random());
        testsupport::WriteFile(Doc("noise.bin"), noise);
    }

    void SetUp() override {
        std::string message;
        ASSERT_EQ(CreateByProgID(kQelctrlProgId, m_control, &message), S_OK) << message;
        std::shared_ptr<void> widget;
        ASSERT_EQ(m_control->QueryInterface(kQelctrlWidgetIid, widget), S_OK);
        m_widget = static_cast<QWidget*>(widget.get());
        m_widget->setParent(&m_host);
        m_widget->setGeometry(0, 0, 400, 500);
        auto container =
            QueryInterfaceAs<IConnectionPointContainer>(*m_control, IID_IConnectionPointContainer);
        ASSERT_TRUE(container);
        std::shared_ptr<ConnectionPoint> point;
        ASSERT_EQ(container->FindConnectionPoint(kDqelctrlIid, point), S_OK);
        uint32_t cookie = 0;
        ASSERT_EQ(point->Advise(m_sink, cookie), S_OK);
        // Boxes of the library's own would wait for a click; the Error event still reports.
        Put("ErrorShowMsg", Variant::I4(0));
    }
    void TearDown() override {
        if (m_widget)
            m_widget->setParent(nullptr);
        m_control.reset();
    }

    Variant Call(std::string_view name, std::vector<Variant> args = {},
                 InvokeKind kind = InvokeKind::Method) {
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(m_control->GetIDOfName(name, id), S_OK) << name;
        Variant result;
        InvokeError error;
        EXPECT_EQ(m_control->Invoke(id, kind, args, &result, &error), S_OK)
            << name << ": " << error.description;
        return result;
    }
    Variant Get(std::string_view name) { return Call(name, {}, InvokeKind::PropertyGet); }
    void Put(std::string_view name, Variant value) {
        Call(name, {std::move(value)}, InvokeKind::PropertyPut);
    }
    Variant View(const std::string& path) {
        return Call("ViewFile", {Variant::Bool(false), Variant::Bstr(path)});
    }

    int InkPixels() const { return docview::testing::InkPixels(*m_widget); }

    static const fs::path* s_root;
    static std::unique_ptr<testsupport::ScopedEnv> s_env;
    QWidget m_host;  // never shown, as a viewer started for embedding holds its documents
    std::shared_ptr<IDispatch> m_control;
    QWidget* m_widget = nullptr;
    std::shared_ptr<Sink> m_sink = std::make_shared<Sink>();
};

const fs::path* FennickComponentTest::s_root = nullptr;
std::unique_ptr<testsupport::ScopedEnv> FennickComponentTest::s_env;

TEST_F(FennickComponentTest, RegistrationNamesTheClassesAndTheEnginesFolder) {
    Guid clsid;
    ASSERT_EQ(CLSIDFromProgID(kQelctrlVersionIndependentProgId, clsid), S_OK);
    EXPECT_EQ(clsid, kQelctrlClsid);
    std::string path;
    ASSERT_EQ(InprocServerPath(kQelctrlClsid, path), S_OK);
    EXPECT_EQ(fs::canonical(path), fs::canonical(CARROWLINE_FENNICK_LIBRARY));
    // The engine's folder, in the machine hive where the control looks first among the fixed keys.
    char folder[300] = {};
    uint32_t size = sizeof folder;
    platform::RegType type = platform::RegType::Sz;
    ASSERT_EQ(suite::RegReadValue(platform::HKey::LocalMachine, "SOFTWARE\\QEL\\Fennick", "FilterPath", type,
                                  folder, size),
              0);
    EXPECT_EQ(fs::path(folder) / "liblydvw.so", fs::path(CARROWLINE_LYDVW_ENGINE));
    // Names with no object behind them in this library.
    for (std::string_view progId : {kQelioProgId, kQelIORedirProgId}) {
        std::shared_ptr<IDispatch> object;
        EXPECT_EQ(CreateByProgID(progId, object), CLASS_E_CLASSNOTAVAILABLE) << progId;
    }
}

TEST_F(FennickComponentTest, QelPosIsMadeByProgIdWithFourZeroPropertiesItKeeps) {
    Guid clsid;
    ASSERT_EQ(CLSIDFromProgID(kQelPosProgId, clsid), S_OK);
    EXPECT_EQ(clsid, kQelPosClsid);
    std::shared_ptr<IDispatch> position;
    std::string message;
    ASSERT_EQ(CreateByProgID(kQelPosProgId, position, &message), S_OK) << message;
    std::shared_ptr<void> dual;
    EXPECT_EQ(position->QueryInterface(kIQelPosIid, dual), S_OK);
    for (DISPID id = 1; id <= 4; ++id) {
        Variant value;
        ASSERT_EQ(position->Invoke(id, InvokeKind::PropertyGet, {}, &value, nullptr), S_OK);
        EXPECT_EQ(value.AsI4(), 0) << id;
        const Variant put[] = {Variant::I4(id * 100)};
        ASSERT_EQ(position->Invoke(id, InvokeKind::PropertyPut, put, nullptr, nullptr), S_OK);
    }
    // The control takes the object as a position: copying it gives another the same four values.
    std::shared_ptr<IDispatch> copy;
    ASSERT_EQ(CreateByProgID(kQelPosProgId, copy), S_OK);
    Call("CopyPosition", {Variant::Dispatch(copy), Variant::Unknown(position)});
    EXPECT_EQ(Get("ErrorCode").AsI4(), 0);
    for (DISPID id = 1; id <= 4; ++id) {
        Variant value;
        ASSERT_EQ(copy->Invoke(id, InvokeKind::PropertyGet, {}, &value, nullptr), S_OK);
        EXPECT_EQ(value.AsI4(), id * 100) << id;
    }
}

TEST_F(FennickComponentTest, TheSelectionOfTheShownPdfGoesThroughPositionObjects) {
    ASSERT_EQ(View(Doc("two.pdf")).AsI4(), 1);
    std::shared_ptr<IDispatch> position;
    ASSERT_EQ(CreateByProgID(kQelPosProgId, position), S_OK);
    // The third character of the second page, counted from the document's start.
    Call("SetActualCount", {Variant::Dispatch(position), Variant::I4(5 + 2)});
    ASSERT_EQ(Get("ErrorCode").AsI4(), 0);
    const int32_t count = Call("GetActualCount", {Variant::Dispatch(position)}).AsI4();
    EXPECT_EQ(count, 7);
    m_sink->fired.clear();
    // With no selection before, the anchor put selects an empty range there.
    Put("SelectionAnchor", Variant::Unknown(position));
    EXPECT_EQ(Get("ErrorCode").AsI4(), 0);
    EXPECT_TRUE(std::any_of(m_sink->fired.begin(), m_sink->fired.end(),
                            [](const auto& f) { return f.first == static_cast<DISPID>(Event::SelChange); }));
    const Variant end = Get("SelectionEnd");
    ASSERT_TRUE(end.AsUnknown());
    EXPECT_EQ(Call("ComparePositions", {end, Variant::Dispatch(position)}).AsI2(), 0);
    EXPECT_EQ(Call("GetActualCount", {end}).AsI4(), 7);
    // Showing the second page scrolls the view.
    Call("DisplayPosition", {end, Variant::I2(0)});
    EXPECT_EQ(Get("ErrorCode").AsI4(), 0);
    // A document opened since makes the old position a stranger.
    ASSERT_EQ(View(Doc("two.pdf")).AsI4(), 1);
    Call("GetActualCount", {end});
    EXPECT_EQ(Get("ErrorCode").AsI4(), 15);
}

// The control loaded by its class id draws onto a device the host put in its own handle table.
TEST_F(FennickComponentTest, APageIsDrawnOntoADeviceTheHostHandsOverByHandle) {
    ASSERT_EQ(View(Doc("two.pdf")), Variant::I4(1));
    auto image = std::make_shared<QImage>(200, 260, QImage::Format_RGB32);
    image->fill(Qt::white);
    auto format = std::make_shared<QImage>(10, 10, QImage::Format_RGB32);
    const uint32_t output = suite::AddImageHandle(image);
    const uint32_t formatDc = suite::AddImageHandle(format);
    std::vector<Variant> args;
    for (int32_t value : {1, 0, 0, 0, 260, 200, 15840, 12240})
        args.push_back(Variant::I4(value));
    args.push_back(Variant::I2(1440));
    for (uint32_t handle : {output, formatDc, 0u})
        args.push_back(Variant::I4(static_cast<int32_t>(handle)));
    EXPECT_EQ(Call("DrawPageEx", args), Variant::I4(1));
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(0));
    int ink = 0;
    for (int y = 0; y < image->height(); ++y)
        for (int x = 0; x < image->width(); ++x)
            ink += image->pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(ink, 0);
    HandleTable::Process().Remove(output);
    HandleTable::Process().Remove(formatDc);
}

TEST_F(FennickComponentTest, PdfImageAndTextShowInTheWidgetWithTheirInformation) {
    struct Row {
        std::string file;
        int16_t type;
        int16_t fileId;
    };
    const Row rows[] = {
        {"two.pdf", 9, 1500}, {"red.png", 7, 1501}, {"notes.txt", 2, 1116}, {"noise.bin", 2, 4002}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        m_sink->fired.clear();
        ASSERT_EQ(View(Doc(row.file)), Variant::I4(1));
        EXPECT_EQ(Get("ErrorCode"), Variant::I4(0));
        EXPECT_EQ(Get("DisplayEngineType"), Variant::I2(row.type));
        EXPECT_EQ(Get("FileInfoFileId"), Variant::I2(row.fileId));
        EXPECT_EQ(Get("FileInfoName"), Variant::Bstr(Doc(row.file)));
        EXPECT_GT(InkPixels(), 0);
        // The one before was closed with another following, this one opened.
        const auto changes = m_sink->FileChanges();
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes.back(), (std::vector<int32_t>{1, 0}));
        if (changes.size() > 1) {
            EXPECT_EQ(changes.front(), (std::vector<int32_t>{0, 1}));
        }
    }
    m_sink->fired.clear();
    Call("Clear");
    EXPECT_EQ(m_sink->FileChanges(), (std::vector<std::vector<int32_t>>{{0, 0}}));
    EXPECT_EQ(Get("FileInfoName"), Variant::Bstr(""));
    EXPECT_EQ(Get("DisplayEngineType"), Variant::I2(1));
}

TEST_F(FennickComponentTest, BadFilesFailTheCallWithTheEnginesIdAndTheControlGoesOn) {
    Put("FallbackFormat", Variant::I2(8));  // "Don't View"
    struct Row {
        std::string path;
        int32_t error;
    };
    const Row rows[] = {{Doc("cut.pdf"), 9},
                        {Doc("empty.txt"), 10},
                        {Doc("missing.pdf"), 7},
                        {(*s_root / "docs").string(), 14},
                        {Doc("noise.bin"), 4}};
    for (const Row& row : rows) {
        m_sink->fired.clear();
        EXPECT_EQ(View(row.path), Variant::I4(0)) << row.path;
        EXPECT_EQ(Get("ErrorCode"), Variant::I4(row.error)) << row.path;
        ASSERT_EQ(m_sink->fired.size(), 1u) << row.path;
        EXPECT_EQ(m_sink->fired[0].first, 1);  // Error
    }
    EXPECT_EQ(Get("ErrorMsg"), Variant::Bstr("No filter available for this file type"));
    EXPECT_EQ(View(Doc("notes.txt")), Variant::I4(1));
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(0));
}

TEST_F(FennickComponentTest, DeletingTheWidgetWithItsParentLeavesAControlWithoutView) {
    ASSERT_EQ(View(Doc("notes.txt")), Variant::I4(1));
    delete m_widget;
    m_widget = nullptr;
    Call("Clear");
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(16640));
}

TEST_F(FennickComponentTest, WhatTheUserSetsInTheDisplayOptionsReachesTheControlsProperties) {
    ASSERT_EQ(View(Doc("notes.txt")), Variant::I4(1));
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* fallback = dialog->findChild<QComboBox*>("fallback");
        fallback->setCurrentIndex(fallback->findData(4006u));
        dialog->findChild<QCheckBox*>("hscroll")->setChecked(false);
        dialog->accept();
    });
    m_sink->fired.clear();
    EXPECT_EQ(Call("DisplayOptions"), Variant::I4(1));
    EXPECT_EQ(Get("FallbackFormat"), Variant::I2(8));
    EXPECT_EQ(Get("HScrollbar"), Variant::I4(0));
    EXPECT_EQ(Get("VScrollbar"), Variant::I4(1));
    std::vector<int32_t> options;
    for (const auto& [id, args] : m_sink->fired) {
        if (id == static_cast<DISPID>(Event::OptionChange))
            options.push_back(args.at(0));
    }
    EXPECT_EQ(options, (std::vector<int32_t>{0x52779, 0x52A34}));
}

// The same control linked in, with a recording prompt: one box per failed view, the start-up box once.
class FennickControlTest : public testsupport::RegistryTest {};

TEST_F(FennickControlTest, FailuresShowOneBoxEachAndTheStartUpErrorOneInAll) {
    platform::RecordingPrompt prompts;
    docview::ControlSite site;
    site.prompt = [&prompts]() -> platform::UserPrompt& { return prompts; };
    site.exePath = "/opt/viewer";
    auto control = CreateFennickControl(site);  // no key: no engine
    QWidget* widget = static_cast<QWidget*>(control->Widget());
    ASSERT_NE(widget, nullptr);
    widget->resize(200, 100);
    widget->show();
    for (int i = 0; i < 1000 && prompts.Shown().empty(); ++i) {
        widget->repaint();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    widget->repaint();
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.Shown().size(), 1u);
    EXPECT_EQ(prompts.Shown()[0].text, "The specfied filter path does not exist");
    // The placeholder is drawn.
    const QImage face = widget->grab().toImage();
    EXPECT_NE(face.pixelColor(0, 0), face.pixelColor(100, 50));

    const std::string folder = fs::path(CARROWLINE_LYDVW_ENGINE).parent_path().string();
    ASSERT_EQ(
        suite::RegWriteValue(platform::HKey::LocalMachine, "SOFTWARE\\QEL\\Fennick", "FilterPath",
                             platform::RegType::Sz, folder.c_str(), static_cast<uint32_t>(folder.size() + 1)),
        0);
    prompts.Clear();
    auto working = CreateFennickControl(site);
    ASSERT_NE(working->Widget(), nullptr);
    ASSERT_TRUE(working->HasView());
    const std::string missing = (m_temp.Path() / "missing.txt").string();
    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(working->GetIDOfName("ViewFile", id), S_OK);
    const Variant args[] = {Variant::Bool(false), Variant::Bstr(missing)};
    Variant result;
    ASSERT_EQ(working->Invoke(id, InvokeKind::Method, args, &result, nullptr), S_OK);
    EXPECT_EQ(result, Variant::I4(0));
    ASSERT_EQ(prompts.Shown().size(), 1u);
    EXPECT_EQ(prompts.Shown()[0].text, "The file could not be opened");
    EXPECT_EQ(prompts.Shown()[0].caption, "Qelctrl Error!");
}


// ---- Documents the host serves itself ----

// A document in memory, served by reads, seeks and tells from a position.
struct Served {
    std::string content;
    size_t pos = 0;
    int opens = 0;
    int closes = 0;
    size_t Take(uint8_t* data, size_t size) {
        const size_t n = std::min(size, content.size() - std::min(pos, content.size()));
        std::memcpy(data, content.data() + pos, n);
        pos += n;
        return n;
    }
    void Seek(int16_t from, int32_t offset) {
        const int64_t base = from == LYDVW_SEEK_END ? static_cast<int64_t>(content.size())
                             : from == LYDVW_SEEK_CUR ? static_cast<int64_t>(pos)
                                                      : 0;
        pos = static_cast<size_t>(std::max<int64_t>(0, base + offset));
    }
};

// The events' host: answers Open, Read, GetInfo 3 and Close, Seek only when `seeks`, Tell only when `tells`.
class ServingSink : public IDispatch {
  public:
    HRESULT GetIDsOfNames(std::span<const std::string_view>, std::span<DISPID>) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID dispid, InvokeKind, std::span<const Variant> args, Variant*,
                   InvokeError*) override {
        if (dispid < static_cast<DISPID>(Event::Open) || dispid > static_cast<DISPID>(Event::GenSecond))
            return S_OK;
        ++events;
        // The file Open answered names the document: an earlier PDF is still read, and closed later.
        Served* doc = nullptr;
        if (static_cast<Event>(dispid) == Event::Open) {
            docs.push_back(next);
            *args[2].AsRefVariant() = Variant::I4(static_cast<int32_t>(docs.size() - 1));
        } else {
            doc = docs.at(static_cast<size_t>(args[2].AsI4()));
        }
        switch (static_cast<Event>(dispid)) {
            case Event::Open:
                ++next->opens;
                next->pos = 0;
                break;
            case Event::Read: {
                std::vector<uint8_t> bytes(static_cast<size_t>(args[4].AsI4()));
                bytes.resize(doc->Take(bytes.data(), bytes.size()));
                *args[5].AsRefI4() = static_cast<int32_t>(bytes.size());
                // At the end the array is empty: a read of nothing.
                *args[3].AsRefVariant() = Variant::Bytes(std::move(bytes));
                break;
            }
            case Event::Seek:
                if (seeks)
                    doc->Seek(args[3].AsI2(), args[4].AsI4());
                break;
            case Event::Tell:
                if (tells) {
                    *args[3].AsRefI4() = static_cast<int32_t>(doc->pos);
                    *args[4].AsRefI4() = 0;
                }
                break;
            case Event::GetInfo:
                if (args[3] == Variant::I4(LYDVW_INFO_TEXT))
                    *args[4].AsRefVariant() = Variant::Bstr("served name");
                break;
            case Event::Close:
                ++doc->closes;
                break;
            default:
                break;
        }
        return S_OK;
    }
    Served* next = nullptr;  // what the next Open serves
    std::vector<Served*> docs;
    bool seeks = true;
    bool tells = true;
    int events = 0;
};

// The object's host.
class ServingObject : public IUnknown, public docview::IQelIORedir, public std::enable_shared_from_this<ServingObject> {
  public:
    explicit ServingObject(Served& doc) : m_doc(doc) {}
    HRESULT QueryInterface(const Guid& iid, std::shared_ptr<void>& out) override {
        if (iid != docview::kIQelIORedirIid)
            return E_NOINTERFACE;
        out = std::shared_ptr<void>(shared_from_this(), static_cast<docview::IQelIORedir*>(this));
        return S_OK;
    }
    HRESULT Open(const Variant&, Variant& file) override {
        ++m_doc.opens;
        file = Variant::I4(2);
        return S_OK;
    }
    HRESULT Close(const Variant&, const Variant&) override {
        ++m_doc.closes;
        return S_OK;
    }
    HRESULT Read(const Variant&, const Variant&, uint8_t* data, uint32_t size, uint32_t& count) override {
        count = static_cast<uint32_t>(m_doc.Take(data, size));
        return S_OK;
    }
    HRESULT Write(const Variant&, const Variant&, const uint8_t*, uint32_t, uint32_t&) override { return E_FAIL; }
    HRESULT Seek(const Variant&, const Variant&, int16_t from, int32_t offset) override {
        m_doc.Seek(from, offset);
        return S_OK;
    }
    HRESULT Tell(const Variant&, const Variant&, uint32_t& offset) override {
        offset = static_cast<uint32_t>(m_doc.pos);
        return S_OK;
    }
    HRESULT GetInfo(const Variant&, const Variant&, uint32_t, void*) override { return E_FAIL; }
    HRESULT GenSecond(const Variant&, const Variant&, const std::string&, Variant&, int32_t&,
                      std::shared_ptr<docview::IQelIORedir>&) override {
        return E_FAIL;
    }

  private:
    Served& m_doc;
};

TEST_F(FennickComponentTest, DocumentsTheHostServesShowByEventsAndByItsObject) {
    auto host = std::make_shared<ServingSink>();
    auto container = QueryInterfaceAs<IConnectionPointContainer>(*m_control, IID_IConnectionPointContainer);
    std::shared_ptr<ConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(kDqelctrlIid, point), S_OK);
    uint32_t cookie = 0;
    ASSERT_EQ(point->Advise(host, cookie), S_OK);
    enum class Route { Events, EventsWithoutTell, EventsWithoutSeek, Object };
    struct Row {
        std::string file;
        int16_t type;
        int16_t fileId;
    };
    const Row rows[] = {{"two.pdf", 9, 1500}, {"red.png", 7, 1501}, {"notes.txt", 2, 1116}};
    std::vector<std::unique_ptr<Served>> docs;
    for (Route route : {Route::Events, Route::EventsWithoutTell, Route::EventsWithoutSeek, Route::Object}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.file + " by route " + std::to_string(static_cast<int>(route)));
            docs.push_back(std::make_unique<Served>());
            Served& doc = *docs.back();
            doc.content = testsupport::ReadFile(Doc(row.file));
            host->next = &doc;
            host->tells = route != Route::EventsWithoutTell;
            host->seeks = route != Route::EventsWithoutSeek;
            host->events = 0;
            Variant redirect = Variant::Missing();
            std::weak_ptr<ServingObject> object;
            if (route == Route::Object) {
                auto served = std::make_shared<ServingObject>(doc);
                object = served;
                redirect = Variant::Unknown(served);
            }
            // The host keeps no reference of its own to the object.
            ASSERT_EQ(Call("ViewFile", {Variant::Bool(false), Variant::Bstr(row.file), Variant::I2(3), Variant(),
                                        Variant(), Variant(), Variant(), std::move(redirect)}),
                      Variant::I4(1));
            EXPECT_EQ(Get("ErrorCode"), Variant::I4(0));
            EXPECT_EQ(Get("DisplayEngineType"), Variant::I2(row.type));
            EXPECT_EQ(Get("FileInfoFileId"), Variant::I2(row.fileId));
            EXPECT_EQ(Get("FileInfoName"), Variant::Bstr(route == Route::Object ? "" : "served name"));
            EXPECT_GT(InkPixels(), 0);
            EXPECT_EQ(doc.opens, 1);
            // Images and text are read at once and closed; a PDF is read while it is shown.
            EXPECT_EQ(doc.closes, row.type == 9 ? 0 : 1);
            if (route == Route::Object) {
                EXPECT_EQ(host->events, 0);
                EXPECT_EQ(object.expired(), row.type != 9);
            }
        }
    }
    Call("Clear");
    for (const auto& doc : docs)
        EXPECT_EQ(doc->closes, 1);
}

TEST_F(FennickComponentTest, TheWholeDocumentCopiesToTheBufferAndTheClipboardAndItsRawTextComesInPieces) {
    struct Row {
        std::string file;
        std::vector<std::string> words;
        int pieces;
    };
    const Row rows[] = {{"two.pdf", {"alpha", "beta"}, 2}, {"notes.txt", {"first line", "second line"}, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        ASSERT_EQ(View(Doc(row.file)), Variant::I4(1));
        Call("SelectAll");
        const Variant anchor = Get("SelectionAnchor");
        const Variant end = Get("SelectionEnd");
        for (int32_t format : {0, 1}) {
            Call("Copy", {Variant::I4(format), anchor, end});
            EXPECT_EQ(Get("ErrorCode"), Variant::I4(0));
            const std::string copied = Get("CopyBuffer").AsBstr();
            EXPECT_EQ(Get("CopyBufferSize"), Variant::I4(static_cast<int32_t>(copied.size())));
            EXPECT_EQ(copied.rfind("{\\rtf1", 0) == 0, format == 1) << copied;
            for (const std::string& word : row.words)
                EXPECT_NE(copied.find(word), std::string::npos) << copied;
        }

        // The default ToClipboard: text and rich text, as RTF and as HTML.
        QApplication::clipboard()->clear();
        Call("CopyToClip");
        const QMimeData* data = QApplication::clipboard()->mimeData();
        ASSERT_NE(data, nullptr);
        EXPECT_TRUE(data->hasText());
        EXPECT_TRUE(data->hasFormat("text/rtf"));
        EXPECT_TRUE(data->hasHtml());
        for (const std::string& word : row.words)
            EXPECT_TRUE(data->text().contains(QString::fromStdString(word))) << data->text().toStdString();
        Put("ToClipboard", Variant::I4(1));
        Call("CopyToClip");
        EXPECT_EQ(QApplication::clipboard()->mimeData()->formats(), QStringList{"text/plain"});
        Put("ToClipboard", Variant::I4(1027));

        // Raw text only when switched on; then piece after piece, each saying where it starts. A refusal
        // is the call's result 1 (S_FALSE) and no error.
        const auto rawText = [&](int32_t offset) {
            DISPID id = DISPID_UNKNOWN;
            m_control->GetIDOfName("GetRawText", id);
            const Variant args[] = {Variant::I4(offset)};
            Variant fetched;
            const HRESULT hr = m_control->Invoke(id, InvokeKind::Method, args, &fetched, nullptr);
            EXPECT_EQ(hr, fetched.AsI4() == 1 ? S_OK : S_FALSE);
            return fetched.AsI4();
        };
        Put("SystemRawText", Variant::I4(0));
        EXPECT_EQ(rawText(0), 0);
        EXPECT_EQ(Get("ErrorCode"), Variant::I4(0));
        Put("SystemRawText", Variant::I4(1));
        for (int32_t unicode : {0, 1}) {
            Put("SystemUnicode", Variant::I4(unicode));
            std::string all;
            int pieces = 0;
            int32_t offset = 0;
            while (rawText(offset) == 1) {
                EXPECT_EQ(Get("RawTextOffset"), Variant::I4(offset));
                EXPECT_EQ(Get("RawTextCharSet"), Variant::I4(unicode ? 1200 : 1252));
                all += Get("RawTextString").AsBstr();
                offset += Get("RawTextLength").AsI4();
                ++pieces;
            }
            EXPECT_EQ(pieces, row.pieces);
            for (const std::string& word : row.words)
                EXPECT_NE(all.find(word), std::string::npos) << all;
        }
        Put("SystemRawText", Variant::I4(0));
        Put("SystemUnicode", Variant::I4(0));
    }
}

TEST_F(FennickComponentTest, SearchSelectsMatchesInThePdfAndTheTextUntilNoneIsLeft) {
    const auto search = [&](const std::string& text, int16_t direction) {
        return Call("Search", {Variant::I4(0), Variant::Bstr(text), Variant::I2(1), Variant::I2(1),
                               Variant::I2(direction)})
            .AsI2();
    };
    const auto next = [&](int16_t direction) { return Call("SearchNext", {Variant::I2(direction)}).AsI2(); };
    // The selection as characters from the document's start.
    const auto selected = [&] {
        return std::pair(Call("GetActualCount", {Get("SelectionAnchor")}).AsI4(),
                         Call("GetActualCount", {Get("SelectionEnd")}).AsI4());
    };
    const auto selChanges = [&] {
        return std::count_if(m_sink->fired.begin(), m_sink->fired.end(),
                             [](const auto& f) { return f.first == static_cast<DISPID>(Event::SelChange); });
    };
    ASSERT_EQ(View(Doc("two.pdf")).AsI4(), 1);
    m_sink->fired.clear();
    EXPECT_EQ(search("beta", 1), 0);
    EXPECT_EQ(Get("ErrorCode").AsI4(), 0);
    EXPECT_EQ(selChanges(), 1);
    EXPECT_EQ(selected(), std::pair(5 + 0, 5 + 4));  // "alpha" is the first page's text
    EXPECT_EQ(next(1), 25);
    EXPECT_EQ(Get("ErrorCode").AsI4(), 0);
    EXPECT_EQ(selChanges(), 1);
    // Backward from the end: the "a" of "beta", then the last of "alpha".
    EXPECT_EQ(search("a", 2), 0);
    EXPECT_EQ(selected(), std::pair(8, 9));
    EXPECT_EQ(next(0), 0);
    EXPECT_EQ(selected(), std::pair(4, 5));

    ASSERT_EQ(View(Doc("notes.txt")).AsI4(), 1);  // "first line\nsecond line\n"
    EXPECT_EQ(search("LINE", 1), 0);
    EXPECT_EQ(selected(), std::pair(6, 10));
    // The wide record finds the same.
    Put("SystemUnicode", Variant::I4(1));
    EXPECT_EQ(next(1), 0);
    EXPECT_EQ(selected(), std::pair(18, 22));
    EXPECT_EQ(search("second", 1), 0);
    EXPECT_EQ(selected(), std::pair(11, 17));
    Put("SystemUnicode", Variant::I4(0));
    EXPECT_EQ(next(1), 25);
    EXPECT_EQ(next(2), 25);  // nor before it
}

TEST_F(FennickComponentTest, ZoomChangesThePagesSizeAndFullScreenComesBack) {
    ASSERT_EQ(View(Doc("two.pdf")).AsI4(), 1);
    auto* view = m_widget->findChild<QAbstractScrollArea*>();
    ASSERT_NE(view, nullptr);
    const auto pagesHigh = [&] {
        QCoreApplication::sendPostedEvents();
        m_widget->grab();
        return view->verticalScrollBar()->maximum() + view->viewport()->height();
    };
    const int fitted = pagesHigh();
    Put("IMGXZoomPercent", Variant::I4(10));
    Put("IMGYZoomPercent", Variant::I4(10));
    Call("IMGZoom", {Variant::I2(0)});
    EXPECT_EQ(Get("ErrorCode").AsI4(), 0);
    const int small = pagesHigh();
    EXPECT_LT(small, fitted);
    Call("IMGZoom", {Variant::I2(4)});
    EXPECT_GT(pagesHigh(), small);
    // No zoom type below 0 either: the call fails and the view stays.
    DISPID zoom = DISPID_UNKNOWN;
    ASSERT_EQ(m_control->GetIDOfName("IMGZoom", zoom), S_OK);
    const Variant negative[] = {Variant::I2(-1)};
    EXPECT_EQ(m_control->Invoke(zoom, InvokeKind::Method, negative, nullptr, nullptr),
              MakeHResult(0x800A000Fu));
    const int actual = pagesHigh();
    Call("IMGZoom", {Variant::I2(1)});
    EXPECT_LT(pagesHigh(), actual);

    Call("IMGShowFullScreen", {Variant::I4(1)});
    EXPECT_TRUE(view->isWindow());
    EXPECT_TRUE(view->windowState() & Qt::WindowFullScreen);
    // The host resizing the control meanwhile leaves the view full screen, and it returns at the new size.
    const QRect screen = view->geometry();
    m_widget->resize(300, 200);
    QCoreApplication::sendPostedEvents();
    m_widget->grab();
    EXPECT_EQ(view->geometry(), screen);
    Call("IMGShowFullScreen", {Variant::I4(0)});
    EXPECT_FALSE(view->isWindow());
    EXPECT_EQ(view->geometry(), m_widget->rect());
}

TEST_F(FennickComponentTest, WhatTheUserChoosesInTheClipboardOptionsIsWhatCopyToClipOffers) {
    ASSERT_EQ(View(Doc("notes.txt")), Variant::I4(1));
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QCheckBox*>("text")->setChecked(false);
        dialog->accept();
    });
    m_sink->fired.clear();
    EXPECT_EQ(Call("ClipboardOptions"), Variant::I4(1));
    EXPECT_EQ(Get("ToClipboard"), Variant::I4(1026));
    EXPECT_TRUE(std::any_of(m_sink->fired.begin(), m_sink->fired.end(), [](const auto& f) {
        return f.first == static_cast<DISPID>(Event::OptionChange) &&
               f.second == std::vector<int32_t>{0x529CD};
    }));
    Call("SelectAll");
    Call("CopyToClip");
    EXPECT_EQ(QApplication::clipboard()->mimeData()->formats(), (QStringList{"text/rtf", "text/html"}));
    Put("ToClipboard", Variant::I4(1027));
}

// ---- Annotations ----

// The AnnotationEvent events' arguments as a host's sink holds them.
class AnnotationSink : public IDispatch {
  public:
    HRESULT GetIDsOfNames(std::span<const std::string_view>, std::span<DISPID>) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID dispid, InvokeKind, std::span<const Variant> args, Variant*,
                   InvokeError*) override {
        if (dispid == static_cast<DISPID>(Event::AnnotationEvent))
            events.emplace_back(args.begin(), args.end());
        return S_OK;
    }
    std::vector<std::vector<Variant>> events;
};

void Click(QWidget& control, QPoint at) {
    auto* area = control.findChild<QAbstractScrollArea*>();
    ASSERT_NE(area, nullptr);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, area->viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(area->viewport(), &event);
    }
}

TEST_F(FennickComponentTest, AClickedHighlightRaisesAnnotationEventAndFindAndGotoWalkTheDocument) {
    ASSERT_EQ(View(Doc("two.pdf")).AsI4(), 1);
    auto sink = std::make_shared<AnnotationSink>();
    auto container = QueryInterfaceAs<IConnectionPointContainer>(*m_control, IID_IConnectionPointContainer);
    std::shared_ptr<ConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(kDqelctrlIid, point), S_OK);
    uint32_t cookie = 0;
    ASSERT_EQ(point->Advise(sink, cookie), S_OK);
    // Positions counted from the document's start: "alpha" is 0 to 5, "beta" 5 to 9.
    const auto at = [&](int32_t count) {
        std::shared_ptr<IDispatch> position;
        EXPECT_EQ(CreateByProgID(kQelPosProgId, position), S_OK);
        Call("SetActualCount", {Variant::Dispatch(position), Variant::I4(count)});
        return Variant::Dispatch(position);
    };
    const QImage before = m_widget->grab().toImage();
    Call("AddAnnotationHilite", {Variant::I4(0x41), Variant::I2(0), Variant::I2(1), Variant::I2(12),
                                 Variant::I2(0), Variant::Bstr("alpha note"), at(0), at(5)});
    ASSERT_EQ(Get("ErrorCode"), Variant::I4(0));
    EXPECT_NE(m_widget->grab().toImage(), before);
    Call("AddAnnotationHilite", {Variant::I4(0x42), Variant::I2(0), Variant::I2(1), Variant::I2(5),
                                 Variant::I2(0), Variant::I4(42), at(5), at(9)});
    ASSERT_EQ(Get("AnnotationId"), Variant::I4(0x42));

    // "alpha" stands at about 16 to 87 pixels across and 18 to 39 down at this width.
    Click(*m_widget, QPoint(50, 28));
    ASSERT_EQ(sink->events.size(), 1u);
    EXPECT_EQ(sink->events[0][0], Variant::I4(1));
    EXPECT_EQ(sink->events[0][1], Variant::I4(0x41));
    EXPECT_EQ(sink->events[0][2], Variant::Bstr("alpha note"));
    EXPECT_EQ(Get("AnnotationId"), Variant::I4(0x41));
    Click(*m_widget, QPoint(300, 450));
    EXPECT_EQ(sink->events.size(), 1u);

    // The first in the document's order, then the next after a place.
    EXPECT_EQ(Call("FindAnnotation", {Variant::I2(0), Variant::I2(0), Variant::I4(0), Variant()}),
              Variant::I4(1));
    EXPECT_EQ(Get("AnnotationId"), Variant::I4(0x41));
    EXPECT_EQ(Call("FindAnnotation", {Variant::I2(1), Variant::I2(0), Variant::I4(0), at(0)}),
              Variant::I4(1));
    EXPECT_EQ(Get("AnnotationId"), Variant::I4(0x42));
    EXPECT_EQ(Get("AnnotationData"), Variant::I4(42));
    EXPECT_EQ(Call("GetActualCount", {Get("AnnotationEndPos")}), Variant::I4(9));

    EXPECT_EQ(Call("GotoAnnotation", {Variant::I2(0), Variant::I2(2), Variant::I4(0x42)}), Variant::I4(1));
    EXPECT_EQ(Call("GetActualCount", {Get("SelectionAnchor")}), Variant::I4(5));
    EXPECT_EQ(Call("GotoAnnotation", {Variant::I2(1), Variant::I2(0), Variant::I4(0)}), Variant::I4(0));
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(0));

    Call("ClearAnnotations", {Variant::I2(3), Variant::I4(0x41)});
    EXPECT_EQ(Call("FindAnnotation", {Variant::I2(0), Variant::I2(2), Variant::I4(0x41), Variant()}),
              Variant::I4(0));
    EXPECT_EQ(Call("GetAnnotationData", {Variant::I4(0x42), Variant::I2(0)}), Variant::I4(1));
    EXPECT_EQ(Get("AnnotationData"), Variant::I4(42));
    // The document's close takes its annotations along.
    Call("Clear");
    ASSERT_EQ(View(Doc("two.pdf")).AsI4(), 1);
    EXPECT_EQ(Call("GetAnnotationData", {Variant::I4(0x42), Variant::I2(0)}), Variant::I4(0));
}

// Pictures are found by their handle in this process's table: the control is linked in.
class FennickPictureTest : public testsupport::RegistryTest {};

TEST_F(FennickPictureTest, PicturesAndIconsAreDrawnFromTheControlsCopyAtTheirPosition) {
    const std::string folder = fs::path(CARROWLINE_LYDVW_ENGINE).parent_path().string();
    ASSERT_EQ(
        suite::RegWriteValue(platform::HKey::LocalMachine, "SOFTWARE\\QEL\\Fennick", "FilterPath",
                             platform::RegType::Sz, folder.c_str(), static_cast<uint32_t>(folder.size() + 1)),
        0);
    platform::RecordingPrompt prompts;
    docview::ControlSite site;
    site.prompt = [&prompts]() -> platform::UserPrompt& { return prompts; };
    site.exePath = "/opt/viewer";
    auto control = CreateFennickControl(site);
    QWidget* widget = static_cast<QWidget*>(control->Widget());
    ASSERT_TRUE(control->HasView());
    widget->resize(400, 500);
    docview::testing::WriteDocuments(m_temp.Path());
    const auto call = [&](std::string_view name, std::vector<Variant> args) {
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(control->GetIDOfName(name, id), S_OK);
        Variant result;
        EXPECT_EQ(control->Invoke(id, InvokeKind::Method, args, &result, nullptr), S_OK);
        return result;
    };
    ASSERT_EQ(call("ViewFile", {Variant::Bool(false), Variant::Bstr((m_temp.Path() / "notes.txt").string())}),
              Variant::I4(1));
    const auto coloured = [&](QColor colour) {
        const QImage image = widget->grab().toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += image.pixelColor(x, y) == colour ? 1 : 0;
        return count;
    };
    QImage blue(16, 8, QImage::Format_RGB32);
    blue.fill(QColor(0, 0, 255));
    auto bitmap = suite::PictureObject::FromImage(blue);
    const Variant start = Variant::Dispatch(docview::CreateQelPos({1, 0, 0, 0}));
    call("AddAnnotationPicture",
         {Variant::I4(7), Variant::Dispatch(bitmap), Variant::I2(0), Variant(), start});
    EXPECT_EQ(control->ErrorCode(), 0);
    // At its own size: HIMETRIC at 96 dots per inch and back.
    EXPECT_EQ(coloured(QColor(0, 0, 255)), 16 * 8);
    // A picture the host has let go of is the engine's still.
    bitmap.reset();
    EXPECT_EQ(coloured(QColor(0, 0, 255)), 16 * 8);

    // An icon: a picture object of type 3 over an image in the table.
    auto green = std::make_shared<QImage>(6, 6, QImage::Format_ARGB32);
    green->fill(QColor(0, 255, 0));
    const uint32_t handle = suite::AddImageHandle(green);
    auto icon = std::make_shared<testsupport::FakeObject>(std::vector<std::pair<std::string, Variant>>{
        {"Handle", Variant::I4(static_cast<int32_t>(handle))}, {"Type", Variant::I2(3)}});
    call("AddAnnotationPicture", {Variant::I4(8), Variant::Dispatch(icon), Variant::I2(0), Variant(),
                                  Variant::Dispatch(docview::CreateQelPos({1, 0, 0, 12}))});
    EXPECT_EQ(control->ErrorCode(), 0);
    EXPECT_EQ(coloured(QColor(0, 255, 0)), 36);
    platform::automation::HandleTable::Process().Remove(handle);

    // A picture of no type, or one whose handle names nothing, is no picture.
    for (const Variant& none : {Variant::Dispatch(suite::PictureObject::Empty()), Variant::Dispatch(icon)}) {
        call("AddAnnotationPicture", {Variant::I4(9), none, Variant::I2(0), Variant(), start});
        EXPECT_EQ(control->ErrorCode(), 15);
    }
    EXPECT_EQ(control->Annotations().Entries().size(), 2u);
}

}  // namespace
}  // namespace fennick
