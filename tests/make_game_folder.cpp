// Writes the tests' game of every kind into a folder (id1/ and mod/), for the page's tests and by
// hand; --for-engines, the games for real engines, each in a folder of its name; --fuzz-seeds, each
// of its packs and maps as a seed of the game reader's fuzz target; --pack, a pack of given files.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "game_folder.h"

int main(int argc, char **argv) {
    // --pack PACK NAME=FILE...: entries in the order given, so that a name may come twice.
    if (argc >= 3 && std::strcmp(argv[1], "--pack") == 0) {
        std::vector<Entry> entries;
        for (int i = 3; i < argc; ++i) {
            std::string arg = argv[i];
            std::size_t equals = arg.find('=');
            std::ifstream in(equals == std::string::npos ? "" : arg.substr(equals + 1),
                             std::ios::binary);
            std::stringstream data;
            if (!in || !(data << in.rdbuf())) {
                std::fprintf(stderr, "make_game_folder: cannot read %s\n", argv[i]);
                return 1;
            }
            entries.push_back({arg.substr(0, equals), data.str()});
        }
        std::ofstream(argv[2], std::ios::binary) << pack(entries);
        return 0;
    }
    bool seeds = argc == 3 && std::strcmp(argv[1], "--fuzz-seeds") == 0;
    bool engines = argc == 3 && std::strcmp(argv[1], "--for-engines") == 0;
    if (argc != 2 && !seeds && !engines) {
        std::fprintf(stderr, "usage: make_game_folder [--fuzz-seeds | --for-engines] FOLDER\n"
                             "       make_game_folder --pack PACK NAME=FILE...\n");
        return 2;
    }
    if (engines) {
        for (const auto &[name, game] : games_for_engines()) {
            write_tree(std::string(argv[2]) + "/" + name, game);
        }
        return 0;
    }
    if (!seeds) {
        write_tree(argv[1], game_of_every_kind());
        return 0;
    }
    // The target's first byte: 1 for a pack, 0 for a map.
    Tree files;
    for (const auto &[path, bytes] : game_of_every_kind()) {
        bool pack = path.size() > 4 && path.compare(path.size() - 4, 4, ".pak") == 0;
        files.push_back({std::to_string(files.size()), (pack ? "\x01" : "") + bytes});
        files.back().second.insert(0, pack ? 0 : 1, '\0');
    }
    write_tree(argv[2], files);
    return 0;
}
