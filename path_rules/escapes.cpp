#include "escapes.h"

namespace {

constexpr unsigned char ESCAPE = '\\';

// Stands for a byte that is not ASCII.
constexpr unsigned char OTHER = 0x80;

bool is_digit(unsigned char byte)
{
    return byte >= '0' && byte <= '9';
}

// A decimal escape: up to three digits. One past 255 is no byte Lua
// accepts; it stands for no separator.
escaped_byte decimal_escape(const unsigned char *text, size_t at, size_t length)
{
    unsigned value = 0;
    size_t end = at;
    while (end < length && end < at + 3 && is_digit(text[end]))
        value = value * 10 + (text[end++] - '0');
    return {value <= 0xFF ? static_cast<unsigned char>(value) : OTHER, end - at + 1};
}

escaped_byte read_lua_byte(const unsigned char *text, size_t at, size_t length)
{
    if (text[at] != ESCAPE || at + 1 >= length)
        return {text[at], 1};
    unsigned char escaped = text[at + 1];
    if (is_digit(escaped))
        return decimal_escape(text, at + 1, length);
    if (escaped == 'x' && at + 3 < length) {
        int high = hex_digit(text[at + 2]);
        int low = hex_digit(text[at + 3]);
        if (high >= 0 && low >= 0)
            return {static_cast<unsigned char>(high << 4 | low), 4};
    }
    // `\\`, `\"`, and letters that stand for control characters: none of
    // them but the first is a separator.
    return {escaped, 2};
}

// One byte of AviUtl2's escaped text: `\\` and `\n` are escapes, and a
// backslash before anything else stands for itself.
escaped_byte read_aviutl2_byte(const unsigned char *text, size_t at, size_t length)
{
    if (text[at] != ESCAPE || at + 1 >= length)
        return {text[at], 1};
    if (text[at + 1] == ESCAPE)
        return {ESCAPE, 2};
    if (text[at + 1] == 'n')
        return {'\n', 2};
    return {ESCAPE, 1};
}

} // namespace

int hex_digit(unsigned char byte)
{
    if (is_digit(byte))
        return byte - '0';
    if (byte >= 'a' && byte <= 'f')
        return byte - 'a' + 10;
    if (byte >= 'A' && byte <= 'F')
        return byte - 'A' + 10;
    return -1;
}

escaped_byte read_escaped_byte(const unsigned char *text, size_t at, size_t length,
                               text_escapes escapes)
{
    return escapes == ESCAPES_LUA ? read_lua_byte(text, at, length)
                                  : read_aviutl2_byte(text, at, length);
}

size_t undo_escapes(const unsigned char *text, size_t length, text_escapes escapes, bool ends,
                    unsigned char *out, uint16_t *from, size_t *used)
{
    size_t widest = escapes == ESCAPES_LUA ? LONGEST_ESCAPE : 2;
    size_t written = 0;
    size_t index = 0;
    while (index < length) {
        if (text[index] == ESCAPE && !ends && length - index < widest)
            break; // the rest of the escape may come later
        escaped_byte byte = escapes == ESCAPES_LUA ? read_lua_byte(text, index, length)
                                                   : read_aviutl2_byte(text, index, length);
        from[written] = static_cast<uint16_t>(index);
        out[written++] = byte.value;
        index += byte.width;
    }
    from[written] = static_cast<uint16_t>(index);
    *used = index;
    return written;
}
