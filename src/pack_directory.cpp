// A pack's header and directory: "PACK", the directory's offset and length, then 64-byte entries of
// a 56-byte zero-ended name and the data's offset and length, all 32-bit little-endian.
#include "pack_directory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kHeaderSize = 12;
constexpr int kEntrySize = 64;
// Quakespasm refuses a bigger pack, and stops at start when it is one of its own chain.
constexpr int kQuakespasmEntries = 2048;
// DarkPlaces' limit; also the most the reader believes: a 4 MiB directory.
constexpr int kMostEntries = 65536;
// Entries read in one go: the directory moves in 64 KiB reads.
constexpr int kChunkEntries = 1024;

unsigned char *chunk;
// Which pack and entries the chunk holds.
const PackHeader *chunk_header;
int chunk_first, chunk_count;

// Room for a reason with numbers in it; one pack's reasons are printed
// before the next pack is read.
char reason[96];

const char *say(const char *format, long long a, long long b) {
    std::snprintf(reason, sizeof reason, format, a, b);
    return reason;
}

} // namespace

bool read_pack_header(GameFile *pack, PackHeader *header) {
    *header = {0, 0, 0, nullptr, nullptr, false, false};
    chunk_header = nullptr; // a new pack may reuse the last one's header
    unsigned char bytes[kHeaderSize];
    if (pack->size < kHeaderSize) {
        header->damage = header->quakespasm_stops =
            pack->size == 0 ? "it is empty"
                            : say("it is too short for a pack (%lld bytes)", pack->size, 0);
        return true;
    }
    if (!read_range(pack, 0, bytes, kHeaderSize)) {
        return false;
    }
    long long offset = int32_le(bytes + 4), length = int32_le(bytes + 8);
    if (std::memcmp(bytes, "PACK", 4) != 0) {
        header->damage = header->quakespasm_stops = "it does not start with \"PACK\"";
    } else if (offset < 0 || length < 0) {
        header->damage = header->quakespasm_stops =
            say("its directory's offset or length is negative (%lld, %lld)", offset, length);
    } else if (length / kEntrySize > kMostEntries) {
        header->damage = header->quakespasm_stops =
            say("its directory claims %lld entries", length / kEntrySize, 0);
    } else if (offset + length > pack->size) {
        // Neither engine stops for it, and neither finds a map in it.
        header->damage = "its directory runs past its end";
    } else {
        header->directory = offset;
        header->directory_length = length;
        header->entries = static_cast<int>(length / kEntrySize);
        // DarkPlaces skips a directory of part entries; Quakespasm reads the
        // whole ones.
        header->darkplaces = length % kEntrySize == 0;
        if (!header->darkplaces) {
            header->damage =
                say("its directory's length, %lld bytes, is not a multiple of 64", length, 0);
        }
        header->quakespasm = header->entries <= kQuakespasmEntries;
        if (!header->quakespasm) {
            header->quakespasm_stops = say(
                "it has %lld entries, more than the 2,048 Quakespasm takes", header->entries, 0);
        }
    }
    return true;
}

bool read_pack_entry(GameFile *pack, const PackHeader *header, int index, PackEntry *entry) {
    // Entries are read in order: a chunk ends where the next begins.
    if (chunk_header != header || index >= chunk_first + chunk_count) {
        chunk_header = header;
        chunk_first = index;
        chunk_count =
            header->entries - index < kChunkEntries ? header->entries - index : kChunkEntries;
        if (chunk == nullptr) {
            chunk = static_cast<unsigned char *>(resized(nullptr, kChunkEntries * kEntrySize));
        }
        if (!read_range(pack, header->directory + static_cast<long long>(index) * kEntrySize, chunk,
                        chunk_count * kEntrySize)) {
            chunk_header = nullptr;
            return false;
        }
    }
    const unsigned char *bytes = chunk + (index - chunk_first) * kEntrySize;
    std::memcpy(entry->name, bytes, kPackNameSize);
    entry->offset = int32_le(bytes + kPackNameSize);
    entry->length = int32_le(bytes + kPackNameSize + 4);
    entry->damage = nullptr;
    entry->cut = false;
    if (std::memchr(entry->name, 0, kPackNameSize) == nullptr) {
        entry->name[0] = 0; // nothing of it can be shown
        entry->damage = "its name has no end";
    } else if (entry->offset < 0 || entry->length < 0 ||
               entry->offset + (entry->length > 0 ? 1 : 0) > pack->size) {
        entry->damage = "its data lies past the pack's end";
    } else if (entry->offset + entry->length > pack->size) {
        // Both engines read what there is of it, and start a map whose lumps lie in that.
        entry->length = pack->size - entry->offset;
        entry->cut = true;
    }
    return true;
}

void release_pack_directory() {
    std::free(chunk);
    chunk = nullptr;
    chunk_header = nullptr;
}
