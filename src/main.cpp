// The run sequence: load progs.dat, find its slots, read cmaps.cfg into them, write progs.dat back.
#include <csignal>
#include <cstdio>

#include "console_window.h"
#include "map_list.h"
#include "progs_image.h"

// Arguments are ignored: the tool has no options and always works on the
// two files in the current directory.
int main() {
#ifdef SIGXFSZ
    // Under a file size limit the default action kills the process in the
    // middle of the write-back, with no message and progs.dat cut short.
    // Ignored, the write fails instead and the run reports it.
    static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
#endif
    std::printf("Velmora\n");
    FILE *progs = load_window("progs.dat", progs_window);
    find_slots();
    if (!slots_complete()) {
        fatal_error("Bad progs.dat\n");
    }
    FILE *map_list = load_window("cmaps.cfg", map_list_window);
    std::fclose(map_list);
    parse_map_list();
    // Nothing has been written before this point, so every error above
    // left progs.dat as it was.
    std::printf("Writing progs.dat...\n");
    write_window(progs, "progs.dat", progs_window);
    std::printf("Done.\n");
    hold_console_window();
    return 0;
}
