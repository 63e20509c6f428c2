// The run sequence as a whole: console lines, their order beside errors, and ignored arguments.
#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

using std::string;

TEST(RunSequence, IgnoresArgumentsAndPrintsEveryStage) {
    string progs = make_progs(4096, spread_slots());
    string dir = work_dir_with(progs, "LOCALMAP0=\"e1m1\";");

    ToolRun run = run_tool(dir, {"--help", "other.dat"});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kLinesOfSuccess);
    EXPECT_EQ(run.err, "");
    EXPECT_BYTES(read_file(dir + "/progs.dat"), patched(progs, spread_slots(), {{0, "e1m1"}}));
}

// Both streams into one file, as a log would capture them: the error line
// must come after the progress lines printed before it.
struct Ordered {
    const char *label;
    Slots slots;
    const char *map_list;
    const char *log;
};
PRINT_ROW_AS_LABEL(Ordered)

const Ordered kOrdered[] = {
    {"BadProgs",
     {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
     "",
     "Velmora\nReading progs.dat...\nError: Bad progs.dat\n"},
    {"BadMapList", spread_slots(), "\n\nLOCALMAP=",
     "Velmora\nReading progs.dat...\nReading cmaps.cfg...\nError: Bad LOCALMAP def at line 3\n"},
};

class MergedLog : public testing::TestWithParam<Ordered> {};

TEST_P(MergedLog, KeepsLinesInTheOrderTheyHappened) {
    string dir = work_dir_with(make_progs(4096, GetParam().slots), GetParam().map_list);

    ToolRun run = run_tool(dir, {}, nullptr, true);

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(Table, MergedLog, testing::ValuesIn(kOrdered), RowLabel());

} // namespace
