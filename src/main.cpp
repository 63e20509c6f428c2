// The entry: picks the command, then runs it; a run loads both files, fills the slots, writes
// progs.dat back.
#ifndef __wasi__ // WASI has no signals
#include <csignal>
#endif
#include <cstdio>

#include "command_line.h"
#include "console_window.h"
#include "listing.h"
#include "map_list.h"
#include "map_report.h"
#include "progs_image.h"
#include "raw_names.h"
#include "write_back.h"

namespace {

// Nothing is written to, or listed from, an image without its ten slots.
void find_all_slots() {
    find_slots();
    if (!slots_complete()) {
        fatal_error("Bad progs.dat\n");
    }
}

// Everything a run does before it writes: loads both files and puts the new
// names into the progs window. Returns the progs stream, still open.
FILE *fill_slots() {
    std::printf("Velmora\n");
    int length = 0;
    FILE *progs = load_window("progs.dat", progs_window, &length);
    keep_loaded_progs(length);
    find_all_slots();
    FILE *map_list = load_window("cmaps.cfg", map_list_window, nullptr);
    std::fclose(map_list);
    parse_map_list();
    return progs;
}

void run() {
    FILE *progs = fill_slots();
    // Nothing has been written before this point, so every error above
    // left progs.dat as it was.
    std::printf("Writing progs.dat...\n");
    write_back(progs, "progs.dat");
    std::printf("Done.\n");
}

// A run up to the write-back, with the same opens, checks and messages.
void check() {
    std::fclose(fill_slots());
    print_planned_names();
    std::printf("Check only: progs.dat was not written.\n");
    print_game_notes();
}

// For the options that only look at progs.dat: read-only, with no banner, so
// that their output can be redirected into a file.
void load_progs_read_only() {
    FILE *progs = open_file("progs.dat", "rb");
    read_window(progs, "progs.dat", progs_window);
    std::fclose(progs);
    find_all_slots();
}

} // namespace

int main(int argc, char **argv) {
#ifdef SIGXFSZ
    // Under a file size limit the default action kills the process in the
    // middle of the write-back, with no message and nothing put back.
    // Ignored, the write fails instead and the run undoes it.
    static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
#endif
    Command command = read_command_line(argc, argv);
    switch (command) {
    case Command::run:
        run();
        break;
    case Command::check:
        check();
        break;
    case Command::list:
        load_progs_read_only();
        list_names();
        break;
    case Command::slots:
        load_progs_read_only();
        print_slot_table();
        break;
    case Command::make_list:
        print_map_list_of_names();
        break;
    case Command::maps:
        print_maps();
        break;
    case Command::map_table:
        print_map_table();
        break;
    case Command::help:
        print_usage();
        break;
    case Command::version:
        print_version();
        break;
    }
    // The options' whole result is their output: `velmora --list > cmaps.cfg`
    // on a full disk must not pass for success. A run's output is only its
    // log, and a run that wrote progs.dat has succeeded; it stays as it was.
    // An earlier write may have failed already and left nothing to flush.
    if (command != Command::run && (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)) {
        fatal_error("Cannot write standard output\n");
    }
    // A window that a double-click opened is read by a person, never by a
    // script: after a run it also says what the game will make of the names.
    hold_console_window(command == Command::run ? print_game_notes : nullptr);
    return 0;
}
