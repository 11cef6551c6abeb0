// Unpacking a packed stream (ops.h): reading its unpacked bytes in order,
// straight from the input's block.
//
// A backup of the timeline holds its record as it stands, not packed: read
// through the same calls, it is a stream of literal bytes.
#pragma once

#include "../streams/input_block.h"
#include "ops.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

enum unpack_status {
    UNPACK_OK,
    UNPACK_CUT,         // the file ends before the stream does
    UNPACK_OVERRUN,     // an op reaches past the declared size, or more was asked
    UNPACK_READ_FAILED, // the input reported an error other than its end
    UNPACK_STOPPED,     // a walk that only looked stopped at what it was looking for
};

// Who is told of every op a reader reads, as it reads it: a packer that
// follows the stream's ops (repacking.h).
struct op_follower {
    void (*note)(void *follower, const packed_op &op); // null: no one
    void *follower;
};

// Reads one stream's unpacked bytes in order, from the input standing at its
// first op. Nothing is trusted: an op is checked against what is left of the
// declared size before any of it is taken, and nothing is allocated.
struct packed_reader {
    input_stream *in;
    uint64_t size;        // what the stream unpacks to
    uint64_t left;        // unpacked bytes of the stream not yet taken
    uint32_t op_left;     // of the current op
    bool op_is_run;       // the current op repeats one byte
    unsigned char value;  // that byte
    bool raw;             // stored as it stands: all of it one literal
    unpack_status status; // the first failure; once failed, nothing more is read
    // The header bytes of the op that failed, for a reader of what follows.
    unsigned char failed_header[LONGEST_OP_HEADER];
    size_t failed_header_length;
    op_follower follower; // told of every op read
};

packed_reader start_unpacking(input_stream *in, uint64_t size);
packed_reader start_raw(input_stream *in, uint64_t size);

// A piece of unpacked bytes as the stream holds them: `count` copies of
// `value`, or `count` literal bytes at `bytes`, in the input's block (good
// until the input is read again).
struct op_piece {
    bool is_run;
    unsigned char value;
    const unsigned char *bytes;
    uint32_t count;
};

// Stops the reader: a walk that found what it looked for takes no more.
void stop_unpacking(packed_reader *reader);

// Readies the next op, once the current one is used up: false, having set
// the reader's status, when it cannot. A reader that has failed has nothing
// left.
bool ready_next_op(packed_reader *reader);

// Fails the reader of a literal the file cuts short.
void end_cut_literal(packed_reader *reader);

// Reads the next op's header straight from the input's block, when it lies
// there whole and is an op of the stream (the other cases are
// ready_next_op's).
inline bool read_next_header(packed_reader *reader)
{
    input_stream *in = reader->in;
    if (reader->raw || reader->left == 0 || in->end - in->at < LONGEST_OP_HEADER)
        return false;
    packed_op op = decode_op(input_block + in->at);
    if (op.count == 0 || op.count > reader->left)
        return false;
    reader->op_is_run = op.is_run != 0;
    if (reader->op_is_run)
        reader->value = op.value;
    reader->op_left = op.count;
    if (reader->follower.note != nullptr)
        reader->follower.note(reader->follower.follower, op);
    in->at += op.header_length;
    return true;
}

// Takes the next piece, of at most `wanted` bytes (at least one). False on
// failure. Inline: the walkers take a piece for every op.
inline bool next_piece(packed_reader *reader, uint64_t wanted, op_piece *piece)
{
    if (reader->op_left == 0 && !read_next_header(reader) && !ready_next_op(reader))
        return false;
    uint32_t count = reader->op_left < wanted ? reader->op_left : static_cast<uint32_t>(wanted);
    piece->is_run = reader->op_is_run;
    piece->value = reader->value;
    piece->bytes = nullptr;
    if (!reader->op_is_run) {
        size_t ready = input_ready(reader->in, &piece->bytes);
        if (ready == 0) {
            end_cut_literal(reader);
            return false;
        }
        if (ready < count)
            count = static_cast<uint32_t>(ready);
        consume(reader->in, count);
    }
    piece->count = count;
    reader->op_left -= count;
    reader->left -= count;
    return true;
}

// Takes whole ops straight from the input's block, for a reader between
// ops that tells no follower of them, while they lie whole there, fit in
// the next `length` unpacked bytes and `take_op(op, literal, taken)` takes
// them (`literal`: a literal's bytes; `taken`: the bytes taken before this
// op). How many bytes it took; the rest is next_piece's. The block's
// position and the counts are kept in locals meanwhile: the compiler must
// assume that a write through a byte pointer changes them.
template <typename TakeOp>
uint64_t take_whole_ops(packed_reader *reader, uint64_t length, TakeOp take_op)
{
    if (reader->raw || reader->op_left > 0 || reader->follower.note != nullptr)
        return 0;
    input_stream *in = reader->in;
    const size_t end = in->end;
    size_t at = in->at;
    const uint64_t room = std::min(length, reader->left);
    uint64_t taken = 0;
    while (end - at >= LONGEST_OP_HEADER) {
        packed_op op = decode_op(input_block + at);
        size_t stored = stored_length(op);
        if (op.count == 0 || op.count > room - taken || stored > end - at ||
            !take_op(op, input_block + at + op.header_length, taken))
            break;
        at += stored;
        taken += op.count;
    }
    in->at = at;
    reader->left -= taken;
    return taken;
}

// Takes the next `length` unpacked bytes into `out`; how many it took,
// fewer on failure.
size_t unpack(packed_reader *reader, unsigned char *out, size_t length);

// Passes over the next `length` unpacked bytes, op by op, reading nothing
// but the ops' headers. False on failure.
bool skip_unpacked(packed_reader *reader, uint64_t length);
