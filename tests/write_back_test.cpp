// Putting progs.dat back: every system call of a run failed in turn, faults that also defeat
// the undo, and a disk that fills up.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "game_folder.h"
#include "tool_run.h"

namespace {

using std::string;
using Words = std::vector<string>;

// Slots that fit the shortest progs.dat below.
const Slots kSlots = {20, 80, 140, 200, 260, 320, 380, 440, 500, 560};
const char *const kMapList = "LOCALMAP3=\"e3m3\";";
const Names kNames = {{3, "e3m3"}};

const char *const kPutBack = "Error: Cannot write progs.dat\n";
const char *const kNotPutBack = "Error: Cannot write progs.dat, and could not put it back\n";

// One "Error: " line and nothing else.
bool one_error_line(const string &err) {
    return err.rfind("Error: ", 0) == 0 && err.find('\n') == err.size() - 1;
}

struct Call {
    string name;
    int number; // among the process's calls of this name since it started: strace's when=
    string line;
};

// The calls of a run traced with strace -f -y, from its first open of progs.dat on.
// Calls on coverage counters (*.gcda), which a coverage build writes as it exits, are
// counted but left out: a failure there loses counts, not bytes of either file.
std::vector<Call> calls_from_progs_open(const string &log) {
    std::map<string, int> seen;
    std::vector<Call> calls;
    std::istringstream lines(log);
    for (string line; std::getline(lines, line);) {
        std::size_t start = line.find_first_not_of("0123456789 "); // past the pid
        std::size_t paren = line.find('(');
        if (start == string::npos || paren == string::npos || paren <= start) {
            continue;
        }
        string name = line.substr(start, paren - start);
        // Skips "<... read resumed>", "--- SIGCHLD ..." and the like.
        if (name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") != string::npos) {
            continue;
        }
        int number = ++seen[name];
        bool opens_progs = name.rfind("open", 0) == 0 && line.find("\"progs.dat\"") != string::npos;
        if ((!calls.empty() || opens_progs) && line.find(".gcda") == string::npos) {
            calls.push_back({name, number, line});
        }
    }
    return calls;
}

struct Length {
    const char *label;
    std::size_t size;
    bool pack = false; // a pak0.pak whose copy the run writes after the loose one
};
PRINT_ROW_AS_LABEL(Length)

const Length kLengths[] = {
    {"ShortGrows", 700}, {"LongKeepsTail", 20000}, {"PackAfterLoose", 700, true}};

// The pack of the PackAfterLoose row: its copy, of another build, between two
// other entries, so that a write past the copy shows.
const Slots kPackSlots = {30, 90, 150, 210, 270, 330, 390, 450, 510, 570};
string pack_with_copy() {
    return pack({{"a", "before"}, {"progs.dat", make_progs(640, kPackSlots)}, {"b", "after"}});
}
string patched_pack() {
    string copy = make_progs(640, kPackSlots);
    return pack({{"a", "before"},
                 {"progs.dat", patched(copy, kPackSlots, kNames).substr(0, 640)},
                 {"b", "after"}});
}

class FaultMatrix : public testing::TestWithParam<Length> {};

// Each call of a successful run fails once, with each error in turn: the run must still
// write exactly the right bytes, or report one error and leave both files as they were.
TEST_P(FaultMatrix, EveryFailedCallWritesAllOrNothing) {
    string unusable = strace_unusable();
    if (!unusable.empty()) {
        GTEST_SKIP() << unusable;
    }
    string progs = make_progs(GetParam().size, kSlots);
    string expected = patched(progs, kSlots, kNames);
    string dir = work_dir_with(progs, kMapList);
    string log = dir + "/../trace";
    string pack_before = GetParam().pack ? pack_with_copy() : "";
    string pack_after = GetParam().pack ? patched_pack() : "";
    auto write_pack = [&] {
        if (GetParam().pack) {
            write_file(dir + "/pak0.pak", pack_before);
        }
    };
    write_pack();

    ToolRun recorded = run_tool(dir, {}, without_leak_check, false,
                                {"strace", "-f", "-y", "--quiet=all", "-o", log});
    ASSERT_EQ(recorded.status, 0) << recorded.err;
    EXPECT_BYTES(read_file(dir + "/progs.dat"), expected);
    EXPECT_EQ(read_file(dir + "/pak0.pak"), pack_after);
    std::vector<Call> calls = calls_from_progs_open(read_file(log));
    // A trace this code misreads would give an empty matrix that passes.
    ASSERT_TRUE(std::any_of(calls.begin(), calls.end(), [](const Call &call) {
        return call.name == "write" && call.line.find("progs.dat>") != string::npos;
    })) << read_file(log);

    int runs = 0, done = 0;
    for (const Call &call : calls) {
        for (const char *error : {"EIO", "ENOSPC", "EINTR"}) {
            string inject = call.name + ":error=" + error + ":when=" + std::to_string(call.number);
            SCOPED_TRACE("inject=" + inject + " on " + call.line);
            write_file(dir + "/progs.dat", progs);
            write_file(dir + "/cmaps.cfg", kMapList);
            write_pack();

            ToolRun run = run_tool(
                dir, {}, without_leak_check, false,
                {"strace", "-f", "--quiet=all", "-o", "/dev/null", "-e", "inject=" + inject});
            ++runs;
            if (run.status == 0) {
                ++done;
                EXPECT_EQ(run.err, "");
                EXPECT_BYTES(read_file(dir + "/progs.dat"), expected);
                EXPECT_EQ(read_file(dir + "/pak0.pak"), pack_after);
            } else {
                EXPECT_EQ(run.status, 1);
                EXPECT_TRUE(one_error_line(run.err)) << run.err;
                EXPECT_BYTES(read_file(dir + "/progs.dat"), progs);
                EXPECT_EQ(read_file(dir + "/pak0.pak"), pack_before);
            }
            EXPECT_BYTES(read_file(dir + "/cmaps.cfg"), kMapList);
        }
    }
    std::printf("Fault matrix, %zu-byte progs.dat: %d injected runs (%zu calls, 3 errors "
                "each): %d exit 0, %d exit 1\n",
                progs.size(), runs, calls.size(), done, runs - done);
}

INSTANTIATE_TEST_SUITE_P(Table, FaultMatrix, testing::ValuesIn(kLengths), RowLabel());

// Two faults, or one that strikes after every byte went out. strace -P counts the calls
// on progs.dat alone, so the rows hold in every build. A 700-byte file is written back
// as lseek 1 and write 1 (the zeros that grow it), lseek 2 and write 2 (its data), close
// 1; a longer one as lseek 1, write 1, close 1; a close that fails reopens it (openat 2).
struct DoubleFault {
    const char *label;
    std::size_t size;
    const char *injections; // strace -e inject= values, blank-separated
    const char *err;
    bool unchanged; // whether both files must be as they were
    // The files whose calls strace counts; with a pak0.pak whose copy the
    // run writes after the loose one.
    const char *traced = "progs.dat";
};
PRINT_ROW_AS_LABEL(DoubleFault)

const DoubleFault kDoubleFaults[] = {
    // The undo cannot tell that a failed write wrote nothing, so it puts back
    // what may have changed. The file grows before its data is written: when
    // writing the data and everything after fails, the file is still as it
    // was, though the tool cannot vouch for that.
    {"WriteThenRestoreWrite", 700, "write:error=EIO:when=2+", kNotPutBack, true},
    {"WriteThenEverySeek", 700, "write:error=EIO:when=2 lseek:error=EIO:when=3+", kNotPutBack,
     true},
    {"LongWriteThenEverySeek", 20000, "write:error=EIO:when=1 lseek:error=EIO:when=2+", kNotPutBack,
     true},
    {"WriteThenTruncate", 700, "write:error=EIO:when=2 ftruncate:error=EIO", kNotPutBack, false},
    {"WriteThenClose", 700, "write:error=EIO:when=2 close:error=EIO", kNotPutBack, false},
    // A seek that fails before the first byte leaves nothing to undo.
    {"FirstSeek", 20000, "lseek:error=EIO:when=1", kPutBack, true},
    // A failed close leaves every byte possibly written, and the file reopened.
    {"CloseThenReopen", 700, "close:error=EIO openat:error=EIO:when=2", kNotPutBack, false},
    {"CloseThenTruncate", 700, "close:error=EIO:when=1 ftruncate:error=EIO", kNotPutBack, false},
    {"CloseThenEverySeek", 700, "close:error=EIO:when=1 lseek:error=EIO:when=3+", kNotPutBack,
     false},
    {"CloseThenRestoreWrite", 700, "close:error=EIO:when=1 write:error=EIO:when=3", kNotPutBack,
     false},
    {"LongCloseThenRestoreWrite", 20000, "close:error=EIO:when=1 write:error=EIO:when=2",
     kNotPutBack, false},
    {"CloseThenCloseAgain", 700, "close:error=EIO", kNotPutBack, false},
    {"Close", 700, "close:error=EIO:when=1", kPutBack, true},
    {"LongClose", 20000, "close:error=EIO:when=1", kPutBack, true},
    // The pack's close fails after both were written (its first two closes
    // are the reads that find its copy): the loose file, closed already, is
    // opened again, and both go back.
    {"PackCloseAfterLoose", 700, "close:error=EIO:when=3",
     "Error: Cannot write pak0.pak:progs.dat\n", true, "pak0.pak"},
    // Every write from the pack's on fails: neither goes back.
    {"PackWriteThenNothingPutBack", 700, "write:error=EIO:when=3+",
     "Error: Cannot write pak0.pak:progs.dat, and could not put progs.dat back\n", false,
     "progs.dat pak0.pak"},
};

class UndoFault : public testing::TestWithParam<DoubleFault> {};

TEST_P(UndoFault, SaysWhetherProgsWasPutBack) {
    string unusable = strace_unusable();
    if (!unusable.empty()) {
        GTEST_SKIP() << unusable;
    }
    const DoubleFault &c = GetParam();
    string progs = make_progs(c.size, kSlots);
    string dir = work_dir_with(progs, kMapList);
    // --quiet=all before -P, or strace reports how it resolved the path on stderr.
    string pack_before = pack_with_copy();
    bool with_pack = string(c.traced) != "progs.dat";
    if (with_pack) {
        write_file(dir + "/pak0.pak", pack_before);
    }
    Words strace = {"strace", "--quiet=all", "-o", "/dev/null"};
    std::istringstream traced(c.traced);
    for (string path; traced >> path;) {
        strace.insert(strace.end(), {"-P", path});
    }
    std::istringstream injections(c.injections);
    for (string injection; injections >> injection;) {
        strace.insert(strace.end(), {"-e", "inject=" + injection});
    }

    ToolRun run = run_tool(dir, {}, without_leak_check, false, strace);

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, c.err);
    if (c.unchanged) {
        EXPECT_BYTES(read_file(dir + "/progs.dat"), progs);
        EXPECT_EQ(read_file(dir + "/pak0.pak"), with_pack ? pack_before : "");
    }
    EXPECT_BYTES(read_file(dir + "/cmaps.cfg"), kMapList);
}

INSTANTIATE_TEST_SUITE_P(Table, UndoFault, testing::ValuesIn(kDoubleFaults), RowLabel());

// A disk that fills up: a tmpfs just large enough for progs.dat and cmaps.cfg, in whole
// pages, as tmpfs counts them. A short progs.dat cannot grow to the window's length
// there; a long one is rewritten in place and needs no new space.
struct Disk {
    const char *label;
    std::size_t size;
    bool fits;
};
PRINT_ROW_AS_LABEL(Disk)

const Disk kDisks[] = {{"ShortCannotGrow", 600, false}, {"LongNeedsNoSpace", 20000, true}};

// Unmounts on every way out of the test, failed assertions included.
struct Unmount {
    string dir;
    ~Unmount() {
        umount2(dir.c_str(), MNT_DETACH);
    }
};

class FullDisk : public testing::TestWithParam<Disk> {};

TEST_P(FullDisk, WritesAllOrPutsProgsBack) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    const Disk &c = GetParam();
    string progs = make_progs(c.size, kSlots);
    auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::size_t pages = (progs.size() + page - 1) / page + 1; // cmaps.cfg takes one
    string dir = make_work_dir();
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + std::to_string(pages * page)).c_str()) !=
        0) {
        GTEST_SKIP() << "cannot mount a tmpfs on " << dir << ": " << std::strerror(errno);
    }
    Unmount unmount{dir};
    write_file(dir + "/progs.dat", progs);
    write_file(dir + "/cmaps.cfg", kMapList);
    struct statvfs disk = {};
    ASSERT_EQ(statvfs(dir.c_str(), &disk), 0);
    ASSERT_EQ(disk.f_bavail, 0u) << "the tmpfs must be full";

    ToolRun run = run_tool(dir);

    if (c.fits) {
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_BYTES(read_file(dir + "/progs.dat"), patched(progs, kSlots, kNames));
    } else {
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, kPutBack);
        EXPECT_BYTES(read_file(dir + "/progs.dat"), progs);
    }
    EXPECT_BYTES(read_file(dir + "/cmaps.cfg"), kMapList);
}

INSTANTIATE_TEST_SUITE_P(Table, FullDisk, testing::ValuesIn(kDisks), RowLabel());

} // namespace
