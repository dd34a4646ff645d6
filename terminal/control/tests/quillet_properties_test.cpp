// The property model: what a fresh and a stored control start from, the store's names, order and types, the
// by-name access of the automation side, and loading the registry branch the connector names.
#include "terminal/control/quillet_properties.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "platform/user_prompt.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"
#include "testsupport/test_support.h"

namespace terminal {
namespace {

class MapBag : public PropertyBag {
  public:
    std::optional<PropertyValue> Load(std::string_view name) override {
        const auto it = m_values.find(std::string(name));
        if (it == m_values.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    void Save(std::string_view name, const PropertyValue& value) override {
        m_order.emplace_back(name);
        m_values[std::string(name)] = value;
    }
    std::map<std::string, PropertyValue> m_values;
    std::vector<std::string> m_order;
};

TEST(QuilletPropertiesTest, EmptyStoreGivesTheDefaultsButKeepsBorderAndOsPassword) {
    QuilletProperties props;
    props.m_Connector = "neither";
    props.m_RemotePort = 1;
    props.m_Border = false;
    props.m_AuthOsPassword = "kept";
    MapBag bag;
    props.Load(bag);
    EXPECT_EQ(props.m_Connector, "remote");
    EXPECT_EQ(props.m_RemotePort, 8002);
    EXPECT_EQ(props.m_FontSize, 9);
    EXPECT_EQ(props.m_FontName, "TarnFont");
    EXPECT_EQ(props.m_RemoteDataSet, "c:\\sorel\\soreldata");
    EXPECT_EQ(props.m_LocalSorelProgs, "c:\\sorel\\sorelprogs");
    EXPECT_EQ(props.m_BackgroundColor, "ffffff");
    EXPECT_FALSE(props.m_Border);
    EXPECT_EQ(props.m_AuthOsPassword, "kept");
}

TEST(QuilletPropertiesTest, StoredLocalControlKeepsEveryStoredValueIncludingEmptyStrings) {
    MapBag bag;
    bag.m_values = {{"Connector", std::string("local")},
                    {"FontName", std::string("")},
                    {"RemoteHost", std::string("")},
                    {"LocalDataSet", std::string("/srv/data")},
                    {"RemotePort", int16_t{9000}},
                    {"AuthSorelUser", int32_t{42}},
                    {"StatusBar", true},
                    {"BackgroundColor", std::string("0000ff")}};
    QuilletProperties props;
    props.Load(bag);
    EXPECT_EQ(props.m_Connector, "local");
    EXPECT_EQ(props.m_FontName, "");
    EXPECT_EQ(props.m_RemoteHost, "");
    EXPECT_EQ(props.m_LocalDataSet, "/srv/data");
    EXPECT_EQ(props.m_RemotePort, 9000);
    EXPECT_EQ(props.m_AuthSorelUser, 42);
    EXPECT_TRUE(props.m_StatusBar);
}

TEST(QuilletPropertiesTest, SaveWritesTheVersionThenEveryPersistedPropertyInOrder) {
    QuilletProperties props;
    props.m_RemoteEnviro = "A=1;B=2";
    props.m_WanMode = 3;
    MapBag bag;
    props.Save(bag);
    const std::vector<std::string> expected = {"_Version",
                                               "FontName",
                                               "RemoteDataSet",
                                               "LocalDataSet",
                                               "RemoteSorelProgs",
                                               "LocalSorelProgs",
                                               "RemoteHost",
                                               "RemoteEnviro",
                                               "Connector",
                                               "RunProgram",
                                               "AuthSorelPassword",
                                               "AuthOsUser",
                                               "AuthOsPassword",
                                               "BackgroundColor",
                                               "FontSize",
                                               "RemotePort",
                                               "RemotePrinter",
                                               "LocalPrinter",
                                               "RemoteTerm",
                                               "LocalTerm",
                                               "WanMode",
                                               "AuthSorelUser",
                                               "Border",
                                               "StatusBar",
                                               "Simple",
                                               "PostCloseOnSorelExit"};
    EXPECT_EQ(bag.m_order, expected);
    EXPECT_EQ(bag.m_values["_Version"], PropertyValue{int32_t{0x10000}});
    EXPECT_EQ(bag.m_values["WanMode"], PropertyValue{int16_t{3}});
    EXPECT_EQ(bag.m_values["AuthSorelUser"], PropertyValue{int32_t{0}});

    QuilletProperties loaded;
    loaded.Load(bag);
    EXPECT_EQ(loaded.m_RemoteEnviro, "A=1;B=2");
    EXPECT_EQ(loaded.m_WanMode, 3);
}

TEST(QuilletPropertiesTest, DamagedStoreValuesAreRefusedNotCut) {
    MapBag bag;
    bag.m_values = {{"Connector", std::string("remote")},
                    {"RemotePort", int32_t{70000}},  // does not fit 16 bits
                    {"FontSize", int32_t{12}},       // fits: taken
                    {"Border", std::string("yes")},  // wrong kind
                    {"RemoteHost", int16_t{5}}};     // wrong kind
    QuilletProperties props;
    props.Load(bag);
    EXPECT_EQ(props.m_RemotePort, 8002);
    EXPECT_EQ(props.m_FontSize, 12);
    EXPECT_TRUE(props.m_Border);
    EXPECT_EQ(props.m_RemoteHost, kDefaultRemoteHost);
}

TEST(QuilletPropertiesTest, ByNameAccessIsCaseInsensitiveAndTyped) {
    QuilletProperties props;
    EXPECT_TRUE(props.Set("remotehost", PropertyValue{std::string("10.1.2.3")}));
    EXPECT_EQ(props.m_RemoteHost, "10.1.2.3");
    EXPECT_TRUE(props.m_modified);
    EXPECT_FALSE(props.Set("RemotePort", PropertyValue{std::string("8002")}));
    EXPECT_FALSE(props.Set("NoSuchProperty", PropertyValue{true}));
    EXPECT_EQ(props.Get("REMOTEPORT"), PropertyValue{int16_t{8002}});
    EXPECT_EQ(props.Get("NoSuchProperty"), std::nullopt);

    // Plain members: stored, no change notification.
    props.m_modified = false;
    EXPECT_TRUE(props.Set("IsContainerRunning", PropertyValue{true}));
    EXPECT_TRUE(props.Set("MinWindowWidth", PropertyValue{int32_t{800}}));
    EXPECT_FALSE(props.m_modified);
}

TEST(QuilletPropertiesTest, SettingIsChainableLeavesTheFlag) {
    QuilletProperties props;
    EXPECT_TRUE(props.Set("IsChainable", PropertyValue{false}));
    EXPECT_EQ(props.Get("IsChainable"), PropertyValue{true});
    EXPECT_TRUE(props.m_modified);
    props.m_chainable = 0;
    EXPECT_EQ(props.Get("IsChainable"), PropertyValue{false});
}

TEST(QuilletPropertiesTest, TableCoversEveryNameOnceWithItsDispid) {
    std::map<std::string, int> seen;
    for (const PropertyInfo& info : QuilletProperties::Table()) {
        ++seen[std::string(info.name)];
        QuilletProperties props;
        EXPECT_TRUE(props.Get(info.name).has_value()) << info.name;
    }
    for (const auto& [name, count] : seen) {
        EXPECT_EQ(count, 1) << name;
    }
    EXPECT_EQ(QuilletProperties::Find("connector")->dispid, 10);
    EXPECT_EQ(QuilletProperties::Find("DirectChainMode")->dispid, 1023);
    EXPECT_FALSE(QuilletProperties::Find("BillServID")->persisted);
}

TEST(QuilletPropertiesTest, BackgroundColorReversesThePairs) {
    EXPECT_EQ(BackgroundColorValue("0000ff"), 0xFF0000u);  // pure blue
    EXPECT_EQ(BackgroundColorValue("ff0000"), 0x0000FFu);
    EXPECT_EQ(BackgroundColorValue("ffffff"), 0xFFFFFFu);
    EXPECT_EQ(BackgroundColorValue("fff"), 0u);
    EXPECT_EQ(BackgroundColorValue("1234567"), 0u);
    EXPECT_EQ(BackgroundColorValue("0000zz"), 0u);  // the reversed text starts with no digit
}

TEST(QuilletPropertiesTest, MarginsFollowBorderAndToolbars) {
    EXPECT_EQ(MarginsFor(true, true), (ScreenMargins{6, 35}));
    EXPECT_EQ(MarginsFor(true, false), (ScreenMargins{6, 6}));
    EXPECT_EQ(MarginsFor(false, true), (ScreenMargins{0, 35}));
    EXPECT_EQ(MarginsFor(false, false), (ScreenMargins{0, 0}));
}

// ---- Registry ----

class FontChangeTest : public testsupport::RegistryTest {
  protected:
    void Put(std::string_view name, platform::RegValue value) {
        ASSERT_EQ(Reg().SetValue(platform::HKey::CurrentUser, suite::kCompanyKey, name, value), 0);
    }
};

TEST_F(FontChangeTest, AChosenFontSetsNameAndSizeInPoints) {
    Put("fontChanged", platform::RegValue::Dword(1));
    Put("FontFaceName", platform::RegValue::String("Courier New"));
    Put("FontSize", platform::RegValue::Dword(120));
    QuilletProperties props;
    ApplyFontChange(props);
    EXPECT_EQ(props.m_FontName, "Courier New");
    EXPECT_EQ(props.m_FontSize, 12);
}

TEST_F(FontChangeTest, MissingValuesFallBack) {
    QuilletProperties props;
    props.m_FontName = "Mine";
    ApplyFontChange(props);
    EXPECT_EQ(props.m_FontName, "Mine") << "no font was chosen";
    Put("fontChanged", platform::RegValue::Dword(1));
    ApplyFontChange(props);
    EXPECT_EQ(props.m_FontName, "TarnFont");
    Put("FontFaceName", platform::RegValue::String("Lucida Console"));
    props.m_FontSize = 20;
    ApplyFontChange(props);
    EXPECT_EQ(props.m_FontName, "Lucida Console");
    EXPECT_EQ(props.m_FontSize, 9);
}

// ---- LoadRegistry ----

class LoadRegistryTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_scopedPrompt.emplace(m_prompt);
    }
    void TearDown() override {
        m_scopedPrompt.reset();
        RegistryTest::TearDown();
    }
    void Put(suite::ClientMode mode, std::string_view name, platform::RegValue value) {
        ASSERT_EQ(Reg().SetValue(platform::HKey::LocalMachine, suite::ServerKey(mode), name, value), 0);
    }
    void PutRemote() {
        Put(suite::ClientMode::Remote, "RemoteHost", platform::RegValue::String("host.example"));
        Put(suite::ClientMode::Remote, "RemotePort", platform::RegValue::Dword(9100));
        Put(suite::ClientMode::Remote, "RemoteTerm", platform::RegValue::Dword(4));
        Put(suite::ClientMode::Remote, "RemotePrinter", platform::RegValue::Dword(5));
        Put(suite::ClientMode::Remote, "RemoteEnviro", platform::RegValue::String("X=1"));
        Put(suite::ClientMode::Remote, "RemoteDataSet", platform::RegValue::String("/remote/data"));
        Put(suite::ClientMode::Remote, "RemoteSorelProgs", platform::RegValue::String("/remote/progs"));
        ASSERT_EQ(Reg().SetValue(platform::HKey::LocalMachine, suite::ScreenKey(suite::ClientMode::Remote),
                                 "UnixEscKey", platform::RegValue::Dword(0)),
                  0);
    }
    void PutLocal() {
        Put(suite::ClientMode::Local, "SorelData", platform::RegValue::String("/local/data"));
        Put(suite::ClientMode::Local, "SorelProgs", platform::RegValue::String("/local/progs"));
    }

    platform::RecordingPrompt m_prompt;
    std::optional<platform::ScopedDefaultPrompt> m_scopedPrompt;
};

TEST_F(LoadRegistryTest, LocalConnectorReadsTheLocalBranchWhateverTheModeWas) {
    PutLocal();
    suite::SetClientMode(suite::ClientMode::Remote);
    QuilletProperties props;
    props.m_Connector = "local";
    ASSERT_EQ(LoadRegistry(props), 0);
    EXPECT_EQ(suite::GetClientMode(), suite::ClientMode::Local);
    EXPECT_EQ(props.m_LocalDataSet, "/local/data");
    EXPECT_EQ(props.m_LocalSorelProgs, "/local/progs");
    EXPECT_EQ(props.m_LocalTerm, 1);
    EXPECT_EQ(props.m_RemoteTerm, 1);
    EXPECT_EQ(props.m_RemotePrinter, 1);
    // The local branch has no network settings: they are not overwritten with unread values.
    EXPECT_EQ(props.m_RemoteHost, kDefaultRemoteHost);
    EXPECT_EQ(props.m_RemoteDataSet, kDefaultDataSet);
    EXPECT_EQ(props.m_RemotePort, 8002);
}

TEST_F(LoadRegistryTest, RemoteConnectorReadsTheRemoteBranch) {
    PutRemote();
    PutLocal();
    suite::SetClientMode(suite::ClientMode::Local);
    QuilletProperties props;
    ASSERT_EQ(LoadRegistry(props), 0);
    EXPECT_EQ(suite::GetClientMode(), suite::ClientMode::Remote);
    EXPECT_EQ(props.m_RemoteHost, "host.example");
    EXPECT_EQ(props.m_RemotePort, 9100);
    EXPECT_EQ(props.m_RemoteTerm, 4);
    EXPECT_EQ(props.m_RemotePrinter, 5);
    EXPECT_EQ(props.m_RemoteEnviro, "X=1");
    EXPECT_EQ(props.m_RemoteDataSet, "/remote/data");
    EXPECT_EQ(props.m_RemoteSorelProgs, "/remote/progs");
    EXPECT_EQ(props.m_LocalDataSet, kDefaultDataSet);
    EXPECT_TRUE(m_prompt.Texts().empty());
}

TEST_F(LoadRegistryTest, UnknownConnectorIsReportedAndLoadedAsRemote) {
    PutRemote();
    QuilletProperties props;
    props.m_Connector = "serial";
    EXPECT_EQ(LoadRegistry(props), 0);
    EXPECT_EQ(m_prompt.Texts(), std::vector<std::string>{"Invalid Connector Specified"});
    EXPECT_EQ(props.m_RemoteHost, "host.example");
}

TEST_F(LoadRegistryTest, MissingValueFailsAndChangesNothing) {
    Put(suite::ClientMode::Local, "SorelData", platform::RegValue::String("/local/data"));
    QuilletProperties props;
    props.m_Connector = "local";
    EXPECT_EQ(LoadRegistry(props), 1);
    EXPECT_EQ(props.m_LocalDataSet, kDefaultDataSet);
    QuilletProperties remote;
    EXPECT_EQ(LoadRegistry(remote), 1);
    EXPECT_EQ(remote.m_RemoteHost, kDefaultRemoteHost);
}

}  // namespace
}  // namespace terminal
