// Walking one packed section's unpacked bytes in order: taking the pieces a
// walker reads closely, passing the rest on, and applying the field rules.
// The same walk first only looks (is everything where the layout says, and
// would anything change?), then, if so, writes the changed section packed
// again. Or it lists: every byte goes through a path scanner instead, each
// field as the field it is.
#pragma once

#include "packed.h"
#include "path_scan.h"
#include "text_field.h"

#include <cstddef>
#include <cstdint>

enum walk_result {
    WALK_DONE,
    WALK_UNFOLLOWABLE, // not the layout described, or cut short
    WALK_READ_FAILED,
};

// A field within taken bytes, noted for the listing.
struct noted_field {
    const unsigned char *at;
    size_t size;
    bool wide;
    const char *name;
};

constexpr int MOST_NOTED_FIELDS = 4; // in one taken piece

struct section_walk {
    packed_reader reader;
    packer *out;           // where the copy goes; null while only looking
    path_scanner *scanner; // where the bytes go when listing; else null
    bool changed;          // a field rule changed a byte
    noted_field fields[MOST_NOTED_FIELDS];
    int field_count;
};

section_walk start_walk(FILE *in, uint64_t size, packer *out);
section_walk start_listing(FILE *in, uint64_t size, path_scanner *scanner);

// Why a walk that could not take its bytes ended.
walk_result walk_failure(const section_walk &walk);

// Takes the next `length` unpacked bytes into `bytes`, to be given on once
// read. False on failure.
bool take(section_walk *walk, unsigned char *bytes, size_t length);

// Gives bytes that were taken on: to the copy, or to the listing with the
// fields noted in them.
void give(section_walk *walk, const unsigned char *bytes, size_t length);

// Passes the next `length` unpacked bytes on to the copy unchanged, without
// holding more than a block of them. False on failure.
bool pass_over(section_walk *walk, uint64_t length);

// Applies `rule` to a field of `size` bytes, named `name`, within taken
// bytes, and notes whether it changed. When listing, only notes the field.
void edit_field(section_walk *walk, unsigned char *field, size_t size, field_rule rule,
                const char *name);

// Blanks a field that every copy blanks: not counted as a change.
void blank_field(section_walk *walk, unsigned char *field, size_t size, const char *name);

// Whether the walk lists; then the walkers name the part of the section
// that comes next.
bool is_listing(const section_walk &walk);
void name_part(section_walk *walk, const char *part);

// Reads a little-endian integer from taken bytes.
int32_t read_i32(const unsigned char *bytes);
