#include "input_block.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

void write_echo(input_stream *in)
{
    if (in->echo == nullptr) {
        in->echo_from = in->at;
        return;
    }
    // Only the bytes from the start up to the limit are the echo's; those
    // past the limit are owed, and written once it moves on.
    size_t from = in->echo_from;
    if (in->echo_start > in->block_start + from)
        from = static_cast<size_t>(std::min<uint64_t>(in->echo_start - in->block_start, in->at));
    size_t to = in->at;
    if (in->echo_limit < in->block_start + to)
        to = in->echo_limit > in->block_start + from
                 ? static_cast<size_t>(in->echo_limit - in->block_start)
                 : from;
    if (to > from && !in->echo_failed &&
        fwrite(input_block + from, 1, to - from, in->echo) != to - from)
        in->echo_failed = true;
    in->echo_from = to;
}

// The block's first byte that is to be kept when it is read on.
size_t kept_from(const input_stream &in)
{
    uint64_t keep = std::max(in.keep_from, in.block_start);
    return keep < in.block_start + in.at ? static_cast<size_t>(keep - in.block_start) : in.at;
}

// Moves the bytes from `keep` on to the block's start, and reads more after
// them.
bool read_on(input_stream *in, size_t keep)
{
    size_t kept = in->end - keep;
    memmove(input_block, input_block + keep, kept);
    in->block_start += keep;
    in->at -= keep;
    in->echo_from -= std::min(in->echo_from, keep);
    in->end = kept;
    if (!ferror(in->file))
        in->end += fread(input_block + kept, 1, INPUT_BLOCK_SIZE - kept, in->file);
    return in->end > in->at;
}

} // namespace

unsigned char input_block[INPUT_BLOCK_SIZE + INPUT_BLOCK_SLACK];

bool refill_input(input_stream *in)
{
    write_echo(in);
    return read_on(in, kept_from(*in));
}

void start_input(input_stream *in, FILE *file, const input_start &start)
{
    *in = {file, 0,          std::min(start.length, INPUT_START_CAPACITY),
           0,    nullptr,    0,
           0,    UINT64_MAX, UINT64_MAX,
           false};
    if (in->end > 0)
        memcpy(input_block, start.bytes, in->end);
}

size_t read_input(input_stream *in, unsigned char *out, size_t length)
{
    size_t read = 0;
    while (read < length) {
        const unsigned char *bytes = nullptr;
        size_t ready = std::min(input_ready(in, &bytes), length - read);
        if (ready == 0)
            break;
        memcpy(out + read, bytes, ready);
        consume(in, ready);
        read += ready;
    }
    return read;
}

bool skip_input(input_stream *in, uint64_t length)
{
    while (length > 0) {
        const unsigned char *bytes = nullptr;
        size_t ready = static_cast<size_t>(std::min<uint64_t>(input_ready(in, &bytes), length));
        if (ready == 0)
            return false;
        consume(in, ready);
        length -= ready;
    }
    return true;
}

bool input_failed(const input_stream &in)
{
    return ferror(in.file) != 0;
}

bool seek_input(input_stream *in, uint64_t offset)
{
    write_echo(in);
    if (offset > static_cast<uint64_t>(LONG_MAX) ||
        fseek(in->file, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    in->block_start = offset;
    in->at = in->end = in->echo_from = 0;
    return true;
}

bool set_echo_window(input_stream *in, FILE *echo, uint64_t from, uint64_t limit, uint64_t keep)
{
    write_echo(in);
    in->echo = echo;
    uint64_t first = std::min(std::max(from, in->block_start), in->block_start + in->at);
    in->echo_from = static_cast<size_t>(first - in->block_start);
    in->echo_start = from;
    in->echo_limit = limit;
    in->keep_from = keep;
    return !in->echo_failed;
}

bool set_echo(input_stream *in, FILE *echo, uint64_t from)
{
    return set_echo_window(in, echo, std::max(from, input_offset(*in)), UINT64_MAX, UINT64_MAX);
}

bool flush_echo(input_stream *in)
{
    write_echo(in);
    return !in->echo_failed;
}

size_t input_peek(input_stream *in, size_t length, const unsigned char **bytes)
{
    if (in->end - in->at < length) {
        write_echo(in);
        (void)read_on(in, kept_from(*in));
    }
    *bytes = input_block + in->at;
    return in->end - in->at;
}
