// Texts written with escapes, and the bytes they stand for: Lua's, in
// script parameters, and AviUtl2's, in its text settings.
#pragma once

#include <cstddef>
#include <cstdint>

// The value of a hex digit, or -1 for a byte that is none: Lua's `\xHH`
// escapes, and the hex that object files write UTF-16 text in.
int hex_digit(unsigned char byte);

// The escapes a text may be written with: Lua's, in script parameters
// (`\\`, `\"`, `\92`, `\x5C`, a letter for a control character); or
// AviUtl2's, in its text settings (`\\` for a backslash, `\n` for a line
// break; a backslash before anything else stands for itself).
enum text_escapes { ESCAPES_LUA, ESCAPES_AVIUTL2 };

// The longest escape of either kind.
constexpr size_t LONGEST_ESCAPE = 4;

// One byte of an escaped text, and how many bytes of the file it takes.
// A decimal escape past 255, which is no byte, stands for one that is not
// ASCII, and so for no separator.
struct escaped_byte {
    unsigned char value;
    size_t width;
};

// The byte that the text at `at` (of `length` bytes) stands for.
escaped_byte read_escaped_byte(const unsigned char *text, size_t at, size_t length,
                               text_escapes escapes);

// Undoes the escapes of `length` bytes of text: writes the bytes they stand
// for to `out` (room for `length`), and for each the offset in `text` where
// its escape begins to `from` (room for `length` + 1; the one after the last
// is where the undone bytes end). Unless the text ends with them (`ends`),
// the undoing stops before an escape the bytes may cut short. Returns how
// many bytes were written; `used` is how many of `text` they stand for.
size_t undo_escapes(const unsigned char *text, size_t length, text_escapes escapes, bool ends,
                    unsigned char *out, uint16_t *from, size_t *used);
