// game_folder.h: maps, packs and game folders, for the tests, the page's tests and the bench.
#ifndef VELMORA_GAME_FOLDER_H
#define VELMORA_GAME_FOLDER_H

#include <string>
#include <utility>
#include <vector>

// The smallest map both engines start: one plane, node, clipnode and model,
// two leafs, no faces; lump 0 is the entities text, version the first 4 bytes.
std::string bsp(const std::string &entities,
                const std::string &version = std::string("\x1d\0\0\0", 4));
// A map with a worldspawn whose message is title, and a place for a player.
std::string level(const std::string &title);
// A map with a worldspawn alone, as the base game's item models are.
std::string item_model();

struct Entry {
    std::string name;
    std::string data;
};
// A pack of the entries, data first, then the directory.
std::string pack(const std::vector<Entry> &entries);
// The 12-byte header of a pack: "PACK" (or magic) and two 32-bit numbers.
std::string pack_header(int offset, int length, const std::string &magic = "PACK");
std::string int32(long long value);

// A folder's files by path, with '/' between folders.
using Tree = std::vector<std::pair<std::string, std::string>>;
void write_tree(const std::string &root, const Tree &tree);

// Packs at the edges of what the reader and Quakespasm take, in mod/: a pak0.pak of 2,048
// entries with its directory before the data (entries at the reader's chunk boundary, names of
// 55 and 56 bytes, data at a negative offset or of a negative length, the last entry's data
// ending the file) and a pack whose directory lies near 2^31.
Tree edge_packs();
// Maps at the edges of what the reader takes, in mod/: an entities lump of length -1 and one
// that ends the file, entities text of 1 MiB and one byte more, text after its zero, a classname
// of the prefix alone, a title only after the worldspawn, maps/.bsp, and maps 15, 16 and 17
// folders below maps/.
Tree edge_maps();

// A game of every kind of map and pack the engines treat alike or not: id1/
// and mod/, with a progs.dat and cmaps.cfg in mod/ that name one of each.
Tree game_of_every_kind();

// Games for real engines, by name: the one of every kind and some damaged
// ones, each without a progs.dat (the engines run one of their own) and with
// what Quakespasm needs to start.
std::vector<std::pair<std::string, Tree>> games_for_engines();

#endif
