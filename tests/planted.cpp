#include "planted.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// The plugin's own effects in both layouts: the older index of each current
// one the older layout has, with text in the same place.
const std::map<uint32_t, uint32_t> OLDER_INDEX = {
    {0, 0},   {1, 1},   {2, 2},   {3, 3},   {4, 4},   {34, 28}, {35, 29}, {40, 33}, {14, 57},
    {79, 57}, {80, 57}, {97, 57}, {81, 58}, {99, 58}, {82, 59}, {83, 60}, {88, 64},
};
constexpr uint32_t OLDER_TYPE_COUNT = 99;

struct current_shape {
    size_t types_at;
    size_t objects_at;
    uint32_t types;
    uint32_t objects;
};

current_shape shape_of(const bytes &record)
{
    uint32_t types = get_i32(record, 4);
    size_t tables = 0x100 + get_i32(record, 0x6C) * 76 + get_i32(record, 0x68) * 220 +
                    get_i32(record, 0x7C) * 128;
    return {tables, tables + types * 112, types, get_i32(record, 8)};
}

bytes older_types(const bytes &record, const current_shape &shape)
{
    bytes types(OLDER_TYPE_COUNT * 112, 0);
    // The older scene change has no current effect of its shape.
    put_i32(&types, 11 * 112 + 12, 260);
    for (uint32_t index = 0; index < shape.types; ++index) {
        auto older = OLDER_INDEX.find(index);
        if (older == OLDER_INDEX.end())
            continue;
        const unsigned char *type = record.data() + shape.types_at + index * 112;
        memcpy(types.data() + older->second * 112, type, 112);
    }
    return types;
}

// One older object from the current one at `at`; `at` moves past it.
bytes older_object(const bytes &record, const current_shape &shape, size_t *at)
{
    const size_t object = *at;
    uint32_t ext = get_i32(record, object + 0xF4);
    *at += 0x5C8 + ext;
    bytes older(0x248, 0);
    memcpy(older.data() + 0x10, record.data() + object + 0x10, 64);
    put_i32(&older, 0x50, 0xFFFFFFFF);
    bytes extra;
    size_t slot = 0;
    for (size_t current = 0; current < 12 && slot < 8; ++current) {
        uint32_t index = get_i32(record, object + 0x54 + current * 12);
        if (index == 0xFFFFFFFF)
            break;
        auto mapped = OLDER_INDEX.find(index);
        if (mapped == OLDER_INDEX.end() || index >= shape.types)
            continue;
        uint32_t size = get_i32(record, shape.types_at + index * 112 + 12);
        uint32_t offset = get_i32(record, object + 0x54 + current * 12 + 8);
        put_i32(&older, 0x54 + slot * 12, mapped->second);
        put_i32(&older, 0x54 + slot * 12 + 8, ext == 0 ? 0 : static_cast<uint32_t>(extra.size()));
        if (ext != 0) {
            const unsigned char *data = record.data() + object + 0x5C8 + offset;
            extra.insert(extra.end(), data, data + size);
        }
        ++slot;
    }
    if (slot < 8)
        put_i32(&older, 0x54 + slot * 12, 0xFFFFFFFF);
    put_i32(&older, 0xC0, static_cast<uint32_t>(extra.size()));
    older.insert(older.end(), extra.begin(), extra.end());
    return older;
}

} // namespace

void put_i32(bytes *data, size_t at, uint32_t value)
{
    for (size_t index = 0; index < 4; ++index)
        (*data)[at + index] = static_cast<unsigned char>(value >> (8 * index));
}

uint32_t get_i32(const bytes &data, size_t at)
{
    uint32_t value = 0;
    for (size_t index = 0; index < 4; ++index)
        value |= static_cast<uint32_t>(data[at + index]) << (8 * index);
    return value;
}

bytes older_record_of(const bytes &current)
{
    current_shape shape = shape_of(current);
    bytes record(0x100, 0);
    memcpy(record.data(), "80EE", 4);
    put_i32(&record, 4, OLDER_TYPE_COUNT);
    put_i32(&record, 8, shape.objects);
    put_i32(&record, 0x0C, 80);
    put_i32(&record, 0x18, 0xFFFFFFFF);
    bytes layers(80 * 68, 0);
    uint32_t current_layers = get_i32(current, 0x6C);
    for (uint32_t layer = 0; layer < current_layers && layer < 80; ++layer)
        memcpy(layers.data() + layer * 68 + 4, current.data() + 0x100 + layer * 76 + 12, 64);
    record.insert(record.end(), layers.begin(), layers.end());
    bytes types = older_types(current, shape);
    record.insert(record.end(), types.begin(), types.end());
    size_t at = shape.objects_at;
    for (uint32_t object = 0; object < shape.objects; ++object) {
        bytes older = older_object(current, shape, &at);
        record.insert(record.end(), older.begin(), older.end());
    }
    return record;
}

bytes with_chinese_timeline(const bytes &file)
{
    static const unsigned char CHINESE[] = {0xC0, 0xA9, 0xD5, 0xB9, 0xB1, 0xE0, 0xBC, 0xAD};
    model_section section = timeline_section(file);
    bytes renamed = file;
    // The name lies just before the data's size and the data.
    memcpy(renamed.data() + section.begin - 4 - 9, CHINESE, sizeof CHINESE);
    return renamed;
}

bytes with_chinese_type_name(const bytes &record)
{
    static const unsigned char VIDEO_FILE[] = {0xCA, 0xD3, 0xC6, 0xB5, 0xCE, 0xC4, 0xBC, 0xFE};
    bytes renamed = record;
    unsigned char *name = renamed.data() + shape_of(record).types_at + 16;
    memset(name, 0, 96);
    memcpy(name, VIDEO_FILE, sizeof VIDEO_FILE);
    return renamed;
}

bytes backup_of(const bytes &record)
{
    bytes backup(36 + record.size(), 0);
    memcpy(backup.data(), "80EE", 4);
    put_i32(&backup, 4, 0x23F0);
    put_i32(&backup, 8, 1920);
    put_i32(&backup, 12, 1080);
    put_i32(&backup, 0x20, static_cast<uint32_t>(record.size()));
    std::copy(record.begin(), record.end(), backup.begin() + 36);
    return backup;
}

bytes plugin_record(const std::string &name, const bytes &data)
{
    const char mark[] = "FilterProject 0.1";
    bytes record(mark, mark + sizeof mark - 1);
    record.push_back(0);
    bytes size_bytes = {static_cast<unsigned char>(name.size() + 1), 0, 0, 0};
    record.insert(record.end(), size_bytes.begin(), size_bytes.end());
    record.insert(record.end(), name.begin(), name.end());
    record.push_back(0);
    bytes data_size = {static_cast<unsigned char>(data.size()), 0, 0, 0};
    record.insert(record.end(), data_size.begin(), data_size.end());
    bytes packed = pack_plainly(data);
    record.insert(record.end(), packed.begin(), packed.end());
    return record;
}

void plant(unsigned char *field, size_t size, const bytes &value)
{
    memset(field, 'o', size);
    memcpy(field, value.data(), value.size());
    field[value.size()] = 0;
}
