// Writes the benchmark's game into DIR: DIR/mod (1,000 loose maps, a progs.dat with the ten
// slots and a cmaps.cfg naming ten of the maps) and DIR/id1 (two 512 MiB sparse packs); with
// --pack, bench/pack's mod folder: a cmaps.cfg and a 512 MiB sparse pak0.pak holding progs.dat.
//   make_bench_game [--pack] DIR
#include <cstdio>
#include <fstream>

#include "bench_game.h"

namespace {

// Maps first, then the other entries' data in the hole, then the directory at the end.
bool write_pack(const std::string &path, int pack) {
    std::ofstream file(path, std::ios::binary);
    std::string map = bench_map("Id1", 0), directory;
    long long other = (kPackSize - (1 << 20)) / kPackEntries;
    long long at = 12 + static_cast<long long>(map.size()) * (kPackEntries / 10);
    file << pack_header(static_cast<int>(kPackSize - 64 * kPackEntries), 64 * kPackEntries);
    for (int i = 0; i < kPackEntries; ++i) {
        char name[56] = {};
        bool is_map = i % 10 == 0;
        std::snprintf(name, sizeof name, is_map ? "maps/pak%d_%04d.bsp" : "sound/pak%d/%04d.wav",
                      pack, i);
        long long offset = is_map ? 12 + static_cast<long long>(map.size()) * (i / 10) : at;
        directory += std::string(name, 56) + int32(offset) +
                     int32(is_map ? static_cast<long long>(map.size()) : other);
        at += is_map ? 0 : other;
        if (is_map) {
            file << bench_map("Id1", i);
        }
    }
    file.seekp(kPackSize - 64 * kPackEntries);
    file << directory;
    return static_cast<bool>(file);
}

// The progs.dat entry amid sounds in the hole, its 64 KiB written, the directory at the end.
bool write_progs_pack(const std::string &path) {
    std::ofstream file(path, std::ios::binary);
    std::string directory;
    file << pack_header(static_cast<int>(kPackSize - 64 * kPackEntries), 64 * kPackEntries);
    for (int i = 0; i < kPackEntries; ++i) {
        char name[56] = {};
        std::snprintf(name, sizeof name, i == kProgsEntry ? "progs.dat" : "sound/%04d.wav", i);
        bool progs = i == kProgsEntry;
        directory += std::string(name, 56) + int32(12 + kEntrySpan * i) +
                     int32(progs ? kProgsLength : kEntrySpan);
    }
    // Filler of every byte but 't', so that it holds no "t!g" and the ten slots are the only ones.
    std::string progs(kProgsLength, '\0');
    for (std::size_t i = 0; i < progs.size(); ++i) {
        progs[i] = static_cast<char>(i % 251 == 't' ? 0 : i % 251);
    }
    for (int digit = 0; digit < 10; ++digit) {
        std::string slot =
            "placeholder" + std::to_string(digit) + "____lt!g" + std::to_string(digit);
        progs.replace(static_cast<std::size_t>(1000 + 1500 * digit), slot.size(), slot);
    }
    file.seekp(kProgsAt);
    file << progs;
    file.seekp(kPackSize - 64 * kPackEntries);
    file << directory;
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char **argv) {
    bool progs_pack = argc == 3 && std::string(argv[1]) == "--pack";
    if (argc != 2 && !progs_pack) {
        std::fprintf(stderr, "usage: make_bench_game [--pack] DIR\n");
        return 2;
    }
    std::string root = argv[argc - 1];
    Tree mod;
    std::string progs = "progs";
    std::string list;
    for (char digit = '0'; digit <= '9'; ++digit) {
        progs += std::string("usermap") + digit + std::string(8, '\0') + "lt!g" + digit;
        list += std::string("LOCALMAP") + digit + " = \"mod_000" + digit + "\";\n";
    }
    if (progs_pack) {
        write_tree(root, {{"cmaps.cfg", list}});
        if (!write_progs_pack(root + "/pak0.pak")) {
            std::fprintf(stderr, "make_bench_game: cannot write the pack\n");
            return 1;
        }
        return 0;
    }
    mod.push_back({"mod/progs.dat", progs});
    mod.push_back({"mod/cmaps.cfg", list});
    for (int i = 0; i < kLooseMaps; ++i) {
        char path[64];
        std::snprintf(path, sizeof path, "mod/maps/mod_%04d.bsp", i);
        mod.push_back({path, bench_map("Mod", i)});
    }
    write_tree(root, mod);
    write_tree(root, {{"id1/.keep", ""}});
    for (int pack = 0; pack < kPacks; ++pack) {
        if (!write_pack(root + "/id1/pak" + std::to_string(pack) + ".pak", pack)) {
            std::fprintf(stderr, "make_bench_game: cannot write the packs\n");
            return 1;
        }
    }
    return 0;
}
