// The ops a repacker has read ahead of what it has packed, and whether an
// op would go out as it stands: what following a stream's ops
// (repacking.cpp) and passing them in step (in_step.cpp) share. Not for use
// outside them.
#pragma once

#include "repacking.h"

#include <cstddef>
#include <cstdint>

namespace held_ops {

// The ring of ops read ahead, by position from any start.
packed_op &pending_at(size_t index);

// The op at the front of the ring, the first not yet packed past; and
// moving past it.
const packed_op &front(const repacker &repacker);
void pop(repacker *repacker);

// The literal of an op whose header lies at `header_at`, in the block.
const unsigned char *literal_at(const repacker &repacker, uint64_t header_at, const packed_op &op);

// Whether the packer, holding nothing, would write an op just as it is
// (a run of `count` copies of `value`, or a literal of `count` bytes at
// `literal`), when `next` (whose first byte is `next_first`) follows it.
bool stands(bool is_run, uint32_t count, unsigned char value, const unsigned char *literal,
            const packed_op &next, unsigned char next_first);
bool stands(const packed_op &op, const unsigned char *literal, const packed_op &next,
            unsigned char next_first);

// Whether the op held would go out as it stands with `op`, whose header
// lies at `header_at` in the block, after it.
bool held_stands_before(const repacker &repacker, const packed_op &op, uint64_t header_at);

// In step, holds `op`, whose header lies at `header_at`: what was held
// before goes out, and this op stays in the block.
void hold(repacker *repacker, const packed_op &op, uint64_t header_at);

} // namespace held_ops
