#include "walk.h"

#include <algorithm>
#include <cstring>

namespace {

// How much of a literal is held at once while it is passed on.
constexpr size_t PASS_BLOCK_SIZE = size_t{64} * 1024;

// Lists bytes passed over. A run of zeros reads as one 0; any other run is
// read byte by byte.
void list_passed(path_scanner *scanner, unsigned char *block, uint32_t length, bool is_run,
                 unsigned char value)
{
    if (is_run && value == 0)
        length = 1;
    if (is_run)
        memset(block, value, length);
    scan_data(scanner, block, length);
}

// Lists taken bytes: the noted fields as fields, the rest as data.
void list_taken(section_walk *walk, const unsigned char *bytes, size_t length)
{
    size_t at = 0;
    for (int index = 0; index < walk->field_count; ++index) {
        const noted_field &field = walk->fields[index];
        size_t offset = static_cast<size_t>(field.at - bytes);
        scan_data(walk->scanner, bytes + at, offset - at);
        scan_field(walk->scanner, field.at, field.size, field.wide, field.name);
        at = offset + field.size;
    }
    scan_data(walk->scanner, bytes + at, length - at);
    walk->field_count = 0;
}

void note_field(section_walk *walk, const unsigned char *field, size_t size, bool wide,
                const char *name)
{
    // The walkers note fields in order, never more than fit.
    if (walk->field_count < MOST_NOTED_FIELDS)
        walk->fields[walk->field_count++] = {field, size, wide, name};
}

} // namespace

section_walk start_walk(FILE *in, uint64_t size, packer *out)
{
    return {start_unpacking(in, size), out, nullptr, false, {}, 0};
}

section_walk start_listing(FILE *in, uint64_t size, path_scanner *scanner)
{
    return {start_unpacking(in, size), nullptr, scanner, false, {}, 0};
}

bool is_listing(const section_walk &walk)
{
    return walk.scanner != nullptr;
}

void name_part(section_walk *walk, const char *part)
{
    if (walk->scanner != nullptr)
        set_part(walk->scanner, part);
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
    if (walk->scanner != nullptr)
        list_taken(walk, bytes, length);
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
        if (walk->scanner != nullptr)
            list_passed(walk->scanner, block, taken, is_run, reader->value);
        length -= taken;
    }
    return true;
}

void edit_field(section_walk *walk, unsigned char *field, size_t size, field_rule rule,
                const char *name)
{
    if (walk->scanner != nullptr) {
        note_field(walk, field, size, rule == FIELD_WIDE_TEXT, name);
        return;
    }
    unsigned char original[LONGEST_TEXT_FIELD];
    memcpy(original, field, size);
    apply_field_rule(field, size, rule);
    if (memcmp(original, field, size) != 0)
        walk->changed = true;
}

void blank_field(section_walk *walk, unsigned char *field, size_t size, const char *name)
{
    if (walk->scanner != nullptr)
        note_field(walk, field, size, false, name);
    else
        memset(field, 0, size);
}

int32_t read_i32(const unsigned char *bytes)
{
    uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                     static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    int32_t result = 0;
    memcpy(&result, &value, sizeof result);
    return result;
}
