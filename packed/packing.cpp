// Packing bytes again as the files' own packer does.
#include "packing.h"

#include <algorithm>
#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words are read little-endian");

namespace {

// The literal held until it ends, and the ops gathered for one write. One
// packer works at a time, so one buffer of each kind serves them all.
constexpr size_t LITERAL_CAPACITY = size_t{1} << 20;
unsigned char held_literal[LITERAL_CAPACITY];
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

void write_byte(packer *packer, unsigned char byte)
{
    if (packer->gathered == OUTPUT_CAPACITY)
        flush_gathered(packer);
    gathered[packer->gathered++] = byte;
}

void write_op_header(packer *packer, int kind, size_t count)
{
    if (count <= SHORT_COUNT_MASK) {
        write_byte(packer, static_cast<unsigned char>(kind | static_cast<int>(count)));
        return;
    }
    unsigned char header[] = {static_cast<unsigned char>(kind), static_cast<unsigned char>(count),
                              static_cast<unsigned char>(count >> 8),
                              static_cast<unsigned char>(count >> 16)};
    write_bytes(packer, header, sizeof header);
}

// Writes a literal of the held bytes followed by `more`.
void write_literal(packer *packer, const unsigned char *more, size_t more_length)
{
    size_t length = packer->literal_length + more_length;
    if (length == 0)
        return;
    write_op_header(packer, 0, length);
    write_bytes(packer, held_literal, packer->literal_length);
    if (more_length > 0)
        write_bytes(packer, more, more_length);
    packer->literal_length = 0;
}

void end_run(packer *packer)
{
    write_op_header(packer, RUN_BIT, packer->run_length);
    write_byte(packer, packer->run_value);
    packer->run_length = 0;
}

void begin_run(packer *packer, unsigned char value, uint32_t length)
{
    packer->run_value = value;
    packer->run_length = length;
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
size_t equal_tail(const packer &packer)
{
    size_t length = packer.literal_length;
    size_t same = 0;
    while (same < length && same < RUN_START &&
           held_literal[length - 1 - same] == held_literal[length - 1])
        ++same;
    return same;
}

// How many of the first bytes of `bytes` complete a run that equal bytes at
// the end of the held literal begin; 0 when they do not.
size_t completes_held_run(const packer &packer, const unsigned char *bytes, size_t length)
{
    size_t same = packer.literal_length == 0 ? 0 : equal_tail(packer);
    if (same == 0)
        return 0;
    unsigned char last = held_literal[packer.literal_length - 1];
    for (size_t taken = 0; taken < length && same + taken < RUN_START + 1; ++taken) {
        if (bytes[taken] != last)
            return 0;
        if (same + taken + 1 == RUN_START)
            return taken + 1;
    }
    return 0;
}

// Holds bytes of a literal from `bytes` on, until RUN_START equal bytes end
// it, which then begin a run instead; how many were taken.
size_t hold(packer *packer, const unsigned char *bytes, size_t length)
{
    size_t room = std::min(length, LITERAL_CAPACITY - packer->literal_length);
    size_t seam = completes_held_run(*packer, bytes, room);
    if (seam > 0) {
        // The run takes the held literal's equal tail and these bytes.
        packer->literal_length -= RUN_START - seam;
        unsigned char value = bytes[0];
        write_literal(packer, nullptr, 0);
        begin_run(packer, value, RUN_START);
        return seam;
    }
    size_t start = find_run_start(bytes, room);
    if (start + RUN_START <= room) {
        write_literal(packer, bytes, start);
        begin_run(packer, bytes[start], RUN_START);
        return start + RUN_START;
    }
    memcpy(held_literal + packer->literal_length, bytes, room);
    packer->literal_length += room;
    // A full buffer is written as one literal, less the bytes that may yet
    // begin a run.
    if (packer->literal_length == LITERAL_CAPACITY) {
        unsigned char tail[RUN_START - 1];
        memcpy(tail, held_literal + LITERAL_CAPACITY - sizeof tail, sizeof tail);
        packer->literal_length -= sizeof tail;
        write_literal(packer, nullptr, 0);
        memcpy(held_literal, tail, sizeof tail);
        packer->literal_length = sizeof tail;
    }
    return room;
}

} // namespace

packer start_packing(FILE *out)
{
    return {out, false, 0, 0, 0, 0, false};
}

packer start_raw_writing(FILE *out)
{
    return {out, true, 0, 0, 0, 0, false};
}

void pack(packer *packer, const unsigned char *bytes, size_t length)
{
    if (packer->raw) {
        write_bytes(packer, bytes, length);
        return;
    }
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
    unsigned char copies[RUN_START];
    memset(copies, value, sizeof copies);
    if (packer->raw) {
        for (; count >= RUN_START; count -= RUN_START)
            write_bytes(packer, copies, RUN_START);
        write_bytes(packer, copies, static_cast<size_t>(count));
        return;
    }
    while (count > 0) {
        if (packer->run_length > 0 &&
            (packer->run_value != value || packer->run_length == LONGEST_RUN))
            end_run(packer);
        if (packer->run_length == 0) {
            // Equal bytes that end the held literal join the copies.
            size_t length = packer->literal_length;
            size_t tail = length > 0 && held_literal[length - 1] == value ? equal_tail(*packer) : 0;
            if (tail + count < RUN_START) {
                (void)hold(packer, copies, static_cast<size_t>(count)); // too few to begin a run
                return;
            }
            packer->literal_length -= tail;
            write_literal(packer, nullptr, 0);
            begin_run(packer, value, static_cast<uint32_t>(tail));
        }
        uint32_t taken =
            static_cast<uint32_t>(std::min<uint64_t>(count, LONGEST_RUN - packer->run_length));
        packer->run_length += taken;
        count -= taken;
    }
}

namespace {

// Where a run starts among the eight places from `at` on: the words at a
// place and at the three bytes after it differ nowhere, byte for byte, where
// a run starts. SIZE_MAX when at none.
size_t run_start_in_word(const unsigned char *bytes, size_t at)
{
    constexpr uint64_t LOW7 = 0x7F7F7F7F7F7F7F7F;
    uint64_t words[RUN_START];
    for (size_t shift = 0; shift < RUN_START; ++shift)
        memcpy(&words[shift], bytes + at + shift, sizeof words[0]);
    uint64_t differ = (words[0] ^ words[1]) | (words[1] ^ words[2]) | (words[2] ^ words[3]);
    uint64_t same = ~(((differ & LOW7) + LOW7) | differ | LOW7); // top bit of each 0 byte
    return same == 0 ? SIZE_MAX : at + static_cast<size_t>(__builtin_ctzll(same)) / 8;
}

} // namespace

size_t find_run_start(const unsigned char *bytes, size_t length)
{
    constexpr size_t SPAN = sizeof(uint64_t) + RUN_START - 1; // what eight places read
    if (length < SPAN) {
        for (size_t at = 0; at + RUN_START <= length; ++at) {
            if (bytes[at] == bytes[at + 1] && bytes[at] == bytes[at + 2] &&
                bytes[at] == bytes[at + 3])
                return at;
        }
        return length;
    }
    for (size_t at = 0; at + SPAN <= length; at += sizeof(uint64_t)) {
        size_t start = run_start_in_word(bytes, at);
        if (start != SIZE_MAX)
            return start;
    }
    // The last places, with some tried before, where no run starts.
    size_t start = run_start_in_word(bytes, length - SPAN);
    return start != SIZE_MAX ? start : length;
}

bool finish_packing(packer *packer)
{
    if (packer->run_length > 0)
        end_run(packer);
    write_literal(packer, nullptr, 0);
    flush_gathered(packer);
    return !packer->failed;
}
