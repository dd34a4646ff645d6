// Every toolbar button to the exact bytes or call it makes, chainable and not; the bars the host's numbers
// choose; the Simple form switched any number of times; the status bar's paging commands.
#include "terminal/bars/toolbar_commands.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace terminal::bars {
namespace {

class RecordingTarget : public ToolbarTarget {
  public:
    bool Closing() const override { return m_closing; }
    bool Chainable() const override { return m_chainable; }
    void HideFieldEditor() override { m_ops.push_back("hide"); }
    void WriteChannel0(std::string_view bytes) override { m_ops.push_back("0:" + std::string(bytes)); }
    void OpenNewWindow(std::string_view switchText) override {
        m_ops.push_back("new:" + std::string(switchText));
    }
    void NewWindow() override { m_ops.push_back("NewWindow"); }
    void SendProcess() override { m_ops.push_back("SendProcess"); }
    void ShowCalculator() override { m_ops.push_back("ShowCalc"); }
    void ShowStop(std::string_view text) override { m_ops.push_back("stop:" + std::string(text)); }

    bool m_closing = false;
    bool m_chainable = true;
    std::vector<std::string> m_ops;
};

struct Golden {
    int32_t id;
    std::vector<std::string> chainable;
    std::vector<std::string> notChainable;
};

// System and Mpi buttons type their command with a carriage return, or open a new window on it; the
// others type their text as it stands.
std::vector<Golden> GoldenTable() {
    std::vector<Golden> table;
    const std::pair<int32_t, std::string> chained[] = {
        {106, "/phone"},  {32772, "/pay"},  {32773, "/m10"},  {32774, "/pro"},    {32775, "/epro"},
        {32776, "/epay"}, {32777, "/vpc"},  {32778, "/enc"},  {32779, "/ins"},    {32780, "/m18"},
        {32781, "/ers"},  {32782, "/epat"}, {32783, "/pat"},  {32784, "/dis"},    {32785, "/app"},
        {32786, "/m28"},  {32787, "/mcs"},  {32788, "/col"},  {32789, "/tarnns"}, {32813, "/nav"},
        {32814, "/patu"}, {32815, "/log"},  {32816, "/task"},
    };
    for (const auto& [id, text] : chained) {
        table.push_back({id, {"hide", "0:" + text + "\r"}, {"hide", "new:" + text}});
    }
    const std::pair<int32_t, std::string> typed[] = {
        {32790, "LA\r"}, {32791, "<"},      {32792, "["},    {32793, "]"},      {32794, ">"},
        {32795, "G\r"},  {32796, "/pat\r"}, {32797, "R?\r"}, {32798, "M?\r"},   {32799, "MS\r"},
        {32800, "L\r"},  {32801, "D?\r"},   {32802, "JC\r"}, {32803, "/tem\r"}, {32804, "s\r"},
        {32805, "sa\r"}, {32806, "+"},      {32807, "="},    {32808, "-"},      {32809, "\t"},
        {32810, "&\r"},  {32811, "!\r"},    {32812, "*\r"},
    };
    for (const auto& [id, text] : typed) {
        table.push_back({id, {"hide", "0:" + text}, {"hide", "0:" + text}});
    }
    const Golden control[] = {
        {kNewWindowButton, {"NewWindow"}, {"NewWindow"}},
        {kCalculatorButton, {"ShowCalc"}, {"ShowCalc"}},
        {kProcessButton, {"SendProcess"}, {"SendProcess"}},
        {kHelpButton, {"hide", "0:\x1b[H"}, {"hide", "0:\x1b[H"}},
        {kEscapeButton, {"hide", "0:\x1b[@"}, {"hide", "0:\x1b[@"}},
    };
    table.insert(table.end(), std::begin(control), std::end(control));
    return table;
}

TEST(ToolbarCommands, EveryButtonSendsItsGoldenBytes) {
    for (const Golden& g : GoldenTable()) {
        for (const bool chainable : {true, false}) {
            RecordingTarget target;
            target.m_chainable = chainable;
            EXPECT_TRUE(RunToolbarCommand(g.id, target)) << g.id;
            EXPECT_EQ(target.m_ops, chainable ? g.chainable : g.notChainable)
                << g.id << " chainable " << chainable;
        }
    }
}

TEST(ToolbarCommands, EveryButtonOnABarIsInTheGoldenTable) {
    std::set<int32_t> golden;
    for (const Golden& g : GoldenTable()) {
        golden.insert(g.id);
    }
    std::set<int32_t> seen;
    for (const ToolbarKind bar : {ToolbarKind::System, ToolbarKind::MedicalRecords, ToolbarKind::Appointment,
                                  ToolbarKind::Mpi, ToolbarKind::Control}) {
        for (const ToolbarButton& button : ToolbarButtons(bar)) {
            EXPECT_TRUE(golden.count(button.id)) << button.id;
            EXPECT_TRUE(seen.insert(button.id).second) << "twice: " << button.id;
            EXPECT_EQ(ToolbarHandlerOf(button.id), bar) << button.id;
            EXPECT_FALSE(button.tooltip.empty()) << button.id;
        }
    }
    EXPECT_EQ(ToolbarButtons(ToolbarKind::System).size(), 18u);
    EXPECT_EQ(ToolbarButtons(ToolbarKind::Appointment).size(), 16u);
}

TEST(ToolbarCommands, IdsOfNoToolbarAndTheClosingControlDoNothing) {
    RecordingTarget target;
    for (const int32_t id : {0, 105, 107, 32771, 32822, 32830}) {
        EXPECT_FALSE(RunToolbarCommand(id, target)) << id;
    }
    target.m_closing = true;
    EXPECT_TRUE(RunToolbarCommand(32783, target));
    EXPECT_TRUE(RunToolbarCommand(kHelpButton, target));
    EXPECT_TRUE(target.m_ops.empty());
}

TEST(ToolbarCommands, AHandlerGivenAnotherBarsIdNamesItself) {
    const std::pair<ToolbarKind, std::string> cases[] = {
        {ToolbarKind::Appointment, "Unknown Appointment ToolBar Button"},
        {ToolbarKind::MedicalRecords, "Unknown Medical Records ToolBar Button"},
        {ToolbarKind::System, "Unknown System ToolBar Button"},
        {ToolbarKind::Mpi, "Unknown Mpi ToolBar Button"},
    };
    for (const auto& [bar, message] : cases) {
        EXPECT_EQ(MainToolbarAction(bar, kHelpButton, true),
                  (ToolbarAction{ToolbarAction::Kind::Unknown, message}));
    }
    EXPECT_EQ(MainToolbarAction(ToolbarKind::Mpi, 32783, true).kind, ToolbarAction::Kind::Unknown);
}

TEST(ToolbarCommands, HostNumbersChooseTheMainToolbar) {
    const std::map<int32_t, ToolbarKind> cases = {
        {0, ToolbarKind::System},  {1, ToolbarKind::MedicalRecords}, {2, ToolbarKind::Appointment},
        {3, ToolbarKind::Mpi},     {4, ToolbarKind::System},         {7, ToolbarKind::System},
        {-1, ToolbarKind::System},
    };
    for (const auto& [n, bar] : cases) {
        CToolbarSet set;
        set.SwitchMain(2);
        set.SwitchMain(n);
        EXPECT_EQ(set.Main(), bar) << n;
        EXPECT_EQ(set.MainButtons().data(), ToolbarButtons(bar).data()) << n;
    }
}

TEST(ToolbarCommands, SimpleSwitchesBackAndForth) {
    CToolbarSet set;
    set.SwitchMain(2);
    ASSERT_EQ(set.ControlButtons().size(), 5u);
    EXPECT_EQ(set.ControlIndent(), 5);
    const std::pair<bool, size_t> steps[] = {{true, 3}, {false, 5}, {true, 3},
                                             {true, 3}, {false, 5}, {false, 5}};
    for (const auto& [simple, buttons] : steps) {
        set.SetSimple(simple);
        EXPECT_EQ(set.ControlButtons().size(), buttons);
        EXPECT_EQ(set.ControlIndent(), simple ? 30 : 5);
        EXPECT_EQ(set.MainButtons().empty(), simple);
    }
    set.SetSimple(true);
    EXPECT_EQ(set.ControlButtons().front().id, kProcessButton);
    EXPECT_EQ(set.ControlButtons().back().id, kEscapeButton);
    // The host's bar numbers leave the Simple form's main toolbar empty; leaving it shows System.
    set.SwitchMain(2);
    EXPECT_TRUE(set.MainButtons().empty());
    set.SetSimple(false);
    EXPECT_EQ(set.Main(), ToolbarKind::System);
    EXPECT_EQ(set.ControlButtons().front().id, kNewWindowButton);
    // Made in the Simple form, the main toolbar starts empty too.
    EXPECT_TRUE(CToolbarSet(true).MainButtons().empty());
}

TEST(ToolbarCommands, StatusBarPagingCommands) {
    const std::pair<int32_t, std::string> cases[] = {
        {32833, "\x1b[A"}, {32832, "\x1b[B"}, {32831, "\x1b[$"}, {32830, "\x1b[#"}};
    for (const auto& [id, bytes] : cases) {
        RecordingTarget target;
        EXPECT_TRUE(RunStatusBarCommand(id, target));
        EXPECT_EQ(target.m_ops, std::vector<std::string>{"0:" + bytes}) << id;
    }
    RecordingTarget target;
    EXPECT_FALSE(RunStatusBarCommand(32834, target));
    EXPECT_TRUE(target.m_ops.empty());
    // Left to right, 17 pixels apart from 75 to 24 before the right edge.
    int32_t expected = 75;
    for (const StatusButtonSpec& button : StatusButtons()) {
        EXPECT_EQ(button.fromRight, expected);
        expected -= 17;
    }
}

}  // namespace
}  // namespace terminal::bars
