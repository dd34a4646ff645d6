// The control as a container meets it: libquillet.so registered with register-component in a temporary
// class registry, created by CLSID, every member the container binds looked up by name, and a whole local
// session against the stand-in host program: greeting on the screen and in the window, keys to the host,
// "/quit" and one SorelExit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hostlink/tests/local_standin.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch_object.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "suite/registry_settings.h"
#include "terminal/quillet/quillet_contract.h"
#include "terminal/quillet/quillet_ids.h"
#include "terminal/quillet/tests/ctrl_test_support.h"
#include "testsupport/test_support.h"

namespace terminal {
namespace {

namespace fs = std::filesystem;
using namespace platform::automation;
using testing::RunProgram;

constexpr int kSafetyNetMs = 20000;

// The member names the container binds, in its order.
constexpr const auto& kBoundNames = quillet::kMemberNames;
static_assert(kBoundNames.size() == 71);

// The container's event sink: answers ShowContainer by setting the event, counts SorelExit.
class ContainerSink : public DispatchObject {
  public:
    ContainerSink() {
        Table()
            .Method("SorelExit", 1, {}, VarType::Empty,
                    [this](std::span<const Variant>) {
                        ++m_sorelExits;
                        return Variant();
                    })
            .Method("ShowContainer", 4, {VarType::I4}, VarType::Empty, [this](std::span<const Variant> a) {
                ++m_showContainers;
                const uint64_t one = 1;
                EXPECT_EQ(::write(a[0].AsI4(), &one, sizeof one), static_cast<ssize_t>(sizeof one));
                return Variant();
            });
    }
    int m_sorelExits = 0;
    int m_showContainers = 0;
};

class QuilletComponentTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Once per process: the library keeps the registry it first opened.
        static testsupport::TempFolder folder;
        s_root = &folder.Path();
        for (const char* name : {"home", "tmp", "config", "root", "progs", "data"}) {
            fs::create_directories(*s_root / name);
        }
        s_env = std::make_unique<testsupport::ScopedEnv>();
        s_env->Set("HOME", (*s_root / "home").string());
        s_env->Set("TMPDIR", (*s_root / "tmp").string());
        s_env->Set("XDG_CONFIG_HOME", (*s_root / "config").string());
        s_env->Set("CARROWLINE_ROOT", (*s_root / "root").string());
        s_env->Set("CARROWLINE_STANDIN_RECORD", (*s_root / "record.txt").string());
        s_env->Set("CARROWLINE_STANDIN_SCRIPT", "");
        s_registry = std::make_unique<platform::Registry>(
            platform::Registry::Paths{platform::MachineHivePath(), platform::UserHivePath()});
        platform::Registry::OverrideDefault(s_registry.get());
        std::error_code ec;
        fs::create_symlink(CARROWLINE_STANDIN_SOREL, *s_root / "progs" / "sorel", ec);
        const std::string server = suite::ServerKey(suite::ClientMode::Local);
        s_registry->SetValue(platform::HKey::LocalMachine, server, "SorelData",
                             platform::RegValue::String((*s_root / "data").string()));
        s_registry->SetValue(platform::HKey::LocalMachine, server, "SorelProgs",
                             platform::RegValue::String((*s_root / "progs").string()));
        ASSERT_EQ(RunProgram({CARROWLINE_REGISTER_COMPONENT, CARROWLINE_QUILLET_LIBRARY}), 0);
    }
    static void TearDownTestSuite() {
        platform::Registry::OverrideDefault(nullptr);
        s_registry.reset();
        s_env.reset();
    }

    std::shared_ptr<IDispatch> Create() {
        std::shared_ptr<IDispatch> control;
        std::string message;
        EXPECT_EQ(CoCreateInstance(kQuilletClsid, control, &message), S_OK) << message;
        return control;
    }

    static Variant Call(IDispatch& control, std::string_view name, std::vector<Variant> args = {},
                        InvokeKind kind = InvokeKind::Method) {
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(control.GetIDOfName(name, id), S_OK) << name;
        Variant result;
        InvokeError error;
        EXPECT_EQ(control.Invoke(id, kind, args, &result, &error), S_OK) << name << ": " << error.description;
        return result;
    }

    static std::string Screen(IDispatch& control) { return Call(control, "GetScreenBuffer").AsBstr(); }

    static hostlink::testing::StandinRun SorelRun() {
        const auto runs = hostlink::testing::ReadStandinRecord(*s_root / "record.txt");
        EXPECT_EQ(runs.size(), 1u);
        return runs.empty() ? hostlink::testing::StandinRun{} : runs.back();
    }

    static const fs::path* s_root;
    static std::unique_ptr<platform::Registry> s_registry;
    static std::unique_ptr<testsupport::ScopedEnv> s_env;
};

const fs::path* QuilletComponentTest::s_root = nullptr;
std::unique_ptr<platform::Registry> QuilletComponentTest::s_registry;
std::unique_ptr<testsupport::ScopedEnv> QuilletComponentTest::s_env;

TEST_F(QuilletComponentTest, RegistrationNamesTheLibraryAndRepeats) {
    std::string path;
    ASSERT_EQ(InprocServerPath(kQuilletClsid, path), S_OK);
    EXPECT_EQ(fs::canonical(path), fs::canonical(CARROWLINE_QUILLET_LIBRARY));
    Guid clsid;
    ASSERT_EQ(CLSIDFromProgID(kQuilletProgId, clsid), S_OK);
    EXPECT_EQ(clsid, kQuilletClsid);
    // Registering again changes nothing and succeeds.
    EXPECT_EQ(RunProgram({CARROWLINE_REGISTER_COMPONENT, CARROWLINE_QUILLET_LIBRARY}), 0);
    ASSERT_EQ(InprocServerPath(kQuilletClsid, path), S_OK);
}

TEST_F(QuilletComponentTest, UnregisteringRemovesTheClassAndItsProgId) {
    ASSERT_EQ(RunProgram({CARROWLINE_REGISTER_COMPONENT, "/u", CARROWLINE_QUILLET_LIBRARY}), 0);
    std::shared_ptr<IDispatch> control;
    EXPECT_EQ(CoCreateInstance(kQuilletClsid, control), REGDB_E_CLASSNOTREG);
    Guid clsid;
    EXPECT_EQ(CLSIDFromProgID(kQuilletProgId, clsid), CO_E_CLASSSTRING);
    ASSERT_EQ(RunProgram({CARROWLINE_REGISTER_COMPONENT, CARROWLINE_QUILLET_LIBRARY}), 0);
    EXPECT_EQ(CoCreateInstance(kQuilletClsid, control), S_OK);
}

TEST_F(QuilletComponentTest, FactoryRefusesAThreadWithoutTheUserInterface) {
    std::shared_ptr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(kQuilletClsid, factory), S_OK);
    HRESULT hr = S_OK;
    std::shared_ptr<IDispatch> control;
    std::thread([&] { hr = factory->CreateInstance(control); }).join();
    EXPECT_EQ(hr, E_UNEXPECTED);
    EXPECT_FALSE(control);
    EXPECT_EQ(factory->CreateInstance(control), S_OK);
    EXPECT_TRUE(control);
}

TEST_F(QuilletComponentTest, EveryBoundNameExistsInAnyLetterCase) {
    auto control = Create();
    ASSERT_TRUE(control);
    std::vector<DISPID> seen;
    for (std::size_t i = 0; i < kBoundNames.size(); ++i) {
        std::string upper(kBoundNames[i]);
        std::string lower(kBoundNames[i]);
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        DISPID exact = DISPID_UNKNOWN;
        DISPID up = DISPID_UNKNOWN;
        DISPID low = DISPID_UNKNOWN;
        EXPECT_EQ(control->GetIDOfName(kBoundNames[i], exact), S_OK)
            << "index " << i << " " << kBoundNames[i];
        EXPECT_EQ(control->GetIDOfName(upper, up), S_OK) << upper;
        EXPECT_EQ(control->GetIDOfName(lower, low), S_OK) << lower;
        EXPECT_NE(exact, 0) << kBoundNames[i];  // the container reads 0 as "not bound"
        EXPECT_EQ(exact, up);
        EXPECT_EQ(exact, low);
        seen.push_back(exact);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end()) << "two names share a dispid";
    // The container calls these with fixed dispids.
    for (auto [name, id] : {std::pair<std::string_view, DISPID>{"EditCopy", 1013},
                            {"EditPaste", 1014},
                            {"SetFontControl", 1015},
                            {"EditCustomMenu", 1016},
                            {"Login", 1005}}) {
        DISPID found = 0;
        EXPECT_EQ(control->GetIDOfName(name, found), S_OK);
        EXPECT_EQ(found, id) << name;
    }
    DISPID missing = 0;
    EXPECT_EQ(control->GetIDOfName("NoSuchMember", missing), DISP_E_UNKNOWNNAME);
}

TEST_F(QuilletComponentTest, LocalSessionShowsTheHostAndCarriesKeysUntilQuit) {
    std::error_code ec;
    fs::remove(*s_root / "record.txt", ec);
    auto control = Create();
    ASSERT_TRUE(control);
    auto widget = QueryInterfaceAs<QWidget>(*control, kQuilletWidgetIid);
    ASSERT_TRUE(widget);
    EXPECT_EQ(Call(*control, "hWnd", {}, InvokeKind::PropertyGet).AsPointer<QWidget>(kWidgetTag),
              widget.get());
    widget->resize(820, 600);
    widget->show();

    auto container = QueryInterfaceAs<IConnectionPointContainer>(*control, IID_IConnectionPointContainer);
    ASSERT_TRUE(container);
    std::shared_ptr<ConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(kQuilletEventsIid, point), S_OK);
    auto sink = std::make_shared<ContainerSink>();
    uint32_t cookie = 0;
    ASSERT_EQ(point->Advise(sink, cookie), S_OK);

    std::string commandLine = "-#7 pw";
    const Variant login =
        Call(*control, "Login", {Variant::I2(3), Variant::Pointer(&commandLine, std::string(kLoginDataTag))});
    ASSERT_EQ(login.AsI4(), 0);
    EXPECT_EQ(sink->m_showContainers, 1);
    EXPECT_EQ(Call(*control, "Connector", {}, InvokeKind::PropertyGet).AsBstr(), "local");

    const std::string greeting = "Carrowline stand-in host program";
    ASSERT_TRUE(QTest::qWaitFor([&] { return Screen(*control).find("Type /quit") != std::string::npos; },
                                kSafetyNetMs))
        << Screen(*control);
    EXPECT_EQ(Screen(*control).substr(0, greeting.size()), greeting);

    // The greeting is drawn: its rows differ from the background, rows far below are blank.
    const QImage image = widget->grab().toImage();
    ASSERT_FALSE(image.isNull());
    const QColor background = image.pixelColor(image.width() / 2, image.height() * 3 / 4);
    auto inked = [&](int top, int bottom) {
        int count = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = image.width() / 20; x < image.width() * 7 / 20; ++x) {
                count += image.pixelColor(x, y) != background ? 1 : 0;
            }
        }
        return count;
    };
    EXPECT_GT(inked(image.height() / 12, image.height() / 5), 50);
    EXPECT_EQ(inked(image.height() * 7 / 10, image.height() * 4 / 5), 0);

    // Keys through the dispatch interface and through the window, in order.
    Call(*control, "Send", {Variant::Bstr("abc")});
    QTest::keyClicks(widget.get(), "xy");
    ASSERT_TRUE(QTest::qWaitFor([&] { return SorelRun().received == "abcxy"; }, kSafetyNetMs))
        << SorelRun().received;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Screen(*control).find("abcxy") != std::string::npos; }, kSafetyNetMs));

    Call(*control, "Send", {Variant::Bstr("/quit\r")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return sink->m_sorelExits > 0; }, kSafetyNetMs));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(sink->m_sorelExits, 1);
    const auto run = SorelRun();
    EXPECT_EQ(run.received, "abcxy/quit\r");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.Arguments(), (std::vector<std::string>{"-t1", "-p1", "-#7", "pw"}));
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

}  // namespace
}  // namespace terminal
