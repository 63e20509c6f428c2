// Writing every copy of progs.dat back, and undoing those writes when any step fails.
#include "write_back.h"

#include <cstring>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "progs_copies.h"
#include "progs_image.h"

namespace {

// What the write-back may have changed in each copy: whether the file may
// have grown, and how far from the copy's start new bytes may have gone. The
// undo goes no further, so it asks nothing of a disk where nothing changed.
bool grown[kMostCopies];
int reached[kMostCopies];

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
bool write_at(FILE *stream, long long offset, const unsigned char *bytes, int count, bool *tried) {
    if (!seek_to(stream, offset, SEEK_SET)) {
        return false;
    }
    *tried = true;
    auto size = static_cast<std::size_t>(count);
    return std::fwrite(bytes, 1, size, stream) == size && std::fflush(stream) == 0;
}

// A short loose file grows first, with the zeros after its data: a full disk
// or a size limit then fails the write-back before any old byte has changed.
// What remains overwrites bytes the file already has. A copy in a pack is
// never grown: the bytes after it are the next file's.
bool write_copy(int index) {
    ProgsCopy &copy = progs_copies[index];
    if (copy.loose && copy.length < kWindowData &&
        !write_at(copy.stream, copy.length, copy.window + copy.length, kWindowData - copy.length,
                  &grown[index])) {
        return false;
    }
    bool tried = false;
    bool ok = write_at(copy.stream, copy.offset, copy.window, copy.length, &tried);
    reached[index] = tried ? copy.length : 0;
    return ok;
}

// Cutting a grown file back comes first: it frees the space the growth
// took. Then only the bytes that differ from the loaded ones go back, and
// only if new bytes may have reached them: everything else was written with
// the value it had, and rewriting it could need space (in a sparse file, or
// on a copy-on-write disk) that a full disk no longer has. A copy already
// closed is opened again.
bool put_back(int index) {
    ProgsCopy &copy = progs_copies[index];
    if (copy.stream == nullptr) {
        copy.stream = std::fopen(copy.file, "r+b");
        if (copy.stream == nullptr) {
            return false;
        }
        static_cast<void>(std::setvbuf(copy.stream, nullptr, _IONBF, 0));
    }
    std::clearerr(copy.stream);
    if (grown[index] && !set_file_length(copy.stream, copy.length)) {
        return false;
    }
    for (int start = 0; start < reached[index]; ++start) {
        if (copy.window[start] == copy.loaded[start]) {
            continue;
        }
        int end = start + 1;
        while (end < reached[index] && copy.window[end] != copy.loaded[end]) {
            ++end;
        }
        bool tried = false;
        if (!write_at(copy.stream, copy.offset + start, copy.loaded + start, end - start, &tried)) {
            return false;
        }
        start = end;
    }
    return true;
}

// Puts back every copy up to last, closes them, and stops with the error
// that names the failed copy, and the first that could not be put back.
[[noreturn]] void undo(int failed, int last) {
    int lost = -1;
    for (int i = last; i >= 0; --i) {
        bool restored = put_back(i);
        FILE *stream = progs_copies[i].stream;
        progs_copies[i].stream = nullptr;
        restored = stream != nullptr && std::fclose(stream) == 0 && restored;
        if (!restored) {
            lost = i;
        }
    }
    const char *where = progs_copies[failed].where;
    if (lost == failed) {
        fatal_error("Cannot write %s, and could not put it back\n", where);
    }
    if (lost >= 0) {
        fatal_error("Cannot write %s, and could not put %s back\n", where,
                    progs_copies[lost].where);
    }
    fatal_error("Cannot write %s\n", where);
}

} // namespace

const unsigned char *loaded_progs() {
    return progs_copies[0].loaded;
}

void write_back() {
    for (int i = 0; i < progs_copy_count; ++i) {
        std::printf("Writing %s...\n", progs_copies[i].where);
        if (!write_copy(i)) {
            undo(i, i);
        }
    }
    for (int i = 0; i < progs_copy_count; ++i) {
        // A close can be the first to report that the bytes did not arrive
        // (on a network share, say): every copy goes back, the closed ones
        // opened again.
        FILE *stream = progs_copies[i].stream;
        progs_copies[i].stream = nullptr;
        if (std::fclose(stream) != 0) {
            undo(i, progs_copy_count - 1);
        }
    }
}
