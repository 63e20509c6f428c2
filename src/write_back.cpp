// Writing progs.dat back, and undoing that write when any step of it fails.
#include "write_back.h"

#include <cstring>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "progs_image.h"

namespace {

unsigned char loaded_window[kWindowSize];
// Data bytes the file gave the window: its length when shorter than
// kWindowData, so the undo knows how far to cut a grown file back.
int loaded_length;
// Whether the write-back has written, or tried to write, any byte: until
// then a failure leaves the file as it was and there is nothing to undo.
bool touched;

bool set_file_length(FILE *stream, int length) {
#ifdef _WIN32
    return _chsize_s(_fileno(stream), length) == 0;
#else
    return ftruncate(fileno(stream), length) == 0;
#endif
}

// The flush makes the system take the bytes now, so that a failure shows
// up while the file can still be put back, not in a later close.
bool write_at(FILE *stream, int offset, const unsigned char *bytes, int count) {
    if (std::fseek(stream, offset, SEEK_SET) != 0) {
        return false;
    }
    touched = true;
    auto size = static_cast<std::size_t>(count);
    return std::fwrite(bytes, 1, size, stream) == size && std::fflush(stream) == 0;
}

// A short file grows first, with the zeros after its data: a full disk or a
// size limit then fails the write-back before any old byte has changed.
// What remains overwrites bytes the file already has and needs no new space.
bool write_window(FILE *stream) {
    bool grown =
        loaded_length == kWindowData ||
        write_at(stream, loaded_length, progs_window + loaded_length, kWindowData - loaded_length);
    return grown && write_at(stream, 0, progs_window, loaded_length);
}

// The loaded bytes go over every offset the write-back may have reached,
// and a file that grew is cut back to its old length.
bool put_back(FILE *stream) {
    std::clearerr(stream);
    return write_at(stream, 0, loaded_progs(), loaded_length) &&
           (loaded_length == kWindowData || set_file_length(stream, loaded_length));
}

} // namespace

void keep_loaded_progs(int length) {
    std::memcpy(loaded_window, progs_window, kWindowSize);
    loaded_length = length;
}

const unsigned char *loaded_progs() {
    return loaded_window;
}

void write_back(FILE *stream, const char *name) {
    if (write_window(stream)) {
        if (std::fclose(stream) == 0) {
            return;
        }
        // A close can be the first to report that the bytes did not arrive
        // (on a network share, say); the stream is gone, so reopen the file.
        stream = std::fopen(name, "r+b");
        if (stream == nullptr) {
            fatal_error("Cannot write %s, and could not put it back\n", name);
        }
    }
    bool restored = !touched || put_back(stream);
    restored = std::fclose(stream) == 0 && restored;
    if (!restored) {
        fatal_error("Cannot write %s, and could not put it back\n", name);
    }
    fatal_error("Cannot write %s\n", name);
}
