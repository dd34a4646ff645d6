// Tests of the notifier's main-window logic with a recording view over temporary hives and files: the
// tick sequence, one prompt at a time, close mid-pass, the tray, the restart argv and answers kept.
#include "notifier/controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "notifier/tests/recording_ui.h"
#include "testsupport/test_support.h"

namespace notifier {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using testing::RecordingView;

class ControllerTest : public testsupport::RegistryTest {
  protected:
    void SetPaths() {
        Set(kIpcReadPathValue, m_read.string());
        Set(kIpcWritePathValue, m_write.string());
    }
    void Set(std::string_view name, const std::string& value) {
        ASSERT_EQ(Reg().SetValue(platform::HKey::CurrentUser, "SOFTWARE\\Carrowline Corporation\\Pipwell",
                                 name, platform::RegValue::String(value)),
                  0);
    }
    void Append(std::string_view text) {
        std::ofstream out(m_read, std::ios::binary | std::ios::app);
        out << text;
    }
    // Ticks until the file is open, then forgets the calls so far.
    void StartOpen() {
        SetPaths();
        m_c.Start();
        m_c.OnTick();
        m_c.OnTick();
        m_view.calls.clear();
    }

    std::filesystem::path m_read = m_temp.Path() / "commands.txt";
    std::filesystem::path m_write = m_temp.Path() / "answers.txt";
    RecordingView m_view;
    NotifierController m_c{m_view};
};

TEST_F(ControllerTest, TickSequenceWaitsForSettingsThenPolls) {
    m_c.Start();
    m_c.OnTick();
    m_c.OnTick();
    m_c.OnTick();
    EXPECT_THAT(m_view.ticks, ElementsAre(100, 100, 500, 500));
    EXPECT_THAT(m_view.calls, ElementsAre("CreatePopup", "HidePopupAfter(0)", "HidePopupAfter(0)"));
    Append("message|before start|x\r\n");
    SetPaths();
    m_c.OnTick();
    EXPECT_EQ(m_view.ticks.back(), 1500);
    Append("message|a|b|40\r\n");
    m_c.OnTick();
    EXPECT_THAT(m_view.calls,
                ElementsAre("CreatePopup", "HidePopupAfter(0)", "HidePopupAfter(0)", "HidePopupAfter(0)",
                            "HidePopupAfter(0)", "ShowTray", "SetPopupTexts(a,b)", "SetProgressPercent(40)"));
    // Once the texts changed, ticks no longer hide the popup.
    m_view.calls.clear();
    m_c.OnTick();
    EXPECT_THAT(m_view.calls, IsEmpty());
    m_c.OnTrayActivated();
    EXPECT_THAT(m_view.calls, ElementsAre("SetPopupTexts(a,b)"));
}

TEST_F(ControllerTest, PendingPromptIsReplayedOnceAtStart) {
    Append("prompt|Old|Pending?|MB_YESNO\r\n");
    SetPaths();
    m_c.Start();
    m_c.OnTick();
    m_c.OnTick();
    EXPECT_THAT(m_view.calls, ElementsAre("CreatePopup", "HidePopupAfter(0)", "ShowTray", "HidePopupAfter(0)",
                                          "ShowPromptDialog(MB_YESNO,Old,Pending?)"));
    m_c.OnPromptAnswer("NO");
    m_view.calls.clear();
    m_c.OnTick();
    EXPECT_THAT(m_view.calls, ElementsAre("HidePopupAfter(0)"));
    EXPECT_EQ(testsupport::ReadFile(m_write), "NO\r\n");
}

TEST_F(ControllerTest, SecondPromptWaitsForTheFirstAnswer) {
    StartOpen();
    Append("prompt|A|first|MB_YESNO\r\nmessage|m|1\r\nprompt|B|second|MB_OKCANCEL\r\nmessage|m|2\r\n");
    m_c.OnFileChanged();
    EXPECT_THAT(m_view.calls,
                ElementsAre("ShowTray", "HidePopupAfter(0)", "ShowPromptDialog(MB_YESNO,A,first)", "ShowTray",
                            "SetPopupTexts(m,1)"));
    m_c.OnTick();
    m_c.OnFileChanged();
    EXPECT_EQ(m_view.calls.size(), 5u);
    m_view.calls.clear();
    m_c.OnPromptAnswer("YES");
    EXPECT_THAT(m_view.calls,
                ElementsAre("ShowTray", "HidePopupAfter(0)", "ShowPromptDialog(MB_OKCANCEL,B,second)",
                            "ShowTray", "SetPopupTexts(m,2)"));
    // A second answer for one prompt is dropped.
    m_c.OnPromptAnswer("CANCEL");
    m_c.OnPromptAnswer("OK");
    EXPECT_EQ(testsupport::ReadFile(m_write), "YES\r\nCANCEL\r\n");
}

TEST_F(ControllerTest, DismissDialogReachesTheOpenPrompt) {
    StartOpen();
    Append("prompt|A|q\r\ninstruction|dismissdialog\r\nprompt|B|q\r\n");
    m_c.OnFileChanged();
    EXPECT_THAT(m_view.calls,
                ElementsAre("ShowTray", "HidePopupAfter(0)", "ShowPromptDialog(MB_OK,A,q)", "DismissDialog",
                            "ShowTray", "HidePopupAfter(0)", "ShowPromptDialog(MB_OK,B,q)"));
    EXPECT_TRUE(m_c.PromptOpen());
    EXPECT_FALSE(std::filesystem::exists(m_write));
}

TEST_F(ControllerTest, CloseEndsThePass) {
    StartOpen();
    Append("message|a|b\r\ninstruction|close\r\nmessage|c|d\r\n");
    m_c.OnFileChanged();
    EXPECT_THAT(m_view.calls, ElementsAre("ShowTray", "SetPopupTexts(a,b)", "Close"));
    EXPECT_TRUE(m_c.Closed());
    const size_t ticks = m_view.ticks.size();
    m_c.OnTick();
    m_c.OnFileChanged();
    m_c.OnTerminate();
    EXPECT_EQ(m_view.calls.size(), 3u);
    EXPECT_EQ(m_view.ticks.size(), ticks);
}

TEST_F(ControllerTest, HideTrayThenMessage) {
    StartOpen();
    Append("instruction|showtray\r\ninstruction|hidetray|250\r\nmessage|back|again\r\n");
    m_c.OnFileChanged();
    EXPECT_THAT(m_view.calls, ElementsAre("ShowTray", "HideTray", "HidePopupAfter(250)", "ShowTray",
                                          "SetPopupTexts(back,again)"));
}

TEST_F(ControllerTest, RestartStartsTheLauncherWithOurPid) {
    StartOpen();
    Append("instruction|restart|300\r\n");
    m_c.OnFileChanged();
    EXPECT_THAT(m_view.started, IsEmpty());  // no launcher setting: nothing
    Set(kLauncherPathValue, "/opt/bin/pipwelllauncher");
    Append("instruction|restart|300\r\ninstruction|restart|\r\n");
    m_c.OnFileChanged();
    const std::string pid = std::to_string(::getpid());
    EXPECT_THAT(m_view.started, ElementsAre(ElementsAre("/opt/bin/pipwelllauncher", pid, "300"),
                                            ElementsAre("/opt/bin/pipwelllauncher", pid)));
    EXPECT_FALSE(m_c.Closed());
}

TEST_F(ControllerTest, AnswerFileUnwritableThenWritable) {
    m_write = m_temp.Path() / "out" / "answers.txt";
    testsupport::WriteFile(m_temp.Path() / "out", "");
    StartOpen();
    Append("prompt|A|q|MB_YESNO\r\n");
    m_c.OnFileChanged();
    m_c.OnPromptAnswer("YES");
    Append("prompt|B|q|MB_YESNO\r\n");
    m_c.OnFileChanged();
    m_c.OnPromptAnswer("NO");
    m_c.OnTick();
    std::filesystem::remove(m_temp.Path() / "out");
    std::filesystem::create_directories(m_temp.Path() / "out");
    m_c.OnTick();
    EXPECT_EQ(testsupport::ReadFile(m_write), "YES\r\nNO\r\n");
}

TEST_F(ControllerTest, CommandFileThatCannotBeOpenedIsRetried) {
    m_read = m_temp.Path() / "later" / "commands.txt";
    SetPaths();
    m_c.Start();
    m_c.OnTick();
    m_c.OnTick();
    m_c.OnTick();
    EXPECT_EQ(m_view.ticks.back(), 1500);
    std::filesystem::create_directories(m_read.parent_path());
    m_c.OnTick();
    Append("message|now|open\r\n");
    m_c.OnTick();
    EXPECT_EQ(m_view.calls.back(), "SetPopupTexts(now,open)");
}

}  // namespace
}  // namespace notifier
