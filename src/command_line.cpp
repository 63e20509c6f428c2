// The command line: at most one option picks what velmora does; other words are ignored.
#include "command_line.h"

#include <cstdio>
#include <cstring>

#include "progs_image.h"

#ifndef VELMORA_VERSION
#error "the build defines VELMORA_VERSION from the project's version"
#endif

namespace {

struct Option {
    const char *name;
    Command command;
};

const Option kOptions[] = {
    {"--list", Command::list},       {"--check", Command::check},
    {"--slots", Command::slots},     {"--make-list", Command::make_list},
    {"--maps", Command::maps},       {"--map-table", Command::map_table},
    {"--help", Command::help},       {"-h", Command::help},
    {"--version", Command::version},
#ifdef _WIN32
    {"/?", Command::help},
#endif
};

// Words that are not options were always ignored, and a caller may still
// pass some; only a leading '-' (or Windows' own "/?") makes an option.
bool is_option(const char *word) {
#ifdef _WIN32
    if (std::strcmp(word, "/?") == 0) {
        return true;
    }
#endif
    return word[0] == '-';
}

} // namespace

Command read_command_line(int argc, char **argv) {
    const char *option = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (is_option(argv[i])) {
            if (option != nullptr) {
                fatal_error("Give one option at a time\n");
            }
            option = argv[i];
        }
    }
    if (option == nullptr) {
        return Command::run;
    }
    for (const Option &known : kOptions) {
        if (std::strcmp(option, known.name) == 0) {
            return known.command;
        }
    }
    fatal_error("Unknown option %s\n", option);
}

void print_usage() {
    std::fputs("Usage: velmora [option]\n"
               "\n"
               "Writes the map names that cmaps.cfg defines into the ten user map slots of\n"
               "progs.dat, in place. Both files are taken from the current folder. Where\n"
               "the folder's pak0.pak, pak1.pak, ... hold a progs.dat that an engine runs,\n"
               "that copy is written too, inside its pack: every copy or none.\n"
               "\n"
               "Options (at most one):\n"
               "  (none)      write the names from cmaps.cfg into progs.dat\n"
               "  --list      print the names progs.dat holds now, in the form of cmaps.cfg\n"
               "  --check     read both files as a run does and show what it would write;\n"
               "              write nothing; then a note for each name that not every\n"
               "              engine starts as a level\n"
               "  --maps      list the levels a game started here can load: this folder and\n"
               "              ../id1, as Quakespasm and DarkPlaces read them\n"
               "  --slots     for programs: print each slot's digit, offset, name in hex\n"
               "              and why no map list can hold it, tab-separated\n"
               "  --make-list for programs: print ten names read from standard input, one\n"
               "              per line, as a map list\n"
               "  --map-table for programs: --maps with names and titles in hex, then a\n"
               "              verdict for each name on standard input (up to ten lines)\n"
#ifdef _WIN32
               "  -h, --help  print this help (also /?)\n"
#else
               "  -h, --help  print this help\n"
#endif
               "  --version   print the version\n"
               "\n"
               "Exit status: 0 on success; 1 after an \"Error: \" line, and then progs.dat is\n"
               "as it was before the run.\n",
               stdout);
}

void print_version() {
    std::fputs("velmora " VELMORA_VERSION "\n", stdout);
}
