// Tests of the registry primitives, the per-value readers, the font settings, the settings object and the
// key-presence probes, all on temporary hives.
#include "suite/registry_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/win32_error.h"
#include "testsupport/test_support.h"

namespace suite {
namespace {

using platform::HKey;
using platform::RegType;
using platform::RegValue;
namespace win32 = platform::win32;

class RegistrySettingsTest : public testsupport::RegistryTest {
  protected:
    void SetServer(ClientMode mode, const std::string& name, const RegValue& value) {
        ASSERT_EQ(Reg().SetValue(HKey::LocalMachine, ServerKey(mode), name, value), win32::kSuccess);
    }
    void SetScreen(ClientMode mode, const std::string& name, const RegValue& value) {
        ASSERT_EQ(Reg().SetValue(HKey::LocalMachine, ScreenKey(mode), name, value), win32::kSuccess);
    }
    void SetUser(const std::string& name, const RegValue& value) {
        ASSERT_EQ(Reg().SetValue(HKey::CurrentUser, kCompanyKey, name, value), win32::kSuccess);
    }
    void FillRemote(ClientMode mode) {
        SetServer(mode, "RemoteHost", RegValue::String("host.example"));
        SetServer(mode, "RemotePort", RegValue::Dword(9001));
        SetServer(mode, "RemoteTerm", RegValue::Dword(3));
        SetServer(mode, "RemotePrinter", RegValue::Dword(4));
        SetServer(mode, "RemoteEnviro", RegValue::String("TERM=ansi"));
        SetServer(mode, "RemoteDataSet", RegValue::String("DATA1"));
        SetServer(mode, "RemoteSorelProgs", RegValue::String("/srv/progs"));
        SetScreen(mode, "UnixEscKey", RegValue::Dword(27));
    }
};

TEST(RegistryKeys, EachClientModeHasItsBranch) {
    struct Case {
        std::string key;
        const char* expected;
    };
    const Case cases[] = {
        {ServerKey(ClientMode::Local), "SOFTWARE\\Carrowline Corporation\\Ostrel\\1.0\\Server"},
        {ScreenKey(ClientMode::Remote), "SOFTWARE\\Carrowline Corporation\\Varnel\\1.0\\Screen"},
        {DocsKey(ClientMode::Local), "SOFTWARE\\Carrowline Corporation\\Ostrel\\1.0\\Docs"},
        {DocsKey(ClientMode::Remote), "SOFTWARE\\Carrowline Corporation\\Varnel\\1.0\\Docs"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.key, c.expected);
    }
}

TEST_F(RegistrySettingsTest, RegReadValueKeepsTheSizeContract) {
    SetServer(ClientMode::Local, "Text", RegValue::String("abc"));
    SetServer(ClientMode::Local, "Number", RegValue::Dword(0x01020304));
    const std::string key = ServerKey(ClientMode::Local);

    char text[8];
    std::memset(text, 'x', sizeof(text));
    RegType type = RegType::Sz;
    uint32_t size = 3;  // no room for the terminating zero
    EXPECT_EQ(RegReadValue(HKey::LocalMachine, key, "Text", type, text, size), win32::kMoreData);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(text[0], 'x') << "nothing is copied when the value does not fit";

    size = sizeof(text);
    EXPECT_EQ(RegReadValue(HKey::LocalMachine, key, "Text", type, text, size), win32::kSuccess);
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(text[4], 'x') << "nothing is written past the value";

    size = 0;
    EXPECT_EQ(RegReadValue(HKey::LocalMachine, key, "Text", type, nullptr, size), win32::kSuccess);
    EXPECT_EQ(size, 4u);

    uint32_t number = 0;
    type = RegType::Dword;
    size = 2;
    EXPECT_EQ(RegReadValue(HKey::LocalMachine, key, "Number", type, &number, size), win32::kMoreData);
    size = sizeof(number);
    EXPECT_EQ(RegReadValue(HKey::LocalMachine, key, "Number", type, &number, size), win32::kSuccess);
    EXPECT_EQ(number, 0x01020304u);

    type = RegType::Sz;
    size = sizeof(text);
    EXPECT_EQ(RegReadValue(HKey::LocalMachine, key, "Number", type, text, size), kUnsupportedType);
    EXPECT_EQ(type, RegType::Dword);

    type = RegType::None;
    size = sizeof(number);
    EXPECT_EQ(RegReadValue(HKey::LocalMachine, key, "Number", type, &number, size), win32::kSuccess);
    EXPECT_EQ(type, RegType::Dword);

    type = RegType::Sz;
    size = sizeof(text);
    EXPECT_EQ(RegReadValue(HKey::LocalMachine, key, "Missing", type, text, size), win32::kFileNotFound);
    EXPECT_EQ(RegReadValue(HKey::LocalMachine, "SOFTWARE\\Nowhere", "Text", type, text, size),
              win32::kFileNotFound);
}

TEST_F(RegistrySettingsTest, RegWriteValueCreatesTheKeyAndStoresTextWithoutTerminator) {
    const char text[] = "hello\0tail";
    ASSERT_EQ(RegWriteValue(HKey::CurrentUser, "SOFTWARE\\Carrowline Corporation\\New\\Deep", "Name",
                            RegType::Sz, text, sizeof(text)),
              win32::kSuccess);
    EXPECT_TRUE(RegKeyExists(HKey::CurrentUser, "SOFTWARE\\Carrowline Corporation\\New\\Deep"));
    RegValue stored;
    ASSERT_EQ(
        Reg().QueryValue(HKey::CurrentUser, "SOFTWARE\\Carrowline Corporation\\New\\Deep", "Name", stored),
        win32::kSuccess);
    EXPECT_EQ(stored, RegValue::String("hello"));

    const uint32_t number = 7;
    EXPECT_EQ(RegWriteValue(HKey::CurrentUser, kCompanyKey, "N", RegType::Dword, &number, 2),
              win32::kInvalidParameter);
    EXPECT_FALSE(RegKeyExists(HKey::LocalMachine, "SOFTWARE\\Carrowline Corporation\\New"));
}

struct TextReaderCase {
    const char* name;
    std::function<bool(std::string&)> read;
    uint32_t bufferSize;
};

TEST_F(RegistrySettingsTest, TextReadersAreBoundedByTheirBuffers) {
    const TextReaderCase cases[] = {
        {"RemoteHost", ReadRemoteHost, 80},        {"RemoteEnviro", ReadRemoteEnviro, 1024},
        {"RemoteDataSet", ReadRemoteDataSet, 512}, {"RemoteSorelProgs", ReadRemoteSorelProgs, 512},
        {"SorelProgs", ReadSorelProgs, 512},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "untouched";
        EXPECT_FALSE(c.read(out)) << "missing";
        EXPECT_EQ(out, "untouched");

        const std::string longest(c.bufferSize - 1, 'a');
        SetServer(ClientMode::Local, c.name, RegValue::String(longest));
        EXPECT_TRUE(c.read(out));
        EXPECT_EQ(out, longest);

        out = "untouched";
        SetServer(ClientMode::Local, c.name, RegValue::String(std::string(c.bufferSize, 'b')));
        EXPECT_FALSE(c.read(out)) << "one byte too long for the buffer";
        EXPECT_EQ(out, "untouched");

        SetServer(ClientMode::Local, c.name, RegValue::String(std::string(10000, 'c')));
        EXPECT_FALSE(c.read(out));
        EXPECT_EQ(out, "untouched");

        SetServer(ClientMode::Local, c.name, RegValue::Dword(5));
        EXPECT_FALSE(c.read(out)) << "wrong type";
        EXPECT_EQ(out, "untouched");
    }
}

struct NumberReaderCase {
    const char* name;
    std::function<bool(int32_t&)> read;
    std::optional<int32_t> fallback;  // stored on failure; nullopt leaves the output alone
    bool screenKey;
};

TEST_F(RegistrySettingsTest, NumberReadersStoreTheirDefaultsOnFailure) {
    const NumberReaderCase cases[] = {
        {"RemoteTerm", ReadRemoteTerm, 1, false},
        {"RemotePrinter", ReadRemotePrinter, 1, false},
        {"WANMode", ReadWANMode, std::nullopt, false},
        {"UnixEscKey", ReadUnixEscKey, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto set = [&](const RegValue& v) {
            if (c.screenKey) {
                SetScreen(ClientMode::Local, c.name, v);
            } else {
                SetServer(ClientMode::Local, c.name, v);
            }
        };
        int32_t out = -77;
        EXPECT_FALSE(c.read(out)) << "missing";
        EXPECT_EQ(out, c.fallback.value_or(-77));

        set(RegValue::Dword(42));
        EXPECT_TRUE(c.read(out));
        EXPECT_EQ(out, 42);

        out = -77;
        set(RegValue::String("42"));
        EXPECT_FALSE(c.read(out)) << "wrong type";
        EXPECT_EQ(out, c.fallback.value_or(-77));
    }
}

TEST_F(RegistrySettingsTest, RemotePortFallsBackTo8002OutsideTheSixteenBitRange) {
    struct Case {
        std::optional<uint32_t> stored;
        uint16_t port;
        bool ok;
    };
    const Case cases[] = {
        {std::nullopt, 8002, false}, {0u, 8002, false}, {70000u, 8002, false}, {65536u, 8002, false},
        {0xFFFFFFFFu, 8002, false},  {1u, 1, true},     {65535u, 65535, true}, {9001u, 9001, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? std::to_string(*c.stored) : "missing");
        if (c.stored) {
            SetServer(ClientMode::Local, "RemotePort", RegValue::Dword(*c.stored));
        } else {
            Reg().DeleteValue(HKey::LocalMachine, ServerKey(ClientMode::Local), "RemotePort");
        }
        uint16_t port = 1234;
        EXPECT_EQ(ReadRemotePort(port), c.ok);
        EXPECT_EQ(port, c.port);
    }
}

TEST_F(RegistrySettingsTest, ReadersFollowTheClientMode) {
    SetServer(ClientMode::Local, "RemoteHost", RegValue::String("ostrel-host"));
    SetServer(ClientMode::Remote, "RemoteHost", RegValue::String("varnel-host"));
    std::string host;
    SetClientMode(ClientMode::Local);
    ASSERT_TRUE(ReadRemoteHost(host));
    EXPECT_EQ(host, "ostrel-host");
    SetClientMode(ClientMode::Remote);
    ASSERT_TRUE(ReadRemoteHost(host));
    EXPECT_EQ(host, "varnel-host");
}

TEST_F(RegistrySettingsTest, SettingsObjectStartsEmpty) {
    const CTarnRegistry settings;
    for (const std::string* text :
         {&settings.m_host, &settings.m_enviro, &settings.m_remoteDataSet, &settings.m_localDataSet,
          &settings.m_remoteProgramDir, &settings.m_localProgramDir}) {
        EXPECT_TRUE(text->empty());
    }
    for (int32_t number :
         {settings.m_localTerm, settings.m_localPrinter, settings.m_port, settings.m_remoteTerm,
          settings.m_remotePrinter, settings.m_unixEscKey, settings.m_localMode}) {
        EXPECT_EQ(number, 0);
    }
}

TEST_F(RegistrySettingsTest, LoadReadsTheLocalValues) {
    SetServer(ClientMode::Local, "SorelProgs", RegValue::String("/opt/sorel/progs"));
    SetServer(ClientMode::Local, "SorelData", RegValue::String("/opt/sorel/data"));
    CTarnRegistry settings;
    settings.m_localMode = 1;
    ASSERT_EQ(settings.Load(), 0);
    EXPECT_EQ(settings.m_localProgramDir, "/opt/sorel/progs");
    EXPECT_EQ(settings.m_localDataSet, "/opt/sorel/data");
    EXPECT_EQ(settings.m_localTerm, 1);
    EXPECT_EQ(settings.m_localPrinter, 1);
    EXPECT_TRUE(settings.m_host.empty());

    Reg().DeleteValue(HKey::LocalMachine, ServerKey(ClientMode::Local), "SorelData");
    CTarnRegistry missing;
    missing.m_localMode = 1;
    EXPECT_EQ(missing.Load(), 1);
    EXPECT_EQ(missing.m_localProgramDir, "/opt/sorel/progs");

    // The branch is the client mode's, whatever the object's own flag says.
    SetClientMode(ClientMode::Remote);
    CTarnRegistry remoteBranch;
    remoteBranch.m_localMode = 1;
    EXPECT_EQ(remoteBranch.Load(), 1);
    EXPECT_TRUE(remoteBranch.m_localProgramDir.empty());
}

TEST_F(RegistrySettingsTest, LoadReadsTheRemoteValues) {
    SetClientMode(ClientMode::Remote);
    FillRemote(ClientMode::Remote);
    CTarnRegistry settings;
    ASSERT_EQ(settings.Load(), 0);
    EXPECT_EQ(settings.m_host, "host.example");
    EXPECT_EQ(settings.m_port, 9001);
    EXPECT_EQ(settings.m_remoteTerm, 3);
    EXPECT_EQ(settings.m_remotePrinter, 4);
    EXPECT_EQ(settings.m_enviro, "TERM=ansi");
    EXPECT_EQ(settings.m_remoteDataSet, "DATA1");
    EXPECT_EQ(settings.m_remoteProgramDir, "/srv/progs");
    EXPECT_EQ(settings.m_unixEscKey, 27);
}

TEST_F(RegistrySettingsTest, LoadStopsAtTheFirstMissingRemoteValue) {
    SetClientMode(ClientMode::Remote);
    struct Case {
        const char* missing;
        bool screenKey;
        bool hostRead;     // values before the gap are loaded ...
        bool dataSetRead;  // ... values after it are not
    };
    const Case cases[] = {
        {"RemoteHost", false, false, false},     {"RemotePort", false, true, false},
        {"RemoteTerm", false, true, false},      {"RemotePrinter", false, true, false},
        {"RemoteEnviro", false, true, false},    {"RemoteDataSet", false, true, false},
        {"RemoteSorelProgs", false, true, true}, {"UnixEscKey", true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing);
        FillRemote(ClientMode::Remote);
        Reg().DeleteValue(HKey::LocalMachine,
                          c.screenKey ? ScreenKey(ClientMode::Remote) : ServerKey(ClientMode::Remote),
                          c.missing);
        CTarnRegistry settings;
        EXPECT_EQ(settings.Load(), 1);
        EXPECT_EQ(!settings.m_host.empty(), c.hostRead);
        EXPECT_EQ(!settings.m_remoteDataSet.empty(), c.dataSetRead);
    }
}

TEST_F(RegistrySettingsTest, FontSettingsDefaults) {
    LogFont font;
    font.italic = 1;
    ASSERT_EQ(ReadFontSettings(font), 1);
    LogFont expected;
    expected.faceName = "TarnFont";
    expected.height = 12;
    expected.charSet = 1;
    expected.pitchAndFamily = 48;
    EXPECT_EQ(font, expected);
}

TEST_F(RegistrySettingsTest, FontSettingsCharacterSetFollowsTheFace) {
    struct Case {
        RegValue face;
        std::string expectedFace;
        uint8_t charSet;
    };
    const Case cases[] = {
        {RegValue::String("TarnFont"), "TarnFont", 1},
        {RegValue::String("Courier New"), "Courier New", 255},
        {RegValue::String("tarnfont"), "tarnfont", 255},
        {RegValue::String(std::string(31, 'f')), std::string(31, 'f'), 255},
        // A face no LOGFONT can hold is not cut into some other font's name.
        {RegValue::String(std::string(32, 'f')), "TarnFont", 1},
        {RegValue::String(std::string(600, 'f')), "TarnFont", 1},
        {RegValue::Dword(3), "TarnFont", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expectedFace);
        SetUser("FontFaceName", c.face);
        LogFont font;
        ReadFontSettings(font);
        EXPECT_EQ(font.faceName, c.expectedFace);
        EXPECT_EQ(font.charSet, c.charSet);
    }
}

TEST_F(RegistrySettingsTest, FontSettingsRoundTrip) {
    LogFont font;
    font.faceName = "Lucida Console";
    font.height = -16;
    font.width = 8;
    font.weight = 700;
    ASSERT_TRUE(SaveFontSettings(font));
    RegValue face;
    ASSERT_EQ(Reg().QueryValue(HKey::CurrentUser, kCompanyKey, "FontFaceName", face), win32::kSuccess);
    EXPECT_EQ(face, RegValue::String("Lucida Console"));

    LogFont back;
    ReadFontSettings(back);
    EXPECT_EQ(back.faceName, "Lucida Console");
    EXPECT_EQ(back.height, -16);
    EXPECT_EQ(back.width, 8);
    EXPECT_EQ(back.weight, 700);
    EXPECT_EQ(back.charSet, 255);
}

TEST_F(RegistrySettingsTest, SaveFontSettingsWritesNothingAfterAFailure) {
    LogFont font;
    font.faceName = std::string(32, 'x');
    font.height = 20;
    EXPECT_FALSE(SaveFontSettings(font)) << "face too long for a LOGFONT";
    EXPECT_FALSE(RegKeyExists(HKey::CurrentUser, kCompanyKey));

    // A user hive that cannot be written: its folder is a plain file.
    testsupport::WriteFile(m_temp.Path() / "blocker", "not a folder");
    platform::Registry readOnly(
        platform::Registry::Paths{m_temp.Path() / "machine.reg", m_temp.Path() / "blocker" / "user.reg"});
    platform::Registry::OverrideDefault(&readOnly);
    font.faceName = "TarnFont";
    EXPECT_FALSE(SaveFontSettings(font));
    platform::Registry::OverrideDefault(m_registry.get());
    EXPECT_FALSE(RegKeyExists(HKey::CurrentUser, kCompanyKey));
}

TEST_F(RegistrySettingsTest, KeyProbesSetTheClientMode) {
    struct Case {
        const char* label;
        std::optional<HKey> root;
        ClientMode branch;
    };
    const Case cases[] = {
        {"none", std::nullopt, ClientMode::Local},
        {"Ostrel in HKCU", HKey::CurrentUser, ClientMode::Local},
        {"Ostrel in HKLM", HKey::LocalMachine, ClientMode::Local},
        {"Varnel in HKCU", HKey::CurrentUser, ClientMode::Remote},
        {"Varnel in HKLM", HKey::LocalMachine, ClientMode::Remote},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Reg().DeleteTree(HKey::CurrentUser, kCompanyKey);
        Reg().DeleteTree(HKey::LocalMachine, kCompanyKey);
        if (c.root) {
            ASSERT_EQ(Reg().CreateKey(*c.root, ServerKey(c.branch)), win32::kSuccess);
        }
        SetClientMode(ClientMode::Remote);
        EXPECT_EQ(HasOstrelKey(), c.root.has_value() && c.branch == ClientMode::Local);
        EXPECT_EQ(GetClientMode(), ClientMode::Local);
        EXPECT_EQ(HasVarnelKey(), c.root.has_value() && c.branch == ClientMode::Remote);
        EXPECT_EQ(GetClientMode(), ClientMode::Remote);
    }
}

}  // namespace
}  // namespace suite
