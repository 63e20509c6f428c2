// Loading a file's first bytes into a window, and a copy of progs.dat into its own.
#include <cstdio>
#include <cstring>

#include "progs_copies.h"
#include "progs_image.h"

unsigned char progs_window[kWindowSize];
unsigned char map_list_window[kWindowSize];

// Packs reach 2 GiB and more: long is 32 bits on Windows.
bool seek_to(FILE *stream, long long offset, int whence) {
#ifdef _WIN32
    return _fseeki64(stream, offset, whence) == 0;
#else
    return fseeko(stream, static_cast<off_t>(offset), whence) == 0;
#endif
}

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

FILE *load_window(const char *name, unsigned char *window) {
    // "r+b": the file must exist and be writable, is never truncated, and
    // its bytes pass untranslated on every platform.
    FILE *stream = open_file(name, "r+b");
    std::printf("Reading %s...\n", name);
    read_window(stream, name, window);
    return stream;
}

void load_copy(ProgsCopy &copy, const char *mode, bool announce) {
    copy.stream = open_file(copy.file, mode);
    if (announce) {
        std::printf("Reading %s...\n", copy.where);
    }
    long long most = copy_bytes(copy);
    // The loose file is read from where it opened, as it always was.
    if (!copy.loose && !seek_to(copy.stream, copy.offset, SEEK_SET)) {
        fatal_error("Cannot read %s\n", copy.where);
    }
    std::size_t count = std::fread(copy.window, 1, static_cast<std::size_t>(most), copy.stream);
    // A file shorter than its pack said holds less than the copy, and what
    // the run would write back is not the copy's.
    if (std::ferror(copy.stream) != 0 || (!copy.loose && count < static_cast<std::size_t>(most))) {
        fatal_error("Cannot read %s\n", copy.where);
    }
    copy.window[count] = 0;
    copy.window[kWindowData] = 0;
    copy.length = static_cast<int>(count);
    std::memcpy(copy.loaded, copy.window, kWindowSize);
}
