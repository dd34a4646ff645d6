// Tests of the command-file reader with the test as the writer: lines arriving in pieces, over-long lines,
// files truncated, rewritten or replaced under the reader, and the start-up replay of a pending prompt.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "notifier/ipc_protocol.h"
#include "testsupport/test_support.h"

namespace notifier {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class IpcReaderTest : public ::testing::Test {
  protected:
    void Append(std::string_view text) { Append(m_file, text); }
    static void Append(const std::filesystem::path& file, std::string_view text) {
        std::ofstream out(file, std::ios::binary | std::ios::app);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    std::vector<std::string> Drain() {
        m_reader.CheckFile();
        std::vector<std::string> lines;
        while (auto line = m_reader.ReadNextIpcLine())
            lines.emplace_back(*line);
        return lines;
    }

    testsupport::TempFolder m_temp;
    std::filesystem::path m_file = m_temp.Path() / "commands.txt";
    IpcReader m_reader;
};

TEST_F(IpcReaderTest, CreatesMissingFileAndFailsOnBadFolder) {
    EXPECT_TRUE(m_reader.Open(m_file));
    EXPECT_TRUE(std::filesystem::exists(m_file));
    IpcReader other;
    EXPECT_FALSE(other.Open(m_temp.Path() / "missing" / "commands.txt"));
    EXPECT_FALSE(other.ReadNextIpcLine());
}

TEST_F(IpcReaderTest, LinesCutAtEveryByte) {
    const std::string text = "message|a|b|40\r\n\r\nprompt|T|Q\r\ninstruction|close\r\n";
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        std::filesystem::remove(m_file);
        ASSERT_TRUE(m_reader.Open(m_file));
        Append(text.substr(0, cut));
        auto lines = Drain();
        Append(text.substr(cut));
        for (auto& line : Drain())
            lines.push_back(line);
        EXPECT_THAT(lines, ElementsAre("message|a|b|40", "", "prompt|T|Q", "instruction|close")) << cut;
    }
    // One byte at a time.
    std::filesystem::remove(m_file);
    ASSERT_TRUE(m_reader.Open(m_file));
    std::vector<std::string> lines;
    for (char c : text) {
        Append(std::string(1, c));
        for (auto& line : Drain())
            lines.push_back(line);
    }
    EXPECT_THAT(lines, ElementsAre("message|a|b|40", "", "prompt|T|Q", "instruction|close"));
}

TEST_F(IpcReaderTest, UnterminatedTailWaitsForItsEnd) {
    ASSERT_TRUE(m_reader.Open(m_file));
    Append("one\r\ntwo\rthree\n");
    EXPECT_THAT(Drain(), ElementsAre("one"));
    EXPECT_THAT(Drain(), IsEmpty());
    Append("\r\n");
    EXPECT_THAT(Drain(), ElementsAre("two\rthree\n"));
}

TEST_F(IpcReaderTest, OverLongLineIsSkippedToItsEnd) {
    ASSERT_TRUE(m_reader.Open(m_file));
    Append("before\r\n" + std::string(5000, 'x') + "\r\nafter\r\n");
    EXPECT_THAT(Drain(), ElementsAre("before", "after"));
    // Written in pieces, the CR at the first block's last byte and its LF in the next write.
    Append(std::string(kMaxLine - 1, 'y') + "\r");
    EXPECT_THAT(Drain(), IsEmpty());
    Append(std::string(100, 'y'));
    EXPECT_THAT(Drain(), IsEmpty());
    Append("\r");
    EXPECT_THAT(Drain(), IsEmpty());
    Append("\nlast\r\n");
    EXPECT_THAT(Drain(), ElementsAre("last"));
}

TEST_F(IpcReaderTest, LineOfExactlyTheLimitWithItsCrLfOutsideIsSkipped) {
    ASSERT_TRUE(m_reader.Open(m_file));
    Append(std::string(kMaxLine - 2, 'z') + "\r\nfits\r\n");
    EXPECT_THAT(Drain(), ElementsAre(std::string(kMaxLine - 2, 'z'), "fits"));
    Append(std::string(kMaxLine, 'z') + "\r\nnext\r\n");
    EXPECT_THAT(Drain(), ElementsAre("next"));
}

TEST_F(IpcReaderTest, TruncatedThenRewrittenFileIsFollowedFromItsNewEnd) {
    Append("old one\r\nold two\r\n");
    ASSERT_TRUE(m_reader.Open(m_file));
    Append("three\r\n");
    EXPECT_THAT(Drain(), ElementsAre("three"));

    // Shorter rewrite.
    std::filesystem::resize_file(m_file, 0);
    Append("new\r\n");
    EXPECT_THAT(Drain(), IsEmpty());
    Append("after short\r\n");
    EXPECT_THAT(Drain(), ElementsAre("after short"));

    // Longer rewrite between two passes: the old line end is gone from under the position.
    std::filesystem::resize_file(m_file, 0);
    Append("message|" + std::string(40, 'r') + "|x\r\nmessage|replaced|y\r\n");
    EXPECT_THAT(Drain(), IsEmpty());
    Append("after long\r\n");
    EXPECT_THAT(Drain(), ElementsAre("after long"));

    // Truncated to nothing, then written.
    std::filesystem::resize_file(m_file, 0);
    EXPECT_THAT(Drain(), IsEmpty());
    Append("fresh\r\n");
    EXPECT_THAT(Drain(), ElementsAre("fresh"));
}

TEST_F(IpcReaderTest, RewriteOfLinesNotYetReadShowsNoneOfThem) {
    ASSERT_TRUE(m_reader.Open(m_file));
    for (int i = 0; i < 10; ++i)
        Append("message|old line " + std::to_string(i) + "|x\r\n");
    // A pass that stopped early (a prompt waiting, say) leaves old lines unread.
    EXPECT_EQ(m_reader.ReadNextIpcLine(), "message|old line 0|x");
    EXPECT_EQ(m_reader.ReadNextIpcLine(), "message|old line 1|x");
    std::filesystem::resize_file(m_file, 0);
    Append("message|new|1\r\nmessage|new|2\r\nmessage|new|3\r\n");
    EXPECT_THAT(Drain(), IsEmpty());
    Append("message|after|rewrite\r\n");
    EXPECT_THAT(Drain(), ElementsAre("message|after|rewrite"));
}

TEST_F(IpcReaderTest, FileRenamedOverThePathIsFollowed) {
    Append("old\r\n");
    ASSERT_TRUE(m_reader.Open(m_file));
    const auto replacement = m_temp.Path() / "new.txt";
    Append(replacement, "prompt|already there|Q\r\nmessage|partial");
    ASSERT_EQ(std::rename(replacement.c_str(), m_file.c_str()), 0);
    EXPECT_THAT(Drain(), IsEmpty());
    Append("|text\r\nmessage|a|b\r\n");
    EXPECT_THAT(Drain(), ElementsAre("message|partial|text", "message|a|b"));
}

TEST_F(IpcReaderTest, HalfLineAtStartUpIsReadWhole) {
    Append("message|a|b\r\nprompt|half");
    ASSERT_TRUE(m_reader.Open(m_file));
    EXPECT_EQ(m_reader.ReplayPendingPrompt(), std::nullopt);
    Append("|MB_OK\r\n");
    EXPECT_THAT(Drain(), ElementsAre("prompt|half|MB_OK"));
}

TEST_F(IpcReaderTest, UnreadReturnsTheSameLineAgain) {
    ASSERT_TRUE(m_reader.Open(m_file));
    Append("one\r\ntwo\r\n");
    EXPECT_EQ(m_reader.ReadNextIpcLine(), "one");
    EXPECT_EQ(m_reader.ReadNextIpcLine(), "two");
    m_reader.Unread();
    EXPECT_EQ(m_reader.ReadNextIpcLine(), "two");
    EXPECT_EQ(m_reader.ReadNextIpcLine(), std::nullopt);
}

struct ReplayCase {
    const char* name;
    std::string content;
    std::optional<std::string> expected;
};

TEST_F(IpcReaderTest, ReplayOfPendingPrompt) {
    const std::string filler = [] {
        std::string s;
        while (s.size() < 5000)
            s += "message|filling|text\r\n";
        return s;
    }();
    const ReplayCase cases[] = {
        {"pending", "message|a|b\r\nprompt|T|Q?|MB_YESNO\r\nmessage|c|d\r\n", "prompt|T|Q?|MB_YESNO"},
        {"last of two", "prompt|first|Q\r\nprompt|second|Q\r\n", "prompt|second|Q"},
        {"acknowledged", "prompt|T|Q\r\nPROMPT_ACK\r\n", std::nullopt},
        {"ack inside a line", "prompt|T|Q\r\nmessage|x PROMPT_ACK y|z\r\n", std::nullopt},
        {"inside a message", "message|see prompt|here\r\n", std::nullopt},
        {"older than the window", "prompt|old|Q\r\n" + filler, std::nullopt},
        {"recent after filler", filler + "prompt|new|Q\r\n", "prompt|new|Q"},
        {"empty file", "", std::nullopt},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(m_file);
        Append(c.content);
        ASSERT_TRUE(m_reader.Open(m_file));
        EXPECT_EQ(m_reader.ReplayPendingPrompt(), c.expected) << c.name;
        // The replay never moves the reader: later lines follow.
        Append("next\r\n");
        EXPECT_THAT(Drain(), ElementsAre("next")) << c.name;
    }
}

TEST_F(IpcReaderTest, ReplayWindowStartingMidLineIgnoresItsTail) {
    // A prompt whose "prompt|" starts before the window but whose rest falls inside is no line start;
    // a line in the window whose text merely continues after "...prompt|" neither.
    std::string content = "message|" + std::string(200, 'a') + "prompt|fake|Q\r\n";
    while (content.size() < kMaxLine + 100)
        content += "message|x|y\r\n";
    std::filesystem::remove(m_file);
    Append(content);
    ASSERT_TRUE(m_reader.Open(m_file));
    EXPECT_EQ(m_reader.ReplayPendingPrompt(), std::nullopt);
}

}  // namespace
}  // namespace notifier
