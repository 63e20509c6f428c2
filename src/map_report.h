// map_report.h: what the tool says of the game's maps: --maps, --map-table, --check's notes.
#ifndef VELMORA_MAP_REPORT_H
#define VELMORA_MAP_REPORT_H

// --maps: every level a game started here can load, with its title and
// places, then what was left out; damage goes to standard error as notes.
void print_maps();

// --map-table: the same for programs, in tab-separated rows with names and
// titles in hex, then a verdict for each name read from standard input.
void print_map_table();

// After a check (or a run in a window of its own): a note for each slot name
// that not every engine starts as a level, for a progs.dat that an engine
// runs instead of this one, and for a pack that stops an engine at start.
void print_game_notes();

#endif
