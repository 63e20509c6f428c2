// The run sequence: load progs.dat, find its slots, read cmaps.cfg into them, write progs.dat back.
#include <csignal>
#include <cstdio>

#include "map_list.h"
#include "progs_image.h"
#include "write_back.h"

// Arguments are ignored: the tool has no options and always works on the
// two files in the current directory.
int main() {
#ifdef SIGXFSZ
    // Under a file size limit the default action kills the process in the
    // middle of the write-back, with no message and nothing put back.
    // Ignored, the write fails instead and the run undoes it.
    static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
#endif
    std::printf("Velmora\n");
    int length = 0;
    FILE *progs = load_window("progs.dat", progs_window, &length);
    keep_loaded_progs(length);
    find_slots();
    if (!slots_complete()) {
        fatal_error("Bad progs.dat\n");
    }
    FILE *map_list = load_window("cmaps.cfg", map_list_window, nullptr);
    std::fclose(map_list);
    parse_map_list();
    // Nothing has been written before this point, so every error above
    // left progs.dat as it was.
    std::printf("Writing progs.dat...\n");
    write_back(progs, "progs.dat");
    std::printf("Done.\n");
    return 0;
}
