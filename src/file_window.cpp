// Loading a file's first bytes into a window, and writing the progs window back.
#include <cstdio>

#include "progs_image.h"

unsigned char progs_window[kWindowSize];
unsigned char map_list_window[kWindowSize];

FILE *load_window(const char *name, unsigned char *window) {
    // "r+b": the file must exist and be writable, is never truncated, and
    // its bytes pass untranslated on every platform.
    FILE *stream = std::fopen(name, "r+b");
    if (stream == nullptr) {
        fatal_error("Cannot open %s\n", name);
    }
    // Unbuffered: the one read below and the one write-back then go
    // straight between the window and the file, with no stream buffer to
    // allocate and no copy through it. Should this fail, the stream stays
    // buffered, which moves the same bytes.
    static_cast<void>(std::setvbuf(stream, nullptr, _IONBF, 0));
    std::printf("Reading %s...\n", name);
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
    return stream;
}

void write_window(FILE *stream, const char *name, const unsigned char *window) {
    // Always kWindowData bytes: a shorter file grows with the window's zeros,
    // a longer one keeps every byte from kWindowData on.
    bool ok = std::fseek(stream, 0, SEEK_SET) == 0;
    ok = ok && std::fwrite(window, 1, kWindowData, stream) == kWindowData;
    // fclose flushes what the stream still buffers, so its result covers
    // the bytes that fwrite only queued.
    ok = (std::fclose(stream) == 0) && ok;
    if (!ok) {
        fatal_error("Cannot write %s\n", name);
    }
}
