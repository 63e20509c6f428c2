// Builds maps, packs and game folders from their rules alone, so that no binary is checked in.
#include "game_folder.h"

#include <cstring>
#include <filesystem>
#include <fstream>

std::string int32(long long value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return bytes;
}

namespace {

std::string int16(int value) {
    return int32(value).substr(0, 2);
}

std::string float32(float value) {
    std::string bytes(4, 0);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

std::string box(int size) {
    std::string bytes;
    for (int sign : {-1, 1}) {
        for (int i = 0; i < 3; ++i) {
            bytes += int16(sign * size);
        }
    }
    return bytes;
}

} // namespace

std::string bsp(const std::string &entities, const std::string &version) {
    std::string plane = float32(0) + float32(0) + float32(1) + float32(0) + int32(2);
    std::string node = int32(0) + int16(-1) + int16(-2) + box(64) + int16(0) + int16(0);
    std::string clipnode = int32(0) + int16(-1) + int16(-2);
    std::string leaf = int32(-2) + int32(-1) + box(64) + int16(0) + int16(0) + int32(0);
    std::string empty_leaf = int32(-1) + int32(-1) + box(64) + int16(0) + int16(0) + int32(0);
    std::string model;
    for (float bound : {-64.f, -64.f, -64.f, 64.f, 64.f, 64.f, 0.f, 0.f, 0.f}) {
        model += float32(bound);
    }
    model += int32(0) + int32(0) + int32(0) + int32(0) + int32(1) + int32(0) + int32(0);
    // Lumps 0 to 14: entities, planes, textures, vertexes, visibility, nodes,
    // texinfo, faces, lighting, clipnodes, leafs, marksurfaces, edges,
    // surfedges, models.
    std::string text = entities + '\0';
    const std::string lumps[15] = {text, plane,    int32(0),          "", "", node, "",   "",
                                   "",   clipnode, leaf + empty_leaf, "", "", "",   model};
    std::string header = version, body;
    for (const std::string &lump : lumps) {
        header += int32(124 + static_cast<long long>(body.size())) +
                  int32(static_cast<long long>(lump.size()));
        body += lump + std::string((4 - lump.size() % 4) % 4, '\0');
    }
    return header + body;
}

std::string level(const std::string &title) {
    return bsp("{\n\"classname\" \"worldspawn\"\n\"message\" \"" + title +
               "\"\n}\n{\n\"classname\" \"info_player_start\"\n\"origin\" \"0 0 24\"\n}\n");
}

std::string item_model() {
    return bsp("{\n\"classname\" \"worldspawn\"\n}\n");
}

std::string pack_header(int offset, int length, const std::string &magic) {
    return magic + int32(offset) + int32(length);
}

std::string pack(const std::vector<Entry> &entries) {
    std::string data, directory;
    for (const Entry &entry : entries) {
        std::string name = entry.name;
        name.resize(56, '\0');
        directory += name + int32(12 + static_cast<long long>(data.size())) +
                     int32(static_cast<long long>(entry.data.size()));
        data += entry.data;
    }
    return pack_header(12 + static_cast<int>(data.size()), static_cast<int>(directory.size())) +
           data + directory;
}

namespace {

// The directory first: the last entry's data then ends the file.
std::string pack_directory_first(const std::vector<Entry> &entries) {
    std::string data, directory;
    long long start = 12 + 64 * static_cast<long long>(entries.size());
    for (const Entry &entry : entries) {
        std::string name = entry.name;
        name.resize(56, '\0');
        directory += name + int32(start + static_cast<long long>(data.size())) +
                     int32(static_cast<long long>(entry.data.size()));
        data += entry.data;
    }
    return pack_header(12, static_cast<int>(directory.size())) + directory + data;
}

} // namespace

Tree edge_packs() {
    std::string map = level("Edge");
    std::vector<Entry> entries(2048, {"sound/x.wav", ""});
    entries[0] = {"maps/" + std::string(46, 'n') + ".bsp", map}; // its zero is its 56th byte
    entries[1] = {"maps/" + std::string(47, 'o') + ".bsp", map}; // no zero
    entries[2] = {"maps/neg.bsp", map};
    entries[3] = {"maps/neglen.bsp", map};
    entries[4] = {"maps/del\x7f.bsp", map};
    entries[5] = {"maps/cut.bsp", map};    // its data runs past the pack's end
    entries[6] = {"maps/beyond.bsp", map}; // its data starts there
    entries[1023] = {"maps/chunk_end.bsp", map};
    entries[1024] = {"maps/chunk_next.bsp", map};
    entries[2047] = {"maps/at_end.bsp", map};
    std::string pak0 = pack_directory_first(entries)
                           .replace(12 + 2 * 64 + 56, 8, int32(-12) + int32(200))
                           .replace(12 + 3 * 64 + 60, 4, int32(-1))
                           .replace(12 + 5 * 64 + 60, 4, int32(1 << 20))
                           .replace(12 + 6 * 64 + 56, 4, int32(0x7FFFFF00));
    return {{"mod/pak0.pak", pak0},
            {"mod/far.pak", pack_header(0x7FFFFFF0, 64) + std::string(64, '\0')}};
}

Tree edge_maps() {
    // A text whose lump, with its zero, is size bytes.
    auto sized = [](std::size_t size) {
        std::string text = "{\"message\" \"Mib\" \"classname\" \"info_player_start\" \"pad\" \"";
        return bsp(text + std::string(size - 1 - text.size() - 2, 'x') + "\"}");
    };
    std::string last = level("Decoy");
    std::string text = std::string("{\"message\" \"Last\" \"classname\" \"info_player\"}") +
                       "{\"classname\" \"info_player_start\"}" + '\0';
    last.replace(4, 8,
                 int32(static_cast<long long>(last.size())) +
                     int32(static_cast<long long>(text.size())));
    std::string deep = "mod/maps/";
    Tree maps = {
        {"mod/maps/minus.bsp", level("Minus").replace(8, 4, int32(-1))},
        {"mod/maps/last.bsp", last + text},
        {"mod/maps/mib.bsp", sized(1 << 20)},
        {"mod/maps/mib1.bsp", sized((1 << 20) + 1)},
        {"mod/maps/zero.bsp", bsp(std::string("{\"message\" \"Zero\"}") + '\0' +
                                  "{\"classname\" \"info_player_start\"}")},
        {"mod/maps/prefix.bsp", bsp("{\"classname\" \"info_player_\"}")},
        {"mod/maps/late.bsp", bsp("{\"classname\" \"worldspawn\"}{\"message\" \"Late\" "
                                  "\"classname\" \"info_player_start\"}")},
        {"mod/pak0.pak", pack({{"maps/.bsp", level("No name")}})},
    };
    for (int depth = 1; depth <= 17; ++depth) {
        deep += "f/";
        if (depth >= 15) {
            maps.push_back({deep + "deep" + std::to_string(depth) + ".bsp", level("Deep")});
        }
    }
    return maps;
}

void write_tree(const std::string &root, const Tree &tree) {
    for (const auto &[path, bytes] : tree) {
        std::filesystem::path file = std::filesystem::path(root) / path;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
}

Tree game_of_every_kind() {
    std::string progs = "progs";
    for (char digit = '0'; digit <= '9'; ++digit) {
        progs += std::string("usermap") + digit + std::string(8, '\0') + "lt!g" + digit;
    }
    std::string chain_pack1 = pack({{"maps/dm_arena.bsp", level("Arena, the mod's")},
                                    {"maps/qs_only.bsp", level("Quakespasm's alone")},
                                    {"maps/\xe9t\xe9.bsp", level("No engine's")}});
    // One byte more directory than whole entries: DarkPlaces skips the pack,
    // Quakespasm reads the three entries, but no name with a byte over 0x7F.
    chain_pack1 = chain_pack1.substr(0, 8) + int32(3 * 64 + 1) + chain_pack1.substr(12) + "x";
    Tree game = {
        {"id1/pak0.pak", pack({{"progs.dat", "base progs"},
                               {"maps/start.bsp", level("Introduction")},
                               {"maps/e1m1.bsp", level("the Slipgate Complex")},
                               {"maps/b_batt0.bsp", item_model()},
                               {"maps/b_bh10.bsp", item_model()}})},
        {"id1/maps/dm_arena.bsp", level("The \xc1rena\\nof old")},
        {"mod/progs.dat", progs},
        {"mod/cmaps.cfg", "LOCALMAP0 = \"start\";\nLOCALMAP1 = \"mixedcase\";\n"
                          "LOCALMAP2 = \"extra1\";\nLOCALMAP3 = \"dm_loose\";\n"
                          "LOCALMAP4 = \"b_batt0\";\nLOCALMAP5 = \"dm_arnea\";\n"
                          "LOCALMAP6 = \"caf\xe9\";\nLOCALMAP7 = \"vault/x\";\n"
                          "LOCALMAP8 = \"qs_only\";\n"},
        {"mod/pak0.pak", pack({{"maps/MixedCase.bsp", level("Mixed")},
                               {"MAPS/Shout.BSP", level("Shout")},
                               // In a pack: Wine cannot name a file whose name is not UTF-8.
                               {"maps/caf\xe9.bsp", level("Caf\xe9")},
                               {"maps/vault/y.bsp", level("Vault Y")},
                               // Quakespasm runs this copy, the others the loose one.
                               {"progs.dat", progs}})},
        {"mod/pak1.pak", chain_pack1},
        {"mod/extra.pak", pack({{"maps/extra1.bsp", level("Extra")}})},
        {"mod/pak3.pak", pack({{"maps/after_gap.bsp", level("After a gap")}})},
        {"mod/maps/Dm_Loose.bsp", level("Loose")},
        {"mod/maps/vault/x.bsp", level("Vault X")},
        {"mod/maps/upper.BSP", level("Upper")},
        {"mod/sub/pak0.pak", pack({{"maps/hidden.bsp", level("Hidden")}})},
    };
    return game;
}

namespace {

// The game without a progs.dat of its own, and with what Quakespasm needs to start.
Tree for_engines(Tree game) {
    // What Quakespasm needs to start: a WAD2 with no lumps, the registered version's
    // gfx/pop.lmp, and a model for the player that the engines' own progs.dat precaches.
    static const char pop[] = "0000000000000000000000000000000000000000660000000000000066000000"
                              "0000006600000000000000000067000000006665000000000000000000656600"
                              "0063656100000000000000000061656300646561000000000000000000616564"
                              "0064656400006469696964000064656400636568620000646864000062686563"
                              "000065676963006467640063696765000000626667696a6867686a6967666200"
                              "0000006265666666666666666562000000000000006263646664636200000000"
                              "0000000000000062666200000000000000000000000000616661000000000000"
                              "0000000000000000650000000000000000000000000000006400000000000000";
    std::string lump;
    for (std::size_t i = 0; i + 1 < sizeof pop; i += 2) {
        lump += static_cast<char>(std::stoi(std::string(pop + i, 2), nullptr, 16));
    }
    game.push_back({"id1/gfx/pop.lmp", lump});
    game.push_back({"id1/gfx.wad", "WAD2" + int32(0) + int32(12)});
    game.push_back({"id1/progs/player.mdl", item_model()});
    for (auto file = game.begin(); file != game.end();) {
        file = file->first == "mod/progs.dat" ? game.erase(file) : file + 1;
    }
    // A pack's entries keep their places; only the name of the progs.dat changes.
    for (auto &[path, bytes] : game) {
        for (std::size_t at;
             (at = bytes.find(std::string("progs.dat\0", 10))) != std::string::npos;) {
            bytes.replace(at, 9, "progs.old");
        }
    }
    return game;
}

} // namespace

std::vector<std::pair<std::string, Tree>> games_for_engines() {
    std::string map = level("Packed");
    std::vector<Entry> many(2048, {"sound/x.wav", ""});
    many.push_back({"maps/m1.bsp", map});
    std::vector<Entry> more = many;
    more.push_back({"maps/m2.bsp", map});
    std::string past = pack({{"maps/far.bsp", map}, {"maps/good.bsp", map}});
    past.replace(12 + 2 * map.size() + 56, 4, int32(1 << 20));
    return {
        {"every-kind", for_engines(game_of_every_kind())},
        // Quakespasm takes the empty pack for pak0.pak; DarkPlaces skips it.
        {"empty-pack", for_engines({{"mod/pak0.pak", pack({{"maps/p0.bsp", map}})},
                                    {"mod/pak1.pak", ""},
                                    {"mod/pak2.pak", pack({{"maps/p2.bsp", map}})}})},
        // Each stops Quakespasm at start; DarkPlaces reads the other packs, and the big one.
        {"not-a-pack",
         for_engines({{"mod/pak0.pak", pack({{"maps/p0.bsp", map}})},
                      {"mod/pak1.pak", "KCAP" + pack({{"maps/p1.bsp", map}}).substr(4)}})},
        {"many-entries", for_engines({{"mod/pak0.pak", pack({{"maps/p0.bsp", map}})},
                                      {"mod/pak1.pak", pack(more)}})},
        // A damaged entry costs itself alone.
        {"damaged-entry", for_engines({{"mod/pak0.pak", past}})},
        // Quakespasm reads 2,048 entries, and the edges of a pack's directory; 2,049 stop it.
        {"pack-edges", for_engines(edge_packs())},
        {"one-entry-too-many", for_engines({{"mod/pak0.pak", pack({{"maps/p0.bsp", map}})},
                                            {"mod/pak1.pak", pack(many)}})},
        // Quakespasm takes the mod's empty pak0.pak for id1's, read before it.
        {"empty-mod-pack",
         for_engines({{"mod/pak0.pak", ""}, {"id1/pak0.pak", pack({{"maps/e1m1.bsp", map}})}})},
    };
}
