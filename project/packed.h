// Packed streams: the run-length coding a project file keeps its larger
// sections in. A stream is a sequence of ops, each a header byte and a
// payload; it ends when it has unpacked to exactly its declared size, which
// is stored elsewhere. docs/format.md describes the ops.
//
// A backup of the timeline holds its record as it stands, not packed: read
// and written through the same calls, it is a stream of literal bytes.
#pragma once

#include "input.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The longest run the files' own packer writes in one op.
constexpr uint32_t LONGEST_RUN = 0x7FFFFF;

enum unpack_status {
    UNPACK_OK,
    UNPACK_CUT,         // the file ends before the stream does
    UNPACK_OVERRUN,     // an op reaches past the declared size, or more was asked
    UNPACK_READ_FAILED, // the input reported an error other than its end
    UNPACK_STOPPED,     // a walk that only looked stopped at what it was looking for
};

// The longest op header: the byte, three count bytes and a run's value.
constexpr size_t LONGEST_OP_HEADER = 5;

// An op as the stream holds it: how many bytes it unpacks to, whether they
// repeat one value, and how many bytes its header takes in the file.
struct packed_op {
    uint32_t count;
    unsigned char value;
    unsigned char is_run;
    unsigned char header_length;
};

// Decodes the op whose header begins at `header`, with LONGEST_OP_HEADER
// bytes readable from there: the top bit of the first byte tells a run from
// a literal, its low seven bits hold a short count, or zero when three count
// bytes follow; a run's value comes last.
inline packed_op decode_op(const unsigned char *header)
{
    packed_op op = {header[0] & 0x7Fu, 0, static_cast<unsigned char>(header[0] >> 7), 1};
    if (op.count == 0) {
        op.count = header[1] | static_cast<uint32_t>(header[2]) << 8 |
                   static_cast<uint32_t>(header[3]) << 16;
        op.header_length = 4;
    }
    if (op.is_run != 0)
        op.value = header[op.header_length++];
    return op;
}

// The longest op whose bytes are written without a call: most ops are short.
constexpr size_t SHORT_OP = 16;

// Writes `count` (at most SHORT_OP) bytes from `from` into `out`, with two
// overlapping stores of a fixed size.
inline void copy_short(unsigned char *out, const unsigned char *from, size_t count)
{
    if (count >= 8) {
        memcpy(out, from, 8);
        memcpy(out + count - 8, from + count - 8, 8);
    } else if (count >= 4) {
        memcpy(out, from, 4);
        memcpy(out + count - 4, from + count - 4, 4);
    } else if (count > 0) {
        out[0] = from[0];
        out[count / 2] = from[count / 2];
        out[count - 1] = from[count - 1];
    }
}

// Writes `count` of an op's bytes into `out`: its literal's bytes from
// `literal`, or copies of its value. Where `room` bytes from `out` on (at
// least SHORT_OP) may be written, a short op is one store of SHORT_OP bytes
// that reaches past it, for the ops after it to write over, and its
// literal is read on as far: in the input's block, into what follows it and
// the block's slack.
inline void store_op(unsigned char *out, const packed_op &op, const unsigned char *literal,
                     size_t count, size_t room)
{
    if (count <= SHORT_OP && room >= SHORT_OP) {
        if (op.is_run == 0)
            memcpy(out, literal, SHORT_OP);
        else
            memset(out, op.value, SHORT_OP);
    } else if (op.is_run == 0 && count <= SHORT_OP) {
        copy_short(out, literal, count);
    } else if (op.is_run == 0) {
        memcpy(out, literal, count);
    } else {
        memset(out, op.value, count);
    }
}

// How many bytes an op takes in the file, its header's and its literal's.
inline size_t stored_length(const packed_op &op)
{
    return op.header_length + (op.is_run != 0 ? size_t{0} : op.count);
}

// A packer that follows the ops a reader reads (repack.h), told of each.
struct repacker;
void note_original_op(repacker *follower, const packed_op &op);

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
    repacker *follower; // told of every op read, or null
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
    if (reader->follower != nullptr)
        note_original_op(reader->follower, op);
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
// the next `length` unpacked bytes and `take(op, literal, taken)` takes
// them (`literal`: a literal's bytes; `taken`: the bytes taken before this
// op). How many bytes it took; the rest is next_piece's. The block's
// position and the counts are kept in locals meanwhile: the compiler must
// assume that a write through a byte pointer changes them.
template <typename Take> uint64_t take_whole_ops(packed_reader *reader, uint64_t length, Take take)
{
    if (reader->raw || reader->op_left > 0 || reader->follower != nullptr)
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
            !take(op, input_block + at + op.header_length, taken))
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

// Packs bytes the way the project files are packed: a run wherever at least
// four equal bytes begin, as long as they last (up to LONGEST_RUN), and a
// literal otherwise, up to the next such place; the one-byte op header for
// counts below 128, the four-byte one from 128. Packing a stream's unpacked
// content this way gives back its own bytes, so a stream packed again
// differs from the original only around what changed. The result depends on
// the bytes alone, not on how they are handed over.
//
// A literal is held until it ends; one longer than the holding buffer is
// written as several. Ops are gathered and written in blocks. The two
// buffers are the packer's only memory, fixed in size. A raw packer writes
// the bytes as they are, for a record stored as it stands.
struct packer {
    FILE *out;
    bool raw;
    size_t gathered;       // ops gathered for one write
    size_t literal_length; // held in the packer's buffer
    uint32_t run_length;   // of the run being counted, 0 when none
    unsigned char run_value;
    bool failed; // a write failed; nothing more is written
};

packer start_packing(FILE *out);
packer start_raw_writing(FILE *out);

void pack(packer *packer, const unsigned char *bytes, size_t length);

// Packs `count` copies of `value`, as pack() would, in time that does not
// grow with `count`.
void pack_run(packer *packer, unsigned char value, uint64_t count);

// Writes one op as the packer writes it, after what it has written, for a
// follower that knows the packer would write that op.
void write_op(packer *packer, bool is_run, uint32_t count, unsigned char value,
              const unsigned char *literal);

// Where RUN_START equal bytes first begin in `bytes`, or `length` when
// nowhere: where the packer would end a literal.
size_t find_run_start(const unsigned char *bytes, size_t length);

// Where a run begins: this many equal bytes.
constexpr uint32_t RUN_START = 4;

// Writes what is held. False when any write failed.
bool finish_packing(packer *packer);
