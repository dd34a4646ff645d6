// The control's dispatch interface in process, over a scripted pipe: properties by name and dispid, the
// events with their argument kinds, the writes of Send and its neighbours in their byte forms, host data on
// the screen, the end of a session with one SorelExit, a window deleted by its parent mid-session, and
// Probe and ManualProbe over a practice list and a registry on temporary trees.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/dispatch_object.h"
#include "platform/registry.h"
#include "platform/user_prompt.h"
#include "practice/prac_file.h"
#include "practice/practice_log.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"
#include "terminal/control/tests/session_fakes.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/quillet_frame_site.h"
#include "terminal/quillet/tests/ctrl_test_support.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_widget.h"
#include "testsupport/test_support.h"
#include "tools/dataset_sel_dlg.h"
#include "tools/tests/dialog_test_support.h"

namespace terminal {
namespace {

using namespace platform::automation;

constexpr int kSafetyNetMs = 10000;

class QuilletCtrlTest : public testing::CtrlTest {
  protected:
    void SetUp() override {
        CtrlTest::SetUp();
        m_control->Window()->resize(820, 600);
        m_sink = std::make_shared<testing::RecordingSink>();
        testing::AdviseEvents(*m_control, m_sink);
    }

    // A local session on a scripted line, opened through the dispatch interface.
    std::shared_ptr<testing::FakeLine> Connect() {
        Put("Connector", Variant::Bstr("local"));
        EXPECT_EQ(Call("Connect").AsI4(), 0);
        EXPECT_TRUE(m_control->Session().HasPipe());
        return LastLine();
    }
    bool WaitWritten(testing::FakeLine& line, const std::string& bytes) {
        return QTest::qWaitFor([&] { return line.Written() == bytes; }, kSafetyNetMs);
    }

    std::shared_ptr<testing::RecordingSink> m_sink;
};

TEST_F(QuilletCtrlTest, PropertiesGoThroughTheirDispidsAndNames) {
    struct Case {
        std::string_view name;
        DISPID dispid;
        Variant put;
        Variant expected;
    };
    const Case cases[] = {
        {"FontName", 1, Variant::Bstr("Courier New"), Variant::Bstr("Courier New")},
        {"RemotePort", 7, Variant::Bstr("8003"), Variant::I2(8003)},  // coerced as the container may pass it
        {"AuthSorelUser", 13, Variant::I4(42), Variant::I4(42)},
        {"StatusBar", 18, Variant::Bool(true), Variant::Bool(true)},
        {"BillServID", 26, Variant::I2(5), Variant::I4(5)},
        {"PracticeName", 1000, Variant::Bstr("Main"), Variant::Bstr("Main")},
        {"MinWindowWidth", 1021, Variant::I4(700), Variant::I4(700)},
        {"DirectChainMode", 1023, Variant::Bool(true), Variant::Bool(true)},
        // Read only in effect: the control keeps its flag.
        {"IsChainable", 28, Variant::Bool(false), Variant::Bool(true)},
    };
    for (const Case& c : cases) {
        DISPID id = 0;
        ASSERT_EQ(m_control->GetIDOfName(c.name, id), S_OK) << c.name;
        EXPECT_EQ(id, c.dispid) << c.name;
        const Variant args[] = {c.put};
        EXPECT_EQ(m_control->Invoke(id, InvokeKind::PropertyPut, args, nullptr, nullptr), S_OK) << c.name;
        EXPECT_EQ(Get(c.name), c.expected) << c.name;
    }
    EXPECT_EQ(m_control->Properties().m_FontName, "Courier New");
    // A value that cannot be the property's kind changes nothing.
    Call("RemotePort", {Variant::Bstr("port")}, InvokeKind::PropertyPut, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Get("RemotePort"), Variant::I2(8003));
}

TEST_F(QuilletCtrlTest, EventsCarryTheirArgumentKinds) {
    m_control->SetAppUser(9, "secret");
    m_control->FireSwitchToolbar(3);
    m_control->FireNewWindow(12, 345);
    m_control->FireSetTitle("Practice");
    m_control->FireDisplayErrorBox("Trouble");
    m_control->FireShowContainer(17);
    m_control->FireSorelExit();
    const std::vector<std::pair<QuilletEvent, std::vector<Variant>>> expected = {
        {QuilletEvent::Tamsel, {Variant::Bstr("USRCHANGE")}},
        {QuilletEvent::SwitchToolbar, {Variant::I2(3)}},
        {QuilletEvent::NewWindow, {Variant::I4(12), Variant::I4(345)}},
        {QuilletEvent::SetTitle, {Variant::Bstr("Practice")}},
        {QuilletEvent::DisplayErrorBox, {Variant::Bstr("Trouble")}},
        {QuilletEvent::ShowContainer, {Variant::I4(17)}},
        {QuilletEvent::SorelExit, {}},
    };
    ASSERT_EQ(m_sink->m_calls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(m_sink->m_calls[i].dispid, static_cast<DISPID>(expected[i].first)) << i;
        EXPECT_EQ(m_sink->m_calls[i].args, expected[i].second) << i;
    }
    EXPECT_EQ(m_control->Properties().m_AuthSorelUser, 9);
    EXPECT_EQ(m_control->Properties().m_AuthSorelPassword, "secret");
}

TEST_F(QuilletCtrlTest, WithoutASessionMethodsSayWhatIsMissing) {
    Call("Send", {Variant::Bstr("x")});
    Call("AuthUpdate");
    EXPECT_EQ(
        m_recorder.Shown(),
        (std::vector<platform::PromptRequest>{
            {"Quillet is not connected", "", platform::PromptIcon::Stop},
            {"AuthUpdate(): Must Connect() before \rcalling this method", "", platform::PromptIcon::Stop}}));
    EXPECT_TRUE(m_shared->lines.empty());
    // Nothing to fit yet; a zero width fits trivially.
    EXPECT_EQ(Call("ResizeRequest", {Variant::I4(0), Variant::I4(100)}).AsI4(), 1);
    Call("PopupMenuItem", {Variant::I2(9999)}, InvokeKind::Method, E_INVALIDARG);
    Call("PopupMenuItem", {Variant::I2(10020)}, InvokeKind::Method, E_INVALIDARG);
}

TEST_F(QuilletCtrlTest, MinimumWindowSizeCountsTheFrameAndStatusBar) {
    // Too small: the minimum is what 80 x 25 cells of the smallest font need.
    EXPECT_EQ(Call("MinimumWindowSize", {Variant::I4(1), Variant::I4(1)}).AsI4(), 0);
    const int32_t width = Get("MinWindowWidth").AsI4();
    const int32_t height = Get("MinWindowHeight").AsI4();
    ASSERT_GT(width, 80);
    EXPECT_EQ((width - 12) % 80, 0);
    EXPECT_EQ((height - 35) % 25, 0);
    const int32_t cellHeight = (height - 35) / 25;

    Put("Border", Variant::Bool(false));
    Put("StatusBar", Variant::Bool(true));
    EXPECT_EQ(Call("MinimumWindowSize", {Variant::I4(1), Variant::I4(1)}).AsI4(), 0);
    EXPECT_EQ(Get("MinWindowWidth").AsI4(), width - 12);
    EXPECT_EQ(Get("MinWindowHeight").AsI4(), 25 * cellHeight + 23 + 32);

    // Large enough: TRUE, and the minimum grows to the window asked about.
    EXPECT_EQ(Call("MinimumWindowSize", {Variant::I4(5000), Variant::I4(4000)}).AsI4(), 1);
    EXPECT_EQ(Get("MinWindowWidth").AsI4(), 5000);
    EXPECT_EQ(Get("MinWindowHeight").AsI4(), 4000);
}

TEST_F(QuilletCtrlTest, IdleControlPaintsItsBackgroundColour) {
    const std::pair<const char*, QColor> cases[] = {
        {"0000ff", QColor(0, 0, 255)},
        {"ff8000", QColor(255, 128, 0)},
        {"fff", QColor(0, 0, 0)},  // not six digits: black
    };
    for (const auto& [text, colour] : cases) {
        Put("BackgroundColor", Variant::Bstr(text));
        const QImage image = m_control->Window()->grab().toImage();
        EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), colour) << text;
    }
}

TEST_F(QuilletCtrlTest, WidgetIsReachableAsInterfaceAndStockProperty) {
    auto widget = QueryInterfaceAs<QWidget>(*m_control, kQuilletWidgetIid);
    ASSERT_TRUE(widget);
    EXPECT_EQ(widget.get(), m_control->Window());
    EXPECT_EQ(Get("hWnd").AsPointer<QWidget>(kWidgetTag), m_control->Window());
    EXPECT_EQ(Get("hWnd").AsPointer<QWidget>("LoginData"), nullptr);
}

TEST_F(QuilletCtrlTest, SessionWritesKeepTheirByteFormsAndOrder) {
    auto line = Connect();
    ASSERT_TRUE(line);
    Call("Send", {Variant::Bstr("abc")});
    Call("SendSorelMessage", {Variant::Bstr("hi")});
    Call("SendProcess");
    std::string expected = "abc\x1b[*hi\n\x1b[|";
    ASSERT_TRUE(WaitWritten(*line, expected)) << line->Written();

    // Not chainable: the command waits for the new window, the host is asked for one.
    m_control->SetChainable(0);
    Call("SendToolbarCommand", {Variant::Bstr("/pat\r")});
    expected += "\x1b[K1";
    ASSERT_TRUE(WaitWritten(*line, expected)) << line->Written();
    EXPECT_EQ(Get("NewWindowChainCommand"), Variant::Bstr("/pat\r"));
    Call("ShutDownSorel");  // not chainable: nothing
    m_control->SetChainable(1);
    Call("SendToolbarCommand", {Variant::Bstr("/go\r")});
    Call("ShutDownSorel");
    expected += "/go\r/quit\r";
    ASSERT_TRUE(WaitWritten(*line, expected)) << line->Written();
    EXPECT_TRUE(m_recorder.Shown().empty());
}

TEST_F(QuilletCtrlTest, KeysFromTheScreenTheFieldEditorAndTheControlKeepTheirOrderOnASlowLine) {
    auto line = Connect();
    ASSERT_TRUE(line);
    // The host takes its input slowly and its pipe is full: no block can be written at once, and each
    // queues in the sender thread in the order sent.
    line->SlowWrites(std::chrono::milliseconds(3));
    QWidget* screen = m_control->Terminal();
    auto* field = screen->findChild<CFieldEdit*>();
    ASSERT_NE(field, nullptr);
    std::string expected;
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(screen, static_cast<Qt::Key>(Qt::Key_A + i));
        const std::string digit = std::to_string(i);
        ASSERT_TRUE(field->Model().KeySender().SendBytes(digit));
        Call("Send", {Variant::Bstr("#")});
        expected += std::string(1, static_cast<char>('a' + i)) + digit + "#";
    }
    ASSERT_TRUE(WaitWritten(*line, expected)) << line->Written();

    // Once the line keeps up again, keys go out at once.
    line->SlowWrites({});
    const auto writtenReach = [this](uint64_t count) {
        return QTest::qWaitFor(
            [&] {
                const CKeySenderThread::Counts now = m_control->Session().SenderCounts();
                return now.direct + now.queued >= count;
            },
            kSafetyNetMs);
    };
    ASSERT_TRUE(writtenReach(24));
    EXPECT_EQ(m_control->Session().SenderCounts().queued, 24u) << "the slow line took a block at once";
    const uint64_t direct = m_control->Session().SenderCounts().direct;
    QTest::keyClick(screen, Qt::Key_Z);
    EXPECT_EQ(line->Written(), expected + "z") << "written before the key press returned";
    EXPECT_EQ(m_control->Session().SenderCounts().direct, direct + 1);
}

// A container frame that passes on the Caps Lock state its display reports.
class LockFrame : public QWidget, public quillet::KeyboardLocks {
    Q_OBJECT
    Q_INTERFACES(quillet::KeyboardLocks)

  public:
    std::optional<bool> CapsLockOn() const override { return m_caps; }
    std::optional<bool> m_caps;
};

TEST_F(QuilletCtrlTest, CapsLockComesFromTheFrameAtStartAndOnActivation) {
    LockFrame frame;
    frame.m_caps = true;
    m_control->Window()->setParent(&frame);
    frame.resize(820, 600);
    frame.show();
    auto line = Connect();
    ASSERT_TRUE(line);
    QWidget* screen = m_control->Terminal();
    auto* field = screen->findChild<CFieldEdit*>();
    ASSERT_NE(field, nullptr);
    std::string expected;
    const auto altF1 = [&](std::string_view sent) {
        QTest::keyClick(screen, Qt::Key_F1, Qt::AltModifier);
        expected += sent;
        return WaitWritten(*line, expected);
    };
    // With Caps Lock on, Alt is not looked at: F1 sends its plain sequence.
    EXPECT_TRUE(altF1("\x1b[M")) << line->Written();
    EXPECT_TRUE(field->Keys().CapsLock()) << "the field editor's keys know it too";

    // Changed while another window had the keyboard: the container's Activate brings it.
    frame.m_caps = false;
    Call("Activate");
    EXPECT_TRUE(altF1("\x1b[w")) << line->Written();
    EXPECT_FALSE(field->Keys().CapsLock());

    // And so does the window's own activation.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    frame.m_caps = true;
    QApplication::setActiveWindow(&frame);
    EXPECT_TRUE(altF1("\x1b[M")) << line->Written();

    // A display that cannot tell leaves the state as it was.
    frame.m_caps.reset();
    Call("Activate");
    EXPECT_TRUE(altF1("\x1b[M")) << line->Written();
    m_control->Window()->setParent(nullptr);
}

TEST_F(QuilletCtrlTest, WheelAndMiddleButtonOverTheScreenAskTheHost) {
    auto line = Connect();
    ASSERT_TRUE(line);
    QWidget* screen = m_control->Terminal();
    auto wheel = [screen](int delta) {
        const QPointF at(100, 100);
        QWheelEvent event(at, screen->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(screen, &event);
    };
    wheel(240);   // two notches forward
    wheel(-130);  // one whole notch backward; the rest is not a notch
    wheel(60);    // less than a notch: nothing
    QTest::mouseClick(screen, Qt::MiddleButton, Qt::NoModifier, QPoint(50, 50));
    ASSERT_TRUE(WaitWritten(*line, "\x1b[%\x1b[%\x1b[^\x1b[H")) << line->Written();
}

TEST_F(QuilletCtrlTest, HostDataReachesTheScreenAndTheEndFiresSorelExitOnce) {
    auto line = Connect();
    ASSERT_TRUE(line);
    EXPECT_TRUE(m_control->Terminal()->isVisibleTo(m_control->Window()));
    line->Feed("Hello from the host\r\nsecond line");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_control->GetScreenBuffer().find("second line") != std::string::npos; }, kSafetyNetMs));
    const std::string screen = Call("GetScreenBuffer").AsBstr();
    ASSERT_EQ(screen.size(), 2000u);
    EXPECT_EQ(screen.substr(0, 19), "Hello from the host");
    EXPECT_EQ(screen.substr(80, 11), "second line");

    line->FailRead();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_sink->Count(QuilletEvent::SorelExit) > 0; }, kSafetyNetMs));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_sink->Count(QuilletEvent::SorelExit), 1);
    EXPECT_FALSE(m_control->Session().HasPipe());
    EXPECT_FALSE(m_control->Terminal()->isVisibleTo(m_control->Window()));
    EXPECT_EQ(Get("IsChainable"), Variant::Bool(true));
}

TEST_F(QuilletCtrlTest, HostCommandsInTheStreamReachTheContainer) {
    auto line = Connect();
    ASSERT_TRUE(line);
    Put("InVarnel", Variant::Bool(true));
    Put("ToolBars", Variant::Bool(false));
    line->Feed("\x1B[%Appointments\x01O\x1B[%No access\x01P\x1B[2V\x1B[0Z");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_sink->Count(QuilletEvent::SwitchToolbar) > 0; }, kSafetyNetMs));
    QCoreApplication::processEvents();
    ASSERT_EQ(m_sink->m_calls.size(), 3u);
    EXPECT_EQ(m_sink->m_calls[0].dispid, static_cast<DISPID>(QuilletEvent::SetTitle));
    EXPECT_EQ(m_sink->m_calls[0].args, std::vector<Variant>{Variant::Bstr("Appointments")});
    EXPECT_EQ(m_sink->m_calls[1].dispid, static_cast<DISPID>(QuilletEvent::DisplayErrorBox));
    EXPECT_EQ(m_sink->m_calls[1].args, std::vector<Variant>{Variant::Bstr("No access")});
    EXPECT_EQ(m_sink->m_calls[2].args, std::vector<Variant>{Variant::I2(2)});
    ASSERT_TRUE(WaitWritten(*line, "\x04")) << line->Written();  // the error box's acknowledgement
    EXPECT_EQ(Get("IsChainable"), Variant::Bool(false));
}

TEST_F(QuilletCtrlTest, SendSubmitsAnEditedFieldInsteadOfItsText) {
    auto line = Connect();
    ASSERT_TRUE(line);
    CFieldEdit* field = OpenField(*line);
    ASSERT_NE(field, nullptr);
    EXPECT_FALSE(m_control->FieldInputInactive());
    EXPECT_TRUE(field->isVisibleTo(m_control->Window()));
    // Typed at the field's caret, which the host put at the start.
    QTest::keyClicks(field, "XY");
    EXPECT_EQ(field->Model().Text(), "XYinit");
    Call("Send", {Variant::Bstr("dropped")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return line->Written().find("\x01\x1b[@") != std::string::npos; },
                                kSafetyNetMs))
        << line->Written();
    EXPECT_NE(line->Written().find("XYinit\x01\x1b[@"), std::string::npos) << line->Written();
    EXPECT_EQ(line->Written().find("dropped"), std::string::npos) << line->Written();
    EXPECT_FALSE(field->Model().IsOpen());
}

TEST_F(QuilletCtrlTest, ProcessSubmitsAnEditedFieldAndOtherwiseAsksTheHostAlone) {
    auto line = Connect();
    ASSERT_TRUE(line);
    CFieldEdit* field = OpenField(*line);
    ASSERT_NE(field, nullptr);
    QTest::keyClicks(field, "Q");
    Call("SendProcess");
    ASSERT_TRUE(QTest::qWaitFor([&] { return line->Written().find("Qinit\x01\x1b[|") != std::string::npos; },
                                kSafetyNetMs))
        << line->Written();
    EXPECT_FALSE(field->Model().IsOpen());

    const std::size_t before = line->Written().size();
    Call("SendProcess");
    ASSERT_TRUE(QTest::qWaitFor([&] { return line->Written().size() > before; }, kSafetyNetMs));
    const std::string after = line->Written().substr(before);
    EXPECT_NE(after.find("\x1b[|"), std::string::npos) << after;
    EXPECT_EQ(after.find("init"), std::string::npos) << after;
}

TEST_F(QuilletCtrlTest, PostCloseOnSorelExitClosesTheFrameInstead) {
    QWidget frame;
    m_control->Window()->setParent(&frame);
    frame.show();
    Put("PostCloseOnSorelExit", Variant::Bool(true));
    auto line = Connect();
    ASSERT_TRUE(line);
    line->FailRead();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame.isVisible(); }, kSafetyNetMs));
    EXPECT_EQ(m_sink->Count(QuilletEvent::SorelExit), 0);
    m_control->Window()->setParent(nullptr);
}

TEST_F(QuilletCtrlTest, ParentDeletingTheWindowEndsTheSession) {
    auto frame = std::make_unique<QWidget>();
    m_control->Window()->setParent(frame.get());
    auto line = Connect();
    ASSERT_TRUE(line);
    line->Feed("busy");
    frame.reset();
    EXPECT_FALSE(m_control->WindowValid());
    EXPECT_FALSE(m_control->Session().HasPipe());
    EXPECT_TRUE(line->Closed());
    EXPECT_EQ(Call("GetScreenBuffer").AsBstr(), "");
    Call("WinSetFocus");
    EXPECT_EQ(m_recorder.Shown().back(), (platform::PromptRequest{"WinSetFocus() requires a valid m_hWnd!",
                                                                  "", platform::PromptIcon::None}));
    // Queued host data for the gone screen is dropped.
    QCoreApplication::processEvents();
}

// ---- Probe and ManualProbe ----

class QuilletProbeTest : public QuilletCtrlTest {
  protected:
    void SetUp() override {
        QuilletCtrlTest::SetUp();
        practice::SetLogSink([](std::string_view) {});
    }
    void TearDown() override {
        practice::SetLogSink({});
        QuilletCtrlTest::TearDown();
    }

    static practice::CPractice MakePractice(const std::string& name, int32_t type = 0, int32_t billServ = 0) {
        practice::CPractice practice;
        practice.m_Name = name;
        practice.m_PracticeType = type;
        practice.m_BillServID = billServ;
        return practice;
    }
    // The practice list where the selector keeps it.
    static void WritePractices(const std::vector<practice::CPractice>& practices) {
        practice::CPracFile file;
        ASSERT_TRUE(file.Save(&practices, practice::CPracSelInfo()));
    }
    std::optional<uint32_t> ProgramValue() {
        platform::RegValue value;
        if (Reg().QueryValue(platform::HKey::CurrentUser, suite::kCompanyKey, "PROGRAM", value) != 0 ||
            value.type != platform::RegType::Dword) {
            return std::nullopt;
        }
        return value.AsDword();
    }
};

struct ProbedPractice {
    const char* name;
    practice::CPractice practice;
    std::vector<std::pair<std::string_view, Variant>> properties;  // as read back by name
    uint32_t program;
};

void PrintTo(const ProbedPractice& c, std::ostream* os) {
    *os << c.name;
}

practice::CPractice RemotePractice() {
    practice::CPractice remote;
    remote.m_Name = "North";
    remote.m_ConnType = 1;
    remote.m_Host = "north.host";
    remote.m_SorelData = "/data/n";
    remote.m_SorelProgs = "/progs/n";
    remote.m_PortNumber = 9001;
    remote.m_PrinterNumber = 2;
    remote.m_TerminalNumber = 14;
    remote.m_WanMode = 1;
    remote.m_BillServID = 6;
    remote.m_Environment.Add({"TERM", "vt"});
    remote.m_Environment.Add({"LANG", "C"});
    return remote;
}

practice::CPractice LocalPractice() {
    practice::CPractice local;
    local.m_Name = "Here";
    local.m_SorelData = "/data/h";
    local.m_SorelProgs = "/progs/h";
    local.m_PrinterNumber = 4;
    local.m_TerminalNumber = 5;
    local.m_Environment.Add({"X", "1"});
    return local;
}

class QuilletProbePracticeTest : public QuilletProbeTest,
                                 public ::testing::WithParamInterface<ProbedPractice> {};

TEST_P(QuilletProbePracticeTest, TheOnlyPracticeBecomesTheConnection) {
    const ProbedPractice& c = GetParam();
    WritePractices({c.practice});
    // A practice found wins over the registry settings.
    ASSERT_EQ(Reg().CreateKey(platform::HKey::LocalMachine, suite::ServerKey(suite::ClientMode::Local)), 0);
    m_control->Properties().m_modified = false;

    EXPECT_EQ(Call("Probe"), Variant::I4(0));
    for (const auto& [name, expected] : c.properties) {
        EXPECT_EQ(Get(name), expected) << name;
    }
    EXPECT_TRUE(m_control->Properties().m_modified);
    EXPECT_EQ(ProgramValue(), c.program);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // the wait cursor is gone again
    EXPECT_TRUE(m_recorder.Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Practices, QuilletProbePracticeTest,
    ::testing::Values(ProbedPractice{"Remote",
                                     RemotePractice(),
                                     {{"Connector", Variant::Bstr("remote")},
                                      {"RemoteHost", Variant::Bstr("north.host")},
                                      {"RemoteDataSet", Variant::Bstr("/data/n")},
                                      {"RemoteSorelProgs", Variant::Bstr("/progs/n")},
                                      {"RemotePort", Variant::I2(9001)},
                                      {"RemotePrinter", Variant::I2(2)},
                                      {"RemoteTerm", Variant::I2(14)},
                                      {"RemoteEnviro", Variant::Bstr("TERM=vt;LANG=C")},
                                      {"WanMode", Variant::I2(1)},
                                      {"BillServID", Variant::I4(6)},
                                      // The other branch keeps what it had.
                                      {"LocalDataSet", Variant::Bstr(std::string(kDefaultDataSet))}},
                                     2},
                      ProbedPractice{"Local",
                                     LocalPractice(),
                                     {{"Connector", Variant::Bstr("local")},
                                      {"LocalDataSet", Variant::Bstr("/data/h")},
                                      {"LocalSorelProgs", Variant::Bstr("/progs/h")},
                                      {"LocalTerm", Variant::I2(5)},
                                      {"LocalPrinter", Variant::I2(4)},
                                      {"BillServID", Variant::I4(0)},
                                      {"RemoteHost", Variant::Bstr(std::string(kDefaultRemoteHost))},
                                      {"RemoteEnviro", Variant::Bstr("")}},
                                     1}),
    [](const ::testing::TestParamInfo<ProbedPractice>& info) { return std::string(info.param.name); });

TEST_F(QuilletProbeTest, NoPracticeAndNoRegistrySettingsAnswersThree) {
    m_control->Properties().m_modified = false;

    EXPECT_EQ(Call("Probe"), Variant::I4(3));
    EXPECT_EQ(Get("Connector"), Variant::Bstr("remote"));
    EXPECT_EQ(Get("RemoteHost"), Variant::Bstr(std::string(kDefaultRemoteHost)));
    EXPECT_FALSE(m_control->Properties().m_modified);
    EXPECT_EQ(ProgramValue(), 2u);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(m_recorder.Shown().empty());
}

TEST_F(QuilletProbeTest, WithoutPracticesTheLocalRegistrySettingsAreLoaded) {
    const std::string key = suite::ServerKey(suite::ClientMode::Local);
    ASSERT_EQ(
        Reg().SetValue(platform::HKey::LocalMachine, key, "SorelProgs", platform::RegValue::String("/opt/p")),
        0);
    ASSERT_EQ(
        Reg().SetValue(platform::HKey::LocalMachine, key, "SorelData", platform::RegValue::String("/opt/d")),
        0);
    suite::SetClientMode(suite::ClientMode::Remote);

    EXPECT_EQ(Call("Probe"), Variant::I4(0));
    EXPECT_EQ(Get("Connector"), Variant::Bstr("local"));
    EXPECT_EQ(Get("LocalSorelProgs"), Variant::Bstr("/opt/p"));
    EXPECT_EQ(Get("LocalDataSet"), Variant::Bstr("/opt/d"));
    EXPECT_EQ(suite::GetClientMode(), suite::ClientMode::Local);
    EXPECT_EQ(ProgramValue(), 1u);
}

TEST_F(QuilletProbeTest, RegistryKeyWithoutItsValuesAnswersOne) {
    ASSERT_EQ(Reg().CreateKey(platform::HKey::CurrentUser, suite::ServerKey(suite::ClientMode::Remote)), 0);
    Put("Connector", Variant::Bstr("local"));

    EXPECT_EQ(Call("Probe"), Variant::I4(1));
    EXPECT_EQ(Get("Connector"), Variant::Bstr("remote"));
    EXPECT_EQ(suite::GetClientMode(), suite::ClientMode::Remote);
    EXPECT_EQ(ProgramValue(), 2u);
}

TEST_F(QuilletProbeTest, ManualProbeFiltersInTheDialogOverTheControl) {
    WritePractices({MakePractice("Clinic"), MakePractice("Service", 2, 3), MakePractice("Billing", 2, 0)});
    QStringList shown;
    QWidget* parent = nullptr;
    auto collect = [&shown, &parent](tools::CDatasetSelDlg& dialog) {
        shown.clear();
        auto* list = dialog.findChild<QListWidget*>("practiceList");
        for (int i = 0; i < list->count(); ++i) {
            shown << list->item(i)->text();
        }
        parent = dialog.parentWidget();
        return list;
    };
    tools::testing::WhenShown<tools::CDatasetSelDlg>([&collect](tools::CDatasetSelDlg& dialog) {
        QListWidget* list = collect(dialog);
        list->setCurrentRow(1);
        QTest::mouseClick(dialog.findChild<QPushButton*>("nextButton"), Qt::LeftButton);
    });

    EXPECT_EQ(Call("ManualProbe"), Variant::I4(0));
    EXPECT_EQ(shown, (QStringList{"Clinic", "Billing"}));
    EXPECT_EQ(parent, m_control->Window());
    EXPECT_EQ(Get("Connector"), Variant::Bstr("local"));
    EXPECT_EQ(Get("BillServID"), Variant::I4(0));

    // The flag stays with the control: a later Probe offers the same practices. Closing is a cancel.
    tools::testing::WhenShown<tools::CDatasetSelDlg>([&collect](tools::CDatasetSelDlg& dialog) {
        collect(dialog);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(Call("Probe"), Variant::I4(2));
    EXPECT_EQ(shown, (QStringList{"Clinic", "Billing"}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(QuilletProbeTest, OrdinaryProbeOffersNumberedServicesInstead) {
    WritePractices({MakePractice("Clinic"), MakePractice("Service", 2, 3), MakePractice("Billing", 2, 0)});
    QStringList shown;
    tools::testing::WhenShown<tools::CDatasetSelDlg>([&shown](tools::CDatasetSelDlg& dialog) {
        auto* list = dialog.findChild<QListWidget*>("practiceList");
        for (int i = 0; i < list->count(); ++i) {
            shown << list->item(i)->text();
        }
        list->setCurrentRow(1);
        QTest::mouseClick(dialog.findChild<QPushButton*>("nextButton"), Qt::LeftButton);
    });

    EXPECT_EQ(Call("Probe"), Variant::I4(0));
    EXPECT_EQ(shown, (QStringList{"Clinic", "Service"}));
    EXPECT_EQ(Get("BillServID"), Variant::I4(3));
}

TEST_F(QuilletProbeTest, ControlLetGoDuringTheDialogOutlivesTheCall) {
    WritePractices({MakePractice("Clinic"), MakePractice("Group")});
    std::weak_ptr<CQuilletCtrl> weak = m_control;
    CQuilletCtrl* control = m_control.get();
    tools::testing::WhenShown<tools::CDatasetSelDlg>([this](tools::CDatasetSelDlg& dialog) {
        m_control.reset();  // the container's last reference
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });

    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(control->GetIDOfName("Probe", id), S_OK);
    Variant result;
    EXPECT_EQ(control->Invoke(id, InvokeKind::Method, {}, &result, nullptr), S_OK);
    EXPECT_EQ(result, Variant::I4(2));
    EXPECT_FALSE(weak.expired());
    EXPECT_TRUE(tools::testing::WaitFor([&weak] { return weak.expired(); }));
}

}  // namespace
}  // namespace terminal

#include "quillet_ctrl_test.moc"
