// The ten user map slots in the progs window: finding, checking and emptying them.
#include <cstring>

#include "progs_image.h"

namespace {

constexpr int kAbsent = -1;
// From a slot's "t!g" back to the slot's first byte.
constexpr int kTagOffset = 17;

// Window position of each digit's slot, indexed by digit value.
int slot_table[kSlotCount];

// The digit of the marker whose "t!g" stands at tag, or -1 when the bytes
// around it are no slot marker. A marker counts only when its whole slot lies
// inside the window's data, so nothing before index 0 is ever read.
int marker_digit(int tag) {
    if (tag < kTagOffset || tag + 3 >= kWindowData) {
        return -1;
    }
    unsigned char digit = progs_window[tag + 3];
    if (progs_window[tag - 1] != 'l' || digit < '0' || digit > '9') {
        return -1;
    }
    return digit - '0';
}

bool slots_overlap() {
    for (int a = 0; a < kSlotCount; ++a) {
        for (int b = a + 1; b < kSlotCount; ++b) {
            int distance = slot_table[a] - slot_table[b];
            if (distance > -kSlotSize && distance < kSlotSize) {
                return true;
            }
        }
    }
    return false;
}

// Returns the lowest index at or after start where the progs window holds
// "t!g", or -1 when there is none.
int find_marker(int start) {
    // memchr moves through the window in whole words, where a byte loop
    // spends several instructions on every byte. It looks for the '!', the
    // rarest of the three bytes in the strings a progs image holds.
    if (start >= kWindowData - 2) {
        return -1; // no room left for "t!g" in the data
    }
    // A '!' on the last data byte would need its 'g' beyond the data.
    const unsigned char *end = progs_window + kWindowData - 1;
    for (const unsigned char *bang = progs_window + start + 1; bang < end; ++bang) {
        bang = static_cast<const unsigned char *>(
            std::memchr(bang, '!', static_cast<std::size_t>(end - bang)));
        if (bang == nullptr) {
            return -1;
        }
        if (bang[-1] == 't' && bang[1] == 'g') {
            return static_cast<int>(bang - progs_window) - 1;
        }
    }
    return -1;
}

} // namespace

void find_slots() {
    for (int &entry : slot_table) {
        entry = kAbsent;
    }
    // "t!g" cannot overlap itself, so resuming after each occurrence still
    // sees every one; the last valid marker for a digit wins.
    for (int p = find_marker(0); p >= 0; p = find_marker(p + 3)) {
        int digit = marker_digit(p);
        if (digit >= 0) {
            slot_table[digit] = p - kTagOffset;
        }
    }
}

bool slots_complete() {
    for (int entry : slot_table) {
        if (entry == kAbsent) {
            return false;
        }
    }
    // Overlapping slots would let a name overwrite another slot's marker,
    // and the next run would find a different slot there.
    return !slots_overlap();
}

void clear_slots() {
    for (int entry : slot_table) {
        progs_window[entry] = 0;
    }
}

unsigned char *slot_name_area(int digit) {
    return progs_window + slot_table[digit];
}

bool name_forms_marker(int digit, int length) {
    // Only a marker with a byte among the ones just written can be new; the
    // slots' own markers lie outside every name area once slots_complete()
    // has passed, so none of them can have been broken.
    int first = slot_table[digit];
    int last = first + length - 1;
    for (int tag = first - 3; tag <= last + 1; ++tag) {
        // Byte compares rather than memcmp: this runs for every position
        // around every name, and almost all fail on the first byte.
        if (tag < 0 || progs_window[tag] != 't' || progs_window[tag + 1] != '!' ||
            progs_window[tag + 2] != 'g') {
            continue;
        }
        int found = marker_digit(tag);
        if (found >= 0 && tag - kTagOffset > slot_table[found]) {
            return true;
        }
    }
    return false;
}
