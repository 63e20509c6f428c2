// Prints what each user map slot of a progs.dat holds, using the tool's own slot scan.
#include <cstdio>

#include "progs_image.h"

int main(int argc, char **argv) {
    const char *name = argc > 1 ? argv[1] : "progs.dat";
    FILE *file = std::fopen(name, "rb");
    if (file == nullptr) {
        fatal_error("Cannot open %s\n", name);
    }
    std::size_t count = std::fread(progs_window, 1, kWindowData, file);
    progs_window[count] = 0;
    std::fclose(file);
    find_slots();
    if (!slots_complete()) {
        fatal_error("Bad progs.dat\n");
    }
    for (int digit = 0; digit < kSlotCount; ++digit) {
        std::printf("slot %d: \"", digit);
        for (const unsigned char *c = slot_name_area(digit); *c != 0; ++c) {
            std::printf(*c >= 0x20 && *c < 0x7f ? "%c" : "\\x%02X", *c);
        }
        std::printf("\"\n");
    }
    return 0;
}
