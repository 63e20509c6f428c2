// game_folders.h: the game as the engines see it from the folder the tool runs in: the mod's folder
// and id1 beside it, their packs in each engine's order, and every map in them.
#ifndef VELMORA_GAME_FOLDERS_H
#define VELMORA_GAME_FOLDERS_H

#include <cstddef>

// The two kinds of engine, by how they find files.
constexpr int kQuakespasm = 1; // Quakespasm, ironwail, vkQuake
constexpr int kDarkplaces = 2; // DarkPlaces, FTE

enum class MapState { unread, level, no_level, unreadable };

// A map file: maps/NAME.bsp loose in a game folder, or an entry of a pack.
struct Place {
    const char *name; // NAME, its bytes as they stand (not zero-ended)
    int name_length;
    const char *where; // the file, or "pack:entry", from the current folder, with '/'
    int pack;          // index among the packs, or -1 for a loose file
    int folder;        // 0 for the mod's, 1 for id1
    // Whether "maps/" and ".bsp" are in lower case: engines on Linux find a
    // loose file, and Quakespasm a pack entry, only then.
    bool exact;
    int engines; // the engines that read it (kQuakespasm, kDarkplaces)
    // Where it comes in each engine's search, lowest first.
    long long quakespasm_rank, darkplaces_rank;
    long long offset, length; // its bytes in the file; -1 for a loose file's own size
    MapState state;
    const char *title; // as the game draws it, or null
    int title_length;
};

struct Pack {
    const char *where; // from the current folder
    int folder;
    int chain;   // N of pakN.pak in Quakespasm's chain, or -1
    int engines; // the engines that read its entries
    // Why an engine does not read it (null where it does).
    const char *quakespasm_skips;
    const char *darkplaces_skips;
    // Why Quakespasm stops at start on it, or null.
    const char *stops_quakespasm;
    // An empty pack of Quakespasm's chain: it takes the directory of the pack
    // Quakespasm read before it, whose maps then fail there.
    bool empty;
    const char *misread_by_quakespasm; // what that costs, or null
    bool progs; // holds a progs.dat that Quakespasm runs instead of the mod's own
};

// A damaged file, or entry of a pack, and why.
struct Damage {
    const char *where;
    const char *why;
};

// Whether the first length bytes of text end in end, letters in any case,
// as engines match names on Windows and DarkPlaces in packs.
bool ends_with_any_case(const char *text, std::size_t length, const char *end);

// Finds the game's folders, their packs and maps. every_map reads each
// map's entities now; otherwise a map is read when its state is asked for.
void read_game(bool every_map);

// Gives back what read_game() took (the next reading starts afresh) and
// counts in game_readings, so that what was worked out from it is dropped.
void forget_game();
extern int game_readings;

// 2 for "." and "../id1"; 1 when the tool runs in id1 itself.
int game_folder_count();

// The places in byte order of their names, each name's in Quakespasm's order.
int place_count();
const Place *game_place(int index);
// The map's state, read from its file the first time it is asked for.
MapState place_state(int index);

int pack_count();
const Pack *game_pack(int index);

int damage_count();
const Damage *game_damage(int index);

// Maps in packs that no engine reads: in a subfolder, or skipped by both.
int unread_map_count();

#endif
