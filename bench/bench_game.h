// bench_game.h: the benchmark's game (bench/maps), as the maker writes it and the floor reads it.
#ifndef VELMORA_BENCH_GAME_H
#define VELMORA_BENCH_GAME_H

#include <cstdio>
#include <string>

#include "game_folder.h"

// mod/maps/ holds kLooseMaps maps; id1/ holds two sparse packs of kPackSize bytes and
// kPackEntries entries, one in ten a map: 1,400 maps in all.
constexpr int kLooseMaps = 1000;
constexpr int kPackEntries = 2000;
constexpr long long kPackSize = 512LL << 20;
constexpr int kPacks = 2;

// bench/pack's mod folder: one pack of kPackSize bytes and kPackEntries entries, each in its own
// kEntrySpan bytes of the hole but entry kProgsEntry, a progs.dat of kProgsLength bytes at its
// place, with the ten slots in its first window; no loose progs.dat.
constexpr long long kEntrySpan = (kPackSize - (1 << 20)) / kPackEntries;
constexpr int kProgsEntry = kPackEntries / 2;
constexpr long long kProgsAt = 12 + kEntrySpan * kProgsEntry;
constexpr long long kProgsLength = 64 * 1024;

// Every map has the same size, so that the floor knows where each lies without reading.
inline std::string bench_map(const char *kind, int number) {
    char title[32];
    std::snprintf(title, sizeof title, "%s map %04d", kind, number);
    return level(title);
}

#endif
