#include "tail_copy.h"

#include <cstddef>

namespace {

constexpr size_t COPY_BLOCK_SIZE = size_t{64} * 1024;

} // namespace

rewrite_result copy_rest(FILE *in, FILE *out)
{
    unsigned char block[COPY_BLOCK_SIZE];
    for (;;) {
        size_t length = fread(block, 1, sizeof block, in);
        if (length > 0 && fwrite(block, 1, length, out) != length)
            return REWRITE_WRITE_FAILED;
        if (length < sizeof block)
            return ferror(in) ? REWRITE_READ_FAILED : REWRITE_DONE;
    }
}
