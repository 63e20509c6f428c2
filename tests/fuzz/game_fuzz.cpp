// libFuzzer target: one input is a pack or a map, read by the tool's own game reader in-process.
//
// Input: a first byte, then the file's bytes. The first byte's low bit makes the file
// pak0.pak at the top of the mod's folder, or else maps/x.bsp; its other bits name the
// map whose verdict is asked for. The game's files come from this target's own
// game_files functions (src/game_files.cpp is not linked), which serve the bytes from
// memory and check that every range the reader asks for lies within the file. After
// reading, every title must hold only the bytes a title may hold.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "game_files.h"
#include "game_folders.h"
#include "map_verdicts.h"

namespace {

const std::uint8_t *file_bytes;
long long file_size;
bool is_pack;

[[noreturn]] void broken(const char *what) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

} // namespace

void *resized(void *memory, std::size_t size) {
    memory = std::realloc(memory, size);
    if (memory == nullptr) {
        broken("out of memory");
    }
    return memory;
}

bool open_game_file(const char *path, GameFile *file) {
    if (std::strcmp(path, is_pack ? "pak0.pak" : "maps/x.bsp") != 0) {
        broken("opened a file the folder does not hold");
    }
    file->stream = stdin; // never read: the bytes come from memory
    file->size = file_size;
    return true;
}

bool read_range(GameFile *file, long long offset, void *bytes, int count) {
    if (file->stream == nullptr || offset < 0 || count < 0 || offset + count > file_size ||
        count > (4 << 20)) {
        broken("a read outside the file, or of more than 4 MiB");
    }
    std::memcpy(bytes, file_bytes + offset, static_cast<std::size_t>(count));
    return true;
}

void close_game_file(GameFile *file) {
    file->stream = nullptr;
}

void list_folder(const char *path, void (*each)(const char *name, bool is_folder, void *context),
                 void *context) {
    if (std::strcmp(path, "./") == 0) {
        each(is_pack ? "pak0.pak" : "maps", !is_pack, context);
    } else if (std::strcmp(path, "./maps/") == 0) {
        each("x.bsp", false, context);
    }
}

bool in_base_folder() {
    return false;
}

[[noreturn]] void fatal_error(const char *, ...) {
    broken("the reader gave up (out of memory?)");
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    is_pack = (data[0] & 1) != 0;
    file_bytes = data + 1;
    file_size = static_cast<long long>(size - 1);
    read_game(true);
    for (int i = 0; i < place_count(); ++i) {
        const Place &place = *game_place(i);
        for (int j = 0; j < place.title_length; ++j) {
            if (place.title[j] < 0x20 || place.title[j] > 0x7e) {
                broken("a title holds a byte the game cannot draw");
            }
        }
    }
    // A place's own name, and one like it (a byte changed), judged as a slot's would be.
    if (place_count() > 0) {
        const Place &place = *game_place((data[0] >> 1) % place_count());
        char name[64];
        int length = place.name_length < 64 ? place.name_length : 64;
        std::memcpy(name, place.name, static_cast<std::size_t>(length));
        NameVerdict verdict;
        for (int round = 0; round < 2; ++round) {
            judge_name(name, length, &verdict);
            bool places_in_game = verdict.place < place_count() && verdict.nearest_count <= 3;
            for (int i = 0; i < verdict.nearest_count; ++i) {
                places_in_game = places_in_game && verdict.nearest[i] < place_count();
            }
            if (!places_in_game ||
                (verdict.verdict == Verdict::some_engines) != (verdict.why != nullptr)) {
                broken("a verdict names what the game does not hold");
            }
            name[0] = static_cast<char>(name[0] ^ (data[0] & 0xfe));
        }
    }
    forget_game();
    return 0;
}
