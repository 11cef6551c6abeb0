#include "characters.h"

#include "cp932_table.h"
#include "gbk_table.h"

namespace {

constexpr unsigned REPLACEMENT = 0xFFFD;

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
