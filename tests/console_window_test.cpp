// A console window of its own, as a double-click gives velmora.exe, stays open until Enter.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

using std::string;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const string kPrompt = "Press Enter to close this window.\n";
// Bounds every wait: a tool that hangs fails the case instead of the run.
constexpr auto kLimit = 60s;

// Wine draws a console of its own on the terminal it was started on, with
// escape sequences: the cursor hidden and shown around each character, and a
// blank drawn as "erase to the end of the line, one column right". This is
// the text a user reads there, with line ends as "\n".
string screen_text(const string &raw) {
    string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\x1b' && i + 1 < raw.size() && raw[i + 1] == '[') {
            std::size_t end = i + 2;
            while (end < raw.size() && (raw[end] < '@' || raw[end] > '~')) {
                ++end;
            }
            if (end < raw.size() && raw[end] == 'C') {
                int columns = std::atoi(raw.substr(i + 2, end - i - 2).c_str());
                text.append(static_cast<std::size_t>(columns > 0 ? columns : 1), ' ');
            }
            i = end;
        } else if (raw[i] != '\r') {
            text += raw[i];
        }
    }
    return text;
}

struct Terminal {
    pid_t pid = -1;
    int master = -1;
    string raw; // everything the tool drew on the terminal so far
};

// Starts the tool in dir on a new terminal, its controlling terminal and all
// three standard streams, as a console window is; setup runs in the child
// just before exec.
Terminal start_on_terminal(const string &dir, const std::function<void()> &setup) {
    Terminal terminal;
    string program = tool_program();
    winsize size = {25, 120, 0, 0};
    std::fflush(nullptr);
    terminal.pid = forkpty(&terminal.master, nullptr, nullptr, &size);
    if (terminal.pid == 0) {
        // A closed terminal then ends the tool's input instead of hanging it up.
        signal(SIGHUP, SIG_IGN);
        if (chdir(dir.c_str()) != 0) {
            _exit(125);
        }
        if (setup) {
            setup();
        }
        execlp(program.c_str(), program.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    EXPECT_GT(terminal.pid, 0) << "forkpty failed";
    return terminal;
}

// Moves what the tool drew into raw, waiting at most wait_ms for the first
// byte; false once no process holds the terminal any more.
bool drain(Terminal &terminal, int wait_ms) {
    if (terminal.master < 0) {
        return false;
    }
    pollfd ready = {terminal.master, POLLIN, 0};
    if (poll(&ready, 1, wait_ms) <= 0) {
        return true;
    }
    char buffer[4096];
    ssize_t count = read(terminal.master, buffer, sizeof buffer);
    if (count <= 0) {
        return false;
    }
    terminal.raw.append(buffer, static_cast<std::size_t>(count));
    return true;
}

bool read_until(Terminal &terminal, const string &text) {
    auto deadline = Clock::now() + kLimit;
    while (screen_text(terminal.raw).find(text) == string::npos) {
        if (Clock::now() > deadline || !drain(terminal, 50)) {
            return false;
        }
    }
    return true;
}

bool still_running(const Terminal &terminal) {
    int status = 0;
    return waitpid(terminal.pid, &status, WNOHANG) == 0;
}

// The exit status, as run_tool reports it, once the tool exits by itself;
// -1, after killing it, when it is still running at the deadline.
int exit_status(Terminal &terminal) {
    auto deadline = Clock::now() + kLimit;
    int status = 0;
    while (waitpid(terminal.pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(terminal.pid, SIGKILL);
            waitpid(terminal.pid, &status, 0);
            return -1;
        }
        // Keep reading, so a tool that draws a lot never blocks on a full terminal.
        if (!drain(terminal, 20)) {
            std::this_thread::sleep_for(20ms);
        }
    }
    for (auto end = Clock::now() + 5s; Clock::now() < end && drain(terminal, 100);) {
    }
    if (terminal.master >= 0) {
        close(terminal.master);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

enum class Ending { Enter, CloseTerminal };

struct OwnWindow {
    const char *label;
    const char *map_list;
    string lines; // everything the run prints before the prompt
    Ending ending;
    int status;
};
PRINT_ROW_AS_LABEL(OwnWindow)

const OwnWindow kOwnWindows[] = {
    {"DoneThenEnter", "LOCALMAP0=\"e1m1\";", kLinesOfSuccess, Ending::Enter, 0},
    {"ErrorThenEnter", "LOCALMAP=",
     string(kLinesUpToMapList) + "Error: Bad LOCALMAP def at line 1\n", Ending::Enter, 1},
    {"DoneThenEndOfInput", "LOCALMAP0=\"e1m1\";", kLinesOfSuccess, Ending::CloseTerminal, 0},
    {"ErrorThenEndOfInput", "LOCALMAP0=\"e1m1\"",
     string(kLinesUpToMapList) + "Error: Expected ';' at line 1\n", Ending::CloseTerminal, 1},
};

class OwnConsole : public testing::TestWithParam<OwnWindow> {};

TEST_P(OwnConsole, WaitsForEnterOnWindowsOnly) {
    const OwnWindow &row = GetParam();
    string dir = work_dir_with(make_progs(4096, spread_slots()), row.map_list);

    Terminal terminal = start_on_terminal(dir, nullptr);

    if (!tool_is_windows()) {
        // No system but Windows closes a terminal when its program ends:
        // nothing to keep open, so the run ends by itself, prompt-free.
        EXPECT_EQ(exit_status(terminal), row.status);
        EXPECT_EQ(screen_text(terminal.raw), row.lines);
        return;
    }
    ASSERT_TRUE(read_until(terminal, kPrompt)) << screen_text(terminal.raw);
    // A person reads this window: after a run it says what the game will
    // make of the names too, here that no map was found to check them by.
    EXPECT_EQ(screen_text(terminal.raw),
              row.lines + (row.status == 0 ? kNoMapsNote : "") + kPrompt);
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(still_running(terminal)) << "the window closed before Enter";
    if (row.ending == Ending::Enter) {
        // What a terminal sends for the Enter key.
        EXPECT_EQ(write(terminal.master, "\r", 1), 1);
    } else {
        close(terminal.master);
        terminal.master = -1;
    }
    EXPECT_EQ(exit_status(terminal), row.status);
}

INSTANTIATE_TEST_SUITE_P(Table, OwnConsole, testing::ValuesIn(kOwnWindows), RowLabel());

// On a terminal, but with a window that is not the tool's alone, or with
// its input or output elsewhere: a wait there would hang a script or a
// command prompt, so the run must end with no input at all.
enum class Start { InputFromNull, OutputToFile, FromCommandPrompt };

struct NotOwnWindow {
    const char *label;
    Start start;
};
PRINT_ROW_AS_LABEL(NotOwnWindow)

const NotOwnWindow kNotOwnWindows[] = {
    {"InputFromNull", Start::InputFromNull},
    {"OutputToFile", Start::OutputToFile},
    // cmd.exe /c shares its console with the tool (the launcher's switch;
    // natively the same plain start as above).
    {"FromCommandPrompt", Start::FromCommandPrompt},
};

class SharedOrRedirected : public testing::TestWithParam<NotOwnWindow> {};

TEST_P(SharedOrRedirected, NeverPromptsNorWaits) {
    string dir = work_dir_with(make_progs(4096, spread_slots()), "LOCALMAP0=\"e1m1\";");
    string out_file = dir + "/../stdout";
    Start start = GetParam().start;

    Terminal terminal = start_on_terminal(dir, [&] {
        if (start == Start::InputFromNull) {
            dup2(open("/dev/null", O_RDONLY), 0);
        } else if (start == Start::OutputToFile) {
            dup2(open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        } else {
            setenv("VELMORA_WINE_SHARED_CONSOLE", "1", 1);
        }
    });

    EXPECT_EQ(exit_status(terminal), 0);
    string shown = screen_text(terminal.raw);
    string printed = start == Start::OutputToFile ? screen_text(read_file(out_file)) : shown;
    EXPECT_EQ(printed, kLinesOfSuccess) << shown;
    EXPECT_EQ(shown.find("Press"), string::npos) << shown;
}

INSTANTIATE_TEST_SUITE_P(Table, SharedOrRedirected, testing::ValuesIn(kNotOwnWindows), RowLabel());

} // namespace
