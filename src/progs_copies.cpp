// Which copies of progs.dat a run writes. DarkPlaces, FTE and QSS run the mod's loose progs.dat
// before any pack's; Quakespasm, ironwail and vkQuake run the one in the highest pakN.pak of the
// mod's chain before the loose one. Writing only one of them would leave some engines running
// the old names.
#include "progs_copies.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "game_files.h"
#include "map_verdicts.h"
#include "pack_directory.h"

ProgsCopy progs_copies[kMostCopies];
int progs_copy_count;

namespace {

constexpr int kPackHeaderSize = 12;

// The packs at the top of the current folder, by name; given back when the
// copies are found.
char **pack_names;
int pack_total, pack_room;

char reason[2 * kCopyNameSize + 64];

void note_pack(const char *name, bool is_folder, void *) {
    std::size_t length = std::strlen(name);
    if (is_folder || !ends_with_any_case(name, length, ".pak")) {
        return;
    }
    if (pack_total == pack_room) {
        pack_room = pack_room == 0 ? 16 : 2 * pack_room;
        pack_names = static_cast<char **>(
            resized(pack_names, sizeof(char *) * static_cast<std::size_t>(pack_room)));
    }
    pack_names[pack_total] = static_cast<char *>(resized(nullptr, length + 1));
    std::memcpy(pack_names[pack_total++], name, length + 1);
}

void forget_packs() {
    for (int i = 0; i < pack_total; ++i) {
        std::free(pack_names[i]);
    }
    std::free(pack_names);
    pack_names = nullptr;
    pack_total = pack_room = 0;
    release_pack_directory();
}

// What one read of a pack's directory found: the first entry each kind of
// engine runs as progs.dat, if it reads the pack. The last pack read is kept,
// since both searches usually end in the same pack.
struct Found {
    char pack[kCopyNameSize];
    int status; // 1 when read, 0 when it cannot be opened, -1 on a read error
    PackHeader header;
    bool quakespasm, darkplaces;
    PackEntry quakespasm_entry, darkplaces_entry;
};
Found found;

const Found &read_directory(const char *pack_name) {
    if (std::strcmp(found.pack, pack_name) == 0) {
        return found;
    }
    std::snprintf(found.pack, sizeof found.pack, "%s", pack_name);
    found.quakespasm = found.darkplaces = false;
    GameFile pack;
    if (!open_game_file(pack_name, &pack)) {
        found.status = 0;
        return found;
    }
    PackHeader &header = found.header;
    found.status = read_pack_header(&pack, &header) ? 1 : -1;
    PackEntry entry;
    // Quakespasm finds only the exact name, DarkPlaces any case; each the
    // first entry of it, in a pack it reads.
    for (int i = 0; found.status > 0 && i < header.entries &&
                    (found.quakespasm < header.quakespasm || found.darkplaces < header.darkplaces);
         ++i) {
        if (!read_pack_entry(&pack, &header, i, &entry)) {
            found.status = -1;
        } else if (std::strlen(entry.name) == 9 && ends_with_any_case(entry.name, 9, "progs.dat")) {
            if (!found.quakespasm && header.quakespasm &&
                std::strcmp(entry.name, "progs.dat") == 0) {
                found.quakespasm = true;
                found.quakespasm_entry = entry;
            }
            if (!found.darkplaces && header.darkplaces) {
                found.darkplaces = true;
                found.darkplaces_entry = entry;
            }
        }
    }
    close_game_file(&pack);
    return found;
}

// Quakespasm's chain: pak0.pak, pak1.pak, ... up to the first missing or
// unopenable one; the highest is searched first. Returns its length.
int chain_length() {
    for (int number = 0;; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "pak%d.pak", number);
        int i = 0;
        while (i < pack_total && std::strcmp(pack_names[i], name) != 0) {
            ++i;
        }
        GameFile pack;
        if (i == pack_total || !open_game_file(name, &pack)) {
            return number;
        }
        close_game_file(&pack);
    }
}

// The bytes of a copy that a run may write.
long long written_length(const ProgsCopy &copy) {
    return copy.entry_length < kWindowData ? copy.entry_length : kWindowData;
}

bool overlap(long long a, long long a_length, long long b, long long b_length) {
    return a < b + b_length && b < a + a_length;
}

// Adds the pack's entry as a copy, unless it is one already found; returns
// why no run can write it, or null.
const char *add_pack_copy(const char *pack_name, const PackEntry &entry, const PackHeader &header,
                          int engines) {
    ProgsCopy &copy = progs_copies[progs_copy_count];
    std::snprintf(copy.where, sizeof copy.where, "%s:%s", pack_name, entry.name);
    std::snprintf(copy.file, sizeof copy.file, "%s", pack_name);
    copy.loose = false;
    copy.offset = entry.offset;
    copy.entry_length = entry.length;
    copy.engines = engines;
    // Engines read what there is of a cut entry, but the bytes a run would
    // write there need not be the copy the directory describes.
    if (entry.damage != nullptr || entry.cut) {
        ++progs_copy_count;
        std::snprintf(reason, sizeof reason, "Cannot write %s: its data lies outside the pack",
                      copy.where);
        return reason;
    }
    long long length = written_length(copy);
    for (int i = 0; i < progs_copy_count; ++i) {
        ProgsCopy &other = progs_copies[i];
        if (other.loose || std::strcmp(other.file, copy.file) != 0) {
            continue;
        }
        if (other.offset == copy.offset && other.entry_length == copy.entry_length) {
            other.engines |= engines; // one copy, run by both
            return nullptr;
        }
        if (overlap(copy.offset, length, other.offset, written_length(other))) {
            ++progs_copy_count;
            std::snprintf(reason, sizeof reason, "Cannot write %s: it overlaps %s", copy.where,
                          other.where);
            return reason;
        }
    }
    ++progs_copy_count;
    const char *over = nullptr;
    if (overlap(copy.offset, length, 0, kPackHeaderSize)) {
        over = "the pack's header";
    } else if (overlap(copy.offset, length, header.directory, header.directory_length)) {
        over = "the pack's directory";
    }
    if (over != nullptr) {
        std::snprintf(reason, sizeof reason, "Cannot write %s: it overlaps %s", copy.where, over);
        return reason;
    }
    return nullptr;
}

int by_name_last_first(const void *a, const void *b) {
    return std::strcmp(*static_cast<char *const *>(b), *static_cast<char *const *>(a));
}

const char *cannot_read(const char *pack_name) {
    std::snprintf(reason, sizeof reason, "Cannot read %s", pack_name);
    return reason;
}

const char *find_in_packs(bool loose) {
    for (int number = chain_length() - 1; number >= 0; --number) {
        char name[32];
        std::snprintf(name, sizeof name, "pak%d.pak", number);
        const Found &pack = read_directory(name);
        if (pack.status < 0) {
            return cannot_read(name);
        }
        if (pack.quakespasm) {
            const char *why = add_pack_copy(name, pack.quakespasm_entry, pack.header, kQuakespasm);
            if (why != nullptr) {
                return why;
            }
            break;
        }
    }
    // DarkPlaces runs a pack's copy only where the folder has no loose one:
    // it searches the folder's files first, then its packs by name, last
    // first, whatever their names.
    if (loose) {
        return nullptr;
    }
    if (pack_total > 1) {
        std::qsort(pack_names, static_cast<std::size_t>(pack_total), sizeof(char *),
                   by_name_last_first);
    }
    for (int i = 0; i < pack_total; ++i) {
        const Found &pack = read_directory(pack_names[i]);
        if (pack.status < 0) {
            return cannot_read(pack_names[i]);
        }
        if (pack.darkplaces) {
            return add_pack_copy(pack_names[i], pack.darkplaces_entry, pack.header, kDarkplaces);
        }
    }
    return nullptr;
}

void add_loose_copy() {
    ProgsCopy &copy = progs_copies[progs_copy_count++];
    std::snprintf(copy.where, sizeof copy.where, "progs.dat");
    std::snprintf(copy.file, sizeof copy.file, "progs.dat");
    copy.loose = true;
    copy.offset = 0;
    copy.entry_length = -1;
    copy.engines = kDarkplaces | kQuakespasm;
}

// The ten names of the progs window's slots, each as the 16 bytes up to and
// with its zero (all 16 where none ends it).
void slot_names(unsigned char names[kSlotCount][kNameLimit + 1]) {
    for (int digit = 0; digit < kSlotCount; ++digit) {
        const unsigned char *area = slot_name_area(digit);
        std::memset(names[digit], 0, kNameLimit + 1);
        for (int i = 0; i <= kNameLimit && (i == 0 || area[i - 1] != 0); ++i) {
            names[digit][i] = area[i];
        }
    }
}

} // namespace

const char *find_progs_copies() {
    progs_copy_count = 0;
    // Anything by that name counts, even a folder: opening it then fails
    // with the message a run has always given.
    struct stat status;
    bool loose = stat("progs.dat", &status) == 0;
    if (loose) {
        add_loose_copy();
    }
    found.pack[0] = 0;
    list_folder(".", note_pack, nullptr);
    const char *why = find_in_packs(loose);
    forget_packs();
    if (progs_copy_count == 0) {
        // No copy anywhere: a run stops on the loose file's absence, as it
        // always has. No engine runs a file that is not there.
        add_loose_copy();
        progs_copies[0].engines = 0;
    } else if (loose && progs_copy_count > 1) {
        progs_copies[0].engines = kDarkplaces;
    }
    return why;
}

long long copy_bytes(const ProgsCopy &copy) {
    return copy.loose ? kWindowData : written_length(copy);
}

bool use_copy(int index, bool as_loaded) {
    const ProgsCopy &copy = progs_copies[index];
    std::memcpy(progs_window, as_loaded ? copy.loaded : copy.window, kWindowSize);
    find_slots();
    return slots_complete();
}

bool copies_in_packs() {
    return progs_copy_count > 1 || !progs_copies[0].loose;
}

bool copies_differ() {
    unsigned char first[kSlotCount][kNameLimit + 1], other[kSlotCount][kNameLimit + 1];
    bool differ = false;
    use_copy(0, true);
    slot_names(first);
    for (int i = 1; i < progs_copy_count; ++i) {
        if (use_copy(i, true)) {
            slot_names(other);
            differ = differ || std::memcmp(first, other, sizeof first) != 0;
        }
    }
    use_copy(0, false);
    return differ;
}

void print_copy_notes(FILE *out, bool names_too) {
    bool quakespasm = false;
    for (int i = 0; i < progs_copy_count; ++i) {
        quakespasm = quakespasm || (progs_copies[i].engines & kQuakespasm) != 0;
    }
    if (!quakespasm) {
        std::fprintf(out,
                     "Note: %s will not run %s: they read only pak0.pak, pak1.pak, ... up to the "
                     "first one missing, and run the base game's progs.dat instead\n",
                     kQuakespasmKind, progs_copies[0].where);
    }
    if (names_too && copies_differ()) {
        std::fprintf(out,
                     "Note: the copies of progs.dat hold different names now; these are the "
                     "names in %s\n",
                     progs_copies[0].where);
    }
}

const char *copy_engines(const ProgsCopy &copy) {
    if (copy.engines == (kQuakespasm | kDarkplaces)) {
        return "every engine runs it";
    }
    if (copy.engines == kQuakespasm) {
        return "Quakespasm, ironwail and vkQuake run it";
    }
    return copy.loose ? "DarkPlaces, FTE and QSS run it" : "DarkPlaces and FTE run it";
}
