// tool_run.h: runs the built tool in a scratch folder and builds progs.dat images for the tests.
#ifndef VELMORA_TOOL_RUN_H
#define VELMORA_TOOL_RUN_H

#include <array>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

struct ToolRun {
    int status;      // exit status, or 128 + signal number
    std::string out; // standard output, "\r\n" folded to "\n"
    std::string err; // standard error, likewise
};

// A fresh folder for one run; holds progs.dat and cmaps.cfg.
std::string make_work_dir();
// A fresh folder holding the given progs.dat and cmaps.cfg.
std::string work_dir_with(const std::string &progs, const std::string &map_list);
void write_file(const std::string &path, const std::string &bytes);
std::string read_file(const std::string &path);

// True when the tool under test is a Windows build (VELMORA_TOOL_OS=windows),
// run under Wine: cases that need POSIX features of its process skip there.
bool tool_is_windows();
// True when the tool under test is a WebAssembly build (VELMORA_TOOL_OS=wasi),
// run under Node's WASI: it sees only the folder it runs in, and its system
// calls are Node's.
bool tool_is_wasi();

// Puts at path a link to a file that opens for update but fails every read.
// Returns why the tool under test cannot be given one, or empty when it was.
std::string link_to_unreadable(const std::string &path);

// The program that runs the tool (VELMORA_COMMAND): the built tool itself, or
// a launcher that runs a cross-built one.
std::string tool_program();

// Runs the program named by VELMORA_COMMAND in dir, with /dev/null as input.
// child_setup runs in the child just before exec; merge sends both streams
// to one file, returned in out; launcher, when given, is a command line that
// runs the tool as its last arguments (a tracer, say), found on PATH.
ToolRun run_tool(const std::string &dir, const std::vector<std::string> &args = {},
                 const std::function<void()> &child_setup = nullptr, bool merge = false,
                 const std::vector<std::string> &launcher = {});

// A child_setup for run_tool: as root, the tool runs with no capability at
// all, so that permission bits bind it as they bind any file owner; root
// would otherwise open read-only files for update. A child that cannot give
// them up exits with kStillPrivileged, for its test to skip.
constexpr int kStillPrivileged = 126;
void drop_privileges();

// Why strace cannot fail the tool's system calls here, or empty when it can.
std::string strace_unusable();
// A child_setup for a run under strace: LeakSanitizer cannot stop a traced process.
void without_leak_check();

// A child_setup for run_tool that gives the tool the file at path as its
// standard input.
std::function<void()> input_from(const std::string &path);

// Runs the tool with --check in dir, then without options, and returns the
// second run. --check must leave both files as they were, modification times
// included, and agree with the run: the same status, the same lines up to an
// error, and on success the names that --list shows after the run.
ToolRun run_checked(const std::string &dir, const std::function<void()> &child_setup = nullptr);

using Slots = std::array<int, 10>;
using Names = std::vector<std::pair<int, std::string>>;

// The 21 bytes of one slot for digit: an old name, leftover bytes, its marker.
std::string slot_bytes(int digit);
// Default slot positions used by most tests: spread over a 4 KiB image.
Slots spread_slots();
// An image of size bytes of filler that holds no "t!g", with a slot for each
// digit at the given position; a negative position leaves that digit out.
std::string make_progs(std::size_t size, const Slots &slots);
// image with a slot for each digit laid over it, as make_progs places them.
std::string with_slots(std::string image, const Slots &slots);
// What progs.dat must hold after a successful run: every slot emptied, then
// each definition's name and its zero byte written in order, and the file
// grown with zeros to the window's 16,383 data bytes if it was shorter.
std::string patched(std::string image, const Slots &slots, const Names &names);

// Equal byte strings, or the first offset where they differ; printing two
// whole progs images would bury the difference.
bool same_bytes(const std::string &actual, const std::string &expected, std::string *why);
#define EXPECT_BYTES(actual, expected)                                                             \
    do {                                                                                           \
        std::string why_;                                                                          \
        EXPECT_TRUE(same_bytes(actual, expected, &why_)) << why_;                                  \
    } while (0)

// Names a parameterised test case after its row's label.
struct RowLabel {
    template <typename Info> std::string operator()(const Info &row) const {
        return row.param.label;
    }
};
// Shows a row by its label when a parameterised test fails.
#define PRINT_ROW_AS_LABEL(Row)                                                                    \
    [[maybe_unused]] void PrintTo(const Row &row, std::ostream *os) {                              \
        *os << row.label;                                                                          \
    }

// Lines the tool prints on standard output for a run that ends in a map
// list error, and for one that succeeds.
extern const char *const kLinesUpToMapList;
extern const char *const kLinesOfSuccess;
// What --check adds in a folder with no maps and no id1 beside it.
extern const char *const kNoMapsNote;

#endif
