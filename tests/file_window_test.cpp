// Loading the two windows and writing progs.dat back: lengths, limits and every I/O failure.
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

using std::string;

constexpr std::size_t kWindowData = 16383;

struct Length {
    const char *label;
    std::size_t size;
};
PRINT_ROW_AS_LABEL(Length)

const Length kLengths[] = {{"ShortGrows", 700}, {"ExactWindow", 16383}, {"LongKeepsTail", 70000}};

Slots packed_slots() {
    return {20, 80, 140, 200, 260, 320, 380, 440, 500, 560};
}

class WriteBack : public testing::TestWithParam<Length> {};

TEST_P(WriteBack, RewritesExactlyTheWindowsData) {
    string dir = make_work_dir();
    string progs = make_progs(GetParam().size, packed_slots());
    if (progs.size() > kWindowData) {
        progs[kWindowData] = 'Z'; // the byte the window replaces by its zero
    }
    write_file(dir + "/progs.dat", progs);
    write_file(dir + "/cmaps.cfg", "LOCALMAP3=\"e3m3\";");

    ASSERT_EQ(run_tool(dir).status, 0);

    string grown =
        progs.size() < kWindowData ? progs + string(kWindowData - progs.size(), 0) : progs;
    EXPECT_BYTES(read_file(dir + "/progs.dat"), patched(grown, packed_slots(), {{3, "e3m3"}}));
}

INSTANTIATE_TEST_SUITE_P(Table, WriteBack, testing::ValuesIn(kLengths), RowLabel());

// A text-mode stream on Windows would turn "\n" into "\r\n" on the way out
// and stop reading at the first 0x1A; both files must pass every byte value
// untranslated, within the window and after it.
TEST(Binary, EveryByteValuePassesUntranslated) {
    string dir = make_work_dir();
    // Counting bytes never hold "t!g", so only the slots placed here count.
    string counting(20000, 0);
    for (std::size_t i = 0; i < counting.size(); ++i) {
        counting[i] = static_cast<char>(i % 256);
    }
    Slots slots = spread_slots();
    string progs = with_slots(counting, slots);
    string map_list = "LOCALMAP0=\"a\x1a\rb\";\r\nLOCALMAP9=\"\xff\x80\";\n";
    write_file(dir + "/progs.dat", progs);
    write_file(dir + "/cmaps.cfg", map_list);

    ToolRun run = run_tool(dir);

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_BYTES(read_file(dir + "/progs.dat"),
                 patched(progs, slots, {{0, "a\x1a\rb"}, {9, "\xff\x80"}}));
}

// Comment lines of exactly length bytes.
string comment_padding(std::size_t length) {
    string text;
    while (text.size() + 64 <= length) {
        text += "//" + string(61, '-') + "\n";
    }
    return text + string("//////////////////////////////////////////////////////////////")
                      .substr(0, length - text.size());
}

int lines_in(const string &text) {
    return 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(MapListWindow, BytesPastTheWindowAreNotRead) {
    string dir = make_work_dir();
    string progs = make_progs(4096, spread_slots());
    string head = "LOCALMAP1=\"one\";\n";
    string map_list =
        head + comment_padding(kWindowData - head.size() - 1) + "\n" + "LOCALMAP2=\"two\";";
    write_file(dir + "/progs.dat", progs);
    write_file(dir + "/cmaps.cfg", map_list);

    ToolRun run = run_tool(dir);

    EXPECT_EQ(run.status, 0);
    EXPECT_BYTES(read_file(dir + "/progs.dat"), patched(progs, spread_slots(), {{1, "one"}}));
}

// A definition cut by the window's end: the reader meets the zero after the
// window's data, never the bytes after it, and names the line it stopped on.
struct CutDefinition {
    const char *label;
    std::size_t kept; // bytes of the definition inside the window
    const char *error;
};
PRINT_ROW_AS_LABEL(CutDefinition)

const CutDefinition kCutDefinitions[] = {
    {"InsideKeyword", 5, "Unknown user var"},  {"AfterKeyword", 8, "Bad LOCALMAP def"},
    {"AfterEquals", 10, "Expected '\"'"},      {"InsideName", 12, "String too long"},
    {"AfterClosingQuote", 20, "Expected ';'"},
};

class MapListWindowEnd : public testing::TestWithParam<CutDefinition> {};

TEST_P(MapListWindowEnd, StopsOnTheZeroAfterTheWindow) {
    const CutDefinition &c = GetParam();
    string dir = make_work_dir();
    string progs = make_progs(4096, spread_slots());
    string padding = comment_padding(kWindowData - c.kept) + "\n";
    padding.erase(padding.size() - 2, 1); // keep the length, end on a line feed
    string map_list = padding + "LOCALMAP1=\"abcdefgh\";";
    write_file(dir + "/progs.dat", progs);
    write_file(dir + "/cmaps.cfg", map_list);

    ToolRun run = run_checked(dir);

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              string("Error: ") + c.error + " at line " + std::to_string(lines_in(padding)) + "\n");
    EXPECT_BYTES(read_file(dir + "/progs.dat"), progs);
    EXPECT_BYTES(read_file(dir + "/cmaps.cfg"), map_list);
}

INSTANTIATE_TEST_SUITE_P(Table, MapListWindowEnd, testing::ValuesIn(kCutDefinitions), RowLabel());

// How a file is made unusable, what the tool prints before its error, and
// the error. The tool runs without root's powers, which would let it open
// read-only files for writing.
struct BadFile {
    const char *label;
    const char *file;
    const char *how; // "missing", "directory", "read-only", "unreadable"
    const char *out;
    const char *error;
};
PRINT_ROW_AS_LABEL(BadFile)

const BadFile kBadFiles[] = {
    {"ProgsMissing", "progs.dat", "missing", "Velmora\n", "Cannot open progs.dat"},
    {"ProgsDirectory", "progs.dat", "directory", "Velmora\n", "Cannot open progs.dat"},
    {"ProgsReadOnly", "progs.dat", "read-only", "Velmora\n", "Cannot open progs.dat"},
    {"ProgsUnreadable", "progs.dat", "unreadable", "Velmora\nReading progs.dat...\n",
     "Cannot read progs.dat"},
    {"CmapsMissing", "cmaps.cfg", "missing", "Velmora\nReading progs.dat...\n",
     "Cannot open cmaps.cfg"},
    {"CmapsDirectory", "cmaps.cfg", "directory", "Velmora\nReading progs.dat...\n",
     "Cannot open cmaps.cfg"},
    {"CmapsReadOnly", "cmaps.cfg", "read-only", "Velmora\nReading progs.dat...\n",
     "Cannot open cmaps.cfg"},
    {"CmapsUnreadable", "cmaps.cfg", "unreadable", kLinesUpToMapList, "Cannot read cmaps.cfg"},
};

class UnusableFile : public testing::TestWithParam<BadFile> {};

TEST_P(UnusableFile, StopsBeforeWritingAnything) {
    const BadFile &c = GetParam();
    bool windows = tool_is_windows();
    if (windows && string(c.how) == "read-only" && geteuid() == 0) {
        GTEST_SKIP() << "root writes read-only files, and Wine will not run as another user "
                        "in a prefix that root owns";
    }
    string progs = make_progs(4096, spread_slots());
    string dir = work_dir_with(progs, "LOCALMAP1=\"a\";");
    string path = dir + "/" + c.file, how = c.how;
    chmod((dir + "/progs.dat").c_str(), 0666);
    chmod((dir + "/cmaps.cfg").c_str(), 0666);
    unlink(path.c_str());
    if (how == "directory") {
        mkdir(path.c_str(), 0755);
    } else if (how == "read-only") {
        write_file(path, c.file == string("progs.dat") ? progs : "LOCALMAP1=\"a\";");
        chmod(path.c_str(), 0444);
    } else if (how == "unreadable") {
        string unusable = link_to_unreadable(path);
        if (!unusable.empty()) {
            GTEST_SKIP() << unusable;
        }
    }

    ToolRun run = run_checked(dir, windows ? nullptr : drop_privileges);
    if (run.status == kStillPrivileged) {
        GTEST_SKIP() << "root cannot give up its capabilities here (no CAP_SETPCAP), and "
                        "with them it would open read-only files for update";
    }

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, string("Error: ") + c.error + "\n");
    if (string(c.file) == "cmaps.cfg") {
        EXPECT_BYTES(read_file(dir + "/progs.dat"), progs);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, UnusableFile, testing::ValuesIn(kBadFiles), RowLabel());

// A file size limit below the window's length, on a progs.dat that must grow to it.
// The write-back goes straight to the file, so the limit fails it where the old
// file ended or part way through. (The limit also binds the files that capture the
// run's output and a coverage build's count files, so it stays above their size.) The tool must put
// progs.dat back whether the run inherits SIGXFSZ ignored or at its default, which would otherwise
// kill it mid-write.
struct SizeLimit {
    const char *label;
    rlim_t bytes;
    bool signal_ignored;
};
PRINT_ROW_AS_LABEL(SizeLimit)

// Long enough that a coverage build's largest count file stays below every limit.
constexpr std::size_t kOldLength = 6000;
const SizeLimit kSizeLimits[] = {
    {"AtOldEnd", kOldLength, true},
    {"PartWay", 10000, true},
    {"PartWaySignalAtDefault", 10000, false},
    {"AtLastByteSignalAtDefault", kWindowData - 1, false},
};

class WriteFailure : public testing::TestWithParam<SizeLimit> {};

TEST_P(WriteFailure, PutsProgsBack) {
    if (tool_is_windows()) {
        GTEST_SKIP() << "Windows has no file size limit, and RLIMIT_FSIZE would also bind the "
                        "Wine server the run may start";
    }
    string progs = make_progs(kOldLength, packed_slots());
    string dir = work_dir_with(progs, "");
    SizeLimit c = GetParam();

    ToolRun run = run_tool(dir, {}, [c] {
        std::signal(SIGXFSZ, c.signal_ignored ? SIG_IGN : SIG_DFL);
        struct rlimit limit = {c.bytes, c.bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
    });

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, string(kLinesUpToMapList) + "Writing progs.dat...\n");
    EXPECT_EQ(run.err, "Error: Cannot write progs.dat\n");
    EXPECT_BYTES(read_file(dir + "/progs.dat"), progs);
}

INSTANTIATE_TEST_SUITE_P(Table, WriteFailure, testing::ValuesIn(kSizeLimits), RowLabel());

// A progs.dat that reads like a file but cannot be rewound (a named pipe holding a
// whole image): loading succeeds, and the write-back's seek must fail loudly.
TEST(WriteBack, ProgsThatCannotBeRewoundIsReported) {
    string dir = make_work_dir();
    string fifo = dir + "/progs.dat";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    // Opening for reading and writing does not wait for a writer, and leaves the
    // image in the pipe for the tool; more than a window, so no read ever waits.
    int pipe_end = open(fifo.c_str(), O_RDWR);
    ASSERT_GE(pipe_end, 0);
    string progs = make_progs(kWindowData + 100, packed_slots());
    ASSERT_EQ(write(pipe_end, progs.data(), progs.size()), static_cast<ssize_t>(progs.size()));
    write_file(dir + "/cmaps.cfg", "LOCALMAP3=\"e3m3\";");

    // The alarm ends the tool should it wait on the pipe after all.
    ToolRun run = run_tool(dir, {}, [] { alarm(20); });
    close(pipe_end);

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, string(kLinesUpToMapList) + "Writing progs.dat...\n");
    EXPECT_EQ(run.err, "Error: Cannot write progs.dat\n");
}

} // namespace
