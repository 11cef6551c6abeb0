// Walking one section's unpacked bytes in order: taking the pieces a walker
// reads closely, passing the rest on, and applying the field rules. A walk
// looks (is everything where the layout says, and would anything change?),
// packs (writes the section with its fields changed), or lists (every byte
// goes through a path scanner, each field as the field it is).
#pragma once

#include "../packed/repacking.h"
#include "../packed/unpacking.h"
#include "../path_rules/path_scan.h"
#include "field_rules.h"

#include <cstddef>
#include <cstdint>

enum walk_result {
    WALK_DONE,
    WALK_UNFOLLOWABLE, // not the layout described, or cut short
    WALK_READ_FAILED,  // the input failed, or is not what an earlier walk found
    WALK_WRITE_FAILED,
};

enum walk_mode { WALK_LOOK, WALK_PACK, WALK_LIST };

// A field within taken bytes, noted for the listing, or while packing as
// changed.
struct noted_field {
    const unsigned char *at;
    size_t size;
    field_reading reading;
    const char *name;
};

constexpr int MOST_NOTED_FIELDS = 4; // in one taken piece

struct section_walk {
    packed_reader reader;
    walk_mode mode;
    repacker *out;          // where a packing walk writes
    path_scanner *scanner;  // where a listing walk lists
    text_encoding encoding; // of the section's 8-bit text
    bool stop_at_change;    // a look ends at the first change it finds
    bool changed;           // a field rule changed a byte
    noted_field fields[MOST_NOTED_FIELDS];
    int field_count;
    // Taken bytes a packing walk has passed over in step, as if unchanged,
    // and where it began to.
    size_t copied_in_step;
    bool has_copied;
    step_mark mark;
};

section_walk start_look(const packed_reader &reader, text_encoding encoding);
// A packing walk writes through `out`, which the reader tells of its ops.
section_walk start_pack(packed_reader reader, text_encoding encoding, repacker *out);
section_walk start_list(const packed_reader &reader, text_encoding encoding, path_scanner *scanner);

// Why a walk that could not take its bytes ended.
walk_result walk_failure(const section_walk &walk);

// Takes the next `length` unpacked bytes into `bytes`, to be given on once
// read. False on failure. A packing walk passes over the bytes it can pass
// in step as it takes them, which costs less than reading them and packing
// them again, and goes back when they change.
bool take(section_walk *walk, unsigned char *bytes, size_t length);

// Takes bytes that will most likely change, as take() does but without
// passing them over in step first, which their change would undo. A piece
// with a path, whose folders go, is such a piece.
bool take_to_change(section_walk *walk, unsigned char *bytes, size_t length);

// The section's unpacked bytes not yet taken.
uint64_t untaken(const section_walk &walk);

// Gives bytes that were taken on: to the copy, or to the listing with the
// fields noted in them. A walker gives what it took even when it then finds
// the layout is not the one it knows, so that a listing misses no byte.
void give(section_walk *walk, const unsigned char *bytes, size_t length);

// Passes the next `length` unpacked bytes on unchanged, op by op. False on
// failure.
bool pass_over(section_walk *walk, uint64_t length);

// Passes on the rest of the section: after a walker could not follow it, a
// listing searches it as plain bytes, and a look finds where it ends.
walk_result pass_rest(section_walk *walk);

// Applies `rule` to a field of `size` bytes, named `name`, within taken
// bytes, and notes whether it changed. When listing, only notes the field.
void edit_field(section_walk *walk, unsigned char *field, size_t size, field_rule rule,
                const char *name);

// Blanks a field that every copy blanks: not counted as a change.
void blank_field(section_walk *walk, unsigned char *field, size_t size, const char *name);

// Names the part of the section that comes next, when listing.
void name_part(section_walk *walk, const char *part, uint64_t number, int32_t effect = -1,
               const char *effect_name = nullptr);

// Reads a little-endian integer from taken bytes.
int32_t read_i32(const unsigned char *bytes);
