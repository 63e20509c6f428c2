// What the engines do with a name: which place each one loads, whether that is a level, and for a
// name that no engine finds, the nearest names that are.
#include "map_verdicts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "game_files.h"
#include "game_folders.h"

namespace {

// Names closer than this count as near.
constexpr int kFarthest = 2;
constexpr int kMostNearest = 3;
// The longest name looked for near ones; a slot's name has 15 bytes at most.
constexpr int kLongestName = 64;

char why[512];

// Places in the order of their names with ASCII letters in lower case, as
// DarkPlaces compares a pack's names: equal names, one run. Each comes with
// its name's first eight bytes so lowered, in one number that orders as they
// do, so that most comparisons of the sort and the searches read no name.
struct CaseKey {
    unsigned long long prefix;
    int place;
};
CaseKey *case_order;
int case_order_size;
int case_order_reading; // the game_readings it was sorted for

int lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

// The sort and every search call this: bytes that are equal skip the lowering.
int compare_any_case(const char *a, int a_length, const char *b, int b_length) {
    for (int i = 0; i < a_length && i < b_length; ++i) {
        if (a[i] == b[i]) {
            continue;
        }
        int order =
            lower(static_cast<unsigned char>(a[i])) - lower(static_cast<unsigned char>(b[i]));
        if (order != 0) {
            return order;
        }
    }
    return a_length - b_length;
}

unsigned long long prefix_of(const char *name, int length) {
    unsigned long long prefix = 0;
    for (int i = 0; i < 8; ++i) {
        int byte = i < length ? lower(static_cast<unsigned char>(name[i])) : 0;
        prefix = prefix << 8 | static_cast<unsigned long long>(byte);
    }
    return prefix;
}

// key's name against name (whose prefix is given), as compare_any_case orders them.
int compare_key(const CaseKey &key, unsigned long long prefix, const char *name, int length) {
    if (key.prefix != prefix) {
        return key.prefix < prefix ? -1 : 1;
    }
    const Place &place = *game_place(key.place);
    return compare_any_case(place.name, place.name_length, name, length);
}

// Within a run of equal names, places keep their byte order.
int case_order_of(const void *a, const void *b) {
    const auto &x = *static_cast<const CaseKey *>(a), &y = *static_cast<const CaseKey *>(b);
    const Place &place = *game_place(y.place);
    int order = compare_key(x, y.prefix, place.name, place.name_length);
    return order != 0 ? order : x.place - y.place;
}

bool same_name(const Place &place, const char *name, int length) {
    return place.name_length == length &&
           std::memcmp(place.name, name, static_cast<std::size_t>(length)) == 0;
}

void sort_by_any_case() {
    if (case_order_reading == game_readings) {
        return;
    }
    case_order_reading = game_readings;
    case_order_size = place_count();
    case_order = static_cast<CaseKey *>(
        resized(case_order, sizeof(CaseKey) * std::size_t(case_order_size) + 1));
    for (int i = 0; i < case_order_size; ++i) {
        case_order[i] = {prefix_of(game_place(i)->name, game_place(i)->name_length), i};
    }
    // The places' byte order is already this one unless a name holds a
    // capital letter, as few do: then one look is all it costs.
    int sorted = 1;
    while (sorted < case_order_size &&
           case_order_of(&case_order[sorted - 1], &case_order[sorted]) < 0) {
        ++sorted;
    }
    if (sorted < case_order_size) {
        std::qsort(case_order, std::size_t(case_order_size), sizeof(CaseKey), case_order_of);
    }
}

// The run of case_order whose names equal name in any case: [*first, *last).
void any_case_run(const char *name, int length, int *first, int *last) {
    sort_by_any_case();
    // A verdict asks for one name's run several times: the last answer is kept.
    static char asked[kLongestName];
    static int asked_length = -1, asked_first, asked_last, asked_reading;
    if (length == asked_length && asked_reading == game_readings &&
        std::memcmp(name, asked, static_cast<std::size_t>(length)) == 0) {
        *first = asked_first;
        *last = asked_last;
        return;
    }
    // The first index whose name is not below name; the run that starts
    // there is walked, as every caller walks it after.
    unsigned long long prefix = prefix_of(name, length);
    int low = 0, high = case_order_size;
    // --maps asks for every name in byte order, mostly this order too: the
    // run is then the one after the last, and two looks find it.
    if (asked_reading == game_readings && asked_last > 0 && asked_last < case_order_size) {
        if (compare_key(case_order[asked_last - 1], prefix, name, length) < 0) {
            low = asked_last;
        }
        if (compare_key(case_order[asked_last], prefix, name, length) >= 0) {
            high = asked_last;
        }
    }
    while (low < high) {
        int middle = low + (high - low) / 2;
        if (compare_key(case_order[middle], prefix, name, length) < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    *first = *last = low;
    while (*last < case_order_size && compare_key(case_order[*last], prefix, name, length) == 0) {
        ++*last;
    }
    if (length <= kLongestName) {
        std::memcpy(asked, name, static_cast<std::size_t>(length));
        asked_length = length;
        asked_first = *first;
        asked_last = *last;
        asked_reading = game_readings;
    }
}

bool has_high_byte(const char *name, int length) {
    for (int i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(name[i]) > 0x7F) {
            return true;
        }
    }
    return false;
}

// Whether the engine finds the place when told name: Quakespasm by the exact
// path; DarkPlaces a pack's entry in any case, a loose file exactly.
bool finds(int engine, const Place &place, const char *name, int length) {
    if ((place.engines & engine) == 0) {
        return false;
    }
    if (engine == kQuakespasm || place.pack < 0) {
        return same_name(place, name, length);
    }
    return true;
}

// The place the engine loads for name: the first it finds in its search, or -1.
int loaded_by(int engine, const char *name, int length) {
    // Quakespasm's command line ends a name at a byte over 0x7F.
    if (engine == kQuakespasm && has_high_byte(name, length)) {
        return -1;
    }
    int first, last, best = -1;
    any_case_run(name, length, &first, &last);
    for (int i = first; i < last; ++i) {
        const Place &place = *game_place(case_order[i].place);
        long long rank = engine == kQuakespasm ? place.quakespasm_rank : place.darkplaces_rank;
        if (finds(engine, place, name, length) &&
            (best < 0 || rank < (engine == kQuakespasm ? game_place(best)->quakespasm_rank
                                                       : game_place(best)->darkplaces_rank))) {
            best = case_order[i].place;
        }
    }
    return best;
}

// A loose map whose path differs from maps/name.bsp in case alone: Windows
// finds it, and no engine on Linux does.
int loose_in_other_case(const char *name, int length) {
    int first, last;
    any_case_run(name, length, &first, &last);
    for (int i = first; i < last; ++i) {
        if (game_place(case_order[i].place)->pack < 0) {
            return case_order[i].place;
        }
    }
    return -1;
}

// Not through judge_name: two names that differ in case, each started by one
// engine only, would ask after each other without end.
bool starts_everywhere(const char *name, int length) {
    int quakespasm = loaded_by(kQuakespasm, name, length);
    int darkplaces = loaded_by(kDarkplaces, name, length);
    return quakespasm >= 0 && darkplaces >= 0 && place_state(quakespasm) != MapState::no_level &&
           place_state(darkplaces) != MapState::no_level;
}

void judge(const char *name, int length, bool look_near, NameVerdict *verdict);

// Without looking for near names: a name of the game that no engine finds
// (one with a byte over 0x7F in a pack only Quakespasm reads) would look
// for its own near names, and they for theirs.
Verdict verdict_of(const char *name, int length) {
    NameVerdict verdict;
    judge(name, length, false, &verdict);
    return verdict.verdict;
}

// A name, other than this one and equal to it in any case, that every engine starts.
int everywhere_name(const char *name, int length) {
    int first, last;
    any_case_run(name, length, &first, &last);
    for (int i = first; i < last; ++i) {
        const Place &place = *game_place(case_order[i].place);
        if (!same_name(place, name, length) && starts_everywhere(place.name, place.name_length)) {
            return case_order[i].place;
        }
    }
    return -1;
}

void explain_some_engines(const char *name, int length, const NameVerdict &verdict) {
    const Place &place = *game_place(verdict.place);
    const Pack *pack = place.pack >= 0 ? game_pack(place.pack) : nullptr;
    if (verdict.engines == kQuakespasm) {
        std::snprintf(why, sizeof why, "%s skip %s: %s", kDarkplacesKind, pack->where,
                      pack->darkplaces_skips);
    } else if (has_high_byte(name, length)) {
        std::snprintf(why, sizeof why, "%s end a name at its first byte over 0x7F",
                      kQuakespasmKind);
    } else if ((pack->engines & kQuakespasm) == 0) {
        std::snprintf(why, sizeof why, "%s do not read %s: %s", kQuakespasmKind, pack->where,
                      pack->quakespasm_skips);
    } else {
        std::snprintf(why, sizeof why, "it is %s, and %s match a name in a pack in its exact case",
                      place.where, kQuakespasmKind);
    }
}

// Edits (a byte added, dropped or changed, or two neighbours swapped) from a
// to b, or more than kFarthest when they are further apart than that.
int distance(const char *a, int a_length, const char *b, int b_length) {
    if (std::abs(a_length - b_length) > kFarthest || b_length > kLongestName) {
        return kFarthest + 1;
    }
    // Rows for the two bytes before the one being worked out.
    static int rows[3][kLongestName + 1];
    for (int j = 0; j <= b_length; ++j) {
        rows[0][j] = j;
    }
    for (int i = 1; i <= a_length; ++i) {
        int *row = rows[i % 3], *up = rows[(i - 1) % 3], *two_up = rows[(i + 1) % 3];
        row[0] = i;
        for (int j = 1; j <= b_length; ++j) {
            int change = a[i - 1] == b[j - 1] ? 0 : 1;
            int best = up[j - 1] + change;
            best = up[j] + 1 < best ? up[j] + 1 : best;
            best = row[j - 1] + 1 < best ? row[j - 1] + 1 : best;
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                best = two_up[j - 2] + 1 < best ? two_up[j - 2] + 1 : best;
            }
            row[j] = best;
        }
    }
    return rows[a_length % 3][b_length];
}

// A name of the game that some engine (or Windows) starts as a level.
bool is_level(const char *name, int length) {
    Verdict verdict = verdict_of(name, length);
    return verdict != Verdict::no_level && verdict != Verdict::no_map;
}

// The nearest names that are levels: first those equal to name but for case,
// then one edit away, then two; each tier in byte order.
void find_nearest(const char *name, int length, NameVerdict *verdict) {
    for (int tier = 0; tier <= kFarthest && verdict->nearest_count < kMostNearest; ++tier) {
        for (int i = 0; i < place_count() && verdict->nearest_count < kMostNearest; ++i) {
            const Place &place = *game_place(i);
            if (i > 0 && same_name(*game_place(i - 1), place.name, place.name_length)) {
                continue; // one name, several places
            }
            bool any_case = compare_any_case(place.name, place.name_length, name, length) == 0;
            bool near = tier == 0 ? any_case
                                  : !any_case && distance(place.name, place.name_length, name,
                                                          length) == tier;
            if (near && is_level(place.name, place.name_length)) {
                verdict->nearest[verdict->nearest_count++] = i;
            }
        }
    }
}

void judge(const char *name, int length, bool look_near, NameVerdict *verdict) {
    *verdict = {Verdict::empty, -1, 0, nullptr, -1, {-1, -1, -1}, 0};
    if (length == 0) {
        return;
    }
    int quakespasm = loaded_by(kQuakespasm, name, length);
    int darkplaces = loaded_by(kDarkplaces, name, length);
    if (quakespasm < 0 && darkplaces < 0) {
        verdict->place = loose_in_other_case(name, length);
        verdict->verdict = verdict->place >= 0 ? Verdict::windows_only : Verdict::no_map;
        if (verdict->place >= 0 && place_state(verdict->place) == MapState::no_level) {
            verdict->verdict = Verdict::no_level;
        }
        if (verdict->verdict == Verdict::no_map && look_near) {
            find_nearest(name, length, verdict);
        }
        return;
    }
    int loaded[] = {quakespasm, darkplaces};
    for (int place : loaded) {
        if (place >= 0 && place_state(place) == MapState::no_level) {
            verdict->verdict = Verdict::no_level;
            verdict->place = place;
            return;
        }
    }
    verdict->place = quakespasm >= 0 ? quakespasm : darkplaces;
    if (quakespasm >= 0 && darkplaces >= 0) {
        verdict->verdict = Verdict::starts;
        return;
    }
    verdict->verdict = Verdict::some_engines;
    verdict->engines = quakespasm >= 0 ? kQuakespasm : kDarkplaces;
    verdict->everywhere = everywhere_name(name, length);
    explain_some_engines(name, length, *verdict);
    verdict->why = why;
}

} // namespace

void judge_name(const char *name, int length, NameVerdict *verdict) {
    judge(name, length, true, verdict);
}
