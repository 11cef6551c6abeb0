// The timeline record, walked front to back: a fixed header, then tables of
// fixed-size entries (layers, scenes, trackbar script names, effect types),
// then the timeline objects, each a fixed part and its effects' extra data.
// Offsets are in the record's unpacked bytes. The older layout has only the
// layers and effect types, a smaller object with fewer effect slots, and
// other effect-type indices; the rest is as today's.
#include "record.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t HEADER_SIZE = 0x100;
constexpr size_t TYPE_COUNT_AT = 4;
constexpr size_t OBJECT_COUNT_AT = 8;

struct text_at {
    size_t offset;
    size_t size;
};

// The current layout's header and tables, with the text field of each entry.
constexpr size_t SCENE_COUNT_AT = 0x68;
constexpr size_t LAYER_COUNT_AT = 0x6C;
constexpr size_t SCENE_SIZE_AT = 0x70;
constexpr size_t LAYER_SIZE_AT = 0x74;
constexpr size_t TRACKBAR_COUNT_AT = 0x7C;
constexpr size_t LAYER_SIZE = 76;
constexpr text_at LAYER_NAME = {12, 64};
constexpr size_t SCENE_SIZE = 220;
constexpr text_at SCENE_NAME = {8, 64};
constexpr size_t TRACKBAR_SIZE = 128;
constexpr text_at TRACKBAR_NAME = {0, 128};

// The older layout's: a mark, zeros to the end of the header, then a fixed
// table of layers, and the effect types at a fixed offset.
constexpr size_t OLDER_MARK_AT = 0x0C;
constexpr int32_t OLDER_MARK = 80;
constexpr size_t OLDER_ZEROS_AT = 0x1C;
constexpr size_t OLDER_LAYER_COUNT = 80;
constexpr size_t OLDER_LAYER_SIZE = 68;
constexpr text_at OLDER_LAYER_NAME = {4, 64};
constexpr size_t OLDER_TYPES_AT = HEADER_SIZE + OLDER_LAYER_COUNT * OLDER_LAYER_SIZE; // 0x1640

// An effect type, in both layouts. The older layout's first is the video
// file's: 動画ファイル in CP932.
constexpr size_t TYPE_SIZE = 112;
constexpr size_t TYPE_EXT_SIZE_AT = 12;
constexpr text_at TYPE_NAME = {16, 96};
constexpr unsigned char VIDEO_FILE_NAME[] = {0x93, 0xAE, 0x89, 0xE6, 0x83, 0x74, 0x83,
                                             0x40, 0x83, 0x43, 0x83, 0x8B, 0x00};
// The Chinese build's name of it: 视频文件 in GBK.
constexpr unsigned char CHINESE_VIDEO_FILE_NAME[] = {0xCA, 0xD3, 0xC6, 0xB5, 0xCE,
                                                     0xC4, 0xBC, 0xFE, 0x00};

// A timeline object's fixed part, in both layouts: its label and effect
// slots lie alike.
constexpr text_at OBJECT_LABEL = {0x10, 64};
constexpr size_t SLOTS_AT = 0x54;
constexpr size_t SLOT_SIZE = 12;
constexpr size_t SLOT_EXT_OFFSET_AT = 8;
constexpr int32_t END_OF_SLOTS = -1;
constexpr size_t MOST_SLOTS = 12;

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
constexpr field_rule TEXT = FIELD_TEXT;
constexpr field_rule WIDE = FIELD_WIDE_TEXT;
constexpr field_rule SCRIPT = FIELD_SCRIPT_PARAMETERS;
constexpr effect_text CURRENT_EFFECTS[] = {
    {0, 284, {{0, 260, PATH, "file path"}}, 1}, // video file
    {1, 260, {{4, 256, PATH, "file path"}}, 1}, // image file
    {2, 280, {{0, 260, PATH, "file path"}}, 1}, // audio file
    {3, 2096, {{0x10, 32, TEXT, "font"}, {0x30, 2048, WIDE, "text"}}, 2},
    {4, 264, {{8, 256, PATH, "file path"}}, 1}, // figure
    {6, 304, {{0, 260, PATH, "file path"}}, 1}, // waveform
    {14, 516, {{4, 256, TEXT, "script name"}, {0x104, 256, SCRIPT, "script parameters"}}, 2},
    {34, 260, {{4, 256, PATH, "file path"}}, 1}, // shadow
    {35, 260, {{4, 256, PATH, "file path"}}, 1}, // border
    {40, 260, {{4, 256, TEXT, "wipe name"}}, 1},
    {41, 264, {{4, 256, PATH, "file path"}}, 1}, // mask
    {69, 268, {{4, 256, PATH, "file path"}}, 1}, // displacement map
    {79, 516, {{4, 256, TEXT, "script name"}, {0x104, 256, SCRIPT, "script parameters"}}, 2},
    {80, 516, {{4, 256, TEXT, "script name"}, {0x104, 256, SCRIPT, "script parameters"}}, 2},
    {81, 2048, {{0, 2048, WIDE, "script source"}}, 1},
    {82, 284, {{0, 260, PATH, "file path"}}, 1}, // video composition
    {83, 260, {{4, 256, PATH, "file path"}}, 1}, // image composition
    {88, 260, {{4, 256, PATH, "file path"}}, 1}, // partial filter
    {97, 516, {{4, 256, TEXT, "script name"}, {0x104, 256, SCRIPT, "script parameters"}}, 2},
    {99, 2048, {{0, 2048, WIDE, "script source"}}, 1},
};
constexpr effect_text OLDER_EFFECTS[] = {
    {0, 284, {{0, 260, PATH, "file path"}}, 1}, // video file
    {1, 260, {{4, 256, PATH, "file path"}}, 1}, // image file
    {2, 280, {{0, 260, PATH, "file path"}}, 1}, // audio file
    {3, 2096, {{0x10, 32, TEXT, "font"}, {0x30, 2048, WIDE, "text"}}, 2},
    {4, 264, {{8, 256, PATH, "file path"}}, 1}, // figure
    {11, 260, {{4, 256, TEXT, "scene change name"}}, 1},
    {28, 260, {{4, 256, PATH, "file path"}}, 1}, // shadow
    {29, 260, {{4, 256, PATH, "file path"}}, 1}, // border
    {33, 260, {{4, 256, TEXT, "wipe name"}}, 1},
    {57, 516, {{4, 256, TEXT, "script name"}, {0x104, 256, SCRIPT, "script parameters"}}, 2},
    {58, 2048, {{0, 2048, WIDE, "script source"}}, 1},
    {59, 284, {{0, 260, PATH, "file path"}}, 1}, // video composition
    {60, 260, {{4, 256, PATH, "file path"}}, 1}, // image composition
    {64, 260, {{4, 256, PATH, "file path"}}, 1}, // partial filter
};

// The largest extra data among them: the text object's.
constexpr size_t LONGEST_EFFECT_TEXT = 2096;

// Which of a layout's effects with text an effect-type index names, for the
// indices of the plugin's own effects: the position in the layout's list, or
// -1 for an effect without text. Every slot of every object is looked up.
constexpr int32_t OWN_TYPE_COUNT = 128;
struct effect_lookup {
    int8_t at[OWN_TYPE_COUNT];
};

template <size_t COUNT> constexpr effect_lookup lookup_of(const effect_text (&effects)[COUNT])
{
    effect_lookup lookup{};
    for (int8_t &at : lookup.at) {
        // cppcheck-suppress useStlAlgorithm ; std::fill is not constexpr before C++20
        at = -1;
    }
    for (size_t index = 0; index < COUNT; ++index)
        lookup.at[effects[index].index] = static_cast<int8_t>(index);
    return lookup;
}
constexpr effect_lookup CURRENT_LOOKUP = lookup_of(CURRENT_EFFECTS);
constexpr effect_lookup OLDER_LOOKUP = lookup_of(OLDER_EFFECTS);

// How a layout's timeline objects lie. Only the head of an object, up to
// its ext size, is read closely.
struct object_layout {
    size_t size;
    size_t head;
    size_t slot_count;
    size_t ext_size_at;
    const effect_text *effects;
    const effect_lookup *lookup;
};
constexpr object_layout CURRENT_OBJECTS = {0x5C8, 0xF8, 12, 0xF4, CURRENT_EFFECTS, &CURRENT_LOOKUP};
constexpr object_layout OLDER_OBJECTS = {0x248, 0xC4, 8, 0xC0, OLDER_EFFECTS, &OLDER_LOOKUP};
constexpr size_t LONGEST_OBJECT_HEAD = 0xF8;
constexpr size_t MOST_EFFECT_TEXTS = sizeof CURRENT_EFFECTS / sizeof CURRENT_EFFECTS[0];

// The type names of the effects with text, as the type table gives them,
// for naming the effects in the listing.
struct type_names {
    char names[MOST_EFFECT_TEXTS][TYPE_NAME.size + 1];
};

const effect_text *effect_text_of(const object_layout &layout, int32_t index)
{
    if (index < 0 || index >= OWN_TYPE_COUNT || layout.lookup->at[index] < 0)
        return nullptr;
    return layout.effects + layout.lookup->at[index];
}

bool read_count(const unsigned char *header, size_t at, uint64_t *count)
{
    int32_t value = read_i32(header + at);
    *count = static_cast<uint64_t>(value);
    return value >= 0;
}

// Gives back bytes taken, for a layout that turned out to be unknown.
walk_result unfollowable(section_walk *walk, const unsigned char *taken, size_t length)
{
    give(walk, taken, length);
    return WALK_UNFOLLOWABLE;
}

// Walks a table of `count` entries of `entry_size` bytes, each with one text
// field; `part` names an entry.
bool walk_table(section_walk *walk, uint64_t count, size_t entry_size, text_at text,
                const char *part)
{
    unsigned char entry[SCENE_SIZE]; // the largest of the tables' entries
    for (uint64_t index = 0; index < count; ++index) {
        name_part(walk, part, index);
        if (!take(walk, entry, entry_size))
            return false;
        edit_field(walk, entry + text.offset, text.size, FIELD_TEXT, "name");
        give(walk, entry, entry_size);
    }
    return true;
}

// Walks the effect types, the first of which may have been taken already;
// an effect with text whose type has another size than this walker knows
// makes the record unfollowable.
walk_result walk_types(section_walk *walk, const object_layout &layout, uint64_t count,
                       unsigned char *first, type_names *names)
{
    unsigned char taken[TYPE_SIZE];
    for (uint64_t index = 0; index < count; ++index) {
        name_part(walk, "effect type", index);
        unsigned char *type = index == 0 && first != nullptr ? first : taken;
        if (type == taken && !take(walk, type, TYPE_SIZE))
            return walk_failure(*walk);
        const effect_text *effect = effect_text_of(layout, static_cast<int32_t>(index));
        if (effect != nullptr &&
            read_i32(type + TYPE_EXT_SIZE_AT) != static_cast<int32_t>(effect->ext_size))
            return unfollowable(walk, type, TYPE_SIZE);
        if (effect != nullptr && walk->mode == WALK_LIST) {
            char *name = names->names[effect - layout.effects];
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
bool place_effects(const unsigned char *object, const object_layout &layout, uint64_t type_count,
                   uint32_t ext_size, placed_effect *placed, size_t *count)
{
    *count = 0;
    for (size_t slot = 0; slot < layout.slot_count; ++slot) {
        const unsigned char *entry = object + SLOTS_AT + slot * SLOT_SIZE;
        int32_t index = read_i32(entry);
        if (index == END_OF_SLOTS)
            break;
        if (index < 0 || static_cast<uint64_t>(index) >= type_count)
            return false;
        const effect_text *effect = effect_text_of(layout, index);
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

// Whether an effect's extra data holds a path, which nearly always loses
// its folders.
bool holds_path(const effect_text &effect)
{
    return std::any_of(effect.fields, effect.fields + effect.field_count,
                       [](const auto &field) { return field.rule == FIELD_PATH; });
}

// Walks object `number`'s extra data of `ext_size` bytes, editing the text
// of the effects placed in it, after passing over the `before` bytes of the
// object that lead to it: passed over with the bytes before the first text,
// as one stretch, they cost one pass.
bool walk_extra_data(section_walk *walk, uint64_t before, const placed_effect *placed, size_t count,
                     uint32_t ext_size, uint64_t number, const object_layout &layout,
                     const type_names &names)
{
    unsigned char data[LONGEST_EFFECT_TEXT];
    uint32_t at = 0;
    for (size_t index = 0; index < count; ++index) {
        const effect_text &effect = *placed[index].effect;
        if (!pass_over(walk, before + placed[index].offset - at))
            return false;
        before = 0;
        name_part(walk, "object", number, effect.index, names.names[&effect - layout.effects]);
        bool took = holds_path(effect) ? take_to_change(walk, data, effect.ext_size)
                                       : take(walk, data, effect.ext_size);
        if (!took)
            return false;
        for (int field = 0; field < effect.field_count; ++field) {
            const auto &text = effect.fields[field];
            edit_field(walk, data + text.offset, text.size, text.rule, text.name);
        }
        give(walk, data, effect.ext_size);
        name_part(walk, "object", number);
        at = placed[index].offset + effect.ext_size;
    }
    return pass_over(walk, before + ext_size - at);
}

walk_result walk_object(section_walk *walk, const object_layout &layout, uint64_t type_count,
                        uint64_t number, const type_names &names)
{
    name_part(walk, "object", number);
    unsigned char object[LONGEST_OBJECT_HEAD];
    if (!take(walk, object, layout.head))
        return walk_failure(*walk);
    int32_t ext_size = read_i32(object + layout.ext_size_at);
    uint64_t rest = layout.size - layout.head;
    placed_effect placed[MOST_SLOTS];
    size_t count = 0;
    if (ext_size < 0 || untaken(*walk) < rest ||
        static_cast<uint64_t>(ext_size) > untaken(*walk) - rest ||
        !place_effects(object, layout, type_count, static_cast<uint32_t>(ext_size), placed, &count))
        return unfollowable(walk, object, layout.head);
    edit_field(walk, object + OBJECT_LABEL.offset, OBJECT_LABEL.size, FIELD_TEXT, "label");
    give(walk, object, layout.head);
    if (!walk_extra_data(walk, rest, placed, count, static_cast<uint32_t>(ext_size), number, layout,
                         names))
        return walk_failure(*walk);
    return WALK_DONE;
}

// Walks the effect types and the objects, which must end the record.
walk_result walk_types_and_objects(section_walk *walk, const object_layout &layout, uint64_t types,
                                   uint64_t objects, unsigned char *first_type)
{
    // Only filled and read when listing. Static: a place named by one of
    // them lasts while the rest of a record the walk cannot follow is
    // searched, after the walk has ended.
    static type_names names;
    names = {};
    walk_result result = walk_types(walk, layout, types, first_type, &names);
    for (uint64_t index = 0; result == WALK_DONE && index < objects; ++index)
        result = walk_object(walk, layout, types, index, names);
    // Bytes past the last object belong to no layout this walker knows.
    if (result == WALK_DONE && untaken(*walk) != 0)
        return WALK_UNFOLLOWABLE;
    return result;
}

bool is_current(const unsigned char *header)
{
    return read_i32(header + SCENE_SIZE_AT) == static_cast<int32_t>(SCENE_SIZE) &&
           read_i32(header + LAYER_SIZE_AT) == static_cast<int32_t>(LAYER_SIZE);
}

walk_result walk_current(section_walk *walk, const unsigned char *header, uint64_t size)
{
    uint64_t layers = 0, scenes = 0, trackbars = 0, types = 0, objects = 0;
    if (!read_count(header, LAYER_COUNT_AT, &layers) ||
        !read_count(header, SCENE_COUNT_AT, &scenes) ||
        !read_count(header, TRACKBAR_COUNT_AT, &trackbars) ||
        !read_count(header, TYPE_COUNT_AT, &types) ||
        !read_count(header, OBJECT_COUNT_AT, &objects) ||
        HEADER_SIZE + layers * LAYER_SIZE + scenes * SCENE_SIZE + trackbars * TRACKBAR_SIZE +
                types * TYPE_SIZE + objects * CURRENT_OBJECTS.size >
            size)
        return unfollowable(walk, header, HEADER_SIZE);
    give(walk, header, HEADER_SIZE);
    if (!walk_table(walk, layers, LAYER_SIZE, LAYER_NAME, "layer") ||
        !walk_table(walk, scenes, SCENE_SIZE, SCENE_NAME, "scene") ||
        !walk_table(walk, trackbars, TRACKBAR_SIZE, TRACKBAR_NAME, "trackbar script"))
        return walk_failure(*walk);
    return walk_types_and_objects(walk, CURRENT_OBJECTS, types, objects, nullptr);
}

bool may_be_older(const unsigned char *header)
{
    return read_i32(header + OLDER_MARK_AT) == OLDER_MARK &&
           std::all_of(header + OLDER_ZEROS_AT, header + HEADER_SIZE,
                       [](unsigned char byte) { return byte == 0; });
}

// Walks the older layout, whose header (already given on), layers and
// first effect type are in `head`.
walk_result walk_older(section_walk *walk, unsigned char *head, uint64_t size)
{
    uint64_t types = 0, objects = 0;
    if (!read_count(head, TYPE_COUNT_AT, &types) || !read_count(head, OBJECT_COUNT_AT, &objects) ||
        types == 0 || OLDER_TYPES_AT + types * TYPE_SIZE + objects * OLDER_OBJECTS.size > size)
        return unfollowable(walk, head + HEADER_SIZE, OLDER_TYPES_AT + TYPE_SIZE - HEADER_SIZE);
    for (size_t index = 0; index < OLDER_LAYER_COUNT; ++index) {
        unsigned char *layer = head + HEADER_SIZE + index * OLDER_LAYER_SIZE;
        name_part(walk, "layer", index);
        edit_field(walk, layer + OLDER_LAYER_NAME.offset, OLDER_LAYER_NAME.size, FIELD_TEXT,
                   "name");
        give(walk, layer, OLDER_LAYER_SIZE);
    }
    return walk_types_and_objects(walk, OLDER_OBJECTS, types, objects, head + OLDER_TYPES_AT);
}

} // namespace

text_encoding timeline_encoding(const unsigned char *record, size_t length)
{
    if (length < HEADER_SIZE || memcmp(record, TIMELINE_MARK, sizeof TIMELINE_MARK) != 0 ||
        !is_current(record))
        return ENCODING_CP932;
    uint64_t layers = 0, scenes = 0, trackbars = 0;
    if (!read_count(record, LAYER_COUNT_AT, &layers) ||
        !read_count(record, SCENE_COUNT_AT, &scenes) ||
        !read_count(record, TRACKBAR_COUNT_AT, &trackbars))
        return ENCODING_CP932;
    uint64_t name_at = HEADER_SIZE + layers * LAYER_SIZE + scenes * SCENE_SIZE +
                       trackbars * TRACKBAR_SIZE + TYPE_NAME.offset;
    bool named =
        name_at + sizeof CHINESE_VIDEO_FILE_NAME <= length &&
        memcmp(record + name_at, CHINESE_VIDEO_FILE_NAME, sizeof CHINESE_VIDEO_FILE_NAME) == 0;
    return named ? ENCODING_GBK : ENCODING_CP932;
}

walk_result walk_timeline(section_walk *walk, uint64_t size)
{
    name_part(walk, nullptr, 0);
    // The header, and for the older layout its layers and first effect type,
    // which tell it from other data.
    static unsigned char head[OLDER_TYPES_AT + TYPE_SIZE];
    if (!take(walk, head, HEADER_SIZE))
        return walk_failure(*walk);
    if (memcmp(head, TIMELINE_MARK, sizeof TIMELINE_MARK) != 0)
        return unfollowable(walk, head, HEADER_SIZE);
    if (is_current(head))
        return walk_current(walk, head, size);
    if (!may_be_older(head))
        return unfollowable(walk, head, HEADER_SIZE);
    give(walk, head, HEADER_SIZE);
    if (!take(walk, head + HEADER_SIZE, sizeof head - HEADER_SIZE))
        return walk_failure(*walk);
    if (memcmp(head + OLDER_TYPES_AT + TYPE_NAME.offset, VIDEO_FILE_NAME, sizeof VIDEO_FILE_NAME) !=
        0)
        return unfollowable(walk, head + HEADER_SIZE, sizeof head - HEADER_SIZE);
    return walk_older(walk, head, size);
}
