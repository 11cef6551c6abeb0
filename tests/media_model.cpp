#include "media_model.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t HANDLE_SIZE = 0x4C07DC;
constexpr size_t PROFILES_AT = 0x20B0C;
constexpr size_t SOURCE_AT = PROFILES_AT + 96 * 260;
constexpr size_t CLIPBOARD_AT = 0x4BBB8C;
const bytes TIMELINE_NAME = {0x8A, 0x67, 0x92, 0xA3, 0x95, 0xD2, 0x8F, 0x57, 0x00};
const char SIGNATURE_TEXT[] = "AviUtl ProjectFile version 0.18";
const bytes SIGNATURE_BYTES(SIGNATURE_TEXT, SIGNATURE_TEXT + sizeof SIGNATURE_TEXT);

long i32_at(const bytes &data, size_t at)
{
    if (at + 4 > data.size())
        return -1;
    uint32_t value = uint32_t{data[at]} | uint32_t{data[at + 1]} << 8 |
                     uint32_t{data[at + 2]} << 16 | uint32_t{data[at + 3]} << 24;
    return static_cast<long>(static_cast<int32_t>(value));
}

// Unpacks a stream of exactly `size` bytes from `at`; false when an op
// reaches past it or the file ends first.
bool unpack_exactly(const bytes &file, size_t at, size_t size, model_section *section)
{
    *section = {at, at, true, {}, model_section::OTHER};
    while (section->data.size() < size) {
        if (at >= file.size())
            return false;
        unsigned char header = file[at++];
        size_t count = header & 0x7F;
        if (count == 0) {
            if (at + 3 > file.size())
                return false;
            count = size_t{file[at]} | size_t{file[at + 1]} << 8 | size_t{file[at + 2]} << 16;
            at += 3;
        }
        bool run = (header & 0x80) != 0;
        if (count > size - section->data.size() || at + (run ? 1 : count) > file.size())
            return false;
        if (run)
            section->data.insert(section->data.end(), count, file[at]);
        else
            section->data.insert(section->data.end(), file.begin() + static_cast<long>(at),
                                 file.begin() + static_cast<long>(at + count));
        at += run ? 1 : count;
    }
    section->end = at;
    return true;
}

// Adds a raw section of `length` bytes at `*at`; false past the file's end.
bool add_raw(const bytes &file, size_t *at, size_t length, std::vector<model_section> *sections)
{
    if (length > file.size() - *at)
        return false;
    sections->push_back({*at, *at + length, false, {}, model_section::RAW});
    *at += length;
    return true;
}

bool add_packed(const bytes &file, size_t *at, size_t size, int kind,
                std::vector<model_section> *sections)
{
    model_section section{};
    if (!unpack_exactly(file, *at, size, &section))
        return false;
    section.kind = static_cast<decltype(section.kind)>(kind);
    sections->push_back(section);
    *at = section.end;
    return true;
}

// The raw blobs the handle counts, and the footer.
size_t blobs_length(const bytes &file, size_t at, const bytes &handle, bool *ok)
{
    size_t count = 0;
    for (size_t name = 0; name < 96; ++name)
        count += handle[PROFILES_AT + name * 260] != 0 ? 1 : 0;
    for (size_t slot = 0; slot < 256; ++slot)
        count += i32_at(handle, CLIPBOARD_AT + slot * 4) != 0 ? 1 : 0;
    size_t start = at;
    for (size_t blob = 0; blob < count; ++blob) {
        long length = i32_at(file, at);
        if (length < 0 || static_cast<size_t>(length) > file.size() - at - 4) {
            *ok = false;
            return 0;
        }
        at += 4 + static_cast<size_t>(length);
    }
    *ok = at + 32 <= file.size() && std::equal(SIGNATURE_BYTES.begin(), SIGNATURE_BYTES.end(),
                                               file.begin() + static_cast<long>(at));
    return at + 32 - start;
}

bool split_plugins(const bytes &file, size_t *at_start, std::vector<model_section> *sections)
{
    size_t &at = *at_start;
    while (at < file.size()) {
        long name_length = i32_at(file, at + 18);
        if (name_length < 0 || static_cast<size_t>(name_length) > file.size())
            return false;
        long size = i32_at(file, at + 22 + static_cast<size_t>(name_length));
        if (size < 0 || memcmp(file.data() + at, "FilterProject 0.1", 18) != 0)
            return false;
        bytes name(file.begin() + static_cast<long>(at + 22),
                   file.begin() + static_cast<long>(at + 22 + static_cast<size_t>(name_length)));
        int kind = name == TIMELINE_NAME ? model_section::TIMELINE : model_section::OTHER;
        if (!add_raw(file, &at, 26 + static_cast<size_t>(name_length), sections) ||
            !add_packed(file, &at, static_cast<size_t>(size), kind, sections))
            return false;
    }
    return true;
}

// The text in an effect's extra data, by effect-type index: where, and how
// long. Indices 3, 81 and 99 hold UTF-16LE text, and 14, 79, 80 and 97 a
// script's name and parameters.
struct effect_field {
    long index;
    decltype(model_field::kind) kind;
    size_t offset;
    size_t size;
};

constexpr auto TEXT = model_field::TEXT;
constexpr auto WIDE = model_field::WIDE_TEXT;
constexpr auto PATH = model_field::PATH;
constexpr auto SCRIPT = model_field::SCRIPT;
const effect_field EFFECT_FIELDS[] = {
    {0, PATH, 0, 260},        {1, PATH, 4, 256},  {2, PATH, 0, 260},        {3, TEXT, 0x10, 32},
    {3, WIDE, 0x30, 2048},    {4, PATH, 8, 256},  {6, PATH, 0, 260},        {34, PATH, 4, 256},
    {35, PATH, 4, 256},       {40, TEXT, 4, 256}, {41, PATH, 4, 256},       {69, PATH, 4, 256},
    {81, WIDE, 0, 2048},      {82, PATH, 0, 260}, {83, PATH, 4, 256},       {88, PATH, 4, 256},
    {99, WIDE, 0, 2048},      {14, TEXT, 4, 256}, {14, SCRIPT, 0x104, 256}, {79, TEXT, 4, 256},
    {79, SCRIPT, 0x104, 256}, {80, TEXT, 4, 256}, {80, SCRIPT, 0x104, 256}, {97, TEXT, 4, 256},
    {97, SCRIPT, 0x104, 256},
};

void add_table(std::vector<model_field> *fields, size_t *at, long count, size_t entry,
               size_t offset, size_t size)
{
    for (long index = 0; index < count; ++index, *at += entry)
        fields->push_back({model_field::TEXT, *at + offset, size, -1, -1});
}

void add_object_fields(const bytes &record, size_t object, long number, long types,
                       std::vector<model_field> *fields)
{
    fields->push_back({model_field::TEXT, object + 0x10, 64, number, -1});
    long ext = i32_at(record, object + 0xF4);
    for (size_t slot = 0; slot < 12 && ext > 0; ++slot) {
        long index = i32_at(record, object + 0x54 + slot * 12);
        long offset = i32_at(record, object + 0x54 + slot * 12 + 8);
        if (index < 0 || index >= types || offset < 0)
            return;
        for (const effect_field &field : EFFECT_FIELDS) {
            size_t at = object + 0x5C8 + static_cast<size_t>(offset) + field.offset;
            if (field.index == index && at + field.size <= record.size())
                fields->push_back({field.kind, at, field.size, number, index});
        }
    }
}

bool is_lead(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// What is wrong with a field of a changed section, or empty: old bytes
// after its terminator, or a folder left in a path.
std::string check_field(const unsigned char *field, const model_field &shape)
{
    size_t step = shape.kind == model_field::WIDE_TEXT ? 2 : 1;
    size_t length = 0;
    while (length + step <= shape.size && (field[length] != 0 || field[length + step - 1] != 0))
        length += step;
    if (std::any_of(field + std::min(length + step, shape.size), field + shape.size,
                    [](unsigned char b) { return b != 0; }))
        return "old bytes are left after a terminator";
    for (size_t at = 0; shape.kind == model_field::PATH && at < length;
         at += is_lead(field[at]) ? 2 : 1) {
        if (field[at] == '\\' || field[at] == '/')
            return "a folder is left in a path field";
    }
    return "";
}

std::string check_section(const model_section &original, const model_section &copy,
                          const bytes &copy_file, const bytes &original_file)
{
    if (original.kind != copy.kind || original.packed != copy.packed)
        return "the sections differ in kind";
    if (!original.packed)
        return "";
    if (original.data.size() != copy.data.size())
        return "a section unpacks to another size";
    bytes expected = original.data;
    std::vector<model_field> fields;
    if (original.kind == model_section::HANDLE) {
        std::fill(expected.begin(), expected.begin() + 260, 0);
        fields = handle_fields();
    } else if (original.kind == model_section::TIMELINE) {
        fields = timeline_fields(original.data);
    }
    if (expected == copy.data) {
        bool same = std::equal(copy_file.begin() + static_cast<long>(copy.begin),
                               copy_file.begin() + static_cast<long>(copy.end),
                               original_file.begin() + static_cast<long>(original.begin),
                               original_file.begin() + static_cast<long>(original.end));
        return same || original.kind == model_section::HANDLE ? ""
                                                              : "an unchanged stream was repacked";
    }
    bytes outside = copy.data;
    for (const model_field &field : fields) {
        std::copy(expected.begin() + static_cast<long>(field.offset),
                  expected.begin() + static_cast<long>(field.offset + field.size),
                  outside.begin() + static_cast<long>(field.offset));
        std::string wrong = check_field(copy.data.data() + field.offset, field);
        if (!wrong.empty())
            return wrong;
    }
    return outside == expected ? "" : "bytes outside the text fields changed";
}

// Splits the sections after the handle; false where they cannot be split,
// with `*at` after the last one that could.
bool split_rest(const bytes &file, size_t *at, std::vector<model_section> *sections)
{
    long frames = i32_at(file, *at);
    if (frames < 0 || !add_raw(file, at, 4, sections))
        return false;
    for (int array = 0; array < 10; ++array) {
        if (!add_packed(file, at, static_cast<size_t>(frames) * (array < 4 ? 4 : 1),
                        model_section::OTHER, sections))
            return false;
    }
    bool ok = false;
    size_t blobs = blobs_length(file, *at, (*sections)[1].data, &ok);
    return ok && add_raw(file, at, blobs, sections) && split_plugins(file, at, sections);
}

} // namespace

bool split_project(const bytes &file, std::vector<model_section> *sections)
{
    sections->clear();
    if (file.size() < 560 ||
        !std::equal(SIGNATURE_BYTES.begin(), SIGNATURE_BYTES.end(), file.begin()))
        return false;
    size_t at = 0;
    add_raw(file, &at, 560, sections);
    if (!add_packed(file, &at, HANDLE_SIZE, model_section::HANDLE, sections))
        return false;
    if (!split_rest(file, &at, sections))
        sections->push_back({at, file.size(), false, {}, model_section::RAW});
    return true;
}

std::vector<model_field> handle_fields()
{
    std::vector<model_field> fields = {{model_field::TEXT, 0, 260, -1, -1}};
    size_t at = PROFILES_AT;
    add_table(&fields, &at, 96, 260, 0, 260);
    fields.push_back({model_field::PATH, SOURCE_AT, 260, -1, -1});
    return fields;
}

std::vector<model_field> timeline_fields(const bytes &record)
{
    std::vector<model_field> fields;
    if (record.size() < 0x100 || i32_at(record, 0x70) != 220 || i32_at(record, 0x74) != 76)
        return fields;
    long types = i32_at(record, 4);
    long objects = i32_at(record, 8);
    size_t at = 0x100;
    size_t tables = 76 * size_t(std::max(0L, i32_at(record, 0x6C))) +
                    220 * size_t(std::max(0L, i32_at(record, 0x68))) +
                    128 * size_t(std::max(0L, i32_at(record, 0x7C))) +
                    112 * size_t(std::max(0L, types));
    if (tables > record.size())
        return fields;
    add_table(&fields, &at, i32_at(record, 0x6C), 76, 12, 64);
    add_table(&fields, &at, i32_at(record, 0x68), 220, 8, 64);
    add_table(&fields, &at, i32_at(record, 0x7C), 128, 0, 128);
    add_table(&fields, &at, types, 112, 16, 96);
    for (long object = 0; object < objects && at + 0x5C8 <= record.size(); ++object) {
        long ext = i32_at(record, at + 0xF4);
        if (ext < 0 || at + 0x5C8 + static_cast<size_t>(ext) > record.size())
            break;
        add_object_fields(record, at, object, types, &fields);
        at += 0x5C8 + static_cast<size_t>(ext);
    }
    return fields;
}

// What is wrong with the edit file name of a copy, or empty.
std::string check_edit_name(const bytes &original, const bytes &copy)
{
    if (copy.size() < 300 ||
        std::equal(copy.begin() + 40, copy.begin() + 300, original.begin() + 40))
        return "";
    std::string wrong = check_field(copy.data() + 40, {model_field::PATH, 40, 260, -1, -1});
    return wrong.empty() ? "" : "edit file name: " + wrong;
}

std::string check_media_copy(const bytes &original, const bytes &copy)
{
    std::vector<model_section> before;
    std::vector<model_section> after;
    if (original.size() >= 300 && copy.size() >= 300 && !split_project(original, &before)) {
        // Not even the handle can be followed: only the header may change.
        bytes unnamed = copy;
        std::copy(original.begin() + 40, original.begin() + 300, unnamed.begin() + 40);
        std::string wrong = check_copy(original, unnamed);
        return wrong.empty() ? check_edit_name(original, copy) : wrong;
    }
    if (before.empty())
        return check_copy(original, copy);
    if (!split_project(copy, &after) || after.size() != before.size())
        return "the copy does not have the original's sections";
    if (!std::equal(copy.begin(), copy.begin() + 40, original.begin()) ||
        std::any_of(copy.begin() + 300, copy.begin() + 560, [](unsigned char b) { return b; }))
        return "the header differs outside the edit file name";
    std::string wrong = check_edit_name(original, copy);
    for (size_t index = 1; wrong.empty() && index < before.size(); ++index) {
        const model_section &a = before[index];
        const model_section &b = after[index];
        bool raw_same = a.packed || std::equal(copy.begin() + static_cast<long>(b.begin),
                                               copy.begin() + static_cast<long>(b.end),
                                               original.begin() + static_cast<long>(a.begin),
                                               original.begin() + static_cast<long>(a.end));
        wrong = raw_same ? check_section(a, b, copy, original) : "a raw section differs";
        if (!wrong.empty())
            wrong = "section " + std::to_string(index) + ": " + wrong;
    }
    return wrong;
}

bytes pack_plainly(const bytes &content)
{
    bytes packed;
    for (size_t at = 0; at < content.size(); at += 100) {
        size_t length = std::min<size_t>(100, content.size() - at);
        packed.push_back(static_cast<unsigned char>(length));
        packed.insert(packed.end(), content.begin() + static_cast<long>(at),
                      content.begin() + static_cast<long>(at + length));
    }
    return packed;
}

model_section timeline_section(const bytes &file)
{
    std::vector<model_section> sections;
    split_project(file, &sections);
    for (const model_section &section : sections) {
        if (section.kind == model_section::TIMELINE)
            return section;
    }
    return {0, 0, false, {}, model_section::RAW};
}

bytes timeline_of(const bytes &file)
{
    return timeline_section(file).data;
}

bytes with_timeline(const bytes &file, const bytes &record)
{
    model_section section = timeline_section(file);
    if (section.kind != model_section::TIMELINE)
        return file;
    bytes result(file.begin(), file.begin() + static_cast<long>(section.begin));
    bytes packed = pack_plainly(record);
    result.insert(result.end(), packed.begin(), packed.end());
    result.insert(result.end(), file.begin() + static_cast<long>(section.end), file.end());
    return result;
}

namespace {

bool is_letter_code(int c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_alnum_code(int c)
{
    return is_letter_code(c) || (c >= '0' && c <= '9');
}

// One character of a text: its ASCII value (or 0x100 for any other) and its
// bytes.
struct model_character {
    int code;
    size_t at;
    size_t width;
};

std::vector<model_character> characters_of(const bytes &text, size_t begin, size_t end, bool wide)
{
    std::vector<model_character> characters;
    for (size_t at = begin; at < end;) {
        if (wide) {
            int unit = text[at] | (at + 1 < end ? text[at + 1] << 8 : 0);
            characters.push_back({unit < 0x80 ? unit : 0x100, at, 2});
            at += 2;
            continue;
        }
        bool pair = is_lead(text[at]) && at + 1 < end && text[at + 1] >= 0x40;
        characters.push_back({text[at] < 0x80 ? text[at] : 0x100, at, pair ? 2u : 1u});
        at += pair ? 2 : 1;
    }
    return characters;
}

bool ends_a_path(int code)
{
    return code < 0x20 || code == '"';
}

void find_in_text(const bytes &text, size_t begin, size_t end, bool wide, std::vector<bytes> *paths)
{
    std::vector<model_character> characters = characters_of(text, begin, end, wide);
    for (size_t index = 0; index + 2 < characters.size(); ++index) {
        int before = index == 0 ? -1 : characters[index - 1].code;
        int a = characters[index].code;
        int b = characters[index + 1].code;
        int c = characters[index + 2].code;
        bool sep = c == '\\' || c == '/';
        bool drive = is_letter_code(a) && b == ':' && sep && !is_alnum_code(before);
        bool network = a == '\\' && b == '\\' && !sep && c != ' ' && c != 0 && before != '\\' &&
                       before != ':' && !is_alnum_code(before);
        if (!drive && !network)
            continue;
        size_t last = index + 2;
        while (last + 1 < characters.size() && !ends_a_path(characters[last + 1].code))
            ++last;
        paths->push_back(
            bytes(text.begin() + static_cast<long>(characters[index].at),
                  text.begin() + static_cast<long>(characters[last].at + characters[last].width)));
        index = last;
    }
}

// Finds paths in a text that a 0 (a 0 unit) divides into texts of their own.
void find_in(const bytes &text, size_t begin, size_t end, bool wide, std::vector<bytes> *paths)
{
    size_t step = wide ? 2 : 1;
    size_t start = begin;
    for (size_t at = begin; at + step <= end; at += step) {
        if (text[at] == 0 && text[at + step - 1] == 0) {
            find_in_text(text, start, at, wide, paths);
            start = at + step;
        }
    }
    find_in_text(text, start, end, wide, paths);
}

void find_in_fields(const bytes &data, std::vector<model_field> fields, std::vector<bytes> *paths)
{
    std::sort(fields.begin(), fields.end(),
              [](const model_field &a, const model_field &b) { return a.offset < b.offset; });
    size_t at = 0;
    for (const model_field &field : fields) {
        find_in(data, at, field.offset, false, paths);
        find_in(data, field.offset, field.offset + field.size, field.kind == model_field::WIDE_TEXT,
                paths);
        at = field.offset + field.size;
    }
    find_in(data, at, data.size(), false, paths);
}

} // namespace

std::vector<bytes> paths_in(const bytes &file)
{
    std::vector<bytes> paths;
    std::vector<model_section> sections;
    if (!split_project(file, &sections)) {
        find_in(file, 0, file.size(), false, &paths);
        return paths;
    }
    find_in_fields(bytes(file.begin(), file.begin() + 560),
                   {{model_field::PATH, 40, 260, -1, -1}, {model_field::PATH, 300, 260, -1, -1}},
                   &paths);
    for (size_t index = 1; index < sections.size(); ++index) {
        const model_section &section = sections[index];
        if (!section.packed)
            find_in(file, section.begin, section.end, false, &paths);
        else if (section.kind == model_section::HANDLE)
            find_in_fields(section.data, handle_fields(), &paths);
        else if (section.kind == model_section::TIMELINE)
            find_in_fields(section.data, timeline_fields(section.data), &paths);
        else
            find_in(section.data, 0, section.data.size(), false, &paths);
    }
    return paths;
}
