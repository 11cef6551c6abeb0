// Packing bytes as the files' own packer does (ops.h).
#pragma once

#include "ops.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

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

// Where RUN_START equal bytes first begin in `bytes`, or `length` when
// nowhere: where the packer would end a literal.
size_t find_run_start(const unsigned char *bytes, size_t length);

// Writes what is held. False when any write failed.
bool finish_packing(packer *packer);
