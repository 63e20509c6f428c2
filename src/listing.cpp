// The names in progs.dat's slots, written out as map list definitions (--list, --check).
#include "listing.h"

#include <cstdio>
#include <cstring>

#include "progs_image.h"
#include "write_back.h"

namespace {

// Index of the name's zero byte in its area, or the area's size when the
// area holds no zero.
int name_length(const unsigned char *area) {
    const void *end = std::memchr(area, 0, kNameLimit + 1);
    return end == nullptr ? kNameLimit + 1
                          : static_cast<int>(static_cast<const unsigned char *>(end) - area);
}

// A game's compiler writes each placeholder as one string that fills the
// whole name area, its zero coming only after the slot's digit; every name
// the tool writes ends inside the area. So an area without a zero has not
// been given a name yet.
bool has_name(const unsigned char *area) {
    return name_length(area) <= kNameLimit;
}

bool same_name(const unsigned char *a, const unsigned char *b) {
    int length = name_length(a);
    return length == name_length(b) && std::memcmp(a, b, static_cast<std::size_t>(length)) == 0;
}

// Writes the name in quotes, with the bytes the map list reader takes as
// escapes escaped, and returns its length: at most 2 + 2 * kNameLimit.
int quote_name(const unsigned char *area, char *out) {
    int length = 0;
    out[length++] = '"';
    for (const unsigned char *c = area; *c != 0; ++c) {
        length += quote_byte(*c, out + length);
    }
    out[length++] = '"';
    return length;
}

void print_definition(int digit, const unsigned char *area) {
    char line[kDefinitionSize];
    std::fwrite(line, 1, static_cast<std::size_t>(format_definition(digit, area, line)), stdout);
}

} // namespace

int quote_byte(int c, char *out) {
    int length = 0;
    if (c == '"' || c == '\\') {
        out[length++] = '\\';
    }
    out[length++] = static_cast<char>(c);
    return length;
}

const char *unlistable_name(const unsigned char *area) {
    int length = name_length(area);
    if (length > kNameLimit) {
        return "no name ends within its 16 bytes";
    }
    if (std::memchr(area, '\n', static_cast<std::size_t>(length)) != nullptr) {
        return "its name holds a line feed";
    }
    return nullptr;
}

const char *left_out_as(const unsigned char *area) {
    return has_name(area) ? "is left out" : "has no name yet";
}

int format_definition(int digit, const unsigned char *area, char *out) {
    int length = std::snprintf(out, kDefinitionSize, "LOCALMAP%d = ", digit);
    length += quote_name(area, out + length);
    out[length++] = ';';
    return length;
}

void list_names() {
    std::printf("// The map names in progs.dat (velmora --list)\n");
    for (int digit = 0; digit < kSlotCount; ++digit) {
        const unsigned char *area = slot_name_area(digit);
        const char *why = unlistable_name(area);
        if (why != nullptr) {
            std::printf("// LOCALMAP%d %s: %s\n", digit, left_out_as(area), why);
            continue;
        }
        print_definition(digit, area);
        std::putchar('\n');
    }
}

void print_planned_names() {
    for (int digit = 0; digit < kSlotCount; ++digit) {
        // The map list reader ends every name it writes within its area and
        // refuses line feeds, so every new name is listable.
        const unsigned char *now = slot_name_area(digit);
        const unsigned char *old = loaded_progs() + (now - progs_window);
        print_definition(digit, now);
        const char *why = unlistable_name(old);
        if (!has_name(old)) {
            std::printf(" // has no name yet");
        } else if (why != nullptr) {
            std::printf(" // now unlistable: %s", why);
        } else if (!same_name(old, now)) {
            char quoted[kDefinitionSize];
            std::printf(" // now %.*s", quote_name(old, quoted), quoted);
        }
        std::putchar('\n');
    }
}
