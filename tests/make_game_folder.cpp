// Writes the tests' game of every kind into a folder (id1/ and mod/), for the page's tests and by hand.
#include <cstdio>

#include "game_folder.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_game_folder FOLDER\n");
        return 2;
    }
    write_tree(argv[1], game_of_every_kind());
    return 0;
}
