// The class registry on temporary hives: the Windows key layout, user and machine scopes, lookups and their
// failures, and a real component library registered with register-component in a child process, then
// created by CLSID and by ProgID, called by name, and unregistered again.
#include "platform/automation/class_registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

#include "platform/automation/dispatch_object.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/spawn.h"
#include "platform/win32_error.h"
#include "testsupport/program_run.h"
#include "testsupport/test_support.h"

namespace platform::automation {
namespace {

namespace fs = std::filesystem;

constexpr Guid kCounterClsid = Guid::FromLiteral("{5B0E4C21-7A6D-4F0B-9E3A-1C2D3E4F5A61}");
constexpr Guid kCounterEventsIid = Guid::FromLiteral("{5B0E4C23-7A6D-4F0B-9E3A-1C2D3E4F5A61}");
constexpr Guid kPageClsid = Guid::FromLiteral("{5B0E4C24-7A6D-4F0B-9E3A-1C2D3E4F5A61}");
constexpr const char* kCounterProgId = "AutomationTest.Counter.1";

using ToolRun = testsupport::ProgramRun;

class ClassRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Set before the registry is made, so that children started by the tests use the same hives.
        m_env.Set("CARROWLINE_ROOT", (m_dir / "root").string());
        m_env.Set("XDG_CONFIG_HOME", (m_dir / "config").string());
        m_env.Unset(kRegisterScopeVariable);
        m_registry = std::make_unique<Registry>(Registry::Paths{MachineHivePath(), UserHivePath()});
        Registry::OverrideDefault(m_registry.get());
        m_component = fs::canonical(CARROWLINE_TEST_COMPONENT).string();
    }

    void TearDown() override {
        Registry::OverrideDefault(nullptr);
        m_registry.reset();
    }

    static ToolRun RunTool(std::vector<std::string> args,
                           std::optional<EnvironmentBlock> env = std::nullopt) {
        return testsupport::RunProgram(CARROWLINE_REGISTER_COMPONENT, args, std::move(env));
    }

    std::optional<std::string> Text(HKey root, const std::string& key, const std::string& name = "") {
        RegValue value;
        if (m_registry->QueryValue(root, key, name, value) != win32::kSuccess) {
            return std::nullopt;
        }
        return value.AsString();
    }

    // Every key and value below `key`, as "path|name=text" lines, for before-and-after comparisons.
    std::map<std::string, std::string> Snapshot(HKey root, const std::string& key) {
        std::map<std::string, std::string> out;
        std::vector<std::pair<std::string, RegValue>> values;
        m_registry->EnumValues(root, key, values);
        out[key] = "";
        for (const auto& [name, value] : values) {
            out[key + "|" + name] = value.AsString().value_or("?");
        }
        std::vector<std::string> subkeys;
        m_registry->EnumKeys(root, key, subkeys);
        for (const std::string& sub : subkeys) {
            out.merge(Snapshot(root, key + "\\" + sub));
        }
        return out;
    }

    ClassRegistration Sample(const std::string& path = "/opt/carrowline/lib/libsample.so") {
        return {kCounterClsid,
                "Sample.Thing.1",
                "Sample Thing",
                path,
                "Apartment",
                {{"Control", ""}, {"TypeLib", "{5B0E4C20-7A6D-4F0B-9E3A-1C2D3E4F5A61}"}, {"Version", "1.0"}}};
    }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    const fs::path m_dir = m_temp.Path();
    std::unique_ptr<Registry> m_registry;
    std::string m_component;
};

TEST_F(ClassRegistryTest, RegistrationWritesTheWindowsLayoutInTheUserHive) {
    std::string message;
    ASSERT_EQ(RegisterClass(Sample(), RegistrationScope::User, &message), S_OK) << message;
    const std::string key = "Software\\Classes\\CLSID\\{5B0E4C21-7A6D-4F0B-9E3A-1C2D3E4F5A61}";
    EXPECT_EQ(Text(HKey::CurrentUser, key), "Sample Thing");
    EXPECT_EQ(Text(HKey::CurrentUser, key + "\\InprocServer32"), "/opt/carrowline/lib/libsample.so");
    EXPECT_EQ(Text(HKey::CurrentUser, key + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Text(HKey::CurrentUser, key + "\\ProgID"), "Sample.Thing.1");
    EXPECT_EQ(Text(HKey::CurrentUser, key + "\\Control"), "");
    EXPECT_EQ(Text(HKey::CurrentUser, key + "\\Version"), "1.0");
    EXPECT_EQ(Text(HKey::CurrentUser, "Software\\Classes\\Sample.Thing.1"), "Sample Thing");
    EXPECT_EQ(Text(HKey::CurrentUser, "Software\\Classes\\Sample.Thing.1\\CLSID"),
              "{5B0E4C21-7A6D-4F0B-9E3A-1C2D3E4F5A61}");
    EXPECT_FALSE(fs::exists(MachineHivePath()));

    Guid clsid;
    EXPECT_EQ(CLSIDFromProgID("sample.thing.1", clsid), S_OK);
    EXPECT_EQ(clsid, kCounterClsid);
    std::string progId;
    EXPECT_EQ(ProgIDFromCLSID(kCounterClsid, progId), S_OK);
    EXPECT_EQ(progId, "Sample.Thing.1");
    std::string path;
    EXPECT_EQ(InprocServerPath(kCounterClsid, path), S_OK);
    EXPECT_EQ(path, "/opt/carrowline/lib/libsample.so");
}

TEST_F(ClassRegistryTest, UserRegistrationShowsOverTheMachineOne) {
    ASSERT_EQ(RegisterClass(Sample("/machine/libsample.so"), RegistrationScope::Machine), S_OK);
    EXPECT_TRUE(m_registry->KeyExists(HKey::LocalMachine, "SOFTWARE\\Classes\\Sample.Thing.1"));
    std::string path;
    EXPECT_EQ(InprocServerPath(kCounterClsid, path), S_OK);
    EXPECT_EQ(path, "/machine/libsample.so");

    ASSERT_EQ(RegisterClass(Sample("/user/libsample.so"), RegistrationScope::User), S_OK);
    EXPECT_EQ(InprocServerPath(kCounterClsid, path), S_OK);
    EXPECT_EQ(path, "/user/libsample.so");

    ASSERT_EQ(UnregisterClass(kCounterClsid, "Sample.Thing.1", RegistrationScope::User), S_OK);
    EXPECT_EQ(InprocServerPath(kCounterClsid, path), S_OK);
    EXPECT_EQ(path, "/machine/libsample.so");
    ASSERT_EQ(UnregisterClass(kCounterClsid, "Sample.Thing.1", RegistrationScope::Machine), S_OK);
    EXPECT_EQ(InprocServerPath(kCounterClsid, path), REGDB_E_CLASSNOTREG);
    // Unregistering what is not registered is no error.
    EXPECT_EQ(UnregisterClass(kCounterClsid, "Sample.Thing.1", RegistrationScope::Machine), S_OK);
}

TEST_F(ClassRegistryTest, RegisteringAgainReplacesStaleKeys) {
    ASSERT_EQ(RegisterClass(Sample(), RegistrationScope::User), S_OK);
    ClassRegistration newer = Sample("/opt/new/libsample.so");
    newer.subkeys = {{"Version", "2.0"}};
    ASSERT_EQ(RegisterClass(newer, RegistrationScope::User), S_OK);
    const std::string key = "Software\\Classes\\CLSID\\" + kCounterClsid.ToString();
    EXPECT_EQ(Text(HKey::CurrentUser, key + "\\Version"), "2.0");
    EXPECT_FALSE(m_registry->KeyExists(HKey::CurrentUser, key + "\\Control"));
    EXPECT_FALSE(m_registry->KeyExists(HKey::CurrentUser, key + "\\TypeLib"));
    EXPECT_EQ(Text(HKey::CurrentUser, key + "\\InprocServer32"), "/opt/new/libsample.so");
}

TEST_F(ClassRegistryTest, InvalidRegistrationsWriteNothing) {
    ClassRegistration nullClass = Sample();
    nullClass.clsid = Guid{};
    ClassRegistration relative = Sample("libsample.so");
    std::vector<ClassRegistration> bad{nullClass, relative};
    for (const char* progId :
         {"Sample\\Thing", "1Sample", "Sample Thing", "A.Very.Long.ProgID.That.Does.Not.Fit.Ins"}) {
        ClassRegistration r = Sample();
        r.progId = progId;
        bad.push_back(r);
    }
    for (const ClassRegistration& r : bad) {
        std::string message;
        EXPECT_EQ(RegisterClass(r, RegistrationScope::User, &message), E_INVALIDARG) << r.progId;
        EXPECT_FALSE(message.empty());
    }
    EXPECT_FALSE(fs::exists(UserHivePath()));
}

TEST_F(ClassRegistryTest, UnwritableMachineHiveFailsWithoutHalfAClass) {
    // Root may write anywhere, but not below a regular file.
    std::ofstream(m_dir / "blocker") << "not a folder";
    Registry blocked(Registry::Paths{m_dir / "blocker/machine.reg", UserHivePath()});
    Registry::OverrideDefault(&blocked);
    std::string message;
    EXPECT_EQ(RegisterClass(Sample(), RegistrationScope::Machine, &message), REGDB_E_WRITEREGDB);
    EXPECT_NE(message.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID"), std::string::npos) << message;
    EXPECT_NE(message.find("access denied"), std::string::npos) << message;
    EXPECT_FALSE(blocked.KeyExists(HKey::ClassesRoot, "Sample.Thing.1"));
    // The user can still register for themselves.
    EXPECT_EQ(RegisterClass(Sample(), RegistrationScope::User, &message), S_OK);
}

TEST_F(ClassRegistryTest, LookupsOfWhatIsNotRegistered) {
    Guid clsid = kCounterClsid;
    EXPECT_EQ(CLSIDFromProgID("Nothing.Here.1", clsid), CO_E_CLASSSTRING);
    EXPECT_TRUE(clsid.IsNull());
    // A ProgID is one key name: it cannot reach into another key.
    ASSERT_EQ(RegisterClass(Sample(), RegistrationScope::User), S_OK);
    EXPECT_EQ(CLSIDFromProgID("Sample.Thing.1\\CLSID\\..", clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID("", clsid), CO_E_CLASSSTRING);
    ASSERT_EQ(
        m_registry->SetValue(HKey::ClassesRoot, "Broken.1\\CLSID", "", RegValue::String("{not-a-guid}")),
        win32::kSuccess);
    EXPECT_EQ(CLSIDFromProgID("Broken.1", clsid), CO_E_CLASSSTRING);

    std::string path;
    std::string message;
    EXPECT_EQ(InprocServerPath(kPageClsid, path, &message), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(message, "class {5B0E4C24-7A6D-4F0B-9E3A-1C2D3E4F5A61} is not registered");
    std::string progId;
    EXPECT_EQ(ProgIDFromCLSID(kPageClsid, progId), REGDB_E_CLASSNOTREG);

    const std::string key = "CLSID\\" + kPageClsid.ToString();
    ASSERT_EQ(m_registry->SetValue(HKey::ClassesRoot, key, "", RegValue::String("no server")),
              win32::kSuccess);
    EXPECT_EQ(InprocServerPath(kPageClsid, path, &message), REGDB_E_CLASSNOTREG);
    EXPECT_NE(message.find("has no in-process library"), std::string::npos) << message;

    ASSERT_EQ(
        m_registry->SetValue(HKey::ClassesRoot, key + "\\InprocServer32", "", RegValue::String("libx.so")),
        win32::kSuccess);
    EXPECT_EQ(InprocServerPath(kPageClsid, path, &message), E_MODNOTFOUND);
    EXPECT_NE(message.find("not an absolute path"), std::string::npos) << message;

    ASSERT_EQ(m_registry->SetValue(HKey::ClassesRoot, key + "\\InprocServer32", "",
                                   RegValue::String("%USERPROFILE%/lib/libx.so", RegType::ExpandSz)),
              win32::kSuccess);
    EXPECT_EQ(InprocServerPath(kPageClsid, path, &message), S_OK);
    EXPECT_EQ(path, (HomeFolder() / "lib/libx.so").string());
}

TEST_F(ClassRegistryTest, ComponentRegisteredByTheToolIsCreatedAndCalledByName) {
    const ToolRun run = RunTool({m_component});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("DllRegisterServer"), std::string::npos) << run.output;

    std::string path;
    ASSERT_EQ(InprocServerPath(kCounterClsid, path), S_OK);
    EXPECT_EQ(path, m_component);
    EXPECT_EQ(
        Text(HKey::CurrentUser, "Software\\Classes\\CLSID\\" + kCounterClsid.ToString() + "\\MiscStatus\\1"),
        "131473");

    std::shared_ptr<IDispatch> byClsid;
    std::string message;
    ASSERT_EQ(CoCreateInstance(kCounterClsid, byClsid, &message), S_OK) << message;
    ASSERT_TRUE(byClsid);
    std::shared_ptr<IDispatch> byProgId;
    ASSERT_EQ(CreateByProgID(kCounterProgId, byProgId, &message), S_OK) << message;
    ASSERT_TRUE(byProgId);
    EXPECT_NE(byClsid, byProgId);

    DISPID count = 0;
    DISPID add = 0;
    DISPID dbl = 0;
    DISPID fail = 0;
    ASSERT_EQ(byClsid->GetIDOfName("COUNT", count), S_OK);
    ASSERT_EQ(byClsid->GetIDOfName("add", add), S_OK);
    ASSERT_EQ(byClsid->GetIDOfName("Double", dbl), S_OK);
    ASSERT_EQ(byClsid->GetIDOfName("fail", fail), S_OK);

    const Variant five[] = {Variant::Bstr("5")};
    ASSERT_EQ(byClsid->Invoke(count, InvokeKind::PropertyPut, five, nullptr, nullptr), S_OK);
    const Variant addArgs[] = {Variant::I4(2), Variant::I2(3)};
    Variant result;
    ASSERT_EQ(byClsid->Invoke(add, InvokeKind::Method, addArgs, &result, nullptr), S_OK);
    EXPECT_EQ(result, Variant::I4(11));
    const Variant addOnce[] = {Variant::I2(4)};
    ASSERT_EQ(byClsid->Invoke(add, InvokeKind::Method, addOnce, &result, nullptr), S_OK);
    EXPECT_EQ(result, Variant::I4(15));
    // Each object keeps its own state.
    ASSERT_EQ(byProgId->Invoke(count, InvokeKind::PropertyGet, {}, &result, nullptr), S_OK);
    EXPECT_EQ(result, Variant::I4(0));

    int16_t value = 21;
    const Variant ref[] = {Variant::RefI2(&value)};
    ASSERT_EQ(byClsid->Invoke(dbl, InvokeKind::Method, ref, nullptr, nullptr), S_OK);
    EXPECT_EQ(value, 42);
    const Variant wrong[] = {Variant::Bstr("x")};
    EXPECT_EQ(byClsid->Invoke(add, InvokeKind::Method, wrong, &result, nullptr), DISP_E_TYPEMISMATCH);
    InvokeError error;
    EXPECT_EQ(byClsid->Invoke(fail, InvokeKind::Method, {}, nullptr, &error), DISP_E_EXCEPTION);
    EXPECT_EQ(error.description, "the counter failed");

    std::shared_ptr<IDispatch> page;
    ASSERT_EQ(CreateByProgID("automationtest.page", page, &message), S_OK) << message;
    DISPID title = 0;
    ASSERT_EQ(page->GetIDOfName("Title", title), S_OK);
    ASSERT_EQ(page->Invoke(title, InvokeKind::PropertyGet, {}, &result, nullptr), S_OK);
    EXPECT_EQ(result, Variant::Bstr("Test Page"));
}

TEST_F(ClassRegistryTest, ComponentEventsReachASinkOfTheHost) {
    ASSERT_EQ(RunTool({m_component}).status, 0);
    std::shared_ptr<IDispatch> counter;
    ASSERT_EQ(CoCreateInstance(kCounterClsid, counter), S_OK);
    auto container = QueryInterfaceAs<IConnectionPointContainer>(*counter, IID_IConnectionPointContainer);
    ASSERT_TRUE(container);
    std::shared_ptr<ConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(kCounterEventsIid, point), S_OK);

    std::vector<std::string> heard;
    DispatchTable events;
    events.Method("Pinged", 1, {{VarType::Bstr}}, VarType::Empty, [&](std::span<const Variant> args) {
        heard.push_back(args[0].AsBstr());
        return Variant();
    });
    uint32_t cookie = 0;
    ASSERT_EQ(point->Advise(std::make_shared<DispatchObject>(std::move(events)), cookie), S_OK);

    DISPID ping = 0;
    ASSERT_EQ(counter->GetIDOfName("Ping", ping), S_OK);
    const Variant hello[] = {Variant::Bstr("hello")};
    Variant result;
    ASSERT_EQ(counter->Invoke(ping, InvokeKind::Method, hello, &result, nullptr), S_OK);
    EXPECT_EQ(result, Variant::I4(1));
    EXPECT_EQ(heard, std::vector<std::string>{"hello"});
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    ASSERT_EQ(counter->Invoke(ping, InvokeKind::Method, hello, &result, nullptr), S_OK);
    EXPECT_EQ(result, Variant::I4(0));
}

TEST_F(ClassRegistryTest, UnregistrationRemovesExactlyItsKeys) {
    // Neighbours: another class with its ProgID, and a value beside the class keys.
    const Guid neighbour = Guid::FromLiteral("{0D7A4E12-3333-4A2B-8C3D-4E5F60718293}");
    ASSERT_EQ(RegisterClass({neighbour, "Neighbour.Class", "Neighbour", "/opt/n/libn.so", "Both", {}},
                            RegistrationScope::User),
              S_OK);
    ASSERT_EQ(m_registry->SetValue(HKey::CurrentUser, "Software\\Classes", "Note", RegValue::String("keep")),
              win32::kSuccess);
    const auto before = Snapshot(HKey::CurrentUser, "Software");

    // Registering twice succeeds both times and leaves one registration.
    ToolRun run = RunTool({m_component});
    ASSERT_EQ(run.status, 0) << run.output;
    const auto once = Snapshot(HKey::CurrentUser, "Software");
    EXPECT_GT(once.size(), before.size());
    run = RunTool({m_component});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Snapshot(HKey::CurrentUser, "Software"), once);
    run = RunTool({"/u", m_component});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Snapshot(HKey::CurrentUser, "Software"), before);

    // A ProgID of the component that another class has taken over since stays with that class.
    ASSERT_EQ(RunTool({m_component}).status, 0);
    ASSERT_EQ(m_registry->SetValue(HKey::ClassesRoot, "AutomationTest.Page\\CLSID", "",
                                   RegValue::String(neighbour.ToString())),
              win32::kSuccess);
    ASSERT_EQ(RunTool({"/u", m_component}).status, 0);
    Guid clsid;
    EXPECT_EQ(CLSIDFromProgID("AutomationTest.Page", clsid), S_OK);
    EXPECT_EQ(clsid, neighbour);
    EXPECT_EQ(CLSIDFromProgID(kCounterProgId, clsid), CO_E_CLASSSTRING);
    EXPECT_FALSE(m_registry->KeyExists(HKey::ClassesRoot, "CLSID\\" + kPageClsid.ToString()));
}

TEST_F(ClassRegistryTest, ToolRegistersMachineWideOnRequest) {
    ToolRun run = RunTool({"/m", m_component});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Text(HKey::LocalMachine, "SOFTWARE\\Classes\\" + std::string(kCounterProgId) + "\\CLSID"),
              kCounterClsid.ToString());
    EXPECT_FALSE(
        m_registry->KeyExists(HKey::CurrentUser, "Software\\Classes\\" + std::string(kCounterProgId)));
    std::shared_ptr<IDispatch> object;
    EXPECT_EQ(CreateByProgID(kCounterProgId, object), S_OK);

    run = RunTool({"/u", "/m", m_component});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_FALSE(m_registry->KeyExists(HKey::ClassesRoot, kCounterProgId));
    EXPECT_FALSE(m_registry->KeyExists(HKey::ClassesRoot, "CLSID\\" + kCounterClsid.ToString()));

    // A machine hive that cannot be written fails the tool with the registration code.
    std::ofstream(m_dir / "blocker") << "not a folder";
    EnvironmentBlock env = EnvironmentBlock::FromCurrentProcess();
    env.Set("CARROWLINE_ROOT", (m_dir / "blocker").string());
    run = RunTool({"/m", m_component}, env);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("0x80040201"), std::string::npos) << run.output;
}

TEST_F(ClassRegistryTest, ToolRefusesWhatItCannotRegister) {
    ToolRun run = RunTool({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.rfind("usage: register-component", 0), 0u) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1);

    run = RunTool({});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("no library given"), std::string::npos) << run.output;
    run = RunTool({"/x", m_component});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("unknown option /x"), std::string::npos) << run.output;

    run = RunTool({(m_dir / "missing.so").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("missing.so"), std::string::npos) << run.output;

    std::ofstream(m_dir / "text.so") << "not a library";
    run = RunTool({(m_dir / "text.so").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("cannot load the library"), std::string::npos) << run.output;

    run = RunTool({CARROWLINE_TEST_BARE_LIBRARY});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("does not export DllRegisterServer"), std::string::npos) << run.output;
    run = RunTool({"/u", CARROWLINE_TEST_BARE_LIBRARY});
    EXPECT_NE(run.output.find("does not export DllUnregisterServer"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(UserHivePath()));
}

TEST_F(ClassRegistryTest, CreationFailuresNameTheirCause) {
    std::shared_ptr<IDispatch> object;
    std::string message;
    EXPECT_EQ(CoCreateInstance(kCounterClsid, object, &message), REGDB_E_CLASSNOTREG);
    EXPECT_NE(message.find("is not registered"), std::string::npos) << message;
    EXPECT_EQ(CreateByProgID(kCounterProgId, object, &message), CO_E_CLASSSTRING);
    EXPECT_EQ(message, "no class is registered under the name \"AutomationTest.Counter.1\"");

    const std::string missing = (m_dir / "gone/libgone.so").string();
    ASSERT_EQ(RegisterClass({kCounterClsid, kCounterProgId, "Gone", missing, "Apartment", {}},
                            RegistrationScope::User),
              S_OK);
    EXPECT_EQ(CreateByProgID(kCounterProgId, object, &message), E_MODNOTFOUND);
    EXPECT_NE(message.find("cannot load the library " + missing), std::string::npos) << message;

    const std::string bare = fs::canonical(CARROWLINE_TEST_BARE_LIBRARY).string();
    ASSERT_EQ(RegisterClass({kCounterClsid, kCounterProgId, "Bare", bare, "Apartment", {}},
                            RegistrationScope::User),
              S_OK);
    EXPECT_EQ(CoCreateInstance(kCounterClsid, object, &message), E_PROCNOTFOUND);
    EXPECT_EQ(message, "the library " + bare + " does not export DllGetClassObject");

    // A class the registry sends to a library that does not hold it.
    const Guid stranger = Guid::Generate();
    ASSERT_EQ(
        RegisterClass({stranger, "", "Stranger", m_component, "Apartment", {}}, RegistrationScope::User),
        S_OK);
    EXPECT_EQ(CoCreateInstance(stranger, object, &message), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_NE(message.find("does not provide class " + stranger.ToString()), std::string::npos) << message;
    EXPECT_EQ(object, nullptr);
}

TEST_F(ClassRegistryTest, ObjectsAreCreatedFromSeveralThreadsAtOnce) {
    ASSERT_EQ(RunTool({m_component}).status, 0);
    std::atomic<int> created{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                std::shared_ptr<IDispatch> object;
                if (CoCreateInstance(kCounterClsid, object) == S_OK && object) {
                    created.fetch_add(1);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(created.load(), 40);
}

TEST(ClassFactoryTest, MakerFailuresBecomeCodes) {
    struct Case {
        std::function<std::shared_ptr<IDispatch>()> maker;
        HRESULT hr;
    };
    const Case cases[] = {
        {[] { return std::make_shared<DispatchObject>(); }, S_OK},
        {[]() -> std::shared_ptr<IDispatch> { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {[]() -> std::shared_ptr<IDispatch> { throw DispatchError(E_ACCESSDENIED, "no"); }, E_ACCESSDENIED},
        {[]() -> std::shared_ptr<IDispatch> { throw DispatchError(S_FALSE, "odd"); }, E_FAIL},
        {[]() -> std::shared_ptr<IDispatch> { throw std::runtime_error("broken"); }, E_FAIL},
        {[] { return std::shared_ptr<IDispatch>(); }, E_FAIL},
        {nullptr, E_FAIL},
    };
    for (const Case& c : cases) {
        ClassFactory factory(c.maker);
        std::shared_ptr<IDispatch> object = std::make_shared<DispatchObject>();
        EXPECT_EQ(factory.CreateInstance(object), c.hr) << FormatHResult(c.hr);
        EXPECT_EQ(object != nullptr, Succeeded(c.hr));
    }
}

}  // namespace
}  // namespace platform::automation

namespace platform::automation {
namespace {

class LocalServerRegistryTest : public ClassRegistryTest {
  protected:
    void TearDown() override {
        SetLocalServerActivator(nullptr);
        ClassRegistryTest::TearDown();
    }
    static ClassRegistration Viewer(std::string program = "/opt/carrowline/bin/my viewer",
                                    std::string busName = "com.carrowline.Viewer") {
        ClassRegistration r{kCounterClsid, "Viewer.Document", "Viewer Document", "", "Apartment", {}};
        r.kind = ServerKind::LocalServer;
        r.programPath = std::move(program);
        r.busName = std::move(busName);
        return r;
    }
    const std::string m_key = "Software\\Classes\\CLSID\\" + kCounterClsid.ToString();
};

TEST_F(LocalServerRegistryTest, LocalServerIsStoredAndReadBack) {
    std::string message;
    ASSERT_EQ(RegisterClass(Viewer(), RegistrationScope::User, &message), S_OK) << message;
    EXPECT_EQ(Text(HKey::CurrentUser, m_key + "\\LocalServer32"), "\"/opt/carrowline/bin/my viewer\"");
    EXPECT_EQ(Text(HKey::CurrentUser, m_key + "\\LocalServer32", "BusName"), "com.carrowline.Viewer");
    EXPECT_FALSE(m_registry->KeyExists(HKey::CurrentUser, m_key + "\\InprocServer32"));

    LocalServer server;
    ASSERT_EQ(LocalServerOf(kCounterClsid, server, &message), S_OK) << message;
    EXPECT_EQ(server.command, std::vector<std::string>{"/opt/carrowline/bin/my viewer"});
    EXPECT_EQ(server.busName, "com.carrowline.Viewer");

    // A command line with arguments, as a hand-written registration may hold.
    ASSERT_EQ(m_registry->SetValue(HKey::CurrentUser, m_key + "\\LocalServer32", "",
                                   RegValue::String("/opt/v --mode \"a b\"")),
              win32::kSuccess);
    ASSERT_EQ(LocalServerOf(kCounterClsid, server), S_OK);
    EXPECT_EQ(server.command, (std::vector<std::string>{"/opt/v", "--mode", "a b"}));
}

TEST_F(LocalServerRegistryTest, BadLocalServersAreRefused) {
    for (const auto& [program, bus] : std::vector<std::pair<std::string, std::string>>{
             {"viewer", "com.carrowline.Viewer"},
             {"/opt/viewer", ""},
             {"/opt/viewer", "single"},
             {"/opt/viewer", "com..double"},
             {"/opt/viewer", "com.9digit"},
             {"/opt/viewer", "com.carrowline.Vi ewer"},
             {"/opt/viewer", "com.carrowline." + std::string(240, 'x')}}) {
        std::string message;
        EXPECT_EQ(RegisterClass(Viewer(program, bus), RegistrationScope::User, &message), E_INVALIDARG)
            << program << " " << bus;
        EXPECT_FALSE(message.empty());
        EXPECT_FALSE(m_registry->KeyExists(HKey::ClassesRoot, "CLSID\\" + kCounterClsid.ToString()));
    }

    ASSERT_EQ(RegisterClass(Viewer(), RegistrationScope::User), S_OK);
    ASSERT_EQ(m_registry->DeleteValue(HKey::CurrentUser, m_key + "\\LocalServer32", "BusName"),
              win32::kSuccess);
    LocalServer server;
    std::string message;
    EXPECT_EQ(LocalServerOf(kCounterClsid, server, &message), CO_E_BADPATH);
    EXPECT_NE(message.find("\"BusName\""), std::string::npos) << message;
    ASSERT_EQ(
        m_registry->SetValue(HKey::CurrentUser, m_key + "\\LocalServer32", "", RegValue::String("rel/v")),
        win32::kSuccess);
    EXPECT_EQ(LocalServerOf(kCounterClsid, server, &message), E_MODNOTFOUND);
}

TEST_F(LocalServerRegistryTest, CreationGoesThroughTheInstalledActivatorOnly) {
    ASSERT_EQ(RegisterClass(Viewer(), RegistrationScope::User), S_OK);
    std::shared_ptr<IDispatch> object;
    std::string message;
    EXPECT_EQ(CreateByProgID("Viewer.Document", object, &message), CO_E_SERVER_EXEC_FAILURE);
    EXPECT_NE(message.find("cannot start"), std::string::npos) << message;
    EXPECT_EQ(object, nullptr);

    std::vector<LocalServer> started;
    const auto made = std::make_shared<DispatchObject>();
    SetLocalServerActivator([&](const LocalServer& server, std::shared_ptr<IDispatch>& out, std::string*) {
        started.push_back(server);
        out = made;
        return S_OK;
    });
    ASSERT_EQ(CreateByProgID("viewer.document", object, &message), S_OK) << message;
    EXPECT_EQ(object, made);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].clsid, kCounterClsid);
    EXPECT_EQ(started[0].busName, "com.carrowline.Viewer");

    // An activator's failure and its text pass through; success without an object is no success.
    SetLocalServerActivator([](const LocalServer&, std::shared_ptr<IDispatch>&, std::string* why) {
        *why = "the server program exited with status 3";
        return CO_E_SERVER_EXEC_FAILURE;
    });
    EXPECT_EQ(CoCreateInstance(kCounterClsid, object, &message), CO_E_SERVER_EXEC_FAILURE);
    EXPECT_EQ(message, "the server program exited with status 3");
    SetLocalServerActivator(
        [](const LocalServer&, std::shared_ptr<IDispatch>&, std::string*) { return S_OK; });
    EXPECT_EQ(CoCreateInstance(kCounterClsid, object, &message), CO_E_SERVER_EXEC_FAILURE);
    EXPECT_EQ(object, nullptr);
}

}  // namespace
}  // namespace platform::automation
