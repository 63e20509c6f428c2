// Writes a small synthetic progs.dat for the example: filler data and ten user map slots,
// as fresh as a game's compiler leaves them.
#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_example_progs OUTPUT\n");
        return 2;
    }
    static unsigned char image[2048];
    // Filler that looks like a data file but holds no slot marker.
    for (unsigned i = 0; i < sizeof image; ++i) {
        image[i] = static_cast<unsigned char>((i * 37u + 11u) % 251u);
    }
    std::memcpy(image, "PROGS-EXAMPLE", 13);
    // Each slot as a game's compiler writes it: one string constant whose
    // placeholder text fills the 16-byte name area, then the marker, with the
    // string's zero after the digit. No name has been written into it yet.
    for (int digit = 0; digit < 10; ++digit) {
        unsigned char *slot = image + 200 + 150 * digit;
        std::memcpy(slot, "map0............lt!g0", 22);
        slot[3] = slot[20] = static_cast<unsigned char>('0' + digit);
    }
    FILE *out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(image, 1, sizeof image, out) != sizeof image ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "make_example_progs: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
