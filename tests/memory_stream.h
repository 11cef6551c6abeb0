// Streams over bytes in memory, unbuffered, that fail on demand: they let a
// test or the fuzz target drive the rewriter where no real file can be made
// to fail at a chosen byte. Built on glibc's fopencookie; elsewhere the
// openers answer null.
#pragma once

#include <cstdio>
#include <vector>

struct stream_faults {
    long read_fails_at = -1;  // a read of the byte at this offset fails
    long write_fails_at = -1; // a write of the byte at this offset fails
    bool seek_fails = false;  // every seek is refused
    // From this seek on (the first is 1), the input is another file: as if
    // another program saved over it while it was read.
    int changes_at_seek = -1;
    const std::vector<unsigned char> *changed = nullptr;
};

constexpr bool HAS_MEMORY_STREAMS =
#ifdef __GLIBC__
    true;
#else
    false;
#endif

// Reads `size` bytes from `content`, which must outlive the stream, as must
// a changed file. A seek past the end is allowed, as on a file.
FILE *open_memory_input(const unsigned char *content, size_t size, stream_faults faults = {});

// Appends what is written to `sink`, which must outlive the stream.
FILE *open_memory_output(std::vector<unsigned char> *sink, stream_faults faults = {});
