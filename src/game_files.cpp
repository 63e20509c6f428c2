// The checked file calls the game reader makes. Every result is checked; a failure is the file's
// damage, which the caller names, never the end of the run.
#include "game_files.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <direct.h>
#endif

#include "progs_image.h"

namespace {

long long position_of(FILE *stream) {
#ifdef _WIN32
    return _ftelli64(stream);
#else
    return static_cast<long long>(ftello(stream));
#endif
}

} // namespace

void *resized(void *memory, std::size_t size) {
    memory = std::realloc(memory, size);
    if (memory == nullptr) {
        fatal_error("Out of memory\n");
    }
    return memory;
}

bool open_game_file(const char *path, GameFile *file) {
    file->stream = std::fopen(path, "rb");
    if (file->stream == nullptr) {
        return false;
    }
    // Unbuffered: each range moves in one read straight into the caller's
    // bytes, and nothing is read beyond it.
    static_cast<void>(std::setvbuf(file->stream, nullptr, _IONBF, 0));
    // A file whose end cannot be found is taken as empty: nothing of it is
    // read, and its damage says so.
    file->size = seek_to(file->stream, 0, SEEK_END) ? position_of(file->stream) : 0;
    file->size = file->size < 0 ? 0 : file->size;
    return true;
}

bool read_range(GameFile *file, long long offset, void *bytes, int count) {
    auto size = static_cast<std::size_t>(count);
    return seek_to(file->stream, offset, SEEK_SET) &&
           std::fread(bytes, 1, size, file->stream) == size;
}

void close_game_file(GameFile *file) {
    // Opened only for reading: a failed close loses nothing.
    static_cast<void>(std::fclose(file->stream));
    file->stream = nullptr;
}

void list_folder(const char *path, void (*each)(const char *name, bool is_folder, void *context),
                 void *context) {
    DIR *folder = opendir(path);
    if (folder == nullptr) {
        return;
    }
    char entry_path[4096];
    for (const dirent *entry = readdir(folder); entry != nullptr; entry = readdir(folder)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        // Not every system fills in d_type (Windows' has none): ask stat.
        int length = join(entry_path, sizeof entry_path, path, "/", name);
        struct stat status;
        if (length < static_cast<int>(sizeof entry_path) && stat(entry_path, &status) == 0) {
            each(name, S_ISDIR(status.st_mode), context);
        }
    }
    closedir(folder);
}

bool in_base_folder() {
#ifdef _WIN32
    // Windows' stat gives no file numbers; its folder names are in any case.
    char path[4096];
    const char *folder = _getcwd(path, sizeof path);
    const char *name = folder != nullptr ? folder : "";
    for (const char *c = name; *c != 0; ++c) {
        if ((*c == '/' || *c == '\\') && c[1] != 0) {
            name = c + 1;
        }
    }
    return _stricmp(name, "id1") == 0 || _stricmp(name, "id1\\") == 0;
#else
    // By file number rather than name, which a WASI host does not give.
    struct stat here, base;
    return stat(".", &here) == 0 && stat("../id1", &base) == 0 && here.st_dev == base.st_dev &&
           here.st_ino == base.st_ino;
#endif
}

bool base_folder_exists() {
    struct stat base;
    return stat("../id1", &base) == 0 && S_ISDIR(base.st_mode);
}
