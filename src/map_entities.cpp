// A map's header and entities text. Of the header it takes the format (BSP 29, "BSP2" or "2PSB")
// and lump 0, the entities: { "key" "value" ... } { ... }, up to the text's first zero byte.
#include "map_entities.h"

#include <cstdio>
#include <cstring>

namespace {

// The format, then 15 lumps of an offset and a length.
constexpr int kHeaderSize = 4 + 15 * 8;
constexpr int kMostEntities = 1 << 20;

// The text (grown to the largest read so far), and the cursor through it.
char *text;
long long text_size;
char *at;
char *end;
char reason[80];

// The kinds of token: a brace, a quoted word, a bare word, or the end.
enum Token { open_brace, close_brace, word, none };
// The last word's bytes.
char *word_start;
int word_length;

// Null or the damage; token gets the next token's kind.
const char *next_token(Token *token) {
    while (at < end && static_cast<unsigned char>(*at) <= ' ') {
        ++at;
    }
    if (at == end) {
        *token = none;
        return nullptr;
    }
    if (*at == '{' || *at == '}') {
        *token = *at++ == '{' ? open_brace : close_brace;
        return nullptr;
    }
    *token = word;
    if (*at == '"') {
        word_start = ++at;
        // Most of a map's entities text is quoted: memchr crosses it many bytes at a time.
        at = static_cast<char *>(std::memchr(at, '"', static_cast<std::size_t>(end - at)));
        if (at == nullptr) {
            at = end;
            return "its entities text has a quote that is never closed";
        }
        word_length = static_cast<int>(at++ - word_start);
        return nullptr;
    }
    word_start = at;
    while (at<end &&static_cast<unsigned char>(*at)> ' ' && *at != '"' && *at != '{' &&
           *at != '}') {
        ++at;
    }
    word_length = static_cast<int>(at - word_start);
    return nullptr;
}

bool word_is(const char *key) {
    auto length = std::strlen(key);
    return static_cast<std::size_t>(word_length) == length &&
           std::memcmp(word_start, key, length) == 0;
}

// A title as the game draws it: 0xA0 to 0xFE are coloured copies of the
// bytes 0x80 lower, other bytes it cannot draw are blanks, and so is a map
// editor's line break, the two characters \n.
// Made in place: it never grows.
int drawable_title(char *bytes, int length) {
    int out = 0;
    for (int i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\\' && i + 1 < length && bytes[i + 1] == 'n') {
            c = ' ';
            ++i;
        } else if (c >= 0xA0 && c <= 0xFE) {
            c = static_cast<unsigned char>(c - 0x80);
        }
        bytes[out++] = c < 0x20 || c > 0x7E ? ' ' : static_cast<char>(c);
    }
    return out;
}

// Every entity, for the title of the first and the classnames of all.
const char *read_entities(MapEntities *map) {
    Token token;
    const char *damage = next_token(&token);
    if (damage == nullptr && token != open_brace) {
        return "its entities text does not start with an entity";
    }
    for (bool first = true; damage == nullptr && token == open_brace; first = false) {
        while ((damage = next_token(&token)) == nullptr && token == word) {
            bool message = first && word_is("message"), classname = word_is("classname");
            if ((damage = next_token(&token)) != nullptr) {
                return damage;
            }
            if (token != word) {
                return "an entity has a key without a value";
            }
            if (message && map->title == nullptr) {
                map->title = word_start;
                map->title_length = drawable_title(word_start, word_length);
            }
            if (classname && word_length >= 12 &&
                std::memcmp(word_start, "info_player_", 12) == 0) {
                map->level = true;
            }
        }
        if (damage == nullptr && token != close_brace) {
            return "its entities text ends before an entity does (no closing brace)";
        }
        damage = damage != nullptr ? damage : next_token(&token);
    }
    if (damage == nullptr && token != none) {
        return "its entities text holds something that is no entity";
    }
    return damage;
}

} // namespace

const char *read_map_entities(GameFile *file, long long offset, long long length,
                              MapEntities *map) {
    *map = {false, nullptr, 0};
    unsigned char header[kHeaderSize];
    if (length < kHeaderSize) {
        std::snprintf(reason, sizeof reason, "it is too short for a map (%lld bytes)", length);
        return reason;
    }
    if (!read_range(file, offset, header, kHeaderSize)) {
        return "it could not be read";
    }
    if (int32_le(header) != 29 && std::memcmp(header, "BSP2", 4) != 0 &&
        std::memcmp(header, "2PSB", 4) != 0) {
        std::snprintf(reason, sizeof reason, "it is no map of a kind these engines load (%lld)",
                      int32_le(header));
        return reason;
    }
    long long lump = int32_le(header + 4), size = int32_le(header + 8);
    if (lump < 0 || size < 0 || lump + size > length) {
        return "its entities lump runs past its end";
    }
    if (size > kMostEntities) {
        std::snprintf(reason, sizeof reason, "its entities text is larger than 1 MiB (%lld bytes)",
                      size);
        return reason;
    }
    if (size + 1 > text_size) {
        text_size = size + 1;
        text = static_cast<char *>(resized(text, static_cast<std::size_t>(text_size)));
    }
    if (!read_range(file, offset + lump, text, static_cast<int>(size))) {
        return "it could not be read";
    }
    text[size] = 0;
    at = text;
    end = text + std::strlen(text);
    const char *damage = read_entities(map);
    if (damage != nullptr) {
        *map = {false, nullptr, 0};
    }
    return damage;
}
