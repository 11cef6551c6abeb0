// Walking one packed section's unpacked bytes in order: taking the pieces a
// walker reads closely, passing the rest on, and applying the field rules.
// The same walk first only looks (is everything where the layout says, and
// would anything change?), then, if so, writes the changed section packed
// again.
#pragma once

#include "packed.h"
#include "text_field.h"

#include <cstddef>
#include <cstdint>

enum walk_result {
    WALK_DONE,
    WALK_UNFOLLOWABLE, // not the layout described, or cut short
    WALK_READ_FAILED,
};

struct section_walk {
    packed_reader reader;
    packer *out;  // where the copy goes; null while only looking
    bool changed; // a field rule changed a byte
};

section_walk start_walk(FILE *in, uint64_t size, packer *out);

// Why a walk that could not take its bytes ended.
walk_result walk_failure(const section_walk &walk);

// Takes the next `length` unpacked bytes into `bytes`, to be given on once
// read. False on failure.
bool take(section_walk *walk, unsigned char *bytes, size_t length);

// Gives bytes that were taken on to the copy.
void give(section_walk *walk, const unsigned char *bytes, size_t length);

// Passes the next `length` unpacked bytes on to the copy unchanged, without
// holding more than a block of them. False on failure.
bool pass_over(section_walk *walk, uint64_t length);

// Applies `rule` to a field of `size` bytes within taken bytes, and notes
// whether it changed.
void edit_field(section_walk *walk, unsigned char *field, size_t size, field_rule rule);

// Reads a little-endian integer from taken bytes.
int32_t read_i32(const unsigned char *bytes);
