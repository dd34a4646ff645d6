// The file digest against the RFC 1321 values and across the 1024-byte block edges, its failures, and the
// digest comparison.
#include "hostlink/md5util.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/user_prompt.h"
#include "platform/win32_error.h"

namespace hostlink {
namespace {

class Md5FileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "md5util-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const std::string path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // The digest text, or the error code as text so a failure shows in the comparison.
    std::string Hash(const std::string& path) {
        std::array<char, md5util::kDigestSize> out;
        out.fill('#');
        const int32_t code = md5util::HashFile(out, path);
        if (code != 0) {
            return "error " + std::to_string(code);
        }
        EXPECT_EQ(out[32], '\0');
        return std::string(out.data());
    }

    std::filesystem::path m_dir;
    platform::RecordingPrompt m_prompt;
    platform::ScopedDefaultPrompt m_scope{m_prompt};
};

TEST_F(Md5FileTest, MatchesRfc1321Values) {
    const struct {
        std::string text;
        std::string digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hash(WriteFile("vector", c.text)), c.digest) << '"' << c.text << '"';
    }
    EXPECT_TRUE(m_prompt.Texts().empty());
}

TEST_F(Md5FileTest, ReadsEveryBlockAroundTheBlockSize) {
    const struct {
        std::size_t size;
        std::string digest;
    } cases[] = {
        {0, "d41d8cd98f00b204e9800998ecf8427e"},    {1023, "aa217140da10ed9796690dd1ed22a21a"},
        {1024, "63b2177a7af739b5cc52ab1d1c714702"}, {1025, "31d56d8e673d2856b7a4eee144ee8275"},
        {2048, "fbb2e3b38a23c7d820533df281b4b6ec"},
    };
    for (const auto& c : cases) {
        std::string bytes(c.size, '\0');
        for (std::size_t i = 0; i < c.size; ++i) {
            bytes[i] = static_cast<char>((i * 31 + 7) & 0xff);
        }
        EXPECT_EQ(Hash(WriteFile("sized", bytes)), c.digest) << c.size << " bytes";
    }
}

TEST_F(Md5FileTest, MissingFileShowsMessageAndReturnsFileNotFound) {
    std::array<char, md5util::kDigestSize> out;
    out.fill('#');
    EXPECT_EQ(md5util::HashFile(out, (m_dir / "absent.bin").string()), platform::win32::kFileNotFound);
    EXPECT_EQ(m_prompt.Texts(), std::vector<std::string>{"Error Opening File to Check."});
    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_prompt.Shown()[0].icon, platform::PromptIcon::None);
    EXPECT_EQ(out[0], '#') << "a failed hash must leave the caller's digest alone";
}

TEST_F(Md5FileTest, EveryFailureReturnsNonZero) {
    // A folder opens but cannot be read: the read step fails, and must not pass for a digest.
    std::array<char, md5util::kDigestSize> out;
    out.fill('#');
    EXPECT_NE(md5util::HashFile(out, m_dir.string()), 0);
    EXPECT_EQ(m_prompt.Texts(), std::vector<std::string>{"ReadFile Failed."});
    EXPECT_EQ(out[0], '#');

    m_prompt.Clear();
    EXPECT_EQ(md5util::HashFile(out, (m_dir / "absent" / "x").string()), platform::win32::kFileNotFound);
    const std::string file = WriteFile("plain", "x");
    EXPECT_NE(md5util::HashFile(out, file + "/below"), 0);  // a file used as a folder
    EXPECT_EQ(m_prompt.Texts().size(), 2u);
}

TEST(Md5CompareTest, ComparesTheFirst32CharactersExactly) {
    const std::string digest = "900150983cd24fb0d6963f7d28e17f72";
    const struct {
        std::string a;
        std::string b;
        int32_t expected;
    } cases[] = {
        {digest, digest, 0},
        {digest, "900150983CD24FB0D6963F7D28E17F72", 1},  // case matters
        {digest, "900150983cd24fb0d6963f7d28e17f73", 1},  // last digit
        {digest + "trailing", digest + "other", 0},       // only 32 count
        {digest, std::string(digest.data(), 33), 0},      // terminator after 32
        {"900150983cd24fb0", "900150983cd24fb0", 1},      // short digests never match
        {"", "", 1},                                      // nor empty ones
        {digest.substr(0, 31), digest.substr(0, 31), 1},  // one short
        {std::string("900150983cd24fb0\0"
                     "aaaaaaaaaaaaaaa",
                     32),
         std::string("900150983cd24fb0\0"
                     "bbbbbbbbbbbbbbb",
                     32),
         1},  // terminator inside the 32
        {digest, "", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(md5util::CompareDigest(c.a, c.b), c.expected) << '"' << c.a << "\" vs \"" << c.b << '"';
        EXPECT_EQ(md5util::CompareDigest(c.b, c.a), c.expected) << "swapped";
    }
}

TEST(Md5CompareTest, AcceptsTheCallersDigestBuffers) {
    std::array<char, md5util::kDigestSize> expected{};
    const std::string text = "d41d8cd98f00b204e9800998ecf8427e";
    std::copy(text.begin(), text.end(), expected.begin());
    EXPECT_EQ(md5util::CompareDigest(expected.data(), text), 0);
    std::array<char, md5util::kDigestSize> empty{};
    EXPECT_EQ(md5util::CompareDigest(empty.data(), empty.data()), 1);
}

}  // namespace
}  // namespace hostlink
