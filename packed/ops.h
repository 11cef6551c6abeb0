// The ops of a packed stream: the run-length coding a project file keeps
// its larger sections in. A stream is a sequence of ops, each a header byte
// and a payload; it ends when it has unpacked to exactly its declared size,
// which is stored elsewhere. docs/format.md describes the ops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// An op's header byte: the top bit tells a run from a literal, the low seven
// bits hold a short count, or zero when three count bytes follow.
constexpr unsigned RUN_BIT = 0x80;
constexpr uint32_t SHORT_COUNT_MASK = 0x7F;
constexpr size_t LONG_COUNT_BYTES = 3;

// The longest run the files' own packer writes in one op.
constexpr uint32_t LONGEST_RUN = 0x7FFFFF;

// Where the files' packer begins a run: this many equal bytes.
constexpr uint32_t RUN_START = 4;

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
