// What the tool says of the game's maps, for people (--maps, the notes of --check) and programs
// (--map-table). The words come from the verdicts; this file only lays them out.
#include "map_report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "game_files.h"
#include "game_folders.h"
#include "listing.h"
#include "map_verdicts.h"
#include "progs_copies.h"
#include "progs_image.h"
#include "raw_names.h"

namespace {

// Wider names do not widen the column: they push their own line's title out.
constexpr int kWidestColumn = 20;

// The note for a verdict is built here: a name, escaped, can take twice its bytes.
char note[1024];
int note_length;

void add(const char *text, int length) {
    int room = static_cast<int>(sizeof note) - 1 - note_length;
    length = std::min(length, room);
    std::memcpy(note + note_length, text, static_cast<std::size_t>(length));
    note_length += length;
    note[note_length] = 0;
}

void add(const char *text) {
    add(text, static_cast<int>(std::strlen(text)));
}

// A name in double quotes, escaped as a map list writes it.
void add_quoted(const char *name, int length) {
    add("\"");
    for (int i = 0; i < length; ++i) {
        char quoted[2];
        add(quoted, quote_byte(static_cast<unsigned char>(name[i]), quoted));
    }
    add("\"");
}

const char *engines_word(int engines) {
    return engines == kQuakespasm ? "quakespasm" : "darkplaces";
}

// The name in quotes and what the engines do with it, and why; nothing for
// a name that every engine starts as a level, or an empty one.
void describe(const char *name, int length, const NameVerdict &verdict) {
    note_length = 0;
    note[0] = 0;
    if (verdict.verdict == Verdict::empty || verdict.verdict == Verdict::starts) {
        return;
    }
    add_quoted(name, length);
    add(" ");
    const Place *place = verdict.place >= 0 ? game_place(verdict.place) : nullptr;
    if (verdict.verdict == Verdict::some_engines) {
        add("starts in ");
        add(verdict.engines == kQuakespasm ? kQuakespasmKind : kDarkplacesKind);
        add(" only: ");
        add(verdict.why);
        if (verdict.everywhere >= 0) {
            add("; ");
            add_quoted(game_place(verdict.everywhere)->name,
                       game_place(verdict.everywhere)->name_length);
            add(" starts in every engine");
        }
    } else if (verdict.verdict == Verdict::windows_only) {
        add("is ");
        add(place->where);
        add(", which differs in case: it starts on Windows only, since engines on Linux find a "
            "loose map only by its exact name");
    } else if (verdict.verdict == Verdict::no_level) {
        add("is no level: ");
        add(place->where);
        add(" has no place to put a player (no info_player_ entity)");
    } else {
        add("is no map of this game");
        for (int i = 0; i < verdict.nearest_count; ++i) {
            add(i == 0 ? "; the nearest: " : ", ");
            add_quoted(game_place(verdict.nearest[i])->name,
                       game_place(verdict.nearest[i])->name_length);
        }
        if (verdict.nearest_count == 0) {
            add(", nor near one");
        }
    }
}

const char *verdict_word(Verdict verdict) {
    static const char *const words[] = {"empty",        "starts",   "some-engines",
                                        "windows-only", "no-level", "no-map"};
    return words[static_cast<int>(verdict)];
}

void print_hex(const char *bytes, int length) {
    for (int i = 0; i < length; ++i) {
        std::printf("%02x", static_cast<unsigned char>(bytes[i]));
    }
}

const char *plural(int count, const char *one, const char *many) {
    return count == 1 ? one : many;
}

// Whether places a and b have one name (the places are in order of their names).
bool one_name(int a, int b) {
    const Place &x = *game_place(a), &y = *game_place(b);
    return x.name_length == y.name_length &&
           std::memcmp(x.name, y.name, static_cast<std::size_t>(x.name_length)) == 0;
}

// The first place of each name, in byte order, with its verdict.
struct Level {
    int first;
    NameVerdict verdict;
};

// Calls each(level) for every name that is a level; counts the BSPs that are
// none, and adds the maps that no engine finds to unfound.
template <typename Each> int for_each_level(Each each, int *unfound) {
    int no_levels = 0;
    for (int i = 0; i < place_count(); ++i) {
        const Place &place = *game_place(i);
        if (i > 0 && one_name(i - 1, i)) {
            continue;
        }
        Level level{i, {}};
        judge_name(place.name, place.name_length, &level.verdict);
        if (level.verdict.verdict == Verdict::no_level) {
            ++no_levels;
        } else if (level.verdict.verdict == Verdict::no_map) {
            ++*unfound;
        } else {
            each(level);
        }
    }
    return no_levels;
}

// The title of the first of a name's places that has one.
const Place *titled_place(int first) {
    for (int i = first; i < place_count() && one_name(first, i); ++i) {
        if (game_place(i)->title != nullptr) {
            return game_place(i);
        }
    }
    return nullptr;
}

// The places of the name whose first place is first: the first after
// before, the others after between.
void print_places(int first, const char *before, const char *between) {
    for (int i = first; i < place_count() && one_name(first, i); ++i) {
        std::printf("%s%s", i == first ? before : between, game_place(i)->where);
    }
}

const char *mark(const NameVerdict &verdict) {
    if (verdict.verdict == Verdict::windows_only) {
        return "  (Windows only)";
    }
    if (verdict.verdict == Verdict::some_engines) {
        return verdict.engines == kQuakespasm ? "  (Quakespasm, ironwail and vkQuake only)"
                                              : "  (DarkPlaces and FTE only)";
    }
    return "";
}

// The pack whose progs.dat Quakespasm runs: its first in search order.
const Pack *progs_pack() {
    const Pack *found = nullptr;
    for (int i = 0; i < pack_count(); ++i) {
        if (game_pack(i)->progs && found == nullptr) {
            found = game_pack(i);
        }
    }
    return found;
}

// What concerns the whole game rather than a name: each(word, where, why)
// for a packed progs.dat that Quakespasm runs, and for each pack that stops
// Quakespasm at start or that it misreads.
template <typename Each> void for_each_warning(Each each) {
    if (progs_pack() != nullptr) {
        each("progs-in-pack", progs_pack()->where, "");
    }
    for (int i = 0; i < pack_count(); ++i) {
        const Pack &pack = *game_pack(i);
        if (pack.stops_quakespasm != nullptr) {
            each("stops-quakespasm", pack.where, pack.stops_quakespasm);
        }
        if (pack.misread_by_quakespasm != nullptr) {
            each("misread-by-quakespasm", pack.where, pack.misread_by_quakespasm);
        }
    }
}

void print_game_warnings(FILE *out) {
    for_each_warning([out](const char *word, const char *where, const char *why) {
        // A run writes the copy of progs.dat in a pack too: no note for it.
        if (std::strcmp(word, "progs-in-pack") != 0) {
            std::fprintf(out, "Note: %s %s %s: %s\n", kQuakespasmKind,
                         std::strcmp(word, "stops-quakespasm") == 0 ? "stop at start:" : "misread",
                         where, why);
        }
    });
}

// Where the tool looked for maps: "." and "../id1", joined by "and" or "or".
const char *looked_in(bool all) {
    if (game_folder_count() == 1) {
        return ".";
    }
    return all ? ". and ../id1" : ". or ../id1";
}

} // namespace

void print_maps() {
    read_game(true);
    // The widest of all names, levels or not: judging each name twice would cost a third of the
    // run.
    int width = 0, levels = 0, unfound = unread_map_count();
    for (int i = 0; i < place_count(); ++i) {
        width = std::max(width, std::min(game_place(i)->name_length, kWidestColumn));
    }
    // The lines are laid out here and written a block at a time: a stdio call for each piece
    // of each line cost more than the rest of the listing. stdout's own buffer gathers the
    // blocks into its writes, so a small one does.
    char block[512];
    std::size_t used = 0;
    auto put = [&](const char *bytes, std::size_t length) {
        while (used + length > sizeof block) {
            std::size_t part = sizeof block - used;
            std::memcpy(block + used, bytes, part);
            std::fwrite(block, 1, sizeof block, stdout);
            used = 0;
            bytes += part;
            length -= part;
        }
        std::memcpy(block + used, bytes, length);
        used += length;
    };
    auto put_text = [&](const char *text) { put(text, std::strlen(text)); };
    static const char spaces[kWidestColumn + 3] = "                      ";
    int no_levels = for_each_level(
        [&](const Level &level) {
            const Place &place = *game_place(level.first);
            const Place *titled = titled_place(level.first);
            put(place.name, static_cast<std::size_t>(place.name_length));
            put(spaces, static_cast<std::size_t>(width + 2 - std::min(place.name_length, width)));
            if (titled != nullptr) {
                put("\"", 1);
                put(titled->title, static_cast<std::size_t>(titled->title_length));
                put("\"", 1);
            } else {
                put_text("(no title)");
            }
            for (int i = level.first; i < place_count() && one_name(level.first, i); ++i) {
                put_text(i == level.first ? "  " : ", ");
                put_text(game_place(i)->where);
            }
            put_text(mark(level.verdict));
            put("\n", 1);
            ++levels;
        },
        &unfound);
    std::fwrite(block, 1, used, stdout);
    std::printf("%d %s in %s; left out: %d %s, %d %s that no engine finds\n", levels,
                plural(levels, "level", "levels"), looked_in(true), no_levels,
                plural(no_levels, "BSP that is no level", "BSPs that are no levels"), unfound,
                plural(unfound, "map", "maps"));
    std::fflush(stdout);
    for (int i = 0; i < damage_count(); ++i) {
        std::fprintf(stderr, "Note: %s: %s\n", game_damage(i)->where, game_damage(i)->why);
    }
    print_game_warnings(stderr);
    forget_game();
}

void print_map_table() {
    read_game(true);
    // ../id1 only where it is there: a program can then tell a mod's folder taken alone.
    std::printf("folders\t.%s\n",
                game_folder_count() == 2 && base_folder_exists() ? "\t../id1" : "");
    int unfound = unread_map_count();
    int no_levels = for_each_level(
        [](const Level &level) {
            const Place &place = *game_place(level.first);
            const Place *titled = titled_place(level.first);
            std::printf("level\t");
            print_hex(place.name, place.name_length);
            std::printf("\t");
            print_hex(titled != nullptr ? titled->title : "",
                      titled != nullptr ? titled->title_length : 0);
            const NameVerdict &verdict = level.verdict;
            std::printf("\t%s\t%s",
                        verdict.verdict == Verdict::starts         ? "every"
                        : verdict.verdict == Verdict::windows_only ? "windows"
                                                                   : engines_word(verdict.engines),
                        place.folder == 0 ? "mod" : "base");
            print_places(level.first, "\t", "\t");
            std::printf("\n");
        },
        &unfound);
    std::printf("left-out\t%d\t%d\n", no_levels, unfound);
    for (int i = 0; i < damage_count(); ++i) {
        std::printf("damage\t%s\t%s\n", game_damage(i)->where, game_damage(i)->why);
    }
    for_each_warning([](const char *word, const char *where, const char *why) {
        std::printf("%s\t%s%s%s\n", word, where, why[0] != 0 ? "\t" : "", why);
    });
    // The copies of progs.dat a run would write, for a page that writes them itself.
    const char *why = find_progs_copies();
    for (int i = 0; i < progs_copy_count && progs_copies[i].engines != 0; ++i) {
        const ProgsCopy &copy = progs_copies[i];
        std::printf(
            "copy\t%s\t%s\t%lld\t%lld\t%s\n", copy.file, copy.where, copy.offset, copy_bytes(copy),
            copy.engines == (kQuakespasm | kDarkplaces) ? "every" : engines_word(copy.engines));
    }
    if (why != nullptr) {
        std::printf("copy-error\t%s\n", why);
    }
    char name[kNameLimit + 1];
    for (int digit = 0;; ++digit) {
        int length = read_input_line(name, kNameLimit + 1);
        if (length < 0) {
            break;
        }
        if (digit == kSlotCount) {
            fatal_error("Give ten names, one per line\n");
        }
        std::printf("name\t%d\t", digit);
        // No slot holds such a name, and no map list gives one.
        if (length > kNameLimit) {
            std::printf("\ttoo-long\tis longer than %d characters\n", kNameLimit);
            continue;
        }
        NameVerdict verdict;
        judge_name(name, length, &verdict);
        describe(name, length, verdict);
        print_hex(name, length);
        std::printf("\t%s\t%s", verdict_word(verdict.verdict), note);
        for (int i = 0; i < verdict.nearest_count; ++i) {
            std::printf("\t");
            print_hex(game_place(verdict.nearest[i])->name,
                      game_place(verdict.nearest[i])->name_length);
        }
        std::printf("\n");
    }
    forget_game();
}

void print_game_notes() {
    read_game(false);
    if (place_count() == 0) {
        std::printf("Note: no maps in %s: the names were not checked against any map\n",
                    looked_in(false));
    } else {
        for (int digit = 0; digit < kSlotCount; ++digit) {
            // After a run every slot's name ends within its area.
            const auto *area = reinterpret_cast<const char *>(slot_name_area(digit));
            int length = static_cast<int>(std::strlen(area));
            NameVerdict verdict;
            judge_name(area, length, &verdict);
            describe(area, length, verdict);
            if (note_length > 0) {
                std::printf("Note: LOCALMAP%d %s\n", digit, note);
            }
        }
    }
    print_game_warnings(stdout);
    forget_game();
}
