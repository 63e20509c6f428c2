// raw_names.h: the slots' names as plain bytes, for programs that drive the tool (the page).
#ifndef VELMORA_RAW_NAMES_H
#define VELMORA_RAW_NAMES_H

// Prints one line for each slot of the progs window: its digit, its file
// offset, the name a map list would give back in hex (empty when none can),
// and why no map list can hold the name, in --list's words (empty when one
// can), tab-separated.
void print_slot_table();

// Reads ten names from standard input, one per line, the first for digit 0,
// and prints them as a map list in the form --list uses. The names are
// copied as they are, whatever their length, so that a run of the list
// reports any that a map list cannot hold.
void print_map_list_of_names();

// Reads the next line of standard input, without its line feed, keeping at
// most size bytes of it in line. Returns the whole line's length, or -1 when
// the input has ended.
int read_input_line(char *line, int size);

#endif
