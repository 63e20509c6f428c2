// The least a run can cost in bench/pack's mod folder, whose progs.dat lies in a 512 MiB pack: the
// same folder listing, opens, byte ranges read and written and console lines as the tool, with
// nothing parsed or checked. It knows where the directory and the copy lie from the maker's layout
// (bench_game.h), not from the pack. bench/pack times the tool against it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bench_game.h"

namespace {

constexpr int kWindowData = 16383;
// The directory's first 1,024 entries, which hold the progs.dat entry: the tool reads a directory
// 1,024 entries at a time, up to the first progs.dat entry.
char directory[1024 * 64];
char progs_window[kWindowData];
char map_list_window[kWindowData];
const char kLines[] = "Velmora\nReading pak0.pak:progs.dat...\nReading cmaps.cfg...\n"
                      "Writing pak0.pak:progs.dat...\nDone.\n";

} // namespace

int main() {
    // No loose progs.dat; then every name in the folder is looked at for packs, in any case.
    struct stat status;
    bool ok = stat("progs.dat", &status) != 0;
    DIR *folder = opendir(".");
    for (dirent *entry; folder != nullptr && (entry = readdir(folder)) != nullptr;) {
        stat(entry->d_name, &status);
    }
    ok = folder != nullptr && closedir(folder) == 0 && ok;
    // The header and the directory up to the progs.dat entry, once, and the copy's window.
    int pack = open("pak0.pak", O_RDWR);
    char header[12];
    ok = pack >= 0 && pread(pack, header, 12, 0) == 12 &&
         pread(pack, directory, sizeof directory, kPackSize - 64 * kPackEntries) ==
             sizeof directory &&
         pread(pack, progs_window, kWindowData, kProgsAt) == kWindowData && ok;
    int map_list = open("cmaps.cfg", O_RDWR);
    ok = map_list >= 0 && read(map_list, map_list_window, kWindowData) >= 0 &&
         close(map_list) == 0 && ok;
    ok = pwrite(pack, progs_window, kWindowData, kProgsAt) == kWindowData && ok;
    ok = close(pack) == 0 && ok;
    ok = write(1, kLines, sizeof kLines - 1) == sizeof kLines - 1 && ok;
    return ok ? 0 : 1;
}
