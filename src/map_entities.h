// map_entities.h: a map's entities text: its title, and whether a player can start in it.
#ifndef VELMORA_MAP_ENTITIES_H
#define VELMORA_MAP_ENTITIES_H

#include "game_files.h"

// What a map's entities say.
struct MapEntities {
    bool level;        // some entity's classname starts with info_player_
    const char *title; // the worldspawn's message as the game draws it, or null
    int title_length;  // its bytes (valid until the next map is read)
};

// Reads the map whose bytes lie at [offset, offset + length) of the file.
// Returns null, or why the map is damaged (a map of another format than the
// engines load among them).
const char *read_map_entities(GameFile *file, long long offset, long long length, MapEntities *map);

#endif
