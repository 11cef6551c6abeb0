#include "repacking.h"

#include "held_ops.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The ops read ahead of what is packed, in a ring. Ops follow one another,
// in what the stream unpacks to and in the file, so where each begins
// follows from the one before. At most one taken piece's worth in a
// stream the packer wrote, more only in one it did not. When they do not
// fit, the stream's ops are lost and the packer packs the rest.
constexpr size_t MOST_PENDING_OPS = 8192;
packed_op pending[MOST_PENDING_OPS];

// Whether a run begins in a literal of `count` bytes (RUN_START or more)
// that lies in the input's block: asked of every literal the repacker
// echoes. Sixteen places at a time, reading on into the block's slack past
// the literal; the places past it are masked off.
bool literal_holds_run(const unsigned char *literal, size_t count)
{
#if defined(__SSE2__)
    constexpr size_t LANES = sizeof(__m128i);
    size_t places = count - RUN_START + 1;
    for (size_t at = 0;; at += LANES) {
        const unsigned char *from = literal + at;
        __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
        __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + 1));
        __m128i third = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + 2));
        __m128i fourth = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + 3));
        __m128i same = _mm_and_si128(
            _mm_and_si128(_mm_cmpeq_epi8(first, second), _mm_cmpeq_epi8(second, third)),
            _mm_cmpeq_epi8(third, fourth));
        auto starts = static_cast<unsigned>(_mm_movemask_epi8(same));
        if (places - at <= LANES)
            return (starts & ((1u << (places - at)) - 1)) != 0;
        if (starts != 0)
            return true;
    }
#else
    return find_run_start(literal, count) != count;
#endif
}

} // namespace

namespace held_ops {

packed_op &pending_at(size_t index)
{
    return pending[index % MOST_PENDING_OPS];
}

const packed_op &front(const repacker &repacker)
{
    return pending[repacker.first];
}

void pop(repacker *repacker)
{
    repacker->front_header_at += stored_length(front(*repacker));
    repacker->first = (repacker->first + 1) % MOST_PENDING_OPS;
    if (--repacker->count > 0)
        repacker->front_end += front(*repacker).count;
}

const unsigned char *literal_at(const repacker &repacker, uint64_t header_at, const packed_op &op)
{
    return input_at(*repacker.in, header_at + op.header_length);
}

// Whether the packer, holding nothing, would write an op just as it is
// (a run of `count` copies of `value`, or a literal of `count` bytes at
// `literal`), when `next` (whose first byte is `next_first`) follows it.
bool stands(bool is_run, uint32_t count, unsigned char value, const unsigned char *literal,
            const packed_op &next, unsigned char next_first)
{
    // An empty op shows nothing of what follows it; the packer never writes one.
    if (next.count == 0)
        return false;
    if (is_run)
        return count >= RUN_START && (next_first != value || count == LONGEST_RUN);
    return count > 0 && next.is_run != 0 && next.count >= RUN_START &&
           literal[count - 1] != next.value &&
           (count < RUN_START || !literal_holds_run(literal, count));
}

// Whether the op held would go out as it stands with `op`, whose header
// lies at `header_at` in the block, after it.
bool stands(const packed_op &op, const unsigned char *literal, const packed_op &next,
            unsigned char next_first)
{
    return stands(op.is_run != 0, op.count, op.value, literal, next, next_first);
}

bool held_stands_before(const repacker &repacker, const packed_op &op, uint64_t header_at)
{
    const packed_op &held = repacker.held;
    const unsigned char *literal =
        held.is_run != 0 ? nullptr : literal_at(repacker, repacker.held_header_at, held);
    unsigned char first =
        op.is_run != 0 || op.count == 0 ? op.value : *literal_at(repacker, header_at, op);
    return stands(held, literal, op, first);
}

// In step, holds `op`, whose header lies at `header_at`: what was held
// before goes out, and this op stays in the block.
void hold(repacker *repacker, const packed_op &op, uint64_t header_at)
{
    move_echo_window(repacker->in, header_at, header_at);
    repacker->held = op;
    repacker->held_header_at = header_at;
    repacker->has_held = true;
    repacker->current_length = 0;
}

} // namespace held_ops

namespace {

using namespace held_ops;

// Packs bytes with the packer: `literal`, or copies of `value` when it is
// null.
void feed(repacker *repacker, const unsigned char *literal, unsigned char value, uint64_t length)
{
    if (literal == nullptr)
        pack_run(&repacker->greedy, value, length);
    else
        pack(&repacker->greedy, literal, static_cast<size_t>(length));
}

// Feeds the packer the first `length` bytes of an op the block still holds.
void feed_op(repacker *repacker, const packed_op &op, uint64_t header_at, uint64_t length)
{
    feed(repacker, op.is_run != 0 ? nullptr : literal_at(*repacker, header_at, op), op.value,
         length);
}

// Where the block must keep the input from while the packer packs: the
// header of the first run op to come, where following may resume.
uint64_t next_run_header(const repacker &repacker)
{
    uint64_t header_at = repacker.front_header_at;
    for (size_t index = 0; index < repacker.count; ++index) {
        const packed_op &op = pending[(repacker.first + index) % MOST_PENDING_OPS];
        if (op.is_run != 0)
            return header_at;
        header_at += stored_length(op);
    }
    return UINT64_MAX;
}

// Writes what has gone out as it stands, and hands what is held back, and
// what there is of the op at the front, to the packer.
void leave_step(repacker *repacker)
{
    if (!repacker->in_step)
        return;
    repacker->in_step = false;
    (void)set_echo(repacker->in, nullptr); // a failed write shows when the repacking ends
    if (repacker->has_held)
        feed_op(repacker, repacker->held, repacker->held_header_at, repacker->held.count);
    if (repacker->current_length > 0)
        feed_op(repacker, front(*repacker), repacker->front_header_at, repacker->current_length);
    repacker->has_held = false;
    repacker->current_length = 0;
    move_echo_window(repacker->in, UINT64_MAX, next_run_header(*repacker));
}

// The same for the stream's last op.
bool stands_last(const packed_op &op, const unsigned char *literal)
{
    if (op.is_run != 0)
        return op.count >= RUN_START;
    return op.count > 0 && (op.count < RUN_START || !literal_holds_run(literal, op.count));
}

// In step, the op at the front has come whole: the one held goes out, if
// it stands, and this one is held.
void hold_front(repacker *repacker)
{
    if (repacker->has_held &&
        !held_stands_before(*repacker, front(*repacker), repacker->front_header_at)) {
        leave_step(repacker); // the held op and this one go to the packer
        return;
    }
    hold(repacker, front(*repacker), repacker->front_header_at);
}

// Whether the packer's run ends where the op at the front, a run of the
// same value that it takes in, ends: where the op after it, read from the
// block, begins with another byte.
bool run_ends_at_front(const repacker &repacker)
{
    const input_stream &in = *repacker.in;
    uint64_t next_at = repacker.front_header_at + stored_length(front(repacker));
    if (next_at < in.block_start || next_at - in.block_start > in.end ||
        in.end - (next_at - in.block_start) < LONGEST_OP_HEADER)
        return false;
    const unsigned char *header = input_at(in, next_at);
    packed_op next = decode_op(header);
    return next.count > 0 && header[next.header_length - next.is_run] != front(repacker).value;
}

// Out of step, a run op has come whole: where the packer's run is this op
// exactly, it holds nothing else, and following resumes with it held. Where
// the packer's run takes in this op and bytes before it, and ends with it,
// the packer writes it, holds nothing, and following resumes after it.
void resume_at_front(repacker *repacker)
{
    const packed_op &op = front(*repacker);
    packer &greedy = repacker->greedy;
    if (!repacker->following || op.is_run == 0 || greedy.run_length < op.count ||
        greedy.run_value != op.value)
        return;
    bool whole = greedy.run_length == op.count;
    if (!whole && !run_ends_at_front(*repacker))
        return;
    if (whole)
        greedy.run_length = 0;
    (void)finish_packing(&greedy); // a failed write shows when the repacking ends
    uint64_t header_at = repacker->front_header_at + (whole ? 0 : stored_length(op));
    (void)set_echo_window(repacker->in, repacker->out, header_at, header_at, header_at);
    repacker->in_step = true;
    repacker->has_held = whole;
    repacker->current_length = 0;
    if (whole) {
        repacker->held = op;
        repacker->held_header_at = header_at;
    }
}

// The op at the front has been packed past, its last byte `changed` or
// not: following resumes only at an op that ends as the stream holds it.
void complete_op(repacker *repacker, bool changed)
{
    bool was_run = front(*repacker).is_run != 0;
    if (repacker->in_step)
        hold_front(repacker);
    else if (!changed)
        resume_at_front(repacker);
    pop(repacker);
    // Past the run the block kept, it keeps the next.
    if (!repacker->in_step && was_run)
        move_echo_window(repacker->in, UINT64_MAX, next_run_header(*repacker));
}

// In step, holding an op: takes the whole ops at the front that the first
// `length` unchanged bytes hold, as long as each lets the one held go out
// as it stands, as complete_op would one by one. How many bytes it took.
uint64_t take_in_step(repacker *repacker, uint64_t length)
{
    if (!repacker->in_step || !repacker->has_held || repacker->current_length > 0)
        return 0;
    uint64_t taken = 0;
    bool held_another = false; // an empty op may be held, taking no byte
    while (repacker->count > 0 && repacker->front_end - repacker->at <= length - taken) {
        const packed_op &op = front(*repacker);
        uint64_t header_at = repacker->front_header_at;
        if ((op.is_run == 0 && op.count > LONGEST_FOLLOWED_LITERAL) ||
            !held_stands_before(*repacker, op, header_at))
            break;
        repacker->held = op;
        repacker->held_header_at = header_at;
        held_another = true;
        taken += repacker->front_end - repacker->at;
        repacker->at = repacker->front_end;
        pop(repacker);
    }
    if (held_another)
        move_echo_window(repacker->in, repacker->held_header_at, repacker->held_header_at);
    return taken;
}

// Packs changed bytes: the packer takes them all at once, as following
// resumes only after them, and the ops they lie in are packed past.
void take_changed(repacker *repacker, const unsigned char *bytes, uint64_t length)
{
    leave_step(repacker);
    feed(repacker, bytes, 0, length);
    repacker->at += length;
    while (repacker->count > 0 && repacker->front_end <= repacker->at)
        complete_op(repacker, true);
}

// Packs the stream's next unchanged bytes (`literal`, or copies of `value`
// when it is null) op by op, so that each op's end is seen where it lies.
void take_unchanged(repacker *repacker, const unsigned char *literal, unsigned char value,
                    uint64_t length)
{
    while (length > 0) {
        uint64_t whole = take_in_step(repacker, length);
        length -= whole;
        if (literal != nullptr)
            literal += whole;
        if (length == 0)
            return;
        if (repacker->count == 0) {
            // No op known for these bytes: the packer's.
            feed(repacker, literal, value, length);
            repacker->at += length;
            return;
        }
        uint64_t taken = std::min(length, repacker->front_end - repacker->at);
        if (repacker->in_step && front(*repacker).is_run == 0 &&
            repacker->current_length + taken > LONGEST_FOLLOWED_LITERAL)
            leave_step(repacker);
        // Out of step, the packer packs them.
        if (repacker->in_step)
            repacker->current_length += taken;
        else
            feed(repacker, literal, value, taken);
        repacker->at += taken;
        length -= taken;
        if (literal != nullptr)
            literal += taken;
        if (repacker->at == repacker->front_end)
            complete_op(repacker, false);
    }
}

// Told of each op the stream's reader reads.
void note_original_op(void *context, const packed_op &op)
{
    auto *follower = static_cast<repacker *>(context);
    if (!follower->following)
        return;
    if (follower->count == MOST_PENDING_OPS) {
        // Read too far ahead to follow: the packer packs the rest.
        leave_step(follower);
        follower->following = false;
        follower->count = 0;
        move_echo_window(follower->in, UINT64_MAX, UINT64_MAX);
        return;
    }
    if (follower->count == 0)
        follower->front_end = follower->at + op.count;
    pending[(follower->first + follower->count++) % MOST_PENDING_OPS] = op;
    uint64_t header_at = follower->next_header_at;
    follower->next_header_at += stored_length(op);
    // Out of step, the block keeps a run's header, where following may resume.
    if (!follower->in_step && op.is_run != 0 && follower->in->keep_from == UINT64_MAX)
        move_echo_window(follower->in, UINT64_MAX, header_at);
}

} // namespace

op_follower follow_ops(repacker *repacker)
{
    return {note_original_op, repacker};
}

void start_repacking(repacker *repacker, input_stream *in, FILE *out)
{
    *repacker = {};
    repacker->greedy = start_packing(out);
    repacker->in = in;
    repacker->out = out;
    repacker->following = true;
    repacker->in_step = true;
    uint64_t at = input_offset(*in);
    repacker->front_header_at = at;
    repacker->next_header_at = at;
    (void)set_echo_window(in, out, at, at, at); // a failed write shows when the repacking ends
}

void start_raw_rewriting(repacker *repacker, FILE *out)
{
    *repacker = {};
    repacker->greedy = start_raw_writing(out);
    repacker->out = out;
}

void repack(repacker *repacker, const unsigned char *bytes, size_t length, bool changed)
{
    if (changed)
        take_changed(repacker, bytes, length);
    else
        take_unchanged(repacker, bytes, 0, length);
}

void repack_run(repacker *repacker, unsigned char value, uint64_t count)
{
    take_unchanged(repacker, nullptr, value, count);
}

bool finish_repacking(repacker *repacker)
{
    bool echoed = true;
    if (repacker->in != nullptr) {
        const packed_op &held = repacker->held;
        bool stands_whole =
            repacker->in_step && repacker->has_held && repacker->current_length == 0 &&
            stands_last(held, held.is_run != 0
                                  ? nullptr
                                  : literal_at(*repacker, repacker->held_header_at, held));
        if (stands_whole)
            move_echo_window(repacker->in, UINT64_MAX, UINT64_MAX);
        else
            leave_step(repacker);
        echoed = set_echo(repacker->in, nullptr);
    }
    return finish_packing(&repacker->greedy) && echoed;
}
