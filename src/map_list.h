// map_list.h: the reader of cmaps.cfg's "LOCALMAP" definitions.
#ifndef VELMORA_MAP_LIST_H
#define VELMORA_MAP_LIST_H

// Empties every slot, then reads the map list window and writes each defined
// name into its slot in the progs window. Returns only when the whole list
// was read without error.
void parse_map_list();

#endif
