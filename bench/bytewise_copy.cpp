// The comparison for the benchmark: the same copy with its rest moved one
// byte at a time over stdio, the plainest way to write it.
//   bytewise_copy <input file> <output file>
#include "../aup/plain_copy.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        puts("usage: bytewise_copy <input file> <output file>");
        return 2;
    }
    FILE *in = fopen(argv[1], "rb");
    if (in == nullptr)
        return 1;
    FILE *out = fopen(argv[2], "wb");
    if (out == nullptr) {
        fclose(in);
        return 2;
    }
    input_start start{};
    start.length = fread(start.bytes, 1, sizeof start.bytes, in);
    rewrite_result result = rewrite_head(start, in, out);
    for (int byte = getc(in); result == REWRITE_DONE && byte != EOF; byte = getc(in)) {
        if (putc(byte, out) == EOF)
            result = REWRITE_WRITE_FAILED;
    }
    if (ferror(in))
        result = REWRITE_READ_FAILED;
    fclose(in);
    if (fclose(out) != 0)
        result = REWRITE_WRITE_FAILED;
    return result == REWRITE_DONE ? 0 : 1;
}
