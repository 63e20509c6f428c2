// The game's folders as the engines search them: for a mod, its own folder and then id1 beside it.
// In each: pak0.pak, pak1.pak, ... to the first missing or empty one (every engine), any other
// *.pak at the top (DarkPlaces and FTE only), and loose maps/NAME.bsp.
#include "game_folders.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "game_files.h"
#include "map_entities.h"
#include "pack_directory.h"
#include "progs_image.h"

namespace {

bool same_letters(char a, char b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(a) == lower(b);
}

} // namespace

bool ends_with_any_case(const char *text, std::size_t length, const char *end) {
    std::size_t size = std::strlen(end);
    if (length < size) {
        return false;
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (!same_letters(text[length - size + i], end[i])) {
            return false;
        }
    }
    return true;
}

namespace {

// Deeper than any game's maps/ folder; a loop of links ends here too.
constexpr int kMostDepth = 16;
constexpr long long kFolderRank = 1LL << 32;

const char *folders[2];
int folder_total;

Place *places;
int places_used, places_size;
Pack *packs;
int packs_used, packs_size;
Damage *damages;
int damages_used, damages_size;
int unread_maps;

// Lets an array grow by one item.
template <typename Item> Item *room_for_one(Item *&items, int used, int &size) {
    if (used == size) {
        size = size == 0 ? 64 : 2 * size;
        items = static_cast<Item *>(resized(items, sizeof(Item) * std::size_t(size)));
    }
    return &items[used];
}

// Text that lives as long as the run: names, paths, titles, reasons. Kept in
// blocks that never move, so that places may point into them.
// Each block begins with a pointer to the one before, so that a new reading
// can give them all back.
char *block;
int block_left;
char *last_block;

const char *keep(const char *bytes, std::size_t length) {
    if (length + 1 > static_cast<std::size_t>(block_left)) {
        std::size_t size = sizeof(char *) + (length + 1 > 1 << 16 ? length + 1 : 1 << 16);
        char *fresh = static_cast<char *>(resized(nullptr, size));
        std::memcpy(fresh, &last_block, sizeof(char *));
        last_block = fresh;
        block = fresh + sizeof(char *);
        block_left = static_cast<int>(size - sizeof(char *));
    }
    char *kept = block;
    std::memcpy(kept, bytes, length);
    kept[length] = 0;
    block += length + 1;
    block_left -= static_cast<int>(length + 1);
    return kept;
}

const char *keep(const char *text) {
    return keep(text, std::strlen(text));
}

void add_damage(const char *where, const char *why) {
    *room_for_one(damages, damages_used, damages_size) = {where, keep(why)};
    ++damages_used;
}

// A map's path within its game folder or pack: "maps/NAME.bsp" in any case,
// NAME not empty. Sets exact when "maps/" and ".bsp" are in lower case.
bool is_map_path(const char *path, bool *exact) {
    std::size_t length = std::strlen(path);
    if (length <= 9 || !ends_with_any_case(path, 5, "maps/") ||
        !ends_with_any_case(path, length, ".bsp")) {
        return false;
    }
    *exact = std::strncmp(path, "maps/", 5) == 0 && std::strcmp(path + length - 4, ".bsp") == 0;
    return true;
}

void add_place(const char *path, const char *where, int pack, int folder, bool exact, int engines,
               long long offset, long long length) {
    std::size_t name_length = std::strlen(path) - 9;
    Place *place = room_for_one(places, places_used, places_size);
    *place = {keep(path + 5, name_length),
              static_cast<int>(name_length),
              where,
              pack,
              folder,
              exact,
              engines,
              0,
              0,
              offset,
              length,
              MapState::unread,
              nullptr,
              0};
    ++places_used;
}

// The folder being walked: which game folder, and the path inside it.
struct Walk {
    int folder;
    const char *inside; // "" at the top, else ending in '/'
    int depth;
};

// Map entries in a pack where no engine looks for them.
void count_unread_maps(const char *where) {
    GameFile file;
    PackHeader header;
    if (!open_game_file(where, &file)) {
        return;
    }
    if (read_pack_header(&file, &header)) {
        PackEntry entry;
        bool exact;
        for (int i = 0; i < header.entries && read_pack_entry(&file, &header, i, &entry); ++i) {
            unread_maps += entry.damage == nullptr && is_map_path(entry.name, &exact);
        }
    }
    close_game_file(&file);
}

void walk(const Walk &at);

void visit(const char *name, bool is_folder, void *context) {
    const Walk &at = *static_cast<const Walk *>(context);
    char inside[4096], where[4096 + 8];
    join(inside, sizeof inside, at.inside, name);
    // The mod's own files go by their path in it.
    join(where, sizeof where, at.folder == 0 ? "" : "../id1/", inside);
    bool exact;
    if (is_folder) {
        // Below the top only maps/ holds what an engine reads; a pack one
        // folder down is looked at to count what no engine reads, and no
        // deeper, so that a run outside a game stays quick.
        bool in_maps =
            ends_with_any_case(inside, 4, "maps") && (inside[4] == 0 || inside[4] == '/');
        if (at.depth == 0 || (in_maps && at.depth < kMostDepth)) {
            std::snprintf(inside + std::strlen(inside), sizeof inside - std::strlen(inside), "/");
            walk({at.folder, inside, at.depth + 1});
        }
    } else if (ends_with_any_case(name, std::strlen(name), ".pak")) {
        if (at.depth > 0) {
            count_unread_maps(where);
        } else {
            *room_for_one(packs, packs_used, packs_size) = {
                keep(where), at.folder, -1, 0, nullptr, nullptr, nullptr, false, nullptr, false};
            ++packs_used;
        }
    } else if (is_map_path(inside, &exact)) {
        add_place(inside, keep(where), -1, at.folder, exact, exact ? kQuakespasm | kDarkplaces : 0,
                  0, -1);
    }
}

void walk(const Walk &at) {
    char path[4096];
    join(path, sizeof path, folders[at.folder], "/", at.inside);
    list_folder(path, visit, const_cast<Walk *>(&at));
}

const char *file_name(const char *where) {
    const char *slash = std::strrchr(where, '/');
    return slash == nullptr ? where : slash + 1;
}

// Quakespasm's order within a folder: its chain from the highest number
// down, then the other packs, last name first.
// qsort rather than std::sort: a coverage build's counts of the sort
// templates would outgrow the file size limit the tests set. An empty array
// may have no memory at all, which qsort must not be given.
void sort(void *items, int count, std::size_t size, int (*order)(const void *, const void *)) {
    if (count > 1) {
        std::qsort(items, std::size_t(count), size, order);
    }
}

int search_order(const void *x, const void *y) {
    const Pack &a = *static_cast<const Pack *>(x), &b = *static_cast<const Pack *>(y);
    if ((a.chain >= 0) != (b.chain >= 0)) {
        return a.chain >= 0 ? -1 : 1;
    }
    return a.chain >= 0 ? b.chain - a.chain : std::strcmp(b.where, a.where);
}

// pakN.pak, N without leading zeros, as Quakespasm names them.
int chain_number(const char *name) {
    char expected[32];
    int number = std::atoi(name + 3);
    std::snprintf(expected, sizeof expected, "pak%d.pak", number);
    return std::strncmp(name, "pak", 3) == 0 && std::strcmp(name, expected) == 0 ? number : -1;
}

void read_pack(int index, long long rank, long long darkplaces_rank) {
    Pack &pack = packs[index];
    GameFile file;
    PackHeader header;
    if (!open_game_file(pack.where, &file)) {
        add_damage(pack.where, "it could not be read");
        return;
    }
    if (!read_pack_header(&file, &header)) {
        add_damage(pack.where, "it could not be read");
        close_game_file(&file);
        return;
    }
    if (header.damage != nullptr) {
        add_damage(pack.where, header.damage);
    }
    if (pack.chain >= 0 && header.quakespasm_stops != nullptr && !pack.empty) {
        pack.stops_quakespasm = keep(header.quakespasm_stops);
    }
    pack.engines = (header.quakespasm && pack.chain >= 0 ? kQuakespasm : 0) |
                   (header.darkplaces ? kDarkplaces : 0);
    pack.quakespasm_skips = pack.chain >= 0 ? pack.stops_quakespasm
                                            : "they read pak0.pak, pak1.pak, ... up to the "
                                              "first one missing, and no other pack";
    pack.darkplaces_skips = header.darkplaces ? nullptr : keep(header.damage);
    PackEntry entry;
    bool exact;
    for (int i = 0; i < header.entries; ++i) {
        if (!read_pack_entry(&file, &header, i, &entry)) {
            add_damage(pack.where, "its directory could not be read");
            break;
        }
        char entry_where[4096];
        join(entry_where, sizeof entry_where, pack.where, ":", entry.name);
        if (entry.damage != nullptr) {
            if (entry.name[0] == 0) {
                std::snprintf(entry_where, sizeof entry_where, "%s: entry %d", pack.where, i + 1);
            }
            char why[128];
            std::snprintf(why, sizeof why, "%s: it is left out", entry.damage);
            add_damage(keep(entry_where), why);
        } else if (is_map_path(entry.name, &exact)) {
            // Quakespasm finds an entry only by its exact path.
            int engines = pack.engines & (exact ? kQuakespasm | kDarkplaces : kDarkplaces);
            if (engines == 0) {
                ++unread_maps;
                continue;
            }
            add_place(entry.name, keep(entry_where), index, pack.folder, exact, engines,
                      entry.offset, entry.length);
            places[places_used - 1].quakespasm_rank = rank;
            places[places_used - 1].darkplaces_rank = darkplaces_rank;
        } else if (std::strcmp(entry.name, "progs.dat") == 0) {
            pack.progs = pack.folder == 0 && (pack.engines & kQuakespasm) != 0;
        }
    }
    close_game_file(&file);
}

// Reads every pack of a folder in Quakespasm's order, and ranks its maps.
void read_packs(int folder) {
    int first = 0;
    while (first < packs_used && packs[first].folder != folder) {
        ++first;
    }
    int count = first;
    while (count < packs_used && packs[count].folder == folder) {
        ++count;
    }
    count -= first;
    // The chain ends at the first number missing, or one that cannot be opened.
    for (int number = 0;; ++number) {
        int i = first;
        while (i < first + count && chain_number(file_name(packs[i].where)) != number) {
            ++i;
        }
        GameFile file;
        if (i == first + count || !open_game_file(packs[i].where, &file)) {
            break;
        }
        packs[i].empty = file.size == 0;
        close_game_file(&file);
        packs[i].chain = number;
    }
    sort(packs + first, count, sizeof(Pack), search_order);
    long long base = folder * kFolderRank;
    for (int i = first; i < first + count; ++i) {
        // DarkPlaces searches a folder's packs by name, the last first.
        int after = 0;
        for (int j = first; j < first + count; ++j) {
            after += std::strcmp(packs[j].where, packs[i].where) > 0;
        }
        read_pack(i, base + 1 + (i - first), base + 1 + after);
    }
    // Loose maps come after every pack in Quakespasm, before them in DarkPlaces.
    for (int i = 0; i < places_used; ++i) {
        if (places[i].folder == folder && places[i].pack < 0) {
            places[i].quakespasm_rank = base + 1 + count;
            places[i].darkplaces_rank = base;
        }
    }
}

// Quakespasm reads id1's chain and then the mod's, each from pak0.pak up. It
// takes an empty pack for the one it read before (what it read stays in its
// buffers), so that pack's maps fail; with none before, it stops at start.
void read_empty_packs_as_quakespasm() {
    int before = -1;
    for (int folder = folder_total - 1; folder >= 0; --folder) {
        for (int number = 0;; ++number) {
            int i = 0;
            while (i < packs_used && (packs[i].folder != folder || packs[i].chain != number)) {
                ++i;
            }
            if (i == packs_used) {
                break;
            }
            if (!packs[i].empty) {
                before = i;
                continue;
            }
            if (before < 0) {
                packs[i].stops_quakespasm = "it is empty";
                continue;
            }
            char why[4096 + 128];
            std::snprintf(why, sizeof why,
                          "it is empty, and they take it for %s, whose maps then fail",
                          packs[before].where);
            packs[i].misread_by_quakespasm = keep(why);
            std::snprintf(why, sizeof why, "they read the empty %s after it in its place",
                          packs[i].where);
            packs[before].quakespasm_skips = keep(why);
            packs[before].engines &= ~kQuakespasm;
        }
    }
    for (int i = 0; i < places_used; ++i) {
        if (places[i].pack >= 0 && (packs[places[i].pack].engines & kQuakespasm) == 0) {
            places[i].engines &= ~kQuakespasm;
        }
    }
}

int name_order(const void *x, const void *y) {
    const Place &a = *static_cast<const Place *>(x), &b = *static_cast<const Place *>(y);
    int common = a.name_length < b.name_length ? a.name_length : b.name_length;
    int order = std::memcmp(a.name, b.name, static_cast<std::size_t>(common));
    if (order != 0 || a.name_length != b.name_length) {
        return order != 0 ? order : a.name_length - b.name_length;
    }
    if (a.quakespasm_rank != b.quakespasm_rank) {
        return a.quakespasm_rank < b.quakespasm_rank ? -1 : 1;
    }
    return std::strcmp(a.where, b.where);
}

// The file last opened for a map, kept open for the next map in it.
GameFile map_file;
const char *map_file_where;

void read_place(Place &place) {
    const char *where = place.pack < 0 ? place.where : packs[place.pack].where;
    if (map_file_where != where) {
        if (map_file_where != nullptr) {
            close_game_file(&map_file);
        }
        map_file_where = open_game_file(where, &map_file) ? where : nullptr;
    }
    MapEntities map;
    const char *damage = "it could not be read";
    if (map_file_where != nullptr) {
        long long length = place.length < 0 ? map_file.size : place.length;
        damage = read_map_entities(&map_file, place.offset, length, &map);
    }
    if (damage != nullptr) {
        add_damage(place.where, damage);
        place.state = MapState::unreadable;
        return;
    }
    place.state = map.level ? MapState::level : MapState::no_level;
    if (map.title != nullptr) {
        place.title = keep(map.title, static_cast<std::size_t>(map.title_length));
        place.title_length = map.title_length;
    }
}

int damage_order(const void *x, const void *y) {
    const Damage &a = *static_cast<const Damage *>(x), &b = *static_cast<const Damage *>(y);
    int order = std::strcmp(a.where, b.where);
    return order != 0 ? order : std::strcmp(a.why, b.why);
}

} // namespace

void forget_game() {
    while (last_block != nullptr) {
        char *before;
        std::memcpy(&before, last_block, sizeof(char *));
        std::free(last_block);
        last_block = before;
    }
    block_left = 0;
    places_used = packs_used = damages_used = unread_maps = 0;
    if (map_file_where != nullptr) {
        close_game_file(&map_file);
        map_file_where = nullptr;
    }
    ++game_readings;
}

void read_game(bool every_map) {
    folders[0] = ".";
    folders[1] = "../id1";
    folder_total = in_base_folder() ? 1 : 2;
    for (int folder = 0; folder < folder_total; ++folder) {
        walk({folder, "", 0});
        read_packs(folder);
    }
    read_empty_packs_as_quakespasm();
    if (every_map) {
        // In the order they were found: a pack's maps one after another.
        for (int i = 0; i < places_used; ++i) {
            read_place(places[i]);
        }
    }
    sort(places, places_used, sizeof(Place), name_order);
    // By path, so that every system names them alike, whatever order its
    // folders list their files in.
    sort(damages, damages_used, sizeof(Damage), damage_order);
}

int game_folder_count() {
    return folder_total;
}

int game_readings = 1; // the verdicts' sort starts at 0: never sorted

int place_count() {
    return places_used;
}

const Place *game_place(int index) {
    return &places[index];
}

MapState place_state(int index) {
    if (places[index].state == MapState::unread) {
        read_place(places[index]);
    }
    return places[index].state;
}

int pack_count() {
    return packs_used;
}

const Pack *game_pack(int index) {
    return &packs[index];
}

int damage_count() {
    return damages_used;
}

const Damage *game_damage(int index) {
    return &damages[index];
}

int unread_map_count() {
    return unread_maps;
}
