// The least `velmora --maps` can cost in the benchmark's game: the same folders listed (each
// entry stat'ed), the same files opened and sized, the same byte ranges read, with the same
// unbuffered stdio calls, and nothing parsed. It knows where every range lies from the maker's
// layout (bench_game.h), not from the files. Run in the game's mod folder.
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>

#include "bench_game.h"

namespace {

char buffer[1 << 16];
long long bytes_read;

bool read_at(FILE *file, long long offset, long long length) {
    bytes_read += length;
    return fseeko(file, offset, SEEK_SET) == 0 &&
           std::fread(buffer, 1, static_cast<std::size_t>(length), file) ==
               static_cast<std::size_t>(length);
}

FILE *open_sized(const std::string &path) {
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        std::setvbuf(file, nullptr, _IONBF, 0);
        fseeko(file, 0, SEEK_END);
        static_cast<void>(ftello(file));
    }
    return file;
}

// The tool lists every folder at the top of each game folder, and maps/ below it.
int list(const std::string &path, int depth) {
    DIR *folder = opendir(path.c_str());
    int entries = 0;
    for (dirent *entry; folder != nullptr && (entry = readdir(folder)) != nullptr;) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        struct stat status;
        std::string inside = path + "/" + entry->d_name;
        ++entries;
        if (stat(inside.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && depth == 0) {
            entries += list(inside + "/", 1);
        }
    }
    if (folder != nullptr) {
        closedir(folder);
    }
    return entries;
}

} // namespace

int main() {
    bool ok = list("./", 0) > 0 && list("../id1/", 0) > 0;
    // Every map has one size and one entities lump, right after its 124-byte header.
    std::string map = bench_map("Mod", 0);
    auto size = static_cast<long long>(map.size());
    long long entities = static_cast<unsigned char>(map[8]) | static_cast<unsigned char>(map[9])
                                                                  << 8;
    for (int pack = 0; pack < kPacks; ++pack) {
        std::string path = "../id1/pak" + std::to_string(pack) + ".pak";
        // Opened once to see whether it is empty, once for its directory, once for its maps.
        FILE *file = open_sized(path);
        ok = file != nullptr && std::fclose(file) == 0 && ok;
        file = open_sized(path);
        long long directory = kPackSize - 64 * kPackEntries;
        ok = file != nullptr && read_at(file, 0, 12) && read_at(file, directory, 1 << 16) &&
             read_at(file, directory + (1 << 16), 64 * kPackEntries - (1 << 16)) &&
             std::fclose(file) == 0 && ok;
        file = open_sized(path);
        for (int i = 0; file != nullptr && i < kPackEntries / 10; ++i) {
            ok = read_at(file, 12 + size * i, 124) &&
                 read_at(file, 12 + size * i + 124, entities) && ok;
        }
        ok = file != nullptr && std::fclose(file) == 0 && ok;
    }
    for (int i = 0; i < kLooseMaps; ++i) {
        char path[64];
        std::snprintf(path, sizeof path, "maps/mod_%04d.bsp", i);
        FILE *file = open_sized(path);
        ok = file != nullptr && read_at(file, 0, 124) && read_at(file, 124, entities) &&
             std::fclose(file) == 0 && ok;
    }
    std::fprintf(stderr, "%lld bytes read\n", bytes_read);
    return ok ? 0 : 1;
}
