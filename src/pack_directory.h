// pack_directory.h: a pack's header and directory, and what each engine makes of them.
#ifndef VELMORA_PACK_DIRECTORY_H
#define VELMORA_PACK_DIRECTORY_H

#include "game_files.h"

constexpr int kPackNameSize = 56;

// What the header says, checked against the file's size.
struct PackHeader {
    long long directory; // the directory's offset
    // Its length as the header gives it, a part entry at its end included.
    long long directory_length;
    int entries; // entries to read: 0 when no engine reads one
    // Why the pack is damaged, or null. A damaged pack may still be read by
    // one engine: the two differ on several kinds of damage.
    const char *damage;
    // Why Quakespasm refuses the pack, stopping at start when it is one of
    // its pak0.pak, pak1.pak, ...; null when it reads it.
    const char *quakespasm_stops;
    bool quakespasm; // Quakespasm reads its entries
    bool darkplaces; // DarkPlaces reads its entries
};

// One entry of the directory: a name that ends within its 56 bytes (else
// empty, with the damage) and data
// within the pack, or the damage that costs it (and it alone: both engines
// read the entries after a damaged one).
struct PackEntry {
    char name[kPackNameSize];
    long long offset, length;
    const char *damage;
    // Its data runs past the pack's end; length is cut to what there is.
    bool cut;
};

// Reads and checks the pack's 12-byte header. Returns false on a read error.
bool read_pack_header(GameFile *pack, PackHeader *header);

// Reads entry index (below header->entries), a directory's worth at a time.
// Returns false on a read error.
bool read_pack_entry(GameFile *pack, const PackHeader *header, int index, PackEntry *entry);

// Gives back the memory the directory's reads took; the next read takes it
// again.
void release_pack_directory();

#endif
