// libFuzzer target: one input is a pack or a map, read by the tool's own game reader in-process.
//
// Input: a first byte, then the fuzz bytes. The first byte's low bit makes the file pak0.pak at
// the top of the mod's folder, or else maps/x.bsp; its second bit says whether the file is the
// fuzz bytes themselves or is built from them as choices (a header and directory whose numbers
// mostly fit the file, sometimes sit on an edge of it), so that most runs get past the header
// checks; its other bits name the map whose verdict is asked for. The game's files come from
// this target's own game_files functions (src/game_files.cpp is not linked), which serve the
// bytes from memory and check that every range the reader asks for lies within the file. After
// reading, every title must hold only the bytes a title may hold. Then a pack goes through a
// run's write path: the copies of progs.dat it would write must lie inside their entries and
// the pack, clear of its header and directory, and a run patches nothing outside them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "game_files.h"
#include "game_folders.h"
#include "map_list.h"
#include "map_verdicts.h"
#include "progs_copies.h"

namespace {

const std::uint8_t *file_bytes;
long long file_size;
bool is_pack;

[[noreturn]] void broken(const char *what) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

// The fuzz bytes as choices; past their end every choice is 0.
const std::uint8_t *choice, *choices_end;

unsigned choose(int bytes) {
    unsigned value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= (choice < choices_end ? *choice++ : 0u) << (8 * i);
    }
    return value;
}

// A header's number: mostly the one that fits, else an edge of it.
long long near(long long fit) {
    unsigned pick = choose(1);
    if (pick < 200) {
        return fit;
    }
    const long long edges[] = {fit + 1, fit - 1, -1, 0x7FFFFFF0, -12, 0, 1 << 20, 0x7FFFFFFF};
    return edges[pick % 8];
}

std::string number(long long value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return bytes;
}

// Entities text of the words a reader looks for, quoted or not, and raw bytes.
std::string built_text() {
    static const char *const words[] = {"{",
                                        "}",
                                        "\"message\"",
                                        "\"classname\"",
                                        "\"info_player_start\"",
                                        "\"info_player_\"",
                                        "\"worldspawn\"",
                                        "\"Title\\n\xc1\x7f\"",
                                        "message",
                                        "\""};
    std::string text;
    for (unsigned count = choose(1) % 32; count > 0; --count) {
        unsigned pick = choose(1);
        if (pick < 200) {
            text += words[pick % 10];
            text += ' ';
        } else {
            text += static_cast<char>(choose(1));
        }
    }
    // Text of 1 MiB, or a byte more, with its zero, on a choice that no run of equal bytes
    // makes: each such run costs milliseconds.
    unsigned size = choose(2);
    if ((size | 1) == 0x5AA5 && text.size() < (1u << 20)) {
        text.resize((1u << 20) - 1 + (size & 1), ' ');
    }
    return text + '\0';
}

// A map: the format, 15 lumps of which the entities' numbers mostly fit, the text first or last.
std::string built_map() {
    static const char *const formats[] = {"\x1d\0\0\0", "BSP2", "2PSB"};
    unsigned format = choose(1) % 4;
    std::string map = format < 3 ? std::string(formats[format], 4) : number(choose(4));
    std::string text = built_text();
    std::string other(choose(1) % 64, '\0');
    bool last = (choose(1) & 1) != 0;
    long long at = 124 + (last ? static_cast<long long>(other.size()) : 0);
    map += number(near(at)) + number(near(static_cast<long long>(text.size())));
    for (int lump = 1; lump < 15; ++lump) {
        map += number(124) + number(0);
    }
    return map + (last ? other + text : text + other);
}

// A pack: up to 2,049 entries of names of every kind, pointing at built maps or not; its
// directory first or last.
std::string built_pack() {
    static const int counts[] = {1023, 1024, 1025, 2048, 2049};
    unsigned pick = choose(1);
    // The long directories on choices that no run of equal bytes makes: they cost the most.
    int count = pick >= 0xf0 && pick < 0xf5 ? counts[pick - 0xf0] : static_cast<int>(pick % 24);
    std::string maps[3];
    int map_count = static_cast<int>(choose(1) % 4);
    for (int i = 0; i < map_count; ++i) {
        maps[i] = built_map();
    }
    bool directory_first = (choose(1) & 1) != 0;
    long long data_at = 12 + (directory_first ? 64LL * count : 0);
    std::string data, directory;
    long long starts[3];
    for (int i = 0; i < map_count; ++i) {
        starts[i] = data_at + static_cast<long long>(data.size());
        data += maps[i];
    }
    for (int i = 0; i < count; ++i) {
        std::string name;
        switch (choose(1) % 8) {
        case 0:
            name = "progs.dat";
            break;
        case 1:
            name = "maps/.bsp";
            break;
        case 2:
            name = "maps/" + std::string(46, 'n') + ".bsp";
            break;
        case 3:
            name = std::string(56, 'm');
            break;
        case 4:
            name = "MAPS/" + std::string(1, static_cast<char>('A' + choose(1) % 4)) + ".BSP";
            break;
        default:
            name = "maps/" + std::string(1, static_cast<char>('a' + choose(1) % 8)) + ".bsp";
        }
        name.resize(56, '\0');
        int map = map_count > 0 ? static_cast<int>(choose(1) % unsigned(map_count)) : -1;
        long long at = map >= 0 ? starts[map] : data_at;
        long long size = map >= 0 ? static_cast<long long>(maps[map].size()) : 0;
        directory += name + number(near(at)) + number(near(size));
    }
    long long directory_at = directory_first ? 12 : 12 + static_cast<long long>(data.size());
    std::string header = (choose(1) == 255 ? "KCAP" : "PACK") + number(near(directory_at)) +
                         number(near(static_cast<long long>(directory.size())));
    return header + (directory_first ? directory + data : data + directory);
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
    // The reader lists "./", the copies' search ".".
    if (std::strcmp(path, "./") == 0 || std::strcmp(path, ".") == 0) {
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

namespace {

long long raw_int32(long long at) {
    return at + 4 <= file_size ? int32_le(file_bytes + at) : 0;
}

// The copies a run would write in the pack, each patched as a run patches it where it has its
// slots: no byte may change outside what the run writes, and that must lie inside the copy's
// entry and the pack, clear of the header and the directory as the header's own bytes give it.
void check_copies() {
    const char *why = find_progs_copies();
    long long directory = raw_int32(4), directory_end = directory + raw_int32(8);
    for (int i = 0; i < progs_copy_count; ++i) {
        ProgsCopy &copy = progs_copies[i];
        if (copy.loose || why != nullptr) {
            continue; // nothing is written
        }
        long long end = copy.offset + copy_bytes(copy);
        // An empty copy writes nothing, wherever it lies: its slots are missing.
        if ((end > copy.offset && copy.offset < 12) || copy_bytes(copy) > copy.entry_length ||
            copy.offset + copy.entry_length > file_size ||
            (copy.offset < directory_end && directory < end)) {
            broken("a run would write outside its copy's entry");
        }
        std::memset(copy.window, 0, sizeof copy.window);
        std::memcpy(copy.window, file_bytes + copy.offset,
                    static_cast<std::size_t>(end - copy.offset));
        std::memcpy(copy.loaded, copy.window, sizeof copy.window);
        copy.length = static_cast<int>(end - copy.offset);
        if (use_copy(i, false)) {
            parse_map_list();
            for (int at = copy.length; at < kWindowSize; ++at) {
                if (progs_window[at] != 0) {
                    broken("a name went past the copy's bytes");
                }
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    is_pack = (data[0] & 1) != 0;
    file_bytes = data + 1;
    file_size = static_cast<long long>(size - 1);
    if ((data[0] & 2) != 0) {
        static std::string built;
        choice = data + 1;
        choices_end = data + size;
        built = is_pack ? built_pack() : built_map();
        file_bytes = reinterpret_cast<const std::uint8_t *>(built.data());
        file_size = static_cast<long long>(built.size());
    }
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
        const Place &place = *game_place((data[0] >> 2) % place_count());
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
            name[0] = static_cast<char>(name[0] ^ (data[0] & 0xfc));
        }
    }
    forget_game();
    if (is_pack) {
        static const char map_list[] = "LOCALMAP0=\"a\";LOCALMAP9=\"x\";";
        std::memcpy(map_list_window, map_list, sizeof map_list);
        check_copies();
    }
    return 0;
}
