// The map list reader: a cursor over the map list window, one function per token.
#include "map_list.h"

#include <cstring>

#include "progs_image.h"

namespace {

int cursor;
int line_number;
unsigned char *write_pointer;
int name_limit;

unsigned char current() {
    return map_list_window[cursor];
}

void skip_white() {
    // A loop rather than recursion: a map list may hold thousands of
    // comment lines in a row. It walks a local pointer and counts lines
    // locally, so the compiler keeps both in registers instead of storing
    // the globals on every byte.
    const unsigned char *at = map_list_window + cursor;
    int lines = 0;
    for (;;) {
        if (*at == '\n') {
            ++lines;
            ++at;
        } else if (*at == ' ' || *at == '\t' || *at == '\r') {
            ++at;
        } else if (at[0] == '/' && at[1] == '/') {
            // A comment ends after its line feed, or before a zero byte,
            // which then ends the map list; the window's closing zero keeps
            // this inside the window.
            at += 2;
            while (*at != '\n' && *at != 0) {
                ++at;
            }
        } else {
            break;
        }
    }
    cursor = static_cast<int>(at - map_list_window);
    line_number += lines;
}

void expect_char(char expected) {
    unsigned char c = map_list_window[cursor++];
    if (c != static_cast<unsigned char>(expected)) {
        fatal_error("Expected '%c' at line %d\n", expected, line_number);
    }
}

// Returns the digit so the caller can check the slot once its name is in.
int parse_slot_name() {
    // strncmp stops at the first byte that differs, so the window's closing
    // zero keeps it inside the window.
    if (std::strncmp(reinterpret_cast<const char *>(map_list_window + cursor), "LOCALMAP", 8) !=
        0) {
        fatal_error("Unknown user var at line %d\n", line_number);
    }
    cursor += 8;
    int digit = current() - '0';
    if (digit < 0 || digit > 9) {
        fatal_error("Bad LOCALMAP def at line %d\n", line_number);
    }
    ++cursor;
    name_limit = kNameLimit;
    write_pointer = slot_name_area(digit);
    return digit;
}

void parse_name_string() {
    int count = 0;
    expect_char('"');
    while (current() != '"' && count < name_limit) {
        // Copying the window's last byte would move the cursor past the
        // window; only a name left open in an over-long file gets here.
        if (cursor == kWindowData) {
            fatal_error("String too long at line %d\n", line_number);
        }
        if (current() == '\n') {
            fatal_error("Newline inside sting at line %d\n", line_number);
        }
        if (current() == '\\') {
            ++cursor;
            if (current() != '"' && current() != '\\') {
                fatal_error("Bad escape sequence at line %d\n", line_number);
            }
        }
        *write_pointer++ = current();
        ++cursor;
        ++count;
    }
    if (current() != '"') {
        fatal_error("String too long at line %d\n", line_number);
    }
    ++cursor;
    *write_pointer = 0;
}

} // namespace

void parse_map_list() {
    // Set up every piece of state here, so that each call reads the window
    // like a fresh run.
    cursor = 0;
    line_number = 1;
    clear_slots();
    skip_white();
    while (current() != 0) {
        int digit = parse_slot_name();
        skip_white();
        expect_char('=');
        skip_white();
        parse_name_string();
        // The name is in the progs window now; refuse it if the next run
        // would find a slot in it or across its edge.
        int written = static_cast<int>(write_pointer - slot_name_area(digit)) + 1;
        if (name_forms_marker(digit, written)) {
            fatal_error("Name forms a slot marker at line %d\n", line_number);
        }
        expect_char(';');
        skip_white();
    }
}
