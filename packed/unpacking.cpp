// Unpacking one stream from the input's block.
#include "unpacking.h"

#include <algorithm>
#include <cstring>

namespace {

bool fail(packed_reader *reader, unpack_status status)
{
    reader->status = status;
    reader->left = 0;
    reader->op_left = 0;
    return false;
}

// Why the input came up short.
unpack_status short_read(const input_stream &in)
{
    return input_failed(in) ? UNPACK_READ_FAILED : UNPACK_CUT;
}

// How long the op header that begins with `first` is.
size_t op_header_length(unsigned char first)
{
    size_t length = (first & SHORT_COUNT_MASK) == 0 ? 1 + LONG_COUNT_BYTES : 1;
    return length + ((first & RUN_BIT) != 0 ? 1 : 0);
}

// Reads the next op's header, straight from the block when it lies there
// whole; a header that fails is kept in the reader, for a reader of what
// follows.
bool read_op_header(packed_reader *reader)
{
    const unsigned char *header = nullptr;
    size_t ready = input_ready(reader->in, &header);
    if (ready == 0)
        return fail(reader, short_read(*reader->in));
    size_t length = op_header_length(header[0]);
    if (ready < length) {
        reader->failed_header_length = read_input(reader->in, reader->failed_header, length);
        if (reader->failed_header_length < length)
            return fail(reader, short_read(*reader->in));
        header = reader->failed_header;
    } else {
        consume(reader->in, length);
    }
    // decode_op reads as many bytes as the longest header has.
    unsigned char whole[LONGEST_OP_HEADER] = {};
    memcpy(whole, header, length);
    packed_op op = decode_op(whole);
    if (op.count > reader->left) {
        memmove(reader->failed_header, header, length);
        reader->failed_header_length = length;
        return fail(reader, UNPACK_OVERRUN);
    }
    reader->op_is_run = op.is_run != 0;
    if (reader->op_is_run)
        reader->value = op.value;
    reader->op_left = op.count;
    // The follower is told of empty ops too: they take bytes in the file.
    if (reader->follower.note != nullptr)
        reader->follower.note(reader->follower.follower, op);
    return true;
}

// Readies an op with bytes left in it.
bool ready_op(packed_reader *reader)
{
    while (reader->op_left == 0) {
        if (reader->left == 0)
            return fail(reader, UNPACK_OVERRUN);
        if (reader->raw) {
            reader->op_is_run = false;
            reader->op_left = static_cast<uint32_t>(std::min<uint64_t>(reader->left, UINT32_MAX));
        } else if (!read_op_header(reader)) {
            return false;
        }
    }
    return true;
}

} // namespace

packed_reader start_unpacking(input_stream *in, uint64_t size)
{
    packed_reader reader{};
    reader.in = in;
    reader.size = size;
    reader.left = size;
    return reader;
}

packed_reader start_raw(input_stream *in, uint64_t size)
{
    packed_reader reader = start_unpacking(in, size);
    reader.raw = true;
    return reader;
}

bool ready_next_op(packed_reader *reader)
{
    return reader->status == UNPACK_OK && ready_op(reader);
}

void stop_unpacking(packed_reader *reader)
{
    (void)fail(reader, UNPACK_STOPPED);
}

void end_cut_literal(packed_reader *reader)
{
    (void)fail(reader, short_read(*reader->in));
}

size_t unpack(packed_reader *reader, unsigned char *out, size_t length)
{
    size_t taken = 0;
    op_piece piece{};
    while (taken < length) {
        unsigned char *rest = out + taken;
        size_t room = length - taken;
        taken += static_cast<size_t>(take_whole_ops(
            reader, room,
            [rest, room](const packed_op &op, const unsigned char *literal, uint64_t at) {
                store_op(rest + at, op, literal, op.count, room - static_cast<size_t>(at));
                return true;
            }));
        // An op cut by the piece's ends, or one not whole in the block.
        if (taken == length || !next_piece(reader, length - taken, &piece))
            break;
        if (!piece.is_run)
            memcpy(out + taken, piece.bytes, piece.count);
        else
            memset(out + taken, piece.value, piece.count);
        taken += piece.count;
    }
    // What a piece cut short does not hold reads as zeros.
    memset(out + taken, 0, length - taken);
    return taken;
}

bool skip_unpacked(packed_reader *reader, uint64_t length)
{
    while (length > 0) {
        length -=
            take_whole_ops(reader, length,
                           [](const packed_op &, const unsigned char *, uint64_t) { return true; });
        if (length == 0)
            break;
        if (reader->op_left == 0 && !read_next_header(reader) && !ready_next_op(reader))
            return false;
        uint32_t count = reader->op_left < length ? reader->op_left : static_cast<uint32_t>(length);
        reader->op_left -= count;
        reader->left -= count;
        length -= count;
        // A literal's bytes are passed over in the block, and the blocks after.
        for (uint32_t left = reader->op_is_run ? 0 : count; left > 0;) {
            const unsigned char *bytes = nullptr;
            size_t ready = input_ready(reader->in, &bytes);
            if (ready == 0) {
                end_cut_literal(reader);
                return false;
            }
            size_t passed = ready < left ? ready : left;
            consume(reader->in, passed);
            left -= static_cast<uint32_t>(passed);
        }
    }
    return true;
}
