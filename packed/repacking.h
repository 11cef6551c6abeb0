// Packing a stream again after some of its bytes changed, in the time it
// takes to read it: every op in which nothing changed is echoed as it
// stands, wherever the files' own packer would write that very op, and the
// packer (packing.h) packs the rest. The copy is the packer's, byte for byte.
//
// The stream's reader tells the repacker of every op it reads; the bytes
// then come in order, each piece unchanged or changed. An op goes out as it
// stands only once the op after it has come whole and unchanged, and only
// where the packer, starting from nothing, would write exactly it: a run of
// at least four bytes that the next byte does not continue (or the longest
// run), or a literal with no four equal bytes that a run of at least four
// other bytes follows. Everything before such an op has gone out as the
// packer writes it, so the packer would hold nothing there. Otherwise the
// ops held back go to the packer, which takes over until its run in
// progress is exactly one of the stream's run ops, or takes one in and
// ends where it ends: there it holds nothing else, and following resumes.
//
// The ops held back stay in the input's block until they go out: at most
// two, and a literal longer than LONGEST_FOLLOWED_LITERAL goes to the packer.
#pragma once

#include "packing.h"
#include "unpacking.h"

#include <cstddef>
#include <cstdint>

constexpr size_t LONGEST_FOLLOWED_LITERAL = size_t{64} * 1024;

struct repacker {
    packer greedy;    // packs what does not go out as it stands
    input_stream *in; // the stream's, whose echo writes what stands
    FILE *out;
    bool following; // the stream's ops are known
    bool in_step;   // all written is what the packer would write, and it holds nothing
    uint64_t at;    // bytes packed so far
    size_t first;   // the ops read and not yet packed past, in a ring
    size_t count;
    uint64_t front_end;       // where the op at the front ends, in what the stream unpacks to
    uint64_t front_header_at; // and where its header lies in the file
    uint64_t next_header_at;  // where the header of the next op to be read lies
    bool has_held;            // in step: the last whole op, not yet gone out
    packed_op held;
    uint64_t held_header_at;
    uint64_t current_length; // in step: bytes of the op at the front so far
};

// Starts packing again the stream `in` is about to read into `out`; or a
// raw one (a backup's record), which is written byte for byte.
void start_repacking(repacker *repacker, input_stream *in, FILE *out);
void start_raw_rewriting(repacker *repacker, FILE *out);

// What the stream's reader tells of each op it reads, for `repacker` to
// follow them.
op_follower follow_ops(repacker *repacker);

// Packs the stream's next bytes, which `changed` tells from those the
// stream holds.
void repack(repacker *repacker, const unsigned char *bytes, size_t length, bool changed);

// Packs the stream's next `count` bytes, copies of `value`, unchanged.
void repack_run(repacker *repacker, unsigned char value, uint64_t count);

// Passes over up to `length` unchanged bytes that `reader` has yet to
// read, as reading them and packing them one by one would, but straight
// from the input's block: while the repacker is in step, and each op lies
// whole in the block and lets the one held before it, if any, go out as it
// stands. The op the reader is within, if any, is ended, and the one that
// `length` ends within is begun. How many bytes it passed; the rest, from
// the first op that does not pass so, is for the reader and the repacker.
uint64_t pass_in_step(repacker *repacker, packed_reader *reader, uint64_t length);

// Where a copy in step began: what it moves of the reader, the input and
// the repacker, to go back to.
struct step_mark {
    packed_reader reader;
    size_t input_at;
    uint64_t echo_limit;
    uint64_t keep_from;
    bool has_held;
    packed_op held;
    uint64_t held_header_at;
    uint64_t at;
    size_t first;
    size_t count;
    packed_op front;
    uint64_t front_end;
    uint64_t front_header_at;
    uint64_t next_header_at;
    uint64_t current_length;
};

// Takes the next `length` bytes into `out` and passes them over as
// pass_in_step does, as if they will not change, when it can pass all of
// them so; false, having taken none, otherwise. Nothing is written while
// they are taken, so that, should some of them change, undo_copy_in_step
// goes back to `mark`, where the reader is to read them again.
bool copy_in_step(repacker *repacker, packed_reader *reader, unsigned char *out, size_t length,
                  step_mark *mark);
void undo_copy_in_step(repacker *repacker, packed_reader *reader, const step_mark &mark);

// Writes what is held, and ends the echo. False when any write failed.
bool finish_repacking(repacker *repacker);
