// The timeline record, walked front to back: a fixed header, then layers,
// scenes, trackbar script names and effect types, each a table of fixed-size
// entries, then the timeline objects, each a fixed part and its effects'
// extra data. Offsets are in the record's unpacked bytes.
#include "timeline.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t HEADER_SIZE = 0x100;
constexpr size_t TYPE_COUNT_AT = 4;
constexpr size_t OBJECT_COUNT_AT = 8;
constexpr size_t SCENE_COUNT_AT = 0x68;
constexpr size_t LAYER_COUNT_AT = 0x6C;
constexpr size_t SCENE_SIZE_AT = 0x70;
constexpr size_t LAYER_SIZE_AT = 0x74;
constexpr size_t TRACKBAR_COUNT_AT = 0x7C;

struct text_at {
    size_t offset;
    size_t size;
};

// The tables' entries, with the text field of each.
constexpr size_t LAYER_SIZE = 76;
constexpr text_at LAYER_NAME = {12, 64};
constexpr size_t SCENE_SIZE = 220;
constexpr text_at SCENE_NAME = {8, 64};
constexpr size_t TRACKBAR_SIZE = 128;
constexpr text_at TRACKBAR_NAME = {0, 128};
constexpr size_t TYPE_SIZE = 112;
constexpr size_t TYPE_EXT_SIZE_AT = 12;
constexpr text_at TYPE_NAME = {16, 96};

// A timeline object's fixed part.
constexpr size_t OBJECT_SIZE = 0x5C8;
constexpr text_at OBJECT_LABEL = {0x10, 64};
constexpr size_t SLOTS_AT = 0x54;
constexpr size_t SLOT_SIZE = 12;
constexpr size_t SLOT_COUNT = 12;
constexpr size_t SLOT_EXT_OFFSET_AT = 8;
constexpr size_t OBJECT_EXT_SIZE_AT = 0xF4;
constexpr int32_t END_OF_SLOTS = -1;

// The effects whose extra data holds text, by effect-type index, with the
// extra data's size, which the type table must agree with.
struct effect_text {
    int32_t index;
    uint32_t ext_size;
    struct {
        uint16_t offset;
        uint16_t size;
        field_rule rule;
        const char *name;
    } fields[2];
    int field_count;
};

constexpr field_rule PATH = FIELD_PATH;
constexpr field_rule SCRIPT = FIELD_SCRIPT_PARAMETERS;
constexpr effect_text EFFECT_TEXTS[] = {
    {0, 284, {{0, 260, PATH, "file path"}}, 1}, // video file
    {1, 260, {{4, 256, PATH, "file path"}}, 1}, // image file
    {2, 280, {{0, 260, PATH, "file path"}}, 1}, // audio file
    {3, 2096, {{0x10, 32, FIELD_TEXT, "font"}, {0x30, 2048, FIELD_WIDE_TEXT, "text"}}, 2},
    {4, 264, {{8, 256, PATH, "file path"}}, 1}, // figure
    {6, 304, {{0, 260, PATH, "file path"}}, 1}, // waveform
    {14, 516, {{4, 256, FIELD_TEXT, "script name"}, {0x104, 256, SCRIPT, "script parameters"}}, 2},
    {34, 260, {{4, 256, PATH, "file path"}}, 1}, // shadow
    {35, 260, {{4, 256, PATH, "file path"}}, 1}, // border
    {40, 260, {{4, 256, FIELD_TEXT, "wipe name"}}, 1},
    {41, 264, {{4, 256, PATH, "file path"}}, 1}, // mask
    {69, 268, {{4, 256, PATH, "file path"}}, 1}, // displacement map
    {79, 516, {{4, 256, FIELD_TEXT, "script name"}, {0x104, 256, SCRIPT, "script parameters"}}, 2},
    {80, 516, {{4, 256, FIELD_TEXT, "script name"}, {0x104, 256, SCRIPT, "script parameters"}}, 2},
    {81, 2048, {{0, 2048, FIELD_WIDE_TEXT, "script source"}}, 1},
    {82, 284, {{0, 260, PATH, "file path"}}, 1}, // video composition
    {83, 260, {{4, 256, PATH, "file path"}}, 1}, // image composition
    {88, 260, {{4, 256, PATH, "file path"}}, 1}, // partial filter
    {97, 516, {{4, 256, FIELD_TEXT, "script name"}, {0x104, 256, SCRIPT, "script parameters"}}, 2},
    {99, 2048, {{0, 2048, FIELD_WIDE_TEXT, "script source"}}, 1},
};
constexpr size_t EFFECT_TEXT_COUNT = sizeof EFFECT_TEXTS / sizeof EFFECT_TEXTS[0];

// The largest extra data among them: the text object's.
constexpr size_t LONGEST_EFFECT_TEXT = 2096;

// The type names of the effects with text, as the type table gives them,
// for naming the effects in the listing.
struct type_names {
    char names[EFFECT_TEXT_COUNT][TYPE_NAME.size + 1];
};

const effect_text *effect_text_of(int32_t index)
{
    const effect_text *end = EFFECT_TEXTS + EFFECT_TEXT_COUNT;
    const effect_text *found = std::find_if(
        EFFECT_TEXTS, end, [index](const effect_text &effect) { return effect.index == index; });
    return found == end ? nullptr : found;
}

// The counts in the header, each checked to be a count.
struct record_counts {
    uint64_t layers;
    uint64_t scenes;
    uint64_t trackbars;
    uint64_t types;
    uint64_t objects;
};

bool read_count(const unsigned char *header, size_t at, uint64_t *count)
{
    int32_t value = read_i32(header + at);
    *count = static_cast<uint64_t>(value);
    return value >= 0;
}

// Reads the header's counts; false when the record is not in the layout
// this walker knows, or its tables cannot fit in `size` bytes.
bool read_counts(const unsigned char *header, uint64_t size, record_counts *counts)
{
    if (read_i32(header + SCENE_SIZE_AT) != static_cast<int32_t>(SCENE_SIZE) ||
        read_i32(header + LAYER_SIZE_AT) != static_cast<int32_t>(LAYER_SIZE))
        return false;
    if (!read_count(header, LAYER_COUNT_AT, &counts->layers) ||
        !read_count(header, SCENE_COUNT_AT, &counts->scenes) ||
        !read_count(header, TRACKBAR_COUNT_AT, &counts->trackbars) ||
        !read_count(header, TYPE_COUNT_AT, &counts->types) ||
        !read_count(header, OBJECT_COUNT_AT, &counts->objects))
        return false;
    uint64_t least = HEADER_SIZE + counts->layers * LAYER_SIZE + counts->scenes * SCENE_SIZE +
                     counts->trackbars * TRACKBAR_SIZE + counts->types * TYPE_SIZE +
                     counts->objects * OBJECT_SIZE;
    return least <= size;
}

// Names the part of the record that comes next, when listing: `what` and a
// number.
void name_numbered_part(section_walk *walk, const char *what, uint64_t number)
{
    if (!is_listing(*walk))
        return;
    char part[WHERE_CAPACITY / 2];
    (void)snprintf(part, sizeof part, " %s %llu", what, static_cast<unsigned long long>(number));
    name_part(walk, part);
}

// Walks a table of `count` entries of `entry_size` bytes, each with one text
// field; `what` names an entry.
bool walk_table(section_walk *walk, uint64_t count, size_t entry_size, text_at text,
                const char *what)
{
    unsigned char entry[SCENE_SIZE]; // the largest of the tables' entries
    for (uint64_t index = 0; index < count; ++index) {
        name_numbered_part(walk, what, index);
        if (!take(walk, entry, entry_size))
            return false;
        edit_field(walk, entry + text.offset, text.size, FIELD_TEXT, "name");
        give(walk, entry, entry_size);
    }
    return true;
}

// Walks the effect types; an effect with text whose type has another size
// than this walker knows makes the record unfollowable.
walk_result walk_types(section_walk *walk, uint64_t count, type_names *names)
{
    unsigned char type[TYPE_SIZE];
    for (uint64_t index = 0; index < count; ++index) {
        name_numbered_part(walk, "effect type", index);
        if (!take(walk, type, TYPE_SIZE))
            return walk_failure(*walk);
        const effect_text *effect = effect_text_of(static_cast<int32_t>(index));
        if (effect != nullptr &&
            read_i32(type + TYPE_EXT_SIZE_AT) != static_cast<int32_t>(effect->ext_size))
            return WALK_UNFOLLOWABLE;
        if (effect != nullptr && is_listing(*walk)) {
            char *name = names->names[effect - EFFECT_TEXTS];
            memcpy(name, type + TYPE_NAME.offset, TYPE_NAME.size);
            name[TYPE_NAME.size] = '\0';
        }
        edit_field(walk, type + TYPE_NAME.offset, TYPE_NAME.size, FIELD_TEXT, "name");
        give(walk, type, TYPE_SIZE);
    }
    return WALK_DONE;
}

// An effect with text in an object's extra data, where it lies there.
struct placed_effect {
    uint32_t offset;
    const effect_text *effect;
};

// Finds the effects with text in an object's slots, in the order of their
// extra data. False when a slot names no effect type, or text lies outside
// the object's extra data of `ext_size` bytes or overlaps other text.
bool place_effects(const unsigned char *object, uint64_t type_count, uint32_t ext_size,
                   placed_effect *placed, size_t *count)
{
    *count = 0;
    for (size_t slot = 0; slot < SLOT_COUNT; ++slot) {
        const unsigned char *entry = object + SLOTS_AT + slot * SLOT_SIZE;
        int32_t index = read_i32(entry);
        if (index == END_OF_SLOTS)
            break;
        if (index < 0 || static_cast<uint64_t>(index) >= type_count)
            return false;
        const effect_text *effect = effect_text_of(index);
        // An object chained to another has no extra data of its own.
        if (effect == nullptr || ext_size == 0)
            continue;
        int32_t offset = read_i32(entry + SLOT_EXT_OFFSET_AT);
        if (offset < 0 || static_cast<uint64_t>(offset) + effect->ext_size > ext_size)
            return false;
        // Kept in the order of their offsets, as they are found: there are
        // at most twelve.
        size_t at = (*count)++;
        for (; at > 0 && placed[at - 1].offset > static_cast<uint32_t>(offset); --at)
            placed[at] = placed[at - 1];
        placed[at] = {static_cast<uint32_t>(offset), effect};
    }
    for (size_t index = 1; index < *count; ++index) {
        if (placed[index - 1].offset + placed[index - 1].effect->ext_size > placed[index].offset)
            return false;
    }
    return true;
}

// Names an effect of object `number` in the listing.
void name_effect(section_walk *walk, uint64_t number, const effect_text &effect,
                 const type_names &names)
{
    if (!is_listing(*walk))
        return;
    char part[WHERE_CAPACITY / 2];
    (void)snprintf(part, sizeof part, " object %llu, effect %d %s",
                   static_cast<unsigned long long>(number), static_cast<int>(effect.index),
                   names.names[&effect - EFFECT_TEXTS]);
    name_part(walk, part);
}

// Walks object `number`'s extra data of `ext_size` bytes, editing the text
// of the effects placed in it.
bool walk_extra_data(section_walk *walk, const placed_effect *placed, size_t count,
                     uint32_t ext_size, uint64_t number, const type_names &names)
{
    unsigned char data[LONGEST_EFFECT_TEXT];
    uint32_t at = 0;
    for (size_t index = 0; index < count; ++index) {
        const effect_text &effect = *placed[index].effect;
        if (!pass_over(walk, placed[index].offset - at))
            return false;
        name_effect(walk, number, effect, names);
        if (!take(walk, data, effect.ext_size))
            return false;
        for (int field = 0; field < effect.field_count; ++field) {
            const auto &text = effect.fields[field];
            edit_field(walk, data + text.offset, text.size, text.rule, text.name);
        }
        give(walk, data, effect.ext_size);
        name_numbered_part(walk, "object", number);
        at = placed[index].offset + effect.ext_size;
    }
    return pass_over(walk, ext_size - at);
}

walk_result walk_object(section_walk *walk, uint64_t type_count, uint64_t number,
                        const type_names &names)
{
    name_numbered_part(walk, "object", number);
    unsigned char object[OBJECT_SIZE];
    if (!take(walk, object, OBJECT_SIZE))
        return walk_failure(*walk);
    int32_t ext_size = read_i32(object + OBJECT_EXT_SIZE_AT);
    placed_effect placed[SLOT_COUNT];
    size_t count = 0;
    if (ext_size < 0 || static_cast<uint64_t>(ext_size) > walk->reader.left ||
        !place_effects(object, type_count, static_cast<uint32_t>(ext_size), placed, &count))
        return WALK_UNFOLLOWABLE;
    edit_field(walk, object + OBJECT_LABEL.offset, OBJECT_LABEL.size, FIELD_TEXT, "label");
    give(walk, object, OBJECT_SIZE);
    if (!walk_extra_data(walk, placed, count, static_cast<uint32_t>(ext_size), number, names))
        return walk_failure(*walk);
    return WALK_DONE;
}

} // namespace

walk_result walk_timeline(section_walk *walk, uint64_t size)
{
    name_part(walk, "");
    unsigned char header[HEADER_SIZE];
    record_counts counts{};
    if (!take(walk, header, HEADER_SIZE))
        return walk_failure(*walk);
    if (!read_counts(header, size, &counts))
        return WALK_UNFOLLOWABLE;
    give(walk, header, HEADER_SIZE);
    if (!walk_table(walk, counts.layers, LAYER_SIZE, LAYER_NAME, "layer") ||
        !walk_table(walk, counts.scenes, SCENE_SIZE, SCENE_NAME, "scene") ||
        !walk_table(walk, counts.trackbars, TRACKBAR_SIZE, TRACKBAR_NAME, "trackbar script"))
        return walk_failure(*walk);
    type_names names{}; // only filled and read when listing
    walk_result result = walk_types(walk, counts.types, &names);
    for (uint64_t index = 0; result == WALK_DONE && index < counts.objects; ++index)
        result = walk_object(walk, counts.types, index, names);
    // Bytes past the last object belong to no layout this walker knows.
    if (result == WALK_DONE && walk->reader.left != 0)
        return WALK_UNFOLLOWABLE;
    return result;
}
