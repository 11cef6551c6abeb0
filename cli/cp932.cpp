#include "cp932.h"

#include "cp932_table.h"

namespace {

constexpr unsigned REPLACEMENT = 0xFFFD;
constexpr unsigned char LAST_TRAIL = 0xFC;

// The row of a lead byte in the table, or -1 for no lead byte.
int lead_row(unsigned char byte)
{
    if (byte >= 0x81 && byte <= 0x9F)
        return byte - 0x81;
    if (byte >= 0xE0 && byte <= 0xFC)
        return byte - 0xE0 + (0x9F - 0x81 + 1);
    return -1;
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
    int row = lead_row(byte);
    if (row < 0 || length < 2 || text[1] < CP932_FIRST_TRAIL || text[1] > LAST_TRAIL)
        return REPLACEMENT;
    *width = 2;
    unsigned code = CP932_DOUBLE[row][text[1] - CP932_FIRST_TRAIL];
    return code == 0 ? REPLACEMENT : code;
}
