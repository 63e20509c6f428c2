// Keeping a console window that Windows opened for this run alone open until Enter.
#include "console_window.h"

#include <cstdio>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

void hold_console_window(void (*before_prompt)()) {
#ifndef _WIN32
    static_cast<void>(before_prompt);
#else
    // A console that lists no process but this one was made for this run:
    // Explorer's double-click, or a shortcut. Started from cmd.exe or
    // PowerShell, the shell is attached too and keeps the window, so the run
    // must end at once, as it does in a script.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) {
        return;
    }
    // The prompt must be seen and answered on that console: with either
    // stream redirected, someone or something else reads the output or
    // feeds the input, and waiting would hang it.
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) == 0 ||
        GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) == 0) {
        return;
    }
    if (before_prompt != nullptr) {
        before_prompt();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::fputs("Press Enter to close this window.\n", stdout);
    std::fflush(stdout);
    // Unbuffered, so the C runtime allocates no buffer for one line.
    static_cast<void>(std::setvbuf(stdin, nullptr, _IONBF, 0));
    int c = 0;
    while (c != '\n' && c != EOF) {
        c = std::getchar();
    }
#endif
}
