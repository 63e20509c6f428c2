// The entry: picks the command, then runs it; a run loads every copy of progs.dat and cmaps.cfg,
// fills the slots, writes the copies back.
#ifndef __wasi__ // WASI has no signals
#include <csignal>
#endif
#include <cstdio>
#include <cstring>

#include "command_line.h"
#include "console_window.h"
#include "listing.h"
#include "map_list.h"
#include "map_report.h"
#include "progs_copies.h"
#include "progs_image.h"
#include "raw_names.h"
#include "write_back.h"

namespace {

// Nothing is written to, or listed from, an image without its ten slots.
void find_all_slots(int copy) {
    if (!use_copy(copy, false)) {
        if (progs_copies[copy].loose) {
            fatal_error("Bad progs.dat\n");
        }
        fatal_error("Bad progs.dat (%s)\n", progs_copies[copy].where);
    }
}

// Everything a run does before it writes: loads every copy of progs.dat and
// the map list, and puts the new names into each copy's window, its streams
// still open. The names go into each copy's own slots: the copies may be
// different builds, with their slots at different offsets.
void fill_slots() {
    std::printf("Velmora\n");
    const char *why = find_progs_copies();
    if (why != nullptr) {
        fatal_error("%s\n", why);
    }
    for (int i = 0; i < progs_copy_count; ++i) {
        load_copy(progs_copies[i], "r+b", true);
        find_all_slots(i);
    }
    FILE *map_list = load_window("cmaps.cfg", map_list_window);
    std::fclose(map_list);
    for (int i = 0; i < progs_copy_count; ++i) {
        find_all_slots(i);
        parse_map_list();
        std::memcpy(progs_copies[i].window, progs_window, kWindowSize);
    }
    // What the notes and --check's list of names look at: the first copy.
    find_all_slots(0);
}

void run() {
    fill_slots();
    // Nothing has been written before this point, so every error above
    // left every copy as it was.
    write_back();
    std::printf("Done.\n");
    print_copy_notes(stdout, false);
}

// A run up to the write-back, with the same opens, checks and messages.
void check() {
    fill_slots();
    for (int i = 0; i < progs_copy_count; ++i) {
        std::fclose(progs_copies[i].stream);
    }
    print_planned_names();
    if (!copies_in_packs()) {
        std::printf("Check only: progs.dat was not written.\n");
    } else {
        for (int i = 0; i < progs_copy_count; ++i) {
            std::printf("A run writes %s (%s)\n", progs_copies[i].where,
                        copy_engines(progs_copies[i]));
        }
        std::printf("Check only: no copy of progs.dat was written.\n");
    }
    print_copy_notes(stdout, true);
    print_game_notes();
}

// For the options that only look at progs.dat: read-only, with no banner, so
// that their output can be redirected into a file. They look at the first
// copy a run writes.
void load_progs_read_only() {
    static_cast<void>(find_progs_copies());
    load_copy(progs_copies[0], "rb", false);
    find_all_slots(0);
    for (int i = 1; i < progs_copy_count; ++i) {
        load_copy(progs_copies[i], "rb", false);
    }
    for (int i = 0; i < progs_copy_count; ++i) {
        std::fclose(progs_copies[i].stream);
    }
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
        print_copy_notes(stderr, true);
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
