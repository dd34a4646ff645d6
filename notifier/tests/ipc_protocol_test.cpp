// Tests of the command-line grammar, its dispatch to the UI, the settings places and the answer file.
#include "notifier/ipc_protocol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "notifier/tests/recording_ui.h"
#include "testsupport/test_support.h"

namespace notifier {
namespace {

using ::testing::ElementsAreArray;
using Opt = std::optional<std::string_view>;

struct SplitCase {
    std::string_view line;
    Fields expected;
};

TEST(SplitFieldsTest, PresentAndAbsentFields) {
    const SplitCase cases[] = {
        {"a|b|", {Opt("a"), Opt("b"), {}, {}, {}, {}}},
        {"|a", {Opt(""), Opt("a"), {}, {}, {}, {}}},
        {"message||b", {Opt("message"), Opt(""), Opt("b"), {}, {}, {}}},
        {"1|2|3|4|5|6|7", {Opt("1"), Opt("2"), Opt("3"), Opt("4"), Opt("5"), Opt("6")}},
        {"1|2|3|4|5||7|8", {Opt("1"), Opt("2"), Opt("3"), Opt("4"), Opt("5"), Opt("")}},
        {"", {}},
        {"|", {Opt(""), {}, {}, {}, {}, {}}},
        {"single", {Opt("single"), {}, {}, {}, {}, {}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitFields(c.line), c.expected) << c.line;
}

struct DispatchCase {
    std::string_view line;
    std::vector<std::string> calls;
    DispatchResult result = DispatchResult::Done;
};

TEST(DispatchIpcLineTest, LinesToCalls) {
    const DispatchCase cases[] = {
        {"message|one|two|40", {"ShowTray", "SetPopupTexts(one,two)", "SetProgressPercent(40)"}},
        {"message|one|two", {"ShowTray", "SetPopupTexts(one,two)"}},
        {"message|one|two|", {"ShowTray", "SetPopupTexts(one,two)"}},
        {"message||", {}},
        {"message|one", {}},
        {"message|one|", {}},
        {"Message|one|two", {}},
        {"", {}},
        {"bogus|x|y", {}},
        {"prompt|Title|Question?|MB_YESNO",
         {"ShowTray", "HidePopupAfter(0)", "ShowPromptDialog(MB_YESNO,Title,Question?)"}},
        {"prompt", {"ShowTray", "HidePopupAfter(0)", "ShowPromptDialog(MB_OK,,)"}},
        {"prompt|C|T|", {"ShowTray", "HidePopupAfter(0)", "ShowPromptDialog(MB_OK,C,T)"}},
        {"prompt|C||MB_WHATEVER", {"ShowTray", "HidePopupAfter(0)", "ShowPromptDialog(MB_WHATEVER,C,)"}},
        {"instruction", {}},
        {"instruction|frobnicate|1", {}},
        {"instruction|Close", {}},
        {"instruction|suspend", {}},
        {"instruction|resume", {}},
        {"instruction|close", {"Close"}, DispatchResult::Close},
        {"instruction|dismisspopup", {"HidePopupAfter(0)"}},
        {"instruction|dismisspopup|", {"HidePopupAfter(0)"}},
        {"instruction|dismisspopup|2000", {"HidePopupAfter(2000)"}},
        {"instruction|dismisspopup|-5", {"HidePopupAfter(0)"}},
        {"instruction|dismisspopup|x", {"HidePopupAfter(0)"}},
        {"instruction|dismisspopup|12ab", {"HidePopupAfter(12)"}},
        {"instruction|dismisspopup|99999999999999", {"HidePopupAfter(2147483647)"}},
        {"instruction|dismissdialog", {"DismissDialog"}},
        {"instruction|showtray", {"ShowTray"}},
        {"instruction|hidetray", {"HideTray", "HidePopupAfter(0)"}},
        {"instruction|hidetray|300", {"HideTray", "HidePopupAfter(300)"}},
        {"instruction|restart|300", {"Restart(300)"}},
        {"instruction|restart", {"Restart()"}},
        // a2 is the product, a3 the title, a4 the text.
        {"instruction|changeproduct|Vask|New title|Product text",
         {"ChangeProduct(Product text,Vask,New title)"}},
        {"instruction|changeproduct", {"ChangeProduct(,,)"}},
    };
    for (const auto& c : cases) {
        testing::RecordingUi ui;
        EXPECT_EQ(DispatchIpcLine(c.line, ui), c.result) << c.line;
        EXPECT_THAT(ui.calls, ElementsAreArray(c.calls)) << c.line;
    }
}

class NotifierSettingTest : public testsupport::RegistryTest {};

TEST_F(NotifierSettingTest, FourPlacesInOrder) {
    using platform::HKey;
    using platform::RegValue;
    struct Place {
        HKey root;
        const char* key;
    };
    const Place places[] = {
        {HKey::CurrentUser, "Software\\PSC\\Progress\\LocalV10\\Pellory"},
        {HKey::LocalMachine, "Software\\PSC\\Progress\\LocalV10\\Pellory"},
        {HKey::CurrentUser, "SOFTWARE\\Carrowline Corporation\\Pipwell"},
        {HKey::LocalMachine, "SOFTWARE\\Carrowline Corporation\\Pipwell"},
    };
    EXPECT_EQ(ReadNotifierSetting(kIpcReadPathValue), "");
    // Fill from the last place to the first: each newly filled place must win.
    for (int i = 3; i >= 0; --i) {
        const std::string text = "/place" + std::to_string(i);
        ASSERT_EQ(Reg().SetValue(places[i].root, places[i].key, kIpcReadPathValue, RegValue::String(text)),
                  0);
        EXPECT_EQ(ReadNotifierSetting(kIpcReadPathValue), text);
        EXPECT_EQ(ReadNotifierSetting(kIpcWritePathValue), "");
    }
    // A value of another type does not count as present.
    ASSERT_EQ(Reg().SetValue(places[0].root, places[0].key, kIpcReadPathValue, RegValue::Dword(3)), 0);
    EXPECT_EQ(ReadNotifierSetting(kIpcReadPathValue), "/place1");
    // Text longer than the setting buffer is cut to it.
    ASSERT_EQ(Reg().SetValue(places[0].root, places[0].key, kIpcReadPathValue,
                             RegValue::String(std::string(3000, 'p'))),
              0);
    EXPECT_EQ(ReadNotifierSetting(kIpcReadPathValue).size(), kMaxSetting - 1);
}

TEST(LauncherArgsTest, SplitAtBlanks) {
    using W = LauncherWords;
    const std::pair<std::string_view, W> cases[] = {
        {"", W{}},
        {"1234", W{"1234"}},
        {"1234 300", W{"1234", "300"}},
        {" 300", W{"", "300"}},
        {"1234 ", W{"1234"}},
        {"a b c d e f", W{"a", "b", "c", "d", "e"}},
    };
    for (const auto& [text, words] : cases)
        EXPECT_EQ(SplitLauncherArgs(text), words) << text;
}

TEST(AnswerFileTest, AppendsWordsWithCrLf) {
    testsupport::TempFolder temp;
    const auto file = temp.Path() / "answers.txt";
    AnswerQueue queue;
    queue.WriteAnswer("YES", file);
    queue.WriteAnswer("CANCEL", file);
    EXPECT_EQ(testsupport::ReadFile(file), "YES\r\nCANCEL\r\n");
    // An empty write path writes nothing and keeps nothing.
    queue.WriteAnswer("OK", "");
    EXPECT_EQ(queue.Pending(), 0u);
    EXPECT_FALSE(AppendIpcLine("OK", ""));
}

TEST(AnswerFileTest, UnwritableAnswerIsKeptAndRetriedInOrder) {
    testsupport::TempFolder temp;
    // A plain file where the answer file's folder should be: no one can create the file, not even root.
    const auto folder = temp.Path() / "out";
    testsupport::WriteFile(folder, "");
    const auto file = folder / "answers.txt";
    AnswerQueue queue;
    queue.WriteAnswer("YES", file);
    queue.WriteAnswer("NO", file);
    EXPECT_EQ(queue.Pending(), 2u);
    EXPECT_FALSE(queue.Flush(file));
    std::filesystem::remove(folder);
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(queue.Flush(file));
    EXPECT_EQ(queue.Pending(), 0u);
    EXPECT_EQ(testsupport::ReadFile(file), "YES\r\nNO\r\n");
}

}  // namespace
}  // namespace notifier
