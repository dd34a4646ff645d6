// The registry store on temporary hive files: value round trips, the REGEDIT byte form, lenient and damaged
// input, access denial, the merged classes root and writers in several processes and threads at once.
#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "platform/codepage.h"
#include "platform/known_folders.h"
#include "platform/win32_error.h"
#include "testsupport/file_size_limit.h"
#include "testsupport/test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00\n\n";

using testsupport::ReadFile;
using testsupport::WriteFile;

std::string Utf16LeWithBom(std::string_view utf8) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : Utf8ToUtf16(utf8)) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_env.Set("CARROWLINE_ROOT", (m_dir / "root").string());
        m_env.Set("XDG_CONFIG_HOME", (m_dir / "config").string());
        m_env.Set("XDG_STATE_HOME", (m_dir / "state").string());
        m_env.Set("TMPDIR", m_dir.string());
        m_machine = m_dir / "root/etc/carrowline/machine.reg";
        m_user = m_dir / "config/carrowline/user.reg";
        m_reg = Open();
    }

    void TearDown() override { m_reg.reset(); }

    // A second store on the same files, as another process would see them.
    std::unique_ptr<Registry> Open() const {
        return std::make_unique<Registry>(Registry::Paths{m_machine, m_user});
    }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    const fs::path m_dir = m_temp.Path();
    fs::path m_machine;
    fs::path m_user;
    std::unique_ptr<Registry> m_reg;
};

struct ValueCase {
    const char* label;
    RegValue value;
};

TEST_F(RegistryTest, EveryTypeRoundTripsThroughTheFile) {
    const ValueCase cases[] = {
        {"sz", RegValue::String("plain text")},
        {"empty sz", RegValue::String("")},
        {"expand", RegValue::String("%TEMP%\\carrowline", RegType::ExpandSz)},
        {"multi", RegValue::String("one\0two\0\0"s, RegType::MultiSz)},
        {"dword", RegValue::Dword(0x1f)},
        {"dword max", RegValue::Dword(0xFFFFFFFF)},
        {"binary", RegValue::Binary({0x00, 0x01, 0x7F, 0x80, 0xFF})},
        {"empty binary", RegValue::Binary({})},
        {"long binary", RegValue::Binary(std::vector<uint8_t>(300, 0xA5))},
        {"qword", RegValue{RegType::Qword, {1, 2, 3, 4, 5, 6, 7, 8}}},
        {"none", RegValue{RegType::None, {9, 8}}},
        {"short dword", RegValue{RegType::Dword, {1, 2, 3}}},
        {"sz with nul", RegValue::String("left\0right"s)},
        {"other type", RegValue{static_cast<RegType>(5), {0, 0, 0, 1}}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\Types", c.label, c.value), win32::kSuccess)
            << c.label;
    }
    auto other = Open();
    for (const auto& c : cases) {
        RegValue same;
        RegValue fresh;
        EXPECT_EQ(m_reg->QueryValue(HKey::CurrentUser, "Software\\Types", c.label, same), win32::kSuccess);
        EXPECT_EQ(other->QueryValue(HKey::CurrentUser, "Software\\Types", c.label, fresh), win32::kSuccess);
        EXPECT_EQ(same, c.value) << c.label;
        EXPECT_EQ(fresh, c.value) << c.label;
    }
    RegValue text;
    ASSERT_EQ(other->QueryValue(HKey::CurrentUser, "Software\\Types", "sz with nul", text), win32::kSuccess);
    EXPECT_EQ(text.AsString(), "left");
    EXPECT_EQ(RegValue::Dword(7).AsDword(), 7u);
    EXPECT_EQ(RegValue::Binary({1, 2, 3, 4}).AsDword(), std::nullopt);
    EXPECT_EQ(RegValue::Dword(7).AsString(), std::nullopt);
}

TEST_F(RegistryTest, WritesTheRegeditByteForm) {
    const char* key = "SOFTWARE\\Carrowline Corporation\\Varnel\\1.0";
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, key, "", RegValue::String("default")), win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, key, "Path", RegValue::String("C:\\Carrowline \"x\"")),
              win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, key, "Count", RegValue::Dword(0x1f)), win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, key, "Blob", RegValue::Binary({0x01, 0xAB})),
              win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, key, "Env", RegValue::String("%A%", RegType::ExpandSz)),
              win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, key, "Caf\xE9", RegValue::String("\x80")), win32::kSuccess);
    EXPECT_EQ(ReadFile(m_machine), std::string(kHeader) +
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Carrowline Corporation]\n\n"
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Carrowline Corporation\\Varnel]\n\n"
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Carrowline Corporation\\Varnel\\1.0]\n"
                                       "@=\"default\"\n"
                                       "\"Path\"=\"C:\\\\Carrowline \\\"x\\\"\"\n"
                                       "\"Count\"=dword:0000001f\n"
                                       "\"Blob\"=hex:01,ab\n"
                                       "\"Env\"=hex(2):25,00,41,00,25,00,00,00\n"
                                       "\"Caf\xC3\xA9\"=\"\xE2\x82\xAC\"\n"
                                       "\n");
    // Nothing but the hive and its lock stays behind.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_machine.parent_path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"machine.reg", "machine.reg.lock"}));
}

TEST_F(RegistryTest, HostileNamesAndValuesRoundTrip) {
    const std::vector<std::string> keys = {
        "Key]With]Brackets]", "[Section]", "caf\xE9 \x80", "quote\"key", " spaced ", "=", "@", ";comment",
    };
    const std::vector<std::string> names = {
        "",           "@",        "quote\"name", "back\\slash\\", "]",      "[HKEY_LOCAL_MACHINE\\X]",
        "semi;colon", "\xE9\x80", "\"=\"",       " lead",         "hex:01", "=dword:1",
    };
    const std::vector<std::string> texts = {
        "a\"b",
        "C:\\dir\\",
        "line1\r\nline2",
        "\n",
        "tab\there",
        "\xE9t\xE9 \x80 \x81\x8D\x8F\x90\x9D",
        "\\",
        "\"",
        "\"=\"",
        "x\n[HKEY_LOCAL_MACHINE\\Evil]\n\"a\"=\"b\"",
        "\nWindows Registry Editor Version 5.00\n",
        "trailing\\",
        "\r",
        "hex:01,02",
    };
    for (const std::string& key : keys) {
        for (size_t i = 0; i < names.size(); ++i) {
            const std::string path = "Software\\" + key;
            ASSERT_EQ(
                m_reg->SetValue(HKey::CurrentUser, path, names[i], RegValue::String(texts[i % texts.size()])),
                win32::kSuccess)
                << key << " / " << names[i];
        }
    }
    ASSERT_EQ(m_reg->SetValue(
                  HKey::CurrentUser, "Software\\Extra", "all texts",
                  RegValue::String(std::string("x").append(texts[0]).append(texts[2]).append(texts[9]))),
              win32::kSuccess);
    auto other = Open();
    std::vector<std::string> stored;
    ASSERT_EQ(other->EnumKeys(HKey::CurrentUser, "Software", stored), win32::kSuccess);
    std::vector<std::string> expectedKeys = keys;
    expectedKeys.push_back("Extra");
    EXPECT_EQ(stored, expectedKeys);
    for (const std::string& key : keys) {
        for (size_t i = 0; i < names.size(); ++i) {
            RegValue value;
            ASSERT_EQ(other->QueryValue(HKey::CurrentUser, "Software\\" + key, names[i], value),
                      win32::kSuccess)
                << key << " / " << names[i];
            EXPECT_EQ(value.AsString(), texts[i % texts.size()]) << key << " / " << names[i];
        }
    }
    // The injected section inside a value never became a key.
    EXPECT_FALSE(other->KeyExists(HKey::CurrentUser, "Evil"));
    EXPECT_FALSE(other->KeyExists(HKey::LocalMachine, "Evil"));
}

// Setting a value to what it holds leaves the hive file as it is; any other value, or another type with the
// same bytes, rewrites it (a rewrite replaces the file, so its inode changes).
TEST_F(RegistryTest, SettingTheStoredValueAgainLeavesTheFileAlone) {
    const auto inode = [this] {
        struct stat st {};
        return ::stat(m_user.c_str(), &st) == 0 ? st.st_ino : ino_t{0};
    };
    ASSERT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\A", "Size", RegValue::Dword(7)), 0);
    const ino_t first = inode();
    ASSERT_NE(first, ino_t{0});
    EXPECT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\A", "size", RegValue::Dword(7)), 0);
    EXPECT_EQ(inode(), first) << "the same value rewrote the hive";
    EXPECT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\A", "Size", RegValue::Dword(8)), 0);
    const ino_t second = inode();
    EXPECT_NE(second, first);
    RegValue binary = RegValue::Binary({8, 0, 0, 0});
    EXPECT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\A", "Size", binary), 0);
    EXPECT_NE(inode(), second) << "a new type with the same bytes is a change";
    RegValue read;
    ASSERT_EQ(Open()->QueryValue(HKey::CurrentUser, "Software\\A", "Size", read), 0);
    EXPECT_EQ(read, binary);
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirSpelling) {
    ASSERT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\Acme", "Name", RegValue::String("one")),
              win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::CurrentUser, "SOFTWARE\\acme", "NAME", RegValue::String("two")),
              win32::kSuccess);
    ASSERT_EQ(m_reg->CreateKey(HKey::CurrentUser, "software\\ACME\\Sub"), win32::kSuccess);
    auto other = Open();
    RegValue value;
    ASSERT_EQ(other->QueryValue(HKey::CurrentUser, "\\sOfTwArE\\AcMe\\", "name", value), win32::kSuccess);
    EXPECT_EQ(value.AsString(), "two");
    std::vector<std::pair<std::string, RegValue>> values;
    ASSERT_EQ(other->EnumValues(HKey::CurrentUser, "software\\acme", values), win32::kSuccess);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].first, "Name");
    std::vector<std::string> keys;
    ASSERT_EQ(other->EnumKeys(HKey::CurrentUser, "", keys), win32::kSuccess);
    EXPECT_EQ(keys, std::vector<std::string>{"Software"});
    ASSERT_EQ(other->EnumKeys(HKey::CurrentUser, "Software", keys), win32::kSuccess);
    EXPECT_EQ(keys, std::vector<std::string>{"Acme"});
    ASSERT_EQ(other->EnumKeys(HKey::CurrentUser, "Software\\Acme", keys), win32::kSuccess);
    EXPECT_EQ(keys, std::vector<std::string>{"Sub"});
    // Only ASCII letters fold.
    ASSERT_EQ(m_reg->CreateKey(HKey::CurrentUser, "caf\xE9"), win32::kSuccess);
    EXPECT_FALSE(m_reg->KeyExists(HKey::CurrentUser, "CAF\xC9"));
}

TEST_F(RegistryTest, KeysAndValuesCanBeCreatedEnumeratedAndDeleted) {
    EXPECT_EQ(m_reg->CreateKey(HKey::LocalMachine, "A\\B\\C"), win32::kSuccess);
    EXPECT_EQ(m_reg->CreateKey(HKey::LocalMachine, "A\\B\\C"), win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, "A\\Z", "v", RegValue::Dword(1)), win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, "A\\Y", "v", RegValue::Dword(2)), win32::kSuccess);
    auto other = Open();
    EXPECT_TRUE(other->KeyExists(HKey::LocalMachine, "a\\b\\c"));  // empty keys persist
    std::vector<std::string> keys;
    ASSERT_EQ(other->EnumKeys(HKey::LocalMachine, "A", keys), win32::kSuccess);
    EXPECT_EQ(keys, (std::vector<std::string>{"B", "Z", "Y"}));

    RegValue value;
    EXPECT_EQ(m_reg->QueryValue(HKey::LocalMachine, "A\\Missing", "v", value), win32::kFileNotFound);
    EXPECT_EQ(m_reg->QueryValue(HKey::LocalMachine, "A\\Z", "missing", value), win32::kFileNotFound);
    EXPECT_EQ(m_reg->EnumKeys(HKey::LocalMachine, "Nope", keys), win32::kFileNotFound);
    std::vector<std::pair<std::string, RegValue>> values;
    EXPECT_EQ(m_reg->EnumValues(HKey::LocalMachine, "Nope", values), win32::kFileNotFound);
    EXPECT_EQ(m_reg->DeleteValue(HKey::LocalMachine, "A\\Z", "missing"), win32::kFileNotFound);
    EXPECT_EQ(m_reg->DeleteValue(HKey::LocalMachine, "A\\Missing", "v"), win32::kFileNotFound);
    EXPECT_EQ(m_reg->DeleteTree(HKey::LocalMachine, "A\\Missing"), win32::kFileNotFound);

    EXPECT_EQ(m_reg->DeleteValue(HKey::LocalMachine, "a\\z", "V"), win32::kSuccess);
    EXPECT_EQ(other->QueryValue(HKey::LocalMachine, "A\\Z", "v", value), win32::kFileNotFound);
    EXPECT_TRUE(other->KeyExists(HKey::LocalMachine, "A\\Z"));
    EXPECT_EQ(m_reg->DeleteTree(HKey::LocalMachine, "a\\B"), win32::kSuccess);
    EXPECT_FALSE(other->KeyExists(HKey::LocalMachine, "A\\B\\C"));
    EXPECT_FALSE(other->KeyExists(HKey::LocalMachine, "A\\B"));
    ASSERT_EQ(other->EnumKeys(HKey::LocalMachine, "A", keys), win32::kSuccess);
    EXPECT_EQ(keys, (std::vector<std::string>{"Z", "Y"}));
    EXPECT_EQ(m_reg->DeleteTree(HKey::LocalMachine, ""), win32::kSuccess);
    EXPECT_FALSE(other->KeyExists(HKey::LocalMachine, "A"));
    EXPECT_TRUE(other->KeyExists(HKey::LocalMachine, ""));
}

TEST_F(RegistryTest, NamesNoLineCanHoldAreRefused) {
    const std::pair<std::string, std::string> cases[] = {
        {"Bad\nKey", "v"}, {"Bad\rKey", "v"}, {"Key", "bad\nname"}, {"Key", "bad\0name"s}, {"K\0ey"s, "v"},
    };
    for (const auto& [key, name] : cases) {
        EXPECT_EQ(m_reg->SetValue(HKey::CurrentUser, key, name, RegValue::Dword(1)),
                  win32::kInvalidParameter);
        RegValue value;
        EXPECT_EQ(m_reg->QueryValue(HKey::CurrentUser, key, name, value), win32::kFileNotFound);
    }
    EXPECT_EQ(m_reg->CreateKey(HKey::CurrentUser, "a\nb"), win32::kInvalidParameter);
    EXPECT_FALSE(fs::exists(m_user));
}

TEST_F(RegistryTest, ReadsUtf16LeHivesWithBomAndContinuationLines) {
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; exported by hand\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Carrowline Corporation\\Ostrel\\1.0\\Server]\r\n"
        "@=\"caf\u00e9 \u20ac\"\r\n"
        "\"Host\"=\"server\\\\share\"\r\n"
        "\"Port\"=dword:00001f42\r\n"
        "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\r\n"
        "  18,19\r\n"
        "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,\\\r\n"
        "  00,00\r\n"
        "\"Big\"=hex(b):ff,00,00,00,00,00,00,01\r\n"
        "\"Wide\"=\"\u65e5\u672c\"\r\n"
        "\r\n";
    WriteFile(m_machine, Utf16LeWithBom(text));
    const char* key = "Software\\Carrowline Corporation\\Ostrel\\1.0\\Server";
    RegValue value;
    ASSERT_EQ(m_reg->QueryValue(HKey::LocalMachine, key, "", value), win32::kSuccess);
    EXPECT_EQ(value.AsString(), "caf\xE9 \x80");
    ASSERT_EQ(m_reg->QueryValue(HKey::LocalMachine, key, "host", value), win32::kSuccess);
    EXPECT_EQ(value.AsString(), "server\\share");
    ASSERT_EQ(m_reg->QueryValue(HKey::LocalMachine, key, "Port", value), win32::kSuccess);
    EXPECT_EQ(value.AsDword(), 0x1f42u);
    ASSERT_EQ(m_reg->QueryValue(HKey::LocalMachine, key, "Blob", value), win32::kSuccess);
    EXPECT_EQ(value.data.size(), 26u);
    EXPECT_EQ(value.data.back(), 0x19);
    ASSERT_EQ(m_reg->QueryValue(HKey::LocalMachine, key, "Multi", value), win32::kSuccess);
    EXPECT_EQ(value, RegValue::String("a\0b\0\0"s, RegType::MultiSz));
    ASSERT_EQ(m_reg->QueryValue(HKey::LocalMachine, key, "Big", value), win32::kSuccess);
    EXPECT_EQ(value, (RegValue{RegType::Qword, {0xff, 0, 0, 0, 0, 0, 0, 1}}));
    ASSERT_EQ(m_reg->QueryValue(HKey::LocalMachine, key, "Wide", value), win32::kSuccess);
    EXPECT_EQ(value.AsString(), "??");

    // A rewrite keeps what the 1252 view cannot show, and the file becomes UTF-8.
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, key, "Added", RegValue::Dword(1)), win32::kSuccess);
    const std::string rewritten = ReadFile(m_machine);
    EXPECT_TRUE(rewritten.starts_with(kHeader));
    EXPECT_NE(rewritten.find("\"Wide\"=\"\u65e5\u672c\""), std::string::npos);
    EXPECT_NE(rewritten.find("@=\"caf\u00e9 \u20ac\""), std::string::npos);
    ASSERT_EQ(Open()->QueryValue(HKey::LocalMachine, key, "Blob", value), win32::kSuccess);
    EXPECT_EQ(value.data.size(), 26u);
}

TEST_F(RegistryTest, ParsesHandWrittenHivesLeniently) {
    WriteFile(m_machine,
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
              "[HKLM\\Software\\A]\n"
              "   \"Path\" = \"C:\\Temp\\new\"   \n"
              "\"N\"=DWORD:1F\n"
              "\"Bytes\"=hex:01, 02 ,03,\n"
              "[HKEY_LOCAL_MACHINE\\\\SOFTWARE\\a\\]\n"
              "\"Second\"=\"merged\"\n"
              "\"path\"=\"last wins\"\n"
              "[HKEY_CURRENT_USER\\Foreign]\n"
              "\"kept\"=dword:00000001\n");
    const char* key = "SOFTWARE\\A";
    RegValue value;
    ASSERT_EQ(m_reg->QueryValue(HKey::LocalMachine, key, "path", value), win32::kSuccess);
    EXPECT_EQ(value.AsString(), "last wins");
    ASSERT_EQ(m_reg->QueryValue(HKey::LocalMachine, key, "N", value), win32::kSuccess);
    EXPECT_EQ(value.AsDword(), 0x1fu);
    ASSERT_EQ(m_reg->QueryValue(HKey::LocalMachine, key, "Bytes", value), win32::kSuccess);
    EXPECT_EQ(value, RegValue::Binary({1, 2, 3}));
    ASSERT_EQ(m_reg->QueryValue(HKey::LocalMachine, key, "Second", value), win32::kSuccess);
    // The other root's section in the machine file is neither visible as HKCU nor lost on rewrite.
    EXPECT_FALSE(m_reg->KeyExists(HKey::CurrentUser, "Foreign"));
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, key, "x", RegValue::Dword(2)), win32::kSuccess);
    EXPECT_NE(ReadFile(m_machine).find("[HKEY_CURRENT_USER\\Foreign]\n\"kept\"=dword:00000001"),
              std::string::npos);

    // The old 8-bit format: strings and hex(2) in 1252.
    WriteFile(m_user,
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Old]\r\n\"T\"=\"caf\xE9\"\r\n"
              "\"E\"=hex(2):25,41,25,00\r\n");
    ASSERT_EQ(m_reg->QueryValue(HKey::CurrentUser, "Old", "T", value), win32::kSuccess);
    EXPECT_EQ(value.AsString(), "caf\xE9");
    ASSERT_EQ(m_reg->QueryValue(HKey::CurrentUser, "Old", "E", value), win32::kSuccess);
    EXPECT_EQ(value, RegValue::String("%A%", RegType::ExpandSz));

    // An empty file is an empty hive.
    WriteFile(m_user, "");
    EXPECT_EQ(m_reg->QueryValue(HKey::CurrentUser, "Old", "T", value), win32::kFileNotFound);
    EXPECT_EQ(m_reg->SetValue(HKey::CurrentUser, "New", "v", RegValue::Dword(1)), win32::kSuccess);
}

TEST_F(RegistryTest, DamagedHivesAnswerInvalidDataAndAreNeverOverwritten) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    const std::string cases[] = {
        "garbage\n",
        std::string(64, '\0'),
        header + "\"v\"=dword:1\n",  // value before any section
        header + "[HKEY_LOCAL_MACHINE\\A\n",
        header + "[NOT_A_ROOT\\A]\n",
        header + "[-HKEY_LOCAL_MACHINE\\A]\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"unterminated\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"two\nlines\"\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:123456789\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:zz\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:001\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,\\\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex(2):41,00,42\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex(2:41,00\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=-\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\" junk\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\" \"x\"\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\nv=\"x\"\n",
        Utf16LeWithBom(header + "[HKEY_LOCAL_MACHINE\\A]\n") + "x",  // odd byte count
    };
    for (const std::string& bytes : cases) {
        WriteFile(m_machine, bytes);
        RegValue value;
        EXPECT_EQ(m_reg->QueryValue(HKey::LocalMachine, "A", "v", value), win32::kInvalidData) << bytes;
        EXPECT_EQ(m_reg->SetValue(HKey::LocalMachine, "A", "w", RegValue::Dword(1)), win32::kInvalidData)
            << bytes;
        EXPECT_EQ(m_reg->CreateKey(HKey::LocalMachine, "B"), win32::kInvalidData) << bytes;
        EXPECT_EQ(m_reg->DeleteTree(HKey::LocalMachine, "A"), win32::kInvalidData) << bytes;
        EXPECT_FALSE(m_reg->KeyExists(HKey::LocalMachine, "A")) << bytes;
        EXPECT_EQ(ReadFile(m_machine), bytes);
        // The other hive is unaffected.
        EXPECT_EQ(m_reg->SetValue(HKey::CurrentUser, "A", "v", RegValue::Dword(1)), win32::kSuccess);
    }
}

TEST_F(RegistryTest, EveryTruncationOfAHiveIsReadWithoutHarm) {
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, "K\\L", "s", RegValue::String("text \"q\" \\ \xE9")),
              win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, "K\\L", "b", RegValue::Binary(std::vector<uint8_t>(60, 7))),
              win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, "K\\L", "m", RegValue::String("a\nb")), win32::kSuccess);
    const std::string full = ReadFile(m_machine);
    for (size_t cut = 0; cut < full.size(); ++cut) {
        const std::string prefix = full.substr(0, cut);
        WriteFile(m_machine, prefix);
        RegValue value;
        const int32_t rc = m_reg->QueryValue(HKey::LocalMachine, "K\\L", "b", value);
        EXPECT_TRUE(rc == win32::kSuccess || rc == win32::kFileNotFound || rc == win32::kInvalidData) << cut;
        const int32_t write = m_reg->SetValue(HKey::LocalMachine, "K", "x", RegValue::Dword(1));
        if (write != win32::kSuccess) {
            EXPECT_EQ(write, win32::kInvalidData);
            EXPECT_EQ(ReadFile(m_machine), prefix);
        }
    }
}

TEST_F(RegistryTest, UnwritableHivesAnswerAccessDenied) {
    // Root may write anywhere, but not below a regular file.
    WriteFile(m_dir / "blocker", "not a folder");
    Registry blocked(Registry::Paths{m_dir / "blocker/etc/machine.reg", m_user});
    EXPECT_EQ(blocked.SetValue(HKey::LocalMachine, "A", "v", RegValue::Dword(1)), win32::kAccessDenied);
    EXPECT_EQ(blocked.CreateKey(HKey::LocalMachine, "A"), win32::kAccessDenied);
    RegValue value;
    EXPECT_EQ(blocked.QueryValue(HKey::LocalMachine, "A", "v", value), win32::kFileNotFound);
    EXPECT_EQ(blocked.DeleteTree(HKey::LocalMachine, "A"), win32::kFileNotFound);
    // The user can still register classes: they go to the user hive.
    EXPECT_EQ(blocked.SetValue(HKey::ClassesRoot, "CLSID\\{1}", "", RegValue::String("mine")),
              win32::kSuccess);
    EXPECT_EQ(blocked.QueryValue(HKey::ClassesRoot, "CLSID\\{1}", "", value), win32::kSuccess);

    Registry direct(Registry::Paths{m_dir / "blocker/machine.reg", m_user});
    EXPECT_EQ(direct.SetValue(HKey::LocalMachine, "A", "v", RegValue::Dword(1)), win32::kAccessDenied);

    // A folder where the hive file should be.
    fs::create_directories(m_dir / "dirhive/machine.reg");
    Registry folder(Registry::Paths{m_dir / "dirhive/machine.reg", m_user});
    EXPECT_EQ(folder.SetValue(HKey::LocalMachine, "A", "v", RegValue::Dword(1)), win32::kAccessDenied);
    EXPECT_EQ(folder.QueryValue(HKey::LocalMachine, "A", "v", value), win32::kAccessDenied);
}

TEST_F(RegistryTest, AWriteThatFailsPartWayKeepsTheHiveByteForByte) {
    ASSERT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\Kept", "v", RegValue::Dword(1)), win32::kSuccess);
    const std::string before = ReadFile(m_user);
    {
        testsupport::ScopedFileSizeLimit full(before.size());
        EXPECT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\Kept", "long",
                                  RegValue::String(std::string(500, 'x'))),
                  win32::kAccessDenied);
    }
    EXPECT_EQ(ReadFile(m_user), before);
    const std::unique_ptr<Registry> other = Open();
    for (Registry* store : {m_reg.get(), other.get()}) {
        RegValue value;
        EXPECT_EQ(store->QueryValue(HKey::CurrentUser, "Software\\Kept", "long", value),
                  win32::kFileNotFound);
        EXPECT_EQ(store->QueryValue(HKey::CurrentUser, "Software\\Kept", "v", value), win32::kSuccess);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(m_user.parent_path()), {}), 2) << "the hive and its lock";
    // The store writes again once there is room.
    EXPECT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\Kept", "v", RegValue::Dword(2)), win32::kSuccess);
    EXPECT_NE(ReadFile(m_user), before);
}

TEST_F(RegistryTest, ClassesRootRemovalNeverHalfSucceedsOnAnUnwritableMachineHive) {
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{M}", "", RegValue::String("m")),
              win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\Classes\\CLSID\\{M}", "", RegValue::String("u")),
              win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\Classes\\CLSID\\{U}", "", RegValue::String("u")),
              win32::kSuccess);
    // Root passes every permission check, but a folder where the lock file belongs stops every writer.
    fs::path lock = m_machine;
    lock += ".lock";
    fs::remove(lock);
    fs::create_directory(lock);
    const std::string userBefore = ReadFile(m_user);
    EXPECT_EQ(m_reg->SetValue(HKey::LocalMachine, "SOFTWARE", "v", RegValue::Dword(1)), win32::kAccessDenied);
    EXPECT_EQ(m_reg->DeleteTree(HKey::ClassesRoot, "CLSID\\{M}"), win32::kAccessDenied);
    EXPECT_EQ(ReadFile(m_user), userBefore);
    RegValue value;
    ASSERT_EQ(m_reg->QueryValue(HKey::ClassesRoot, "CLSID\\{M}", "", value), win32::kSuccess);
    EXPECT_EQ(value.AsString(), "u");
    // What lives in the user hive alone stays the user's to change.
    EXPECT_EQ(m_reg->DeleteTree(HKey::ClassesRoot, "CLSID\\{U}"), win32::kSuccess);
    EXPECT_EQ(m_reg->SetValue(HKey::ClassesRoot, "CLSID\\{N}", "", RegValue::String("n")), win32::kSuccess);
}

TEST_F(RegistryTest, ClassesRootMergesTheUserOverTheMachine) {
    ASSERT_EQ(
        m_reg->SetValue(HKey::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{A}", "", RegValue::String("machine")),
        win32::kSuccess);
    ASSERT_EQ(
        m_reg->SetValue(HKey::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{A}", "Only", RegValue::Dword(1)),
        win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{B}", "", RegValue::String("b")),
              win32::kSuccess);
    ASSERT_EQ(
        m_reg->SetValue(HKey::CurrentUser, "Software\\Classes\\CLSID\\{A}", "", RegValue::String("user")),
        win32::kSuccess);
    ASSERT_EQ(m_reg->SetValue(HKey::CurrentUser, "Software\\Classes\\clsid\\{C}", "", RegValue::String("c")),
              win32::kSuccess);

    auto other = Open();
    RegValue value;
    ASSERT_EQ(other->QueryValue(HKey::ClassesRoot, "CLSID\\{A}", "", value), win32::kSuccess);
    EXPECT_EQ(value.AsString(), "user");
    ASSERT_EQ(other->QueryValue(HKey::ClassesRoot, "CLSID\\{A}", "only", value), win32::kSuccess);
    EXPECT_EQ(value.AsDword(), 1u);
    ASSERT_EQ(other->QueryValue(HKey::ClassesRoot, "clsid\\{b}", "", value), win32::kSuccess);
    EXPECT_EQ(value.AsString(), "b");
    std::vector<std::string> keys;
    ASSERT_EQ(other->EnumKeys(HKey::ClassesRoot, "CLSID", keys), win32::kSuccess);
    EXPECT_EQ(keys, (std::vector<std::string>{"{A}", "{C}", "{B}"}));
    std::vector<std::pair<std::string, RegValue>> values;
    ASSERT_EQ(other->EnumValues(HKey::ClassesRoot, "CLSID\\{A}", values), win32::kSuccess);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].second.AsString(), "user");
    EXPECT_EQ(values[1].first, "Only");
    EXPECT_TRUE(other->KeyExists(HKey::ClassesRoot, "CLSID\\{B}"));
    EXPECT_TRUE(other->KeyExists(HKey::ClassesRoot, ""));

    // Writes land in the user hive only.
    const std::string machineBefore = ReadFile(m_machine);
    ASSERT_EQ(other->SetValue(HKey::ClassesRoot, "CLSID\\{B}", "", RegValue::String("mine")),
              win32::kSuccess);
    EXPECT_EQ(ReadFile(m_machine), machineBefore);
    ASSERT_EQ(m_reg->QueryValue(HKey::CurrentUser, "Software\\Classes\\CLSID\\{B}", "", value),
              win32::kSuccess);
    EXPECT_EQ(value.AsString(), "mine");
    ASSERT_EQ(m_reg->QueryValue(HKey::ClassesRoot, "CLSID\\{B}", "", value), win32::kSuccess);
    EXPECT_EQ(value.AsString(), "mine");

    // Removal takes the item out of the merged view, from both hives.
    ASSERT_EQ(other->DeleteTree(HKey::ClassesRoot, "CLSID\\{A}"), win32::kSuccess);
    EXPECT_FALSE(m_reg->KeyExists(HKey::ClassesRoot, "CLSID\\{A}"));
    EXPECT_FALSE(m_reg->KeyExists(HKey::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{A}"));
    ASSERT_EQ(other->DeleteValue(HKey::ClassesRoot, "CLSID\\{C}", ""), win32::kSuccess);
    EXPECT_EQ(m_reg->QueryValue(HKey::ClassesRoot, "CLSID\\{C}", "", value), win32::kFileNotFound);
    EXPECT_EQ(ReadFile(m_machine).find("{C}"), std::string::npos);
    EXPECT_EQ(other->DeleteValue(HKey::ClassesRoot, "CLSID\\{C}", ""), win32::kFileNotFound);
}

TEST_F(RegistryTest, ReadersSeeWritesOfOtherStoresAndHandEdits) {
    auto other = Open();
    RegValue value;
    EXPECT_EQ(other->QueryValue(HKey::CurrentUser, "K", "v", value), win32::kFileNotFound);
    for (uint32_t i = 0; i < 20; ++i) {
        // Same size every time: only the file's identity tells the change.
        ASSERT_EQ(m_reg->SetValue(HKey::CurrentUser, "K", "v", RegValue::Dword(i)), win32::kSuccess);
        ASSERT_EQ(other->QueryValue(HKey::CurrentUser, "K", "v", value), win32::kSuccess);
        EXPECT_EQ(value.AsDword(), i);
    }
    {
        std::ofstream edit(m_user, std::ios::binary | std::ios::trunc);  // in place, as an editor may
        edit << kHeader << "[HKEY_CURRENT_USER\\K]\n\"v\"=dword:00000abc\n\"w\"=\"edited\"\n";
    }
    ASSERT_EQ(other->QueryValue(HKey::CurrentUser, "K", "v", value), win32::kSuccess);
    EXPECT_EQ(value.AsDword(), 0xabcu);
    ASSERT_EQ(m_reg->SetValue(HKey::CurrentUser, "K", "x", RegValue::Dword(1)), win32::kSuccess);
    ASSERT_EQ(other->QueryValue(HKey::CurrentUser, "K", "w", value), win32::kSuccess);
    EXPECT_EQ(value.AsString(), "edited");
    fs::remove(m_user);
    EXPECT_EQ(other->QueryValue(HKey::CurrentUser, "K", "w", value), win32::kFileNotFound);
}

std::string ValueName(int writer, int i) {
    return "w" + std::to_string(writer) + "_" + std::to_string(i);
}

// Writes count values of its own; returns how many failed.
int WriteMany(Registry& registry, int writer, int count) {
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        const RegValue value = RegValue::String("value " + ValueName(writer, i) + " \xE9");
        if (registry.SetValue(HKey::LocalMachine, "SOFTWARE\\Shared", ValueName(writer, i), value) !=
            win32::kSuccess) {
            ++failures;
        }
        if (i % 10 == 0 &&
            registry.SetValue(HKey::LocalMachine, "SOFTWARE\\Shared\\W" + std::to_string(writer), "n",
                              RegValue::Dword(static_cast<uint32_t>(i))) != win32::kSuccess) {
            ++failures;
        }
    }
    return failures;
}

void ExpectAllPresent(const Registry& registry, int writers, int count) {
    std::vector<std::pair<std::string, RegValue>> values;
    ASSERT_EQ(registry.EnumValues(HKey::LocalMachine, "SOFTWARE\\Shared", values), win32::kSuccess);
    EXPECT_EQ(values.size(), static_cast<size_t>(writers * count));
    for (int w = 0; w < writers; ++w) {
        for (int i = 0; i < count; ++i) {
            RegValue value;
            ASSERT_EQ(registry.QueryValue(HKey::LocalMachine, "SOFTWARE\\Shared", ValueName(w, i), value),
                      win32::kSuccess)
                << ValueName(w, i);
            EXPECT_EQ(value.AsString(), "value " + ValueName(w, i) + " \xE9");
        }
    }
}

TEST_F(RegistryTest, TwoProcessesAndTheParentWriteTheSameHiveAtOnce) {
    constexpr int kCount = 200;
    std::vector<pid_t> children;
    for (int writer = 1; writer <= 2; ++writer) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Registry own(Registry::Paths{m_machine, m_user});
            ::_exit(WriteMany(own, writer, kCount) == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    EXPECT_EQ(WriteMany(*m_reg, 0, kCount), 0);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ExpectAllPresent(*Open(), 3, kCount);
    ExpectAllPresent(*m_reg, 3, kCount);
}

TEST_F(RegistryTest, ThreadsShareOneStoreAndSeveralStoresSafely) {
    constexpr int kCount = 60;
    auto second = Open();
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int writer = 0; writer < 4; ++writer) {
        Registry& target = writer % 2 == 0 ? *m_reg : *second;
        threads.emplace_back([&, writer] {
            failures[writer] = WriteMany(target, writer, kCount);
            RegValue value;
            target.QueryValue(HKey::LocalMachine, "SOFTWARE\\Shared", ValueName(writer, 0), value);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    ExpectAllPresent(*Open(), 4, kCount);
}

TEST_F(RegistryTest, DefaultStoreCanBeOverridden) {
    Registry::OverrideDefault(m_reg.get());
    EXPECT_EQ(&Registry::Default(), m_reg.get());
    ASSERT_EQ(Registry::Default().SetValue(HKey::CurrentUser, "K", "v", RegValue::Dword(3)), win32::kSuccess);
    EXPECT_TRUE(fs::exists(m_user));
    Registry::OverrideDefault(nullptr);
    EXPECT_NE(&Registry::Default(), m_reg.get());
    EXPECT_TRUE(Registry::Default().HivePaths().machine.string().ends_with("etc/carrowline/machine.reg"));
    EXPECT_TRUE(Registry::Default().HivePaths().user.string().ends_with("carrowline/user.reg"));
}

}  // namespace
}  // namespace platform
