// libFuzzer target: one input drives the tool's own slot scan and map list reader in-process.
//
// Input: a two-byte little-endian header, then progs.dat's bytes, then cmaps.cfg's bytes.
// The header's low 14 bits give progs.dat's length n. Bit 14 moves progs.dat's data to the
// end of its window (zero bytes in front) and bit 15 does the same for cmaps.cfg (line
// feeds in front), so that short inputs reach the window ends, where slots are cut off and
// names are left open. Each window then holds what load_window would have put there, and
// a run here is a run of the tool without its file I/O. After a run that succeeds, the
// target checks what the tool promises about progs.dat; after every input it lists the
// image's names as --list does and checks that a run from that list gives them back.
#include <csetjmp>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "listing.h"
#include "map_list.h"
#include "progs_image.h"

namespace {

std::jmp_buf way_back;

// Ends the process with the broken promise, which libFuzzer reports with the input.
[[noreturn]] void broken(const char *what) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

// What a fresh process holds after load_window: the file's first bytes, then zeros. When
// at_end is set the file starts with filler, so its data ends on the window's last byte.
void load(unsigned char *window, const std::uint8_t *bytes, std::size_t size, bool at_end,
          unsigned char filler) {
    std::size_t count = size < kWindowData ? size : kWindowData;
    std::size_t start = at_end ? kWindowData - count : 0;
    std::memset(window, 0, kWindowSize);
    std::memset(window, filler, start);
    if (count > 0) {
        std::memcpy(window + start, bytes, count);
    }
}

struct Snapshot {
    unsigned char window[kWindowSize];
    unsigned char *areas[kSlotCount];
};

// Only name areas may change, each must end its name within its 16 bytes, and the
// next run must find the same ten slots.
void check_success(const Snapshot &before) {
    // The snapshot with today's name areas laid over it must be the whole window.
    static unsigned char expected[kWindowSize];
    std::memcpy(expected, before.window, kWindowSize);
    for (unsigned char *area : before.areas) {
        std::memcpy(expected + (area - progs_window), area, kNameLimit + 1);
    }
    if (std::memcmp(expected, progs_window, kWindowSize) != 0) {
        broken("a byte outside the name areas changed");
    }
    for (unsigned char *area : before.areas) {
        if (std::memchr(area, 0, kNameLimit + 1) == nullptr) {
            broken("a name area holds no zero byte");
        }
    }
    find_slots();
    if (!slots_complete()) {
        broken("the patched image lost a slot");
    }
    for (int digit = 0; digit < kSlotCount; ++digit) {
        if (slot_name_area(digit) != before.areas[digit]) {
            broken("the patched image moved a slot");
        }
    }
}

// `velmora --list > cmaps.cfg` and then a run: every name a map list can hold
// comes back byte for byte, every other slot ends up empty.
void check_list_round_trip(const Snapshot &before) {
    std::memcpy(progs_window, before.window, kWindowSize);
    int length = 0;
    for (int digit = 0; digit < kSlotCount; ++digit) {
        if (unlistable_name(before.areas[digit]) == nullptr) {
            char *line = reinterpret_cast<char *>(map_list_window + length);
            length += format_definition(digit, before.areas[digit], line);
            map_list_window[length++] = '\n';
        }
    }
    map_list_window[length] = 0;
    if (setjmp(way_back) != 0) {
        broken("the tool refused the list of its own names");
    }
    parse_map_list();
    for (unsigned char *area : before.areas) {
        const unsigned char *old = before.window + (area - progs_window);
        std::size_t kept =
            unlistable_name(old) == nullptr ? std::strlen(reinterpret_cast<const char *>(old)) : 0;
        if (std::memcmp(area, old, kept) != 0 || area[kept] != 0) {
            broken("a listed name did not come back");
        }
    }
}

} // namespace

// Takes the place of the tool's fatal_error (src/fatal_error.cpp is not linked here):
// checks that the message is one line and returns to the run's start instead of exiting.
// Nothing the reader leaves on the stack needs a destructor, so the jump skips none.
void fatal_error(const char *format, ...) {
    char message[128];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (length < 2 || static_cast<std::size_t>(length) >= sizeof message ||
        std::strchr(message, '\n') != message + length - 1) {
        broken("an error message is not one line");
    }
    std::longjmp(way_back, 1);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    std::size_t header = data[0] | static_cast<std::size_t>(data[1]) << 8;
    std::size_t progs_size = header & 0x3fff;
    if (progs_size > size - 2) {
        progs_size = size - 2;
    }
    const std::uint8_t *map_list = data + 2 + progs_size;
    load(progs_window, data + 2, progs_size, (header & 0x4000) != 0, 0);
    load(map_list_window, map_list, size - 2 - progs_size, (header & 0x8000) != 0, '\n');

    // The tool stops with "Bad progs.dat" here, before cmaps.cfg is read.
    find_slots();
    if (!slots_complete()) {
        return 0;
    }
    static Snapshot before;
    std::memcpy(before.window, progs_window, kWindowSize);
    for (int digit = 0; digit < kSlotCount; ++digit) {
        before.areas[digit] = slot_name_area(digit);
    }
    if (setjmp(way_back) == 0) {
        parse_map_list();
        check_success(before);
    }
    check_list_round_trip(before);
    return 0;
}
