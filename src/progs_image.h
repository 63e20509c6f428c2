// progs_image.h: the two file windows, the user map slots of progs.dat, and the one error path.
#ifndef VELMORA_PROGS_IMAGE_H
#define VELMORA_PROGS_IMAGE_H

#include <cstdio>

// A window holds the first kWindowData bytes of a file followed by a zero byte,
// so readers can always stop on that zero instead of checking the length.
constexpr int kWindowSize = 16384;
constexpr int kWindowData = kWindowSize - 1;

constexpr int kSlotCount = 10;
constexpr int kNameLimit = 15;
// A slot is a 16-byte name area followed by the marker 'l', "t!g" and its digit.
constexpr int kSlotSize = 21;

extern unsigned char progs_window[kWindowSize];
extern unsigned char map_list_window[kWindowSize];

// Prints "Error: " and the message on standard error and exits with status 1.
[[noreturn]] void fatal_error(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// fseek with a 64-bit offset on every system; false when it fails.
bool seek_to(FILE *stream, long long offset, int whence);

// Opens the file in the given fopen mode, or stops with "Cannot open".
FILE *open_file(const char *name, const char *mode);

// Copies the stream's first bytes into the window and returns how many it
// copied: kWindowData, or the whole file when it is shorter.
int read_window(FILE *stream, const char *name, unsigned char *window);

// Opens the file for update, reports it, and copies its first bytes into the
// window; the stream is returned still open.
FILE *load_window(const char *name, unsigned char *window);

void find_slots();
bool slots_complete();
void clear_slots();

// The first byte of the name area of the slot for digit d (0 to 9).
unsigned char *slot_name_area(int digit);

// True when the length bytes just written at the start of the digit's name
// area (its zero byte included) complete a slot marker that would replace a
// slot in the table on the next scan.
bool name_forms_marker(int digit, int length);

#endif
