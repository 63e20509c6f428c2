// Writes one benchmark folder's progs.dat and cmaps.cfg.
//   make_bench_inputs DIR PROGS_SIZE ten|full
// progs.dat: PROGS_SIZE bytes (64 KiB of filler with the ten slots in its
// first window, then a hole, so a 1 GiB file costs no disk). cmaps.cfg: ten
// definitions, or a list that fills the whole 16,383-byte window with
// thousands of comment lines and definitions that repeat digits.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr long kHead = 64 * 1024;
constexpr std::size_t kWindowData = 16383;

bool write_progs(const std::string &path, long size) {
    static unsigned char image[kHead];
    // Filler without a 't', so it holds no "t!g" and every slot is ours.
    for (long i = 0; i < kHead; ++i) {
        auto byte = static_cast<unsigned char>((i * 37 + 11) % 251);
        image[i] = byte == 't' ? 0 : byte;
    }
    for (int digit = 0; digit < 10; ++digit) {
        unsigned char *slot = image + 1000 + 1500 * digit;
        std::snprintf(reinterpret_cast<char *>(slot), 16, "placeholder%d", digit);
        std::memcpy(slot + 16, "lt!g", 4);
        slot[20] = static_cast<unsigned char>('0' + digit);
    }
    auto head = static_cast<std::size_t>(size < kHead ? size : kHead);
    std::FILE *out = std::fopen(path.c_str(), "wb");
    bool ok = out != nullptr && std::fwrite(image, 1, head, out) == head;
    // Seeking past the end and writing one byte leaves a hole, not data.
    if (ok && size > kHead) {
        ok = std::fseek(out, size - 1, SEEK_SET) == 0 && std::fputc(0, out) == 0;
    }
    return out != nullptr && std::fclose(out) == 0 && ok;
}

std::string ten_definitions() {
    return "// Ten custom maps.\n"
           "LOCALMAP0 = \"dm_arena\";\n"
           "LOCALMAP1=\"tight\";                // blanks are optional\n"
           "LOCALMAP2 = \"ctf_\\\"fort\\\"\";\n"
           "LOCALMAP3 = \"maps\\\\base\";\n"
           "LOCALMAP4 =\n    \"spread_out\";\n"
           "LOCALMAP5 = \"fifteen_chars_x\";\n"
           "LOCALMAP6 = \"six\";\r\n"
           "LOCALMAP7 = \"\";\n"
           "LOCALMAP8\t=\t\"tabbed\";\n"
           "LOCALMAP9 = \"finale\";\n";
}

// Comment lines of 3 to 8 bytes, with a definition after every tenth; the
// digits cycle, so each is defined many times and the last one wins.
std::string full_window() {
    std::string text;
    for (int line = 0;; ++line) {
        std::string next = "//" + std::string(std::size_t(line % 6), '-') + "\n";
        if (line % 10 == 9) {
            next += "LOCALMAP" + std::to_string(line / 10 % 10) + " = \"name_" +
                    std::to_string(line) + "\";\n";
        }
        // Leave room for the closing comment's two slashes.
        if (text.size() + next.size() + 2 > kWindowData) {
            break;
        }
        text += next;
    }
    // Pad with one last comment to the window's exact length.
    text += std::string("//") + std::string(kWindowData - text.size() - 2, '=');
    return text;
}

bool write_text(const std::string &path, const std::string &text) {
    std::FILE *out = std::fopen(path.c_str(), "wb");
    bool ok = out != nullptr && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return out != nullptr && std::fclose(out) == 0 && ok;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_bench_inputs DIR PROGS_SIZE ten|full\n");
        return 2;
    }
    std::string dir = argv[1], kind = argv[3];
    long size = std::strtol(argv[2], nullptr, 10);
    std::string map_list = kind == "full" ? full_window() : ten_definitions();
    if (!write_progs(dir + "/progs.dat", size) || !write_text(dir + "/cmaps.cfg", map_list)) {
        std::fprintf(stderr, "make_bench_inputs: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
