// game_files.h: the game reader's checked file calls: open, read a range, list a folder.
#ifndef VELMORA_GAME_FILES_H
#define VELMORA_GAME_FILES_H

#include <algorithm>
#include <cstdio>
#include <cstring>

// A file of the game opened for reading, with the size it had when opened.
struct GameFile {
    FILE *stream;
    long long size;
};

// realloc, but a failure stops the run: the game reader's one way to memory.
// (Its buffers are not static arrays: a run with no options would then carry
// them, and a sanitizer build maps their shadow at exit.)
void *resized(void *memory, std::size_t size);

// Opens path read-only and learns its size; false when it cannot be opened.
bool open_game_file(const char *path, GameFile *file);

// Reads exactly count bytes from offset; false on a read error or a file that
// has become shorter than its size said.
bool read_range(GameFile *file, long long offset, void *bytes, int count);

void close_game_file(GameFile *file);

// The signed 32-bit little-endian number at bytes, as the engines read one.
inline long long int32_le(const unsigned char *bytes) {
    unsigned long value = bytes[0] | static_cast<unsigned long>(bytes[1]) << 8 |
                          static_cast<unsigned long>(bytes[2]) << 16 |
                          static_cast<unsigned long>(bytes[3]) << 24;
    return value >= 0x80000000UL ? static_cast<long long>(value) - 0x100000000LL
                                 : static_cast<long long>(value);
}

// Puts a, b and c one after the other into out, cut to size - 1 bytes as snprintf cuts them,
// and returns their whole length as snprintf does. The reader makes a path for every file and
// every entry of a pack: a formatted print of each cost more than all the parsing.
inline int join(char *out, std::size_t size, const char *a, const char *b, const char *c = "") {
    const char *parts[] = {a, b, c};
    std::size_t length = 0, kept = 0;
    for (const char *part : parts) {
        std::size_t part_length = std::strlen(part),
                    copied = std::min(part_length, size - 1 - kept);
        std::memcpy(out + kept, part, copied);
        length += part_length;
        kept += copied;
    }
    out[kept] = 0;
    return static_cast<int>(length);
}

// Calls each(name, is_folder, context) for every entry of the folder at path
// but "." and ".."; does nothing when path is no folder it can list.
void list_folder(const char *path, void (*each)(const char *name, bool is_folder, void *context),
                 void *context);

// Whether the current folder is the base game's own, id1.
bool in_base_folder();

// Whether there is a folder ../id1 beside the current one.
bool base_folder_exists();

#endif
