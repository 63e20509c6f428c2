// The entry: which command the arguments pick, and the console lines of a run beside its errors.
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

using std::string;

// What a command line must do. A run writes the names and prints its five
// lines; every other command leaves both files alone.
enum class Does { run, help, version, refuse };

struct CommandLine {
    const char *label;
    std::vector<string> args;
    Does does;
    const char *error; // the whole of standard error when refused
};
PRINT_ROW_AS_LABEL(CommandLine)

const CommandLine kCommandLines[] = {
    {"NoArguments", {}, Does::run, ""},
    {"WordsAreIgnored", {"other.dat", "two words"}, Does::run, ""},
    {"Help", {"--help"}, Does::help, ""},
    {"HelpShort", {"-h"}, Does::help, ""},
    {"HelpAmongWords", {"please", "--help", "me"}, Does::help, ""},
    {"Version", {"--version"}, Does::version, ""},
    {"Misspelt", {"--chek"}, Does::refuse, "Error: Unknown option --chek\n"},
    {"UnknownShort", {"-x"}, Does::refuse, "Error: Unknown option -x\n"},
    {"LoneDash", {"-"}, Does::refuse, "Error: Unknown option -\n"},
    {"DoubleDash", {"--"}, Does::refuse, "Error: Unknown option --\n"},
    {"OptionCaseMatters", {"--LIST"}, Does::refuse, "Error: Unknown option --LIST\n"},
    {"TwoOptions", {"--list", "--check"}, Does::refuse, "Error: Give one option at a time\n"},
    {"SameOptionTwice",
     {"--help", "x", "--help"},
     Does::refuse,
     "Error: Give one option at a time\n"},
    {"UnknownAndKnown", {"--bogus", "--list"}, Does::refuse, "Error: Give one option at a time\n"},
};

class Arguments : public testing::TestWithParam<CommandLine> {};

TEST_P(Arguments, PickTheCommand) {
    const CommandLine &c = GetParam();
    string progs = make_progs(4096, spread_slots());
    string dir = work_dir_with(progs, "LOCALMAP0=\"e1m1\";");

    ToolRun run = run_tool(dir, c.args);

    EXPECT_EQ(run.err, c.error);
    if (c.does == Does::run) {
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, kLinesOfSuccess);
        EXPECT_BYTES(read_file(dir + "/progs.dat"), patched(progs, spread_slots(), {{0, "e1m1"}}));
        return;
    }
    EXPECT_EQ(run.status, c.does == Does::refuse ? 1 : 0);
    if (c.does == Does::help) {
        // The usage names the files it works on and every option.
        for (const char *word : {"Usage: velmora", "progs.dat", "cmaps.cfg", "--list", "--check",
                                 "--slots", "--make-list", "--help", "--version", "Exit status"}) {
            EXPECT_NE(run.out.find(word), string::npos) << word;
        }
    } else {
        EXPECT_EQ(run.out, c.does == Does::version ? "velmora " VELMORA_VERSION "\n" : "");
    }
    EXPECT_BYTES(read_file(dir + "/progs.dat"), progs);
}

INSTANTIATE_TEST_SUITE_P(Table, Arguments, testing::ValuesIn(kCommandLines), RowLabel());

// Help, version and refusals must not need the files at all; "/?" is help
// only on Windows, and elsewhere a word like any other.
TEST(Arguments, OptionsThatOpenNoFileWorkWithoutThem) {
    string dir = make_work_dir();
    EXPECT_EQ(run_tool(dir, {"--help"}).status, 0);
    EXPECT_EQ(run_tool(dir, {"--version"}).status, 0);
    EXPECT_EQ(run_tool(dir, {"-x"}).err, "Error: Unknown option -x\n");
    ToolRun slash = run_tool(dir, {"/?"});
    if (tool_is_windows()) {
        EXPECT_EQ(slash.status, 0);
        EXPECT_EQ(slash.out.rfind("Usage: velmora", 0), 0u);
    } else {
        EXPECT_EQ(slash.err, "Error: Cannot open progs.dat\n");
    }
}

// An option's output is its whole result (`velmora --list > cmaps.cfg`), so
// output that cannot be written fails it; a run's lines are only its log,
// and a run that wrote progs.dat succeeded. Wine takes writes to /dev/full
// as done, so there the output is a pipe nobody reads.
void to_unwritable_output() {
    int unwritable[2] = {-1, -1};
    if (tool_is_windows() && pipe(unwritable) == 0) {
        close(unwritable[0]);
        signal(SIGPIPE, SIG_IGN);
    } else {
        unwritable[1] = open("/dev/full", O_WRONLY);
    }
    dup2(unwritable[1], 1);
}

TEST(Arguments, OutputThatCannotBeWrittenFailsAnOption) {
    string dir = work_dir_with(make_progs(4096, spread_slots()), "");
    for (const char *option : {"--list", "--check", "--help", "--version"}) {
        ToolRun run = run_tool(dir, {option}, to_unwritable_output);
        EXPECT_EQ(run.status, 1) << option;
        EXPECT_EQ(run.err, "Error: Cannot write standard output\n") << option;
    }
    EXPECT_EQ(run_tool(dir, {}, to_unwritable_output).status, 0);
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
