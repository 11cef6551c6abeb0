#include "encoding.h"

#include <cstring>

size_t text_length(const unsigned char *field, size_t size, bool wide)
{
    if (!wide) {
        const void *terminator = memchr(field, 0, size);
        return terminator == nullptr
                   ? size
                   : static_cast<size_t>(static_cast<const unsigned char *>(terminator) - field);
    }
    size_t index = 0;
    while (index + 1 < size && (field[index] != 0 || field[index + 1] != 0))
        index += 2;
    return index + 1 < size ? index : size;
}
