// Passing a stream's ops in step: while a repacker is in step, an op that
// lies whole in the input's block and lets the one held before it go out as
// it stands is passed over as it stands, without unpacking it and packing
// it again, and a copy of its bytes is taken only where a walker reads them.
#include "repacking.h"

#include "held_ops.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace held_ops;

// Writes `count` bytes of an op into `out`, when it is not null, with
// `room` bytes there that may be written (store_op).
void copy_op(unsigned char *out, const packed_op &op, const unsigned char *literal, size_t count,
             size_t room)
{
    if (out != nullptr)
        store_op(out, op, literal, count, room);
}

// In step, with the reader within the op at the front: ends that op when
// the first `room` bytes hold the rest of it and the block its literal, and
// it lets the one held, if any, go out, as complete_op would; its bytes go
// into `out`. How many bytes it passed.
uint64_t end_op_in_step(repacker *repacker, packed_reader *reader, uint64_t room,
                        unsigned char *out)
{
    input_stream *in = reader->in;
    uint32_t rest = reader->op_left;
    const packed_op &op = front(*repacker);
    if (repacker->count != 1 || repacker->front_end - repacker->at != rest || rest > room ||
        (op.is_run == 0 && in->end - in->at < rest) ||
        (repacker->has_held && !held_stands_before(*repacker, op, repacker->front_header_at)))
        return 0;
    copy_op(out, op, input_block + in->at, rest, static_cast<size_t>(room));
    if (op.is_run == 0)
        consume(in, rest);
    reader->op_left = 0;
    reader->left -= rest;
    repacker->at += rest;
    hold(repacker, op, repacker->front_header_at);
    pop(repacker);
    return rest;
}

// In step, holding nothing, with the reader between ops: holds the next op
// when it lies whole in the block and in the next `room` bytes, as
// complete_op would with nothing held before it; its bytes go into `out`.
// How many bytes it passed.
uint64_t hold_first_in_step(repacker *repacker, packed_reader *reader, uint64_t room,
                            unsigned char *out)
{
    input_stream *in = reader->in;
    if (in->end - in->at < LONGEST_OP_HEADER)
        return 0;
    const unsigned char *header = input_block + in->at;
    packed_op op = decode_op(header);
    if (op.count == 0 || op.count > room || stored_length(op) > in->end - in->at ||
        (op.is_run == 0 && op.count > LONGEST_FOLLOWED_LITERAL))
        return 0;
    copy_op(out, op, header + op.header_length, op.count, static_cast<size_t>(room));
    uint64_t header_at = input_offset(*in);
    consume(in, stored_length(op));
    reader->left -= op.count;
    repacker->at += op.count;
    hold(repacker, op, header_at);
    repacker->front_header_at = repacker->next_header_at = input_offset(*in);
    return op.count;
}

// In step, holding an op, with the reader between ops: begins the op that
// the next `room` bytes end within, when it lies whole in the block and
// would let the one held go out, as the reader and take would begin it; its
// first bytes go into `out`. How many bytes it passed: `room`, or none.
uint64_t begin_op_in_step(repacker *repacker, packed_reader *reader, uint64_t room,
                          unsigned char *out)
{
    input_stream *in = reader->in;
    if (room == 0 || in->end - in->at < LONGEST_OP_HEADER)
        return 0;
    const unsigned char *header = input_block + in->at;
    packed_op op = decode_op(header);
    if (op.count <= room || op.count > reader->left || stored_length(op) > in->end - in->at ||
        (op.is_run == 0 && op.count > LONGEST_FOLLOWED_LITERAL) ||
        !held_stands_before(*repacker, op, input_offset(*in)))
        return 0;
    auto part = static_cast<uint32_t>(room);
    copy_op(out, op, header + op.header_length, part, part);
    uint64_t header_at = input_offset(*in);
    consume(in, op.header_length + (op.is_run != 0 ? 0 : part));
    reader->op_left = op.count - part;
    reader->op_is_run = op.is_run != 0;
    if (reader->op_is_run)
        reader->value = op.value;
    reader->left -= part;
    // The op at the front, as the reader would have told of it.
    pending_at(repacker->first) = op;
    repacker->count = 1;
    repacker->front_end = repacker->at + op.count;
    repacker->front_header_at = header_at;
    repacker->next_header_at = header_at + stored_length(op);
    repacker->current_length = part;
    repacker->at += part;
    return part;
}

// In step, holding an op, with the reader between ops: passes over the
// whole ops in the block that the next `room` bytes hold, as long as each
// lets the one held go out, writing their bytes into `out` when COPIES.
// The block's position and the counts are kept in locals meanwhile: the
// compiler must assume that a write through a byte pointer changes them.
// Apart, the loop that only passes keeps them all in registers.
template <bool COPIES>
uint64_t pass_whole_ops(repacker *repacker, packed_reader *reader, uint64_t room,
                        unsigned char *out)
{
    input_stream *in = reader->in;
    const size_t end = in->end;
    size_t at = in->at;
    uint64_t left = room;
    size_t held_at = static_cast<size_t>(repacker->held_header_at - in->block_start);
    // What stands asks of the op held, apart, so that it stays in registers.
    bool held_is_run = repacker->held.is_run != 0;
    uint32_t held_count = repacker->held.count;
    unsigned char held_value = repacker->held.value;
    size_t held_literal_at = held_at + repacker->held.header_length;
    while (end - at >= LONGEST_OP_HEADER) {
        const unsigned char *header = input_block + at;
        packed_op op = decode_op(header);
        size_t stored = stored_length(op);
        // Whole, in the block, and an op the general path would follow.
        if (op.count == 0 || op.count > left || stored > end - at ||
            (op.is_run == 0 && op.count > LONGEST_FOLLOWED_LITERAL))
            break;
        unsigned char first = op.is_run != 0 ? op.value : header[op.header_length];
        if (!stands(held_is_run, held_count, held_value, input_block + held_literal_at, op, first))
            break;
        if (COPIES)
            copy_op(out + (room - left), op, header + op.header_length, op.count,
                    static_cast<size_t>(left));
        held_is_run = op.is_run != 0;
        held_count = op.count;
        held_value = op.value;
        held_at = at;
        held_literal_at = at + op.header_length;
        at += stored;
        left -= op.count;
    }
    uint64_t passed = room - left;
    if (passed == 0)
        return 0;
    in->at = at;
    reader->left -= passed;
    uint64_t held_header_at = in->block_start + held_at;
    repacker->held = decode_op(input_block + held_at);
    repacker->held_header_at = held_header_at;
    repacker->at += passed;
    repacker->front_header_at = repacker->next_header_at = input_offset(*in);
    // What was held before goes out; the op held now stays in the block.
    move_echo_window(in, held_header_at, held_header_at);
    return passed;
}

// Passes over up to `length` unchanged bytes as pass_in_step does, writing
// them into `out` when it is not null.
uint64_t follow_in_step(repacker *repacker, packed_reader *reader, uint64_t length,
                        unsigned char *out)
{
    if (!repacker->in_step || reader->raw)
        return 0;
    uint64_t room = std::min(length, reader->left);
    uint64_t ended = 0;
    if (reader->op_left > 0) {
        ended = end_op_in_step(repacker, reader, room, out);
        if (ended == 0)
            return 0;
        room -= ended;
        out = out == nullptr ? out : out + ended;
    }
    if (repacker->count > 0)
        return ended;
    if (!repacker->has_held) {
        uint64_t first = hold_first_in_step(repacker, reader, room, out);
        if (first == 0)
            return ended;
        ended += first;
        room -= first;
        out = out == nullptr ? out : out + first;
    }
    uint64_t passed = out == nullptr ? pass_whole_ops<false>(repacker, reader, room, out)
                                     : pass_whole_ops<true>(repacker, reader, room, out);
    return ended + passed +
           begin_op_in_step(repacker, reader, room - passed, out == nullptr ? out : out + passed);
}

} // namespace

uint64_t pass_in_step(repacker *repacker, packed_reader *reader, uint64_t length)
{
    return follow_in_step(repacker, reader, length, nullptr);
}

bool copy_in_step(repacker *repacker, packed_reader *reader, unsigned char *out, size_t length,
                  step_mark *mark)
{
    if (!repacker->in_step || reader->raw)
        return false;
    const input_stream &in = *reader->in;
    *mark = {*reader,
             in.at,
             in.echo_limit,
             in.keep_from,
             repacker->has_held,
             repacker->held,
             repacker->held_header_at,
             repacker->at,
             repacker->first,
             repacker->count,
             held_ops::pending_at(repacker->first),
             repacker->front_end,
             repacker->front_header_at,
             repacker->next_header_at,
             repacker->current_length};
    if (follow_in_step(repacker, reader, length, out) == length)
        return true;
    undo_copy_in_step(repacker, reader, *mark);
    return false;
}

void undo_copy_in_step(repacker *repacker, packed_reader *reader, const step_mark &mark)
{
    *reader = mark.reader;
    input_stream *in = reader->in;
    in->at = mark.input_at;
    move_echo_window(in, mark.echo_limit, mark.keep_from);
    repacker->has_held = mark.has_held;
    repacker->held = mark.held;
    repacker->held_header_at = mark.held_header_at;
    repacker->at = mark.at;
    repacker->first = mark.first;
    repacker->count = mark.count;
    held_ops::pending_at(mark.first) = mark.front;
    repacker->front_end = mark.front_end;
    repacker->front_header_at = mark.front_header_at;
    repacker->next_header_at = mark.next_header_at;
    repacker->current_length = mark.current_length;
}
