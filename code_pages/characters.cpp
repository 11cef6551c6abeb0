#include "characters.h"

#include "cp932_table.h"
#include "gbk_table.h"

namespace {

constexpr unsigned REPLACEMENT = REPLACEMENT_CHARACTER;

// A pair's character from its row of a table, or REPLACEMENT when the pair
// is cut or has none.
unsigned from_table(const unsigned short *row, unsigned char first_trail, unsigned char last_trail,
                    const unsigned char *text, size_t length, size_t *width)
{
    if (row == nullptr || length < 2 || text[1] < first_trail || text[1] > last_trail)
        return REPLACEMENT;
    *width = 2;
    unsigned code = row[text[1] - first_trail];
    return code == 0 ? REPLACEMENT : code;
}

} // namespace

unsigned decode_cp932(const unsigned char *text, size_t length, size_t *width)
{
    *width = 1;
    unsigned char byte = text[0];
    if (byte < 0x80)
        return byte;
    if (byte >= 0xA1 && byte <= 0xDF) // half-width katakana
        return 0xFF61 + (byte - 0xA1u);
    const unsigned short *row = nullptr;
    if (byte >= 0x81 && byte <= 0x9F)
        row = CP932_DOUBLE[byte - 0x81];
    else if (byte >= 0xE0 && byte <= 0xFC)
        row = CP932_DOUBLE[byte - 0xE0 + (0x9F - 0x81 + 1)];
    return from_table(row, CP932_FIRST_TRAIL, 0xFC, text, length, width);
}

unsigned decode_gbk(const unsigned char *text, size_t length, size_t *width)
{
    *width = 1;
    unsigned char byte = text[0];
    if (byte < 0x80)
        return byte;
    if (byte == 0x80) // the euro sign, in Windows' code page 936
        return 0x20AC;
    const unsigned short *row = byte == 0xFF ? nullptr : GBK_DOUBLE[byte - GBK_FIRST_LEAD];
    return from_table(row, GBK_FIRST_TRAIL, 0xFE, text, length, width);
}

// The character UTF-8 text begins with; a byte that begins none, or a
// sequence cut short or too long, gives U+FFFD for its first byte.
unsigned decode_utf8(const unsigned char *text, size_t length, size_t *width)
{
    *width = 1;
    unsigned char byte = text[0];
    if (byte < 0x80)
        return byte;
    size_t count = byte >= 0xF0 && byte <= 0xF4 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 0;
    if (count == 0 || byte > 0xF4 || length < count)
        return REPLACEMENT;
    unsigned code = byte & (0x7F >> count);
    for (size_t at = 1; at < count; ++at) {
        if ((text[at] & 0xC0) != 0x80)
            return REPLACEMENT;
        code = code << 6 | (text[at] & 0x3F);
    }
    constexpr unsigned LEAST[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < LEAST[count] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return REPLACEMENT;
    *width = count;
    return code;
}

unsigned decode_character(const unsigned char *text, size_t length, text_encoding encoding,
                          size_t *width)
{
    switch (encoding) {
    case ENCODING_GBK:
        return decode_gbk(text, length, width);
    case ENCODING_UTF8:
        return decode_utf8(text, length, width);
    case ENCODING_CP932:
        break;
    }
    return decode_cp932(text, length, width);
}
