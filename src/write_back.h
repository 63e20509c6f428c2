// write_back.h: writing the progs window over progs.dat, and putting the file back when that fails.
#ifndef VELMORA_WRITE_BACK_H
#define VELMORA_WRITE_BACK_H

#include <cstdio>

// Copies the progs window as just loaded, with the number of data bytes the
// file gave it: what a failed write-back needs to put progs.dat back.
void keep_loaded_progs(int length);

// The progs window as it was loaded, before any slot changed.
const unsigned char *loaded_progs();

// Writes the progs window's data bytes over the start of the stream and
// closes it. Should any step fail, puts the file back as it was loaded,
// length included, and stops with an error; returns only on success.
void write_back(FILE *stream, const char *name);

#endif
