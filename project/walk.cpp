#include "walk.h"

#include <algorithm>
#include <cstring>

namespace {

// How much of a literal is held at once while it is passed on.
constexpr size_t PASS_BLOCK_SIZE = size_t{64} * 1024;

} // namespace

section_walk start_walk(FILE *in, uint64_t size, packer *out)
{
    return {start_unpacking(in, size), out, false};
}

walk_result walk_failure(const section_walk &walk)
{
    return walk.reader.status == UNPACK_READ_FAILED ? WALK_READ_FAILED : WALK_UNFOLLOWABLE;
}

bool take(section_walk *walk, unsigned char *bytes, size_t length)
{
    return unpack(&walk->reader, bytes, length);
}

void give(section_walk *walk, const unsigned char *bytes, size_t length)
{
    if (walk->out != nullptr)
        pack(walk->out, bytes, length);
}

bool pass_over(section_walk *walk, uint64_t length)
{
    static unsigned char block[PASS_BLOCK_SIZE];
    packed_reader *reader = &walk->reader;
    while (length > 0) {
        if (!next_op(reader))
            return false;
        uint32_t taken =
            static_cast<uint32_t>(std::min<uint64_t>({reader->op_left, length, PASS_BLOCK_SIZE}));
        bool is_run = reader->op_is_run;
        if (!take_from_op(reader, block, taken))
            return false;
        if (walk->out != nullptr && is_run)
            pack_run(walk->out, reader->value, taken);
        else if (walk->out != nullptr)
            pack(walk->out, block, taken);
        length -= taken;
    }
    return true;
}

void edit_field(section_walk *walk, unsigned char *field, size_t size, field_rule rule)
{
    unsigned char original[LONGEST_TEXT_FIELD];
    memcpy(original, field, size);
    apply_field_rule(field, size, rule);
    if (memcmp(original, field, size) != 0)
        walk->changed = true;
}

int32_t read_i32(const unsigned char *bytes)
{
    uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                     static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    int32_t result = 0;
    memcpy(&result, &value, sizeof result);
    return result;
}
