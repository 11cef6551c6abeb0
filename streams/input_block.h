// A file read front to back through one fixed block, for the walkers: they
// parse ops and fields straight from the block instead of asking the stream
// for each byte. While an echo is set, every byte consumed is also written,
// as it stands, to another stream: the copy of what a walk reads but does
// not change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct input_stream {
    FILE *file;
    size_t at;            // the next byte of the block to consume
    size_t end;           // how many bytes the block holds
    uint64_t block_start; // the file offset of the block's first byte
    FILE *echo;           // where consumed bytes are written, or null
    size_t echo_from;     // the first byte of the block not yet written there
    uint64_t echo_start;  // the file offset the echo begins at
    uint64_t echo_limit;  // the file offset it goes up to, so far
    uint64_t keep_from;   // bytes from this file offset on are kept in the block
    bool echo_failed;     // a write to the echo failed
};

// The block every input stream reads through, its size, and its refill: the walkers
// read it inline, as they take a few bytes at a time. Past its end lie a
// few bytes that nothing is read into, for the reads of sixteen bytes at a
// time that reach past the bytes they use: the search for a run in a
// literal, and the copies of short literals.
// Large enough that refilling costs little against the work on its bytes;
// one block serves every input stream, as one is read at a time.
constexpr size_t INPUT_BLOCK_SIZE = size_t{256} * 1024;
constexpr size_t INPUT_BLOCK_SLACK = 16;
extern unsigned char input_block[];
bool refill_input(input_stream *in);

// The first bytes of an input, read to tell what kind of file it is before
// anything else reads it; its stream stands after them.
constexpr size_t INPUT_START_CAPACITY = 64;
struct input_start {
    unsigned char bytes[INPUT_START_CAPACITY];
    size_t length;
};

// Starts reading `file` from its start, of which `start` has been read
// already. One input stream is read at a time: they share the block.
void start_input(input_stream *in, FILE *file, const input_start &start);

// Where the next byte lies in the file.
inline uint64_t input_offset(const input_stream &in)
{
    return in.block_start + in.at;
}

// Bytes of the block from the next one on, at least one unless the file has
// ended or failed; none are consumed. The pointer holds until the next call.
inline size_t input_ready(input_stream *in, const unsigned char **bytes)
{
    if (in->at == in->end && !refill_input(in))
        return 0;
    *bytes = input_block + in->at;
    return in->end - in->at;
}

// Consumes `length` bytes of those input_ready gave.
inline void consume(input_stream *in, size_t length)
{
    in->at += length;
}

// Reads `length` bytes into `out`; how many there were, fewer when the file
// ends or fails first.
size_t read_input(input_stream *in, unsigned char *out, size_t length);

// Passes over `length` bytes; false when the file ends or fails first.
bool skip_input(input_stream *in, uint64_t length);

// Whether the file reported an error other than its end.
bool input_failed(const input_stream &in);

// Goes to `offset` from the start of the file; false when the file cannot
// seek. Whatever was consumed before is echoed first.
bool seek_input(input_stream *in, uint64_t offset);

// Sets where consumed bytes are echoed (null for nowhere), those from file
// offset `from` on (at the earliest, the next byte), writing what the
// previous echo is owed first. False when any echo write has failed.
bool set_echo(input_stream *in, FILE *echo, uint64_t from = 0);

// Writes what the echo is owed so far; false when any echo write has failed.
bool flush_echo(input_stream *in);

// For a writer that holds some bytes back: echoes the file's bytes from
// `from` on, even those already consumed while the block still holds them,
// but only up to `limit`; and keeps the bytes from `keep` on in the block
// when it is read on, so that they can still be echoed, or read again by
// input_at. It must keep few.
bool set_echo_window(input_stream *in, FILE *echo, uint64_t from, uint64_t limit, uint64_t keep);

inline void move_echo_window(input_stream *in, uint64_t limit, uint64_t keep)
{
    in->echo_limit = limit;
    in->keep_from = keep;
}

// The bytes of the file from `offset` on, consumed or not, while the block
// holds them.
inline const unsigned char *input_at(const input_stream &in, uint64_t offset)
{
    return input_block + (offset - in.block_start);
}

// Makes at least `length` bytes (at most the block's size) ready in the
// block, or what is left of the file; how many are ready, at `bytes`.
size_t input_peek(input_stream *in, size_t length, const unsigned char **bytes);
