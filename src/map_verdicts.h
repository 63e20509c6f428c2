// map_verdicts.h: what the engines do when told to start a map by name.
#ifndef VELMORA_MAP_VERDICTS_H
#define VELMORA_MAP_VERDICTS_H

// The engines of each kind, as the notes name them.
constexpr const char *kQuakespasmKind = "Quakespasm, ironwail and vkQuake";
constexpr const char *kDarkplacesKind = "DarkPlaces and FTE";

enum class Verdict {
    empty,        // no name: nothing to start
    starts,       // every engine starts it, a level
    some_engines, // only some engines start it
    windows_only, // only a loose map whose name differs in case: no engine on Linux finds it
    no_level,     // what an engine finds is no level: no place to put a player
    no_map,       // no engine finds it
};

struct NameVerdict {
    Verdict verdict;
    int place;   // the place the verdict is about, or -1
    int engines; // some_engines: those that start it
    // some_engines: why the others do not (valid until the next verdict).
    const char *why;
    int everywhere; // some_engines: a place whose name starts everywhere, or -1
    int nearest[3]; // no_map: the first places of the nearest levels' names
    int nearest_count;
};

// Judges name (length bytes) against the game that read_game() found.
void judge_name(const char *name, int length, NameVerdict *verdict);

#endif
