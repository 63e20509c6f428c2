// The one error path: every check that fails ends the run here.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "console_window.h"
#include "progs_image.h"

void fatal_error(const char *format, ...) {
    // Flush progress lines first so a log that merges both streams keeps
    // them in the order they happened.
    std::fflush(stdout);
    std::fputs("Error: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    hold_console_window(nullptr);
    // exit() rather than _Exit(): buffered output is flushed and open files
    // are released. progs.dat has only been read at any point a check can
    // fail, so nothing reaches it.
    std::exit(1);
}
