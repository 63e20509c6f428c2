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
// What the write-back may have changed: whether the file may have grown, and
// how far from its start new bytes may have gone. The undo goes no further,
// so it asks nothing of a disk where nothing changed.
bool grown;
int reached;

bool set_file_length(FILE *stream, int length) {
#ifdef _WIN32
    return _chsize_s(_fileno(stream), length) == 0;
#else
    return ftruncate(fileno(stream), length) == 0;
#endif
}

// Sets tried once any byte may have reached the file: after the seek, since
// a failed fwrite need not say how many bytes went out (Windows' says none).
// The flush makes the system take them now, so that a failure shows up while
// the file can still be put back, not in a later close.
bool write_at(FILE *stream, int offset, const unsigned char *bytes, int count, bool *tried) {
    if (std::fseek(stream, offset, SEEK_SET) != 0) {
        return false;
    }
    *tried = true;
    auto size = static_cast<std::size_t>(count);
    return std::fwrite(bytes, 1, size, stream) == size && std::fflush(stream) == 0;
}

// A short file grows first, with the zeros after its data: a full disk or a
// size limit then fails the write-back before any old byte has changed.
// What remains overwrites bytes the file already has.
bool write_window(FILE *stream) {
    if (loaded_length < kWindowData &&
        !write_at(stream, loaded_length, progs_window + loaded_length, kWindowData - loaded_length,
                  &grown)) {
        return false;
    }
    bool tried = false;
    bool ok = write_at(stream, 0, progs_window, loaded_length, &tried);
    reached = tried ? loaded_length : 0;
    return ok;
}

// Cutting a grown file back comes first: it frees the space the growth
// took. Then only the bytes that differ from the loaded ones go back, and
// only if new bytes may have reached them: everything else was written with
// the value it had, and rewriting it could need space (in a sparse file, or
// on a copy-on-write disk) that a full disk no longer has.
bool put_back(FILE *stream) {
    std::clearerr(stream);
    if (grown && !set_file_length(stream, loaded_length)) {
        return false;
    }
    const unsigned char *loaded = loaded_progs();
    for (int start = 0; start < reached; ++start) {
        if (progs_window[start] == loaded[start]) {
            continue;
        }
        int end = start + 1;
        while (end < reached && progs_window[end] != loaded[end]) {
            ++end;
        }
        bool tried = false;
        if (!write_at(stream, start, loaded + start, end - start, &tried)) {
            return false;
        }
        start = end;
    }
    return true;
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
        static_cast<void>(std::setvbuf(stream, nullptr, _IONBF, 0));
    }
    bool restored = put_back(stream);
    restored = std::fclose(stream) == 0 && restored;
    if (!restored) {
        fatal_error("Cannot write %s, and could not put it back\n", name);
    }
    fatal_error("Cannot write %s\n", name);
}
