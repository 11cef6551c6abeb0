// The 8-bit encodings that files shared by AviUtl users hold text in, as far
// as finding a path's separators needs them: which bytes begin a two-byte
// character, whose second byte may be 0x5C, the backslash.
#pragma once

#include <cstddef>

enum text_encoding {
    ENCODING_CP932, // the Japanese build and AviUtl itself
    ENCODING_GBK,   // the Chinese build of the timeline plugin
    ENCODING_UTF8,  // AviUtl2: no byte of a longer character is ASCII
};

// Whether `byte` begins a two-byte character in `encoding`. In CP932 the
// bytes 0xA1 to 0xDF are one-byte characters (half-width katakana); in GBK
// every byte from 0x81 on begins two. UTF-8 has no such byte: a separator
// can never be the second byte of a character.
inline bool is_lead_byte(unsigned char byte, text_encoding encoding)
{
    switch (encoding) {
    case ENCODING_CP932:
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case ENCODING_GBK:
        return byte >= 0x81 && byte <= 0xFE;
    case ENCODING_UTF8:
        break;
    }
    return false;
}

// The length of a fixed field's text: the bytes before its terminator, a 0
// byte, or for UTF-16LE (`wide`) a 0 unit; the whole field when it has none.
size_t text_length(const unsigned char *field, size_t size, bool wide);
