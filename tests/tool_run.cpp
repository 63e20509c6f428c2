// Running the built tool as a separate process, as its user does.
#include "tool_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/securebits.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

const char *const kLinesUpToMapList = "Velmora\nReading progs.dat...\nReading cmaps.cfg...\n";
const char *const kLinesOfSuccess = "Velmora\nReading progs.dat...\nReading cmaps.cfg...\n"
                                    "Writing progs.dat...\nDone.\n";
const char *const kNoMapsNote =
    "Note: no maps in . or ../id1: the names were not checked against any map\n";

namespace {

std::string fold_crlf(std::string text) {
    std::string folded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            folded += text[i];
        }
    }
    return folded;
}

// Slot digits and positions are ints (-1 marks a missing slot); indexes are not.
std::size_t at(int index) {
    return static_cast<std::size_t>(index);
}

int open_output(const std::string &path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
}

std::vector<std::string> work_dirs;

// Scratch folders go when the test process ends, unless a failure asks for
// them to be kept for a look (VELMORA_KEEP_TEST_DIRS=1).
void remove_work_dirs() {
    if (std::getenv("VELMORA_KEEP_TEST_DIRS") != nullptr) {
        return;
    }
    for (const std::string &dir : work_dirs) {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
}

} // namespace

// A launcher is one word: a ;-list would not survive ctest's ENVIRONMENT.
std::string tool_program() {
    const char *program = std::getenv("VELMORA_COMMAND");
    if (program == nullptr || *program == 0) {
        ADD_FAILURE() << "VELMORA_COMMAND is not set; run the tests through ctest";
        return "false";
    }
    return program;
}

std::string make_work_dir() {
    if (work_dirs.empty()) {
        std::atexit(remove_work_dirs);
    }
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/velmora-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    // Open to all, so a test may run the tool as an unprivileged user.
    chmod(pattern.c_str(), 0755);
    work_dirs.push_back(pattern);
    mkdir((pattern + "/work").c_str(), 0755);
    return pattern + "/work";
}

std::string work_dir_with(const std::string &progs, const std::string &map_list) {
    std::string dir = make_work_dir();
    write_file(dir + "/progs.dat", progs);
    write_file(dir + "/cmaps.cfg", map_list);
    return dir;
}

void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

namespace {

bool tool_os_is(const char *name) {
    const char *os = std::getenv("VELMORA_TOOL_OS");
    return os != nullptr && std::strcmp(os, name) == 0;
}

} // namespace

bool tool_is_windows() {
    return tool_os_is("windows");
}

bool tool_is_wasi() {
    return tool_os_is("wasi");
}

std::string link_to_unreadable(const std::string &path) {
    if (tool_is_wasi()) {
        return "Node's WASI follows no link out of the folder it gives the tool, and no file "
               "inside it fails its reads";
    }
    // Offset 0 of a process's own memory is never mapped: it opens for
    // update but every read fails.
    EXPECT_EQ(symlink("/proc/self/mem", path.c_str()), 0) << path;
    return "";
}

ToolRun run_tool(const std::string &dir, const std::vector<std::string> &args,
                 const std::function<void()> &child_setup, bool merge,
                 const std::vector<std::string> &launcher) {
    std::vector<std::string> words = launcher;
    words.push_back(tool_program());
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::string out_path = dir + "/../stdout", err_path = dir + "/../stderr";
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        int out = open_output(out_path);
        int err = merge ? out : open_output(err_path);
        // Never the terminal ctest may have been started from: a Windows
        // build that finds a console on its input may wait for a key there.
        int in = open("/dev/null", O_RDONLY);
        if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) {
            _exit(125);
        }
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (child_setup) {
            child_setup();
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return {code, fold_crlf(read_file(out_path)), merge ? "" : fold_crlf(read_file(err_path))};
}

// It keeps uid 0 rather than switching to another user: that user could not reach a tool
// built in a private folder, nor write its coverage counts. With SECBIT_NOROOT, uid 0
// gains no capability when it starts a program, and the ambient set is emptied, so the
// tool runs with none at all.
void drop_privileges() {
    if (geteuid() != 0) {
        return;
    }
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECUREBITS, SECBIT_NOROOT | SECBIT_NOROOT_LOCKED, 0, 0, 0) != 0) {
        _exit(kStillPrivileged);
    }
}

// Why strace cannot fail the tool's system calls here, or empty when it can.
std::string strace_unusable() {
    if (tool_is_windows()) {
        return "the tool under test is a Windows build: strace would fail Wine's calls, "
               "not the tool's";
    }
    if (tool_is_wasi()) {
        return "the tool under test is a WebAssembly build: its system calls are Node's, "
               "not the ones these rows count";
    }
    FILE *trial = popen("strace -o /dev/null true 2>&1", "r");
    std::string said;
    char buffer[256];
    for (std::size_t n;
         trial != nullptr && (n = std::fread(buffer, 1, sizeof buffer, trial)) > 0;) {
        said.append(buffer, n);
    }
    int status = trial != nullptr ? pclose(trial) : -1;
    if (status == 0) {
        return "";
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
        return "strace is not installed (Debian: apt-get install strace)";
    }
    return "strace cannot trace a program here (is ptrace allowed?): " + said;
}

// LeakSanitizer stops the process with ptrace, which a traced process refuses, and then
// aborts the run; the suite's untraced runs still check for leaks.
void without_leak_check() {
    const char *options = std::getenv("ASAN_OPTIONS");
    std::string all = options != nullptr ? std::string(options) + ":" : "";
    setenv("ASAN_OPTIONS", (all + "detect_leaks=0").c_str(), 1);
}

std::function<void()> input_from(const std::string &path) {
    return [path] { dup2(open(path.c_str(), O_RDONLY), 0); };
}

namespace {

// The definition lines of a --check or --list output, each without the
// comment --check may add after it.
std::vector<std::string> definitions_in(const std::string &output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = output.substr(start, end - start);
        if (line.rfind("LOCALMAP", 0) == 0) {
            std::size_t comment = std::min(line.find("; // now "), line.find("; // has no name"));
            lines.push_back(comment == std::string::npos ? line : line.substr(0, comment + 1));
        }
    }
    return lines;
}

struct FileState {
    std::string bytes;
    struct stat status;
};

// Only a plain file's bytes are read: the unusable-file cases put a
// directory or a link to unreadable memory in a file's place.
FileState state_of(const std::string &path) {
    FileState state{"", {}};
    if (lstat(path.c_str(), &state.status) == 0 && S_ISREG(state.status.st_mode)) {
        state.bytes = read_file(path);
    }
    return state;
}

void expect_same_state(const FileState &before, const std::string &path) {
    FileState after = state_of(path);
    EXPECT_BYTES(after.bytes, before.bytes);
    EXPECT_EQ(after.status.st_mtim.tv_sec, before.status.st_mtim.tv_sec) << path;
    EXPECT_EQ(after.status.st_mtim.tv_nsec, before.status.st_mtim.tv_nsec) << path;
}

} // namespace

ToolRun run_checked(const std::string &dir, const std::function<void()> &child_setup) {
    FileState progs = state_of(dir + "/progs.dat"), map_list = state_of(dir + "/cmaps.cfg");
    ToolRun check = run_tool(dir, {"--check"}, child_setup);
    expect_same_state(progs, dir + "/progs.dat");
    expect_same_state(map_list, dir + "/cmaps.cfg");

    ToolRun run = run_tool(dir, {}, child_setup);
    EXPECT_EQ(check.status, run.status) << "--check and the run disagree";
    if (run.status != 0) {
        EXPECT_EQ(check.out, run.out);
        EXPECT_EQ(check.err, run.err);
        return run;
    }
    EXPECT_EQ(check.out.rfind(kLinesUpToMapList, 0), 0u) << check.out;
    // A scratch folder holds no maps, and no id1 beside it.
    std::string last = std::string("Check only: progs.dat was not written.\n") + kNoMapsNote;
    EXPECT_EQ(check.out.substr(check.out.size() - std::min(check.out.size(), last.size())), last);
    ToolRun list = run_tool(dir, {"--list"});
    std::vector<std::string> planned = definitions_in(check.out);
    EXPECT_EQ(planned.size(), 10u);
    EXPECT_EQ(planned, definitions_in(list.out));
    return run;
}

std::string slot_bytes(int digit) {
    char d = static_cast<char>('0' + digit);
    return std::string("usermap") + d + std::string("\0oldbyt", 8) + "lt!g" + d;
}

Slots spread_slots() {
    return {100, 500, 900, 1300, 1700, 2100, 2500, 2900, 3300, 3700};
}

std::string make_progs(std::size_t size, const Slots &slots) {
    std::string image(size, 0);
    static const char filler[] = "progs\x01\xff data \x80\x00 LOCAL";
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = filler[i % (sizeof filler - 1)];
    }
    return with_slots(image, slots);
}

std::string with_slots(std::string image, const Slots &slots) {
    for (int digit = 0; digit < 10; ++digit) {
        if (slots[at(digit)] >= 0) {
            image.replace(at(slots[at(digit)]), 21, slot_bytes(digit));
        }
    }
    return image;
}

std::string patched(std::string image, const Slots &slots, const Names &names) {
    if (image.size() < 16383) {
        image.resize(16383, 0);
    }
    for (int position : slots) {
        image[at(position)] = 0;
    }
    for (const auto &[digit, name] : names) {
        image.replace(at(slots[at(digit)]), name.size() + 1, name + '\0');
    }
    return image;
}

bool same_bytes(const std::string &actual, const std::string &expected, std::string *why) {
    if (actual == expected) {
        return true;
    }
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
        ++at;
    }
    *why = "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           ", first difference at offset " + std::to_string(at);
    return false;
}
