// The slots' names as plain bytes, for programs: --slots prints them, --make-list reads them.
#include "raw_names.h"

#include <cstdio>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "listing.h"
#include "progs_image.h"

namespace {

// A read error must not pass for the end of the names.
int next_input_byte() {
    int c = std::getchar();
    if (c == EOF && std::ferror(stdin) != 0) {
        fatal_error("Cannot read standard input\n");
    }
    return c;
}

} // namespace

int read_input_line(char *line, int size) {
#ifdef _WIN32
    // Text mode would end the input at a 0x1A byte and drop a CR before a
    // line feed; both are name bytes.
    static_cast<void>(_setmode(_fileno(stdin), _O_BINARY));
#endif
    int c = next_input_byte();
    if (c == EOF) {
        return -1;
    }
    int length = 0;
    for (; c != '\n' && c != EOF; c = next_input_byte()) {
        if (length < size) {
            line[length] = static_cast<char>(c);
        }
        ++length;
    }
    return length;
}

void print_slot_table() {
    for (int digit = 0; digit < kSlotCount; ++digit) {
        const unsigned char *area = slot_name_area(digit);
        const char *why = unlistable_name(area);
        std::printf("%d\t%d\t", digit, static_cast<int>(area - progs_window));
        // Hex keeps every byte value, the zero, tab and line feed among
        // them, apart from the table's own separators.
        for (int i = 0; why == nullptr && area[i] != 0; ++i) {
            std::printf("%02x", area[i]);
        }
        if (why != nullptr) {
            std::printf("\t%s: %s\n", left_out_as(area), why);
        } else {
            std::printf("\t\n");
        }
    }
}

void print_map_list_of_names() {
#ifdef _WIN32
    // In text mode a 0x1A byte would end the names, and a CR before a line
    // feed would be dropped; both are name bytes.
    static_cast<void>(_setmode(_fileno(stdin), _O_BINARY));
#endif
    std::printf("// The map names for progs.dat (velmora --make-list)\n");
    int c = next_input_byte();
    for (int digit = 0; digit < kSlotCount; ++digit) {
        // A line ends at its line feed, the last one also at the end of the
        // input, so fewer than ten lines end the input early.
        if (c == EOF) {
            fatal_error("Give ten names, one per line\n");
        }
        std::printf("LOCALMAP%d = \"", digit);
        for (; c != '\n' && c != EOF; c = next_input_byte()) {
            char quoted[2];
            std::fwrite(quoted, 1, static_cast<std::size_t>(quote_byte(c, quoted)), stdout);
        }
        std::printf("\";\n");
        if (c == '\n') {
            c = next_input_byte();
        }
    }
    if (c != EOF) {
        fatal_error("Give ten names, one per line\n");
    }
}
