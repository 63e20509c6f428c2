// progs_copies.h: the copies of progs.dat a run writes: the loose one, and those in the mod's packs
// that the engines run before it.
#ifndef VELMORA_PROGS_COPIES_H
#define VELMORA_PROGS_COPIES_H

#include <cstdio>

#include "game_folders.h"
#include "progs_image.h"

// The loose file, Quakespasm's copy and DarkPlaces' copy.
constexpr int kMostCopies = 3;
// Room for a pack's name, a colon and an entry's name.
constexpr int kCopyNameSize = 320;

struct ProgsCopy {
    char where[kCopyNameSize]; // as the lines name it: "progs.dat" or "pak0.pak:progs.dat"
    char file[kCopyNameSize];  // the file it lies in
    bool loose;
    long long offset; // of its first byte in the file
    // The bytes a pack's entry holds, all of which may be written; -1 for
    // the loose file, whose window grows to kWindowData bytes.
    long long entry_length;
    int engines; // kQuakespasm, kDarkplaces: the engines that run it
    FILE *stream;
    int length; // bytes the file gave the window
    unsigned char window[kWindowSize];
    unsigned char loaded[kWindowSize]; // as read, for the undo and the notes
};

extern ProgsCopy progs_copies[kMostCopies];
extern int progs_copy_count;

// Finds the copies in the current folder, in the order a run reads them:
// the loose file, then Quakespasm's, then DarkPlaces'. Returns null, or why
// no run can write them (a copy's data outside its pack, or over its
// directory or another copy); the copies found are kept all the same.
const char *find_progs_copies();

// The most bytes of the copy a run reads and writes: a pack's entry is
// never written past its end, the loose file grows to kWindowData.
long long copy_bytes(const ProgsCopy &copy);

// Puts the copy's window, as loaded or as patched, in the progs window and
// finds its slots there; returns whether all ten are there.
bool use_copy(int index, bool as_loaded);

// Opens the copy's file in the given fopen mode, says so when announce is
// set, and reads the copy's first bytes into its window; a pack's copy must
// give them all. Stops the run on a failure, naming the copy.
void load_copy(ProgsCopy &copy, const char *mode, bool announce);

// Which engines run the copy, as --check says it: "... run it".
const char *copy_engines(const ProgsCopy &copy);

// Whether any copy is in a pack: only then do runs name their copies.
bool copies_in_packs();

// Whether the copies' slots hold different names now.
bool copies_differ();

// A Note: line where Quakespasm and its kin run none of the copies, and,
// with names_too, one where the copies hold different names now; on out.
void print_copy_notes(FILE *out, bool names_too);

#endif
