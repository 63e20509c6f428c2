// listing.h: the slots' names written out as map list definitions, for --list and --check.
#ifndef VELMORA_LISTING_H
#define VELMORA_LISTING_H

// Room for the longest definition: keyword, digit, 15 escaped bytes, its zero.
constexpr int kDefinitionSize = 48;

// Writes byte c as it stands between a map list's quotes, a double quote or a
// backslash escaped, into out, and returns its length: 1 or 2.
int quote_byte(int c, char *out);

// Why no map list can give a slot the name in this 16-byte name area, or
// null when one can.
const char *unlistable_name(const unsigned char *area);

// How --list says that it leaves out a slot whose name is unlistable: "has no
// name yet" for an area that holds no name at all, else "is left out".
const char *left_out_as(const unsigned char *area);

// Writes `LOCALMAP<digit> = "<name>";` for the name in area into out, with
// its quote and backslash bytes escaped, and returns its length. The name
// must be listable.
int format_definition(int digit, const unsigned char *area, char *out);

// Prints the names the progs window holds as a map list that reads them back.
void list_names();

// Prints the name each slot of the progs window holds, with the one it held
// when it was loaded wherever the two differ.
void print_planned_names();

#endif
