#include "section_walk.h"

#include <algorithm>
#include <cstring>

namespace {

field_reading reading_of(field_rule rule)
{
    switch (rule) {
    case FIELD_WIDE_TEXT:
        return FIELD_READ_WIDE;
    case FIELD_SCRIPT_PARAMETERS:
        return FIELD_READ_SCRIPT;
    case FIELD_TEXT:
    case FIELD_PATH:
        break;
    }
    return FIELD_READ_TEXT;
}

// Lists taken bytes: the noted fields as fields, the rest as data.
void list_taken(section_walk *walk, const unsigned char *bytes, size_t length)
{
    size_t at = 0;
    for (int index = 0; index < walk->field_count; ++index) {
        const noted_field &field = walk->fields[index];
        size_t offset = static_cast<size_t>(field.at - bytes);
        scan_data(walk->scanner, bytes + at, offset - at);
        scan_field(walk->scanner, field.at, field.size, field.reading, field.name);
        at = offset + field.size;
    }
    scan_data(walk->scanner, bytes + at, length - at);
    walk->field_count = 0;
}

// Where a listing gathers small pieces of data, to scan them together. A
// piece is written with stores of a fixed size, which may reach past it
// into the room after the capacity.
constexpr size_t GATHER_CAPACITY = 4096;
constexpr uint64_t LONGEST_GATHERED_RUN = 64;
unsigned char gathered[GATHER_CAPACITY + LONGEST_GATHERED_RUN];

// Gathers `length` bytes after the `*count` gathered (copies of `value`, or
// the literal `bytes`, in the input's block, when not a run), as the
// scanner would read them: when they fit, and are no long run. False,
// gathering nothing, otherwise.
bool gather(size_t *count, bool is_run, unsigned char value, const unsigned char *bytes,
            uint64_t length)
{
    uint64_t copies = is_run ? copies_scanned(value, length) : length;
    if (copies > GATHER_CAPACITY - *count || (is_run && copies > LONGEST_GATHERED_RUN))
        return false;
    unsigned char *to = gathered + *count;
    if (is_run)
        memset(to, value, LONGEST_GATHERED_RUN);
    else if (copies <= SHORT_OP)
        memcpy(to, bytes, SHORT_OP); // reads on into the block's slack
    else
        memcpy(to, bytes, static_cast<size_t>(copies));
    *count += static_cast<size_t>(copies);
    return true;
}

// Lists bytes passed over. Small pieces are gathered and scanned together,
// as the scanner's cost is in each piece, and so are runs that the scanner
// reads as a few of their bytes; a long run goes as a run.
bool list_passed(section_walk *walk, uint64_t length)
{
    size_t count = 0;
    op_piece piece{};
    bool passed = true;
    while (length > 0) {
        // Whole ops, while they fit, straight from the block.
        length -=
            take_whole_ops(&walk->reader, length,
                           [&count](const packed_op &op, const unsigned char *literal, uint64_t) {
                               return gather(&count, op.is_run != 0, op.value, literal, op.count);
                           });
        if (length == 0)
            break;
        passed = next_piece(&walk->reader, length, &piece);
        if (!passed)
            break;
        length -= piece.count;
        if (gather(&count, piece.is_run, piece.value, piece.bytes, piece.count))
            continue;
        scan_data(walk->scanner, gathered, count);
        count = 0;
        if (piece.is_run)
            scan_run(walk->scanner, piece.value, piece.count);
        else
            scan_data(walk->scanner, piece.bytes, piece.count);
    }
    scan_data(walk->scanner, gathered, count);
    return passed;
}

// Packs taken bytes again: the fields noted as changed as changed bytes,
// the rest as the stream holds it.
void pack_taken(section_walk *walk, const unsigned char *bytes, size_t length)
{
    size_t at = 0;
    for (int index = 0; index < walk->field_count; ++index) {
        const noted_field &field = walk->fields[index];
        size_t offset = static_cast<size_t>(field.at - bytes);
        repack(walk->out, bytes + at, offset - at, false);
        repack(walk->out, field.at, field.size, true);
        at = offset + field.size;
    }
    repack(walk->out, bytes + at, length - at, false);
    walk->field_count = 0;
}

void note_field(section_walk *walk, const unsigned char *field, size_t size, field_reading reading,
                const char *name)
{
    // The walkers note fields in order, never more than fit.
    if (walk->field_count < MOST_NOTED_FIELDS)
        walk->fields[walk->field_count++] = {field, size, reading, name};
}

section_walk start(const packed_reader &reader, walk_mode mode, text_encoding encoding)
{
    section_walk walk{};
    walk.reader = reader;
    walk.mode = mode;
    walk.encoding = encoding;
    return walk;
}

} // namespace

section_walk start_look(const packed_reader &reader, text_encoding encoding)
{
    return start(reader, WALK_LOOK, encoding);
}

section_walk start_pack(packed_reader reader, text_encoding encoding, repacker *out)
{
    reader.follower = follow_ops(out);
    section_walk walk = start(reader, WALK_PACK, encoding);
    walk.out = out;
    return walk;
}

section_walk start_list(const packed_reader &reader, text_encoding encoding, path_scanner *scanner)
{
    section_walk walk = start(reader, WALK_LIST, encoding);
    walk.scanner = scanner;
    return walk;
}

walk_result walk_failure(const section_walk &walk)
{
    return walk.reader.status == UNPACK_READ_FAILED ? WALK_READ_FAILED : WALK_UNFOLLOWABLE;
}

uint64_t untaken(const section_walk &walk)
{
    return walk.reader.left;
}

bool take(section_walk *walk, unsigned char *bytes, size_t length)
{
    if (walk->mode == WALK_PACK &&
        copy_in_step(walk->out, &walk->reader, bytes, length, &walk->mark)) {
        walk->has_copied = true;
        walk->copied_in_step = length;
        return true;
    }
    return take_to_change(walk, bytes, length);
}

bool take_to_change(section_walk *walk, unsigned char *bytes, size_t length)
{
    walk->has_copied = false; // bytes copied before and never given stay passed over
    size_t taken = unpack(&walk->reader, bytes, length);
    if (taken == length)
        return true;
    // What there was of a piece cut short is still listed.
    if (walk->mode == WALK_LIST)
        scan_data(walk->scanner, bytes, taken);
    return false;
}

namespace {

// Packs again a piece passed over in step in which fields changed, read
// again from the block, which cannot fail: the bytes before the first
// changed field and after the last are passed over as the stream holds
// them, in step where they can be, and only the stretch between is packed
// from the piece.
void repack_changed_piece(section_walk *walk, const unsigned char *bytes, size_t length)
{
    const noted_field &last = walk->fields[walk->field_count - 1];
    auto from = static_cast<size_t>(walk->fields[0].at - bytes);
    auto to = static_cast<size_t>(last.at + last.size - bytes);
    (void)pass_over(walk, from);
    (void)skip_unpacked(&walk->reader, to - from);
    pack_taken(walk, bytes + from, to - from);
    (void)pass_over(walk, length - to);
}

} // namespace

void give(section_walk *walk, const unsigned char *bytes, size_t length)
{
    if (walk->has_copied) {
        walk->has_copied = false;
        if (walk->copied_in_step == length && walk->field_count == 0)
            return; // passed over already
        undo_copy_in_step(walk->out, &walk->reader, walk->mark);
        if (walk->copied_in_step == length) {
            repack_changed_piece(walk, bytes, length);
            return;
        }
        // Only some are given: all are read again, which cannot fail, as
        // they lie whole in the block, and packed as they are given.
        (void)skip_unpacked(&walk->reader, walk->copied_in_step);
    }
    if (walk->mode == WALK_PACK)
        pack_taken(walk, bytes, length);
    else if (walk->mode == WALK_LIST)
        list_taken(walk, bytes, length);
}

bool pass_over(section_walk *walk, uint64_t length)
{
    walk->has_copied = false;
    if (walk->mode == WALK_LIST)
        return list_passed(walk, length);
    if (walk->mode == WALK_LOOK)
        return skip_unpacked(&walk->reader, length);
    op_piece piece{};
    while (length > 0) {
        length -= pass_in_step(walk->out, &walk->reader, length);
        if (length == 0)
            break;
        if (!next_piece(&walk->reader, length, &piece))
            return false;
        if (piece.is_run)
            repack_run(walk->out, piece.value, piece.count);
        else
            repack(walk->out, piece.bytes, piece.count, false);
        length -= piece.count;
    }
    return true;
}

walk_result pass_rest(section_walk *walk)
{
    if (walk->reader.status != UNPACK_OK)
        return walk_failure(*walk);
    return pass_over(walk, walk->reader.left) ? WALK_DONE : walk_failure(*walk);
}

void edit_field(section_walk *walk, unsigned char *field, size_t size, field_rule rule,
                const char *name)
{
    if (walk->mode == WALK_LIST) {
        note_field(walk, field, size, reading_of(rule), name);
        return;
    }
    if (!apply_field_rule(field, size, rule, walk->encoding))
        return;
    walk->changed = true;
    if (walk->mode == WALK_PACK)
        note_field(walk, field, size, reading_of(rule), name);
    if (walk->stop_at_change)
        stop_unpacking(&walk->reader);
}

void blank_field(section_walk *walk, unsigned char *field, size_t size, const char *name)
{
    if (walk->mode == WALK_LIST || walk->mode == WALK_PACK)
        note_field(walk, field, size, FIELD_READ_TEXT, name);
    if (walk->mode != WALK_LIST)
        memset(field, 0, size);
}

void name_part(section_walk *walk, const char *part, uint64_t number, int32_t effect,
               const char *effect_name)
{
    if (walk->mode == WALK_LIST)
        set_part(walk->scanner, part, number, effect, effect_name);
}

int32_t read_i32(const unsigned char *bytes)
{
    uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                     static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    int32_t result = 0;
    memcpy(&result, &value, sizeof result);
    return result;
}
