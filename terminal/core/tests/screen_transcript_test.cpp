// Golden transcripts: host bytes in (transcripts/*.in), everything the screen did out (painter and owner
// calls, replies, and the final screen) compared with transcripts/*.expected. Each transcript must also give
// the same result fed in two parts at every split point, a byte at a time, and when the screen is handed over
// through a snapshot at every split point.
//
// The .in notation: lines starting with '#' are comments; line breaks are not data; \e ESC, \r, \n, \t, \b,
// \a, \\ and \xHH stand for their bytes; every other character is itself. Set CARROWLINE_UPDATE_TRANSCRIPTS=1
// to rewrite the .expected files from the current behaviour (then review them).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "standins/escapes.h"
#include "terminal/core/tests/screen_recorder.h"

namespace terminal::testing {
namespace {

namespace fs = std::filesystem;

fs::path TranscriptFolder() {
    return fs::path(CARROWLINE_TRANSCRIPTS);
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Decodes the .in notation; a malformed escape fails the test.
std::string DecodeTranscript(const std::string& source) {
    std::string bytes;
    std::istringstream lines(source);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '#') {
            continue;
        }
        std::string why;
        if (const std::optional<std::string> decoded = standins::DecodeEscapes(line, &why)) {
            bytes += *decoded;
        } else {
            ADD_FAILURE() << why << " in: " << line;
        }
    }
    return bytes;
}

std::string Outcome(const RecordedScreen& s) {
    return "# calls\n" + s.recorder.Log() + "# screen\n" + DumpScreen(s.screen);
}

std::string RunWhole(const std::string& bytes) {
    RecordedScreen s;
    s.Feed(bytes);
    return Outcome(s);
}

std::vector<std::string> TranscriptNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(TranscriptFolder())) {
        if (entry.path().extension() == ".in") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Transcript : public ::testing::TestWithParam<std::string> {
  protected:
    std::string Input() const { return DecodeTranscript(ReadAll(TranscriptFolder() / (GetParam() + ".in"))); }
    fs::path ExpectedPath() const { return TranscriptFolder() / (GetParam() + ".expected"); }
};

TEST_P(Transcript, MatchesExpected) {
    const std::string actual = RunWhole(Input());
    const char* update = std::getenv("CARROWLINE_UPDATE_TRANSCRIPTS");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(ExpectedPath(), std::ios::binary) << actual;
        GTEST_SKIP() << "rewrote " << ExpectedPath();
    }
    ASSERT_TRUE(fs::exists(ExpectedPath())) << ExpectedPath();
    EXPECT_EQ(actual, ReadAll(ExpectedPath()));
}

TEST_P(Transcript, SameResultSplitAtEveryPoint) {
    const std::string bytes = Input();
    const std::string whole = RunWhole(bytes);
    for (size_t split = 0; split <= bytes.size(); ++split) {
        RecordedScreen s;
        s.Feed(std::string_view(bytes).substr(0, split));
        s.Feed(std::string_view(bytes).substr(split));
        const std::string parts = Outcome(s);
        ASSERT_EQ(parts, whole) << "split at byte " << split;
    }
}

TEST_P(Transcript, SameResultByteAtATime) {
    const std::string bytes = Input();
    RecordedScreen s;
    for (char c : bytes) {
        s.Feed(std::string_view(&c, 1));
    }
    EXPECT_EQ(Outcome(s), RunWhole(bytes));
}

TEST_P(Transcript, SnapshotHandOverAtEveryPointResumes) {
    const std::string bytes = Input();
    const std::string whole = RunWhole(bytes);
    for (size_t split = 0; split <= bytes.size(); ++split) {
        RecordedScreen first;
        first.Feed(std::string_view(bytes).substr(0, split));
        const auto image = first.screen.SnapshotImage();
        // The second screen draws and reports into the first one's recorder, so one log runs through.
        CTerminalScreen second;
        first.recorder.Watch(&second);
        second.SetOwner(&first.recorder);
        second.SetPainter(&first.recorder);
        std::string why;
        ASSERT_TRUE(second.AdoptSnapshotImage(image, &why)) << why << " at byte " << split;
        second.Feed(std::string_view(bytes).substr(split));
        const std::string handedOver = "# calls\n" + first.recorder.Log() + "# screen\n" + DumpScreen(second);
        ASSERT_EQ(handedOver, whole) << "handed over at byte " << split;
    }
}

INSTANTIATE_TEST_SUITE_P(Golden, Transcript, ::testing::ValuesIn(TranscriptNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

TEST(TranscriptNotation, DecodesEscapesAndSkipsCommentsAndLineBreaks) {
    EXPECT_EQ(DecodeTranscript("# a comment\nab\\e[2J\n\\r\\n\\x01\\\\ z\n"), "ab\x1B[2J\r\n\x01\\ z");
}

}  // namespace
}  // namespace terminal::testing
