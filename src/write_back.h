// write_back.h: writing every copy of progs.dat back, and putting them all back when that fails.
#ifndef VELMORA_WRITE_BACK_H
#define VELMORA_WRITE_BACK_H

// The first copy's window as it was loaded, before any slot changed.
const unsigned char *loaded_progs();

// Writes each copy's window over its bytes, saying so copy by copy, and
// closes them. Should any step fail, puts every copy that may have changed
// back as it was loaded, a grown file's length included, and stops with an
// error; returns only when every copy was written.
void write_back();

#endif
