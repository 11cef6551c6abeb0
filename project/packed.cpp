// Unpacking one stream from a file, and packing bytes again as the files'
// own packer does.
#include "packed.h"

#include <algorithm>
#include <cstring>

namespace {

// An op's header byte: the top bit tells a run from a literal, the low seven
// bits hold a short count, or zero when three count bytes follow.
constexpr int RUN_BIT = 0x80;
constexpr uint32_t SHORT_COUNT_MASK = 0x7F;
constexpr int LONG_COUNT_BYTES = 3;

// Where a run begins: this many equal bytes.
constexpr int RUN_START = 4;

// The literal held until it ends. One packer works at a time, so one buffer
// of each kind serves them all.
constexpr size_t LITERAL_CAPACITY = size_t{1} << 20;
unsigned char held_literal[LITERAL_CAPACITY];

bool fail(packed_reader *reader, unpack_status status)
{
    reader->status = status;
    return false;
}

// Why a read from the input came up short.
unpack_status short_read(FILE *in)
{
    return ferror(in) ? UNPACK_READ_FAILED : UNPACK_CUT;
}

bool read_op_header(packed_reader *reader)
{
    int header = getc(reader->in);
    if (header == EOF)
        return fail(reader, short_read(reader->in));
    uint32_t count = static_cast<uint32_t>(header) & SHORT_COUNT_MASK;
    int count_bytes = count == 0 ? LONG_COUNT_BYTES : 0;
    for (int index = 0; index < count_bytes; ++index) {
        int byte = getc(reader->in);
        if (byte == EOF)
            return fail(reader, short_read(reader->in));
        count |= static_cast<uint32_t>(byte) << (8 * index);
    }
    if (count > reader->left)
        return fail(reader, UNPACK_OVERRUN);
    reader->op_is_run = (header & RUN_BIT) != 0;
    if (reader->op_is_run) {
        int value = getc(reader->in);
        if (value == EOF)
            return fail(reader, short_read(reader->in));
        reader->value = static_cast<unsigned char>(value);
    }
    reader->op_left = count;
    return true;
}

// Ops are gathered here and written out in blocks: most are a few bytes.
constexpr size_t OUTPUT_CAPACITY = size_t{64} * 1024;
unsigned char gathered[OUTPUT_CAPACITY];

void flush_gathered(packer *packer)
{
    if (!packer->failed && packer->gathered > 0 &&
        fwrite(gathered, 1, packer->gathered, packer->out) != packer->gathered)
        packer->failed = true;
    packer->gathered = 0;
}

void write_bytes(packer *packer, const unsigned char *bytes, size_t length)
{
    if (packer->gathered + length > OUTPUT_CAPACITY)
        flush_gathered(packer);
    if (length > OUTPUT_CAPACITY) {
        if (!packer->failed && fwrite(bytes, 1, length, packer->out) != length)
            packer->failed = true;
        return;
    }
    memcpy(gathered + packer->gathered, bytes, length);
    packer->gathered += length;
}

void write_op_header(packer *packer, int kind, size_t count)
{
    if (count <= SHORT_COUNT_MASK) {
        unsigned char header = static_cast<unsigned char>(kind | static_cast<int>(count));
        write_bytes(packer, &header, 1);
        return;
    }
    unsigned char header[] = {static_cast<unsigned char>(kind), static_cast<unsigned char>(count),
                              static_cast<unsigned char>(count >> 8),
                              static_cast<unsigned char>(count >> 16)};
    write_bytes(packer, header, sizeof header);
}

void write_literal(packer *packer, size_t length)
{
    if (length == 0)
        return;
    write_op_header(packer, 0, length);
    write_bytes(packer, held_literal, length);
}

void end_run(packer *packer)
{
    write_op_header(packer, RUN_BIT, packer->run_length);
    write_bytes(packer, &packer->run_value, 1);
    packer->run_length = 0;
}

// Counts the run's byte from `bytes` on; how many were taken.
size_t extend_run(packer *packer, const unsigned char *bytes, size_t length)
{
    size_t room = std::min<size_t>(length, LONGEST_RUN - packer->run_length);
    size_t taken = 0;
    // Eight bytes at a time first: runs of zeros make up most of a record.
    const uint64_t pattern = uint64_t{0x0101010101010101} * packer->run_value;
    for (uint64_t word = pattern; taken + sizeof word <= room; taken += sizeof word) {
        memcpy(&word, bytes + taken, sizeof word);
        if (word != pattern)
            break;
    }
    while (taken < room && bytes[taken] == packer->run_value)
        ++taken;
    packer->run_length += static_cast<uint32_t>(taken);
    return taken;
}

// How many equal bytes end the held literal (at most RUN_START - 1, or a run
// would have begun).
int equal_tail(size_t length)
{
    int same = 0;
    while (same < static_cast<int>(length) && same < RUN_START &&
           held_literal[length - 1 - static_cast<size_t>(same)] == held_literal[length - 1])
        ++same;
    return same;
}

// Holds bytes of a literal from `bytes` on, until RUN_START equal bytes end
// it, which then begin a run instead; how many were taken.
size_t hold(packer *packer, const unsigned char *bytes, size_t length)
{
    size_t held = packer->literal_length;
    int same = held == 0 ? 0 : equal_tail(held);
    int last = held == 0 ? -1 : held_literal[held - 1];
    size_t room = std::min(length, LITERAL_CAPACITY - held);
    size_t taken = 0;
    while (taken < room && same < RUN_START) {
        same = bytes[taken] == last ? same + 1 : 1;
        last = bytes[taken++];
    }
    memcpy(held_literal + held, bytes, taken);
    held += taken;
    if (same == RUN_START) {
        write_literal(packer, held - RUN_START);
        packer->literal_length = 0;
        packer->run_value = static_cast<unsigned char>(last);
        packer->run_length = RUN_START;
        return taken;
    }
    // A full buffer is written as one literal, less the bytes that may yet
    // begin a run.
    if (held == LITERAL_CAPACITY) {
        write_literal(packer, held - (RUN_START - 1));
        memmove(held_literal, held_literal + held - (RUN_START - 1), RUN_START - 1);
        held = RUN_START - 1;
    }
    packer->literal_length = held;
    return taken;
}

} // namespace

packed_reader start_unpacking(FILE *in, uint64_t size)
{
    return {in, size, 0, false, 0, UNPACK_OK};
}

bool next_op(packed_reader *reader)
{
    if (reader->status != UNPACK_OK)
        return false;
    while (reader->op_left == 0) {
        if (reader->left == 0)
            return fail(reader, UNPACK_OVERRUN);
        if (!read_op_header(reader))
            return false;
    }
    return true;
}

bool take_from_op(packed_reader *reader, unsigned char *out, uint32_t length)
{
    if (!reader->op_is_run && fread(out, 1, length, reader->in) != length)
        return fail(reader, short_read(reader->in));
    reader->op_left -= length;
    reader->left -= length;
    return true;
}

bool unpack(packed_reader *reader, unsigned char *out, size_t length)
{
    while (length > 0) {
        if (!next_op(reader))
            return false;
        uint32_t taken = static_cast<uint32_t>(std::min<size_t>(reader->op_left, length));
        if (reader->op_is_run)
            memset(out, reader->value, taken);
        if (!take_from_op(reader, out, taken))
            return false;
        out += taken;
        length -= taken;
    }
    return true;
}

packer start_packing(FILE *out)
{
    return {out, 0, 0, 0, 0, false};
}

void pack(packer *packer, const unsigned char *bytes, size_t length)
{
    size_t at = 0;
    while (at < length) {
        if (packer->run_length == 0) {
            at += hold(packer, bytes + at, length - at);
            continue;
        }
        at += extend_run(packer, bytes + at, length - at);
        // Another byte, or the longest run: the run ends there.
        if (at < length)
            end_run(packer);
    }
}

void pack_run(packer *packer, unsigned char value, uint64_t count)
{
    while (count > 0) {
        bool extends = packer->run_length > 0 && packer->run_value == value &&
                       packer->run_length < LONGEST_RUN;
        if (!extends) {
            pack(packer, &value, 1);
            --count;
            continue;
        }
        uint32_t taken =
            static_cast<uint32_t>(std::min<uint64_t>(count, LONGEST_RUN - packer->run_length));
        packer->run_length += taken;
        count -= taken;
    }
}

bool finish_packing(packer *packer)
{
    if (packer->run_length > 0)
        end_run(packer);
    write_literal(packer, packer->literal_length);
    packer->literal_length = 0;
    flush_gathered(packer);
    return !packer->failed;
}
