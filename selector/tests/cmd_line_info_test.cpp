// The selector's command line as a table: mode, administration flag, file and the flags it does not know.

#include "selector/cmd_line_info.h"

#include <gtest/gtest.h>

namespace selector {
namespace {

struct CmdCase {
    std::vector<std::string> args;
    RunMode mode;
    int32_t noadmin;
    std::string file;
    std::vector<std::string> unknown;
};

TEST(CmdLineInfoTest, Table) {
    const std::vector<CmdCase> cases = {
        {{}, RunMode::Dialog, 1, "", {}},
        {{"/NoAdmin"}, RunMode::Dialog, 0, "", {}},
        {{"-NOADMIN", "list.lst"}, RunMode::Dialog, 0, "list.lst", {}},
        {{"-CONVERTPRACTICE", "x.lst"}, RunMode::Convert, 1, "x.lst", {}},
        {{"/convertpractice"}, RunMode::Convert, 1, "", {}},
        {{"/home/u/practice.xml"}, RunMode::Dialog, 1, "/home/u/practice.xml", {}},
        {{"/noadminx"}, RunMode::Dialog, 1, "/noadminx", {}},
        {{"-platform", "offscreen", "a.xml"}, RunMode::Dialog, 1, "a.xml", {}},
        {{"-style=fusion", "-x"}, RunMode::Dialog, 1, "", {"-style=fusion", "-x"}},
        {{"-Embedding"}, RunMode::Embedded, 1, "", {}},
        {{"/Automation", "-convertpractice"}, RunMode::Embedded, 1, "", {}},
        {{"-bogus", "one", "two"}, RunMode::Dialog, 1, "one", {"-bogus"}},
    };
    for (const auto& c : cases) {
        CCmdLineInfo info;
        info.Parse(c.args);
        std::string label = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(info.Mode(), c.mode) << label;
        EXPECT_EQ(info.noadmin, c.noadmin) << label;
        EXPECT_EQ(info.fileName, c.file) << label;
        EXPECT_EQ(info.unknownFlags, c.unknown) << label;
    }
}

}  // namespace
}  // namespace selector
