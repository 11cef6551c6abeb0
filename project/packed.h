// Packed streams: the run-length coding a project file keeps its larger
// sections in. A stream is a sequence of ops, each a header byte and a
// payload; it ends when it has unpacked to exactly its declared size, which
// is stored elsewhere. docs/format.md describes the ops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The longest run the files' own packer writes in one op.
constexpr uint32_t LONGEST_RUN = 0x7FFFFF;

enum unpack_status {
    UNPACK_OK,
    UNPACK_CUT,         // the file ends before the stream does
    UNPACK_OVERRUN,     // an op reaches past the declared size, or more was asked
    UNPACK_READ_FAILED, // the input reported an error other than its end
};

// Reads one stream's unpacked bytes in order, from a file positioned at its
// first op. Nothing is trusted: an op is checked against what is left of the
// declared size before any of it is taken, and nothing is allocated.
struct packed_reader {
    FILE *in;
    uint64_t left;        // unpacked bytes of the stream not yet taken
    uint32_t op_left;     // of the current op
    bool op_is_run;       // the current op repeats one byte
    unsigned char value;  // that byte
    unpack_status status; // the first failure; once failed, nothing more is read
};

packed_reader start_unpacking(FILE *in, uint64_t size);

// Takes the next `length` unpacked bytes into `out`. False on failure.
bool unpack(packed_reader *reader, unsigned char *out, size_t length);

// Readies the current op, reading the next op's header when the last one is
// used up; false on failure. The caller may then take up to op_left bytes.
bool next_op(packed_reader *reader);

// Consumes `length` bytes of the current op, which next_op readied, reading a
// literal's bytes into `out` (room for `length`). A run's bytes are not
// written. False on failure.
bool take_from_op(packed_reader *reader, unsigned char *out, uint32_t length);

// Packs bytes the way the project files are packed: a run wherever at least
// four equal bytes begin, as long as they last (up to LONGEST_RUN), and a
// literal otherwise, up to the next such place; the one-byte op header for
// counts below 128, the four-byte one from 128. Packing a stream's unpacked
// content this way gives back its own bytes, so a stream packed again
// differs from the original only around what changed.
//
// A literal is held until it ends; one longer than the holding buffer is
// written as several. Ops are gathered and written in blocks. The two
// buffers are the packer's only memory, fixed in size.
struct packer {
    FILE *out;
    size_t gathered;       // ops gathered for one write
    size_t literal_length; // held in the packer's buffer
    uint32_t run_length;   // of the run being counted, 0 when none
    unsigned char run_value;
    bool failed; // a write failed; nothing more is written
};

packer start_packing(FILE *out);

void pack(packer *packer, const unsigned char *bytes, size_t length);

// Packs `count` copies of `value`, as pack() would, without their bytes.
void pack_run(packer *packer, unsigned char value, uint64_t count);

// Writes what is held. False when any write failed.
bool finish_packing(packer *packer);
