// Loading a file's first bytes into a window.
#include <cstdio>

#include "progs_image.h"

unsigned char progs_window[kWindowSize];
unsigned char map_list_window[kWindowSize];

FILE *open_file(const char *name, const char *mode) {
    FILE *stream = std::fopen(name, mode);
    if (stream == nullptr) {
        fatal_error("Cannot open %s\n", name);
    }
    // Unbuffered: each window then moves in one read and one write straight
    // between the window and the file, with no stream buffer to allocate
    // and no copy through it. Should this fail, the stream stays buffered,
    // which moves the same bytes.
    static_cast<void>(std::setvbuf(stream, nullptr, _IONBF, 0));
    return stream;
}

int read_window(FILE *stream, const char *name, unsigned char *window) {
    // One block read gives the same bytes as reading one at a time up to
    // end of file or kWindowData bytes; a read error must not pass for end
    // of file, or the write-back would zero the part that was never read.
    std::size_t count = std::fread(window, 1, kWindowData, stream);
    if (std::ferror(stream) != 0) {
        fatal_error("Cannot read %s\n", name);
    }
    // Everything after the data keeps the zero it started with; the last
    // byte is always zero.
    window[count] = 0;
    window[kWindowData] = 0;
    return static_cast<int>(count);
}

FILE *load_window(const char *name, unsigned char *window, int *length) {
    // "r+b": the file must exist and be writable, is never truncated, and
    // its bytes pass untranslated on every platform.
    FILE *stream = open_file(name, "r+b");
    std::printf("Reading %s...\n", name);
    int count = read_window(stream, name, window);
    if (length != nullptr) {
        *length = count;
    }
    return stream;
}
