#include "media_model.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t HANDLE_SIZE = 0x4C07DC;
constexpr size_t PROFILES_AT = 0x20B0C;
constexpr size_t SOURCE_AT = PROFILES_AT + 96 * 260;
constexpr size_t CLIPBOARD_AT = 0x4BBB8C;
const bytes TIMELINE_NAME = {0x8A, 0x67, 0x92, 0xA3, 0x95, 0xD2, 0x8F, 0x57, 0x00};
const bytes CHINESE_TIMELINE_NAME = {0xC0, 0xA9, 0xD5, 0xB9, 0xB1, 0xE0, 0xBC, 0xAD, 0x00};
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
    *section = {at, at, true, {}, model_section::OTHER, false};
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
    sections->push_back({*at, *at + length, false, {}, model_section::RAW, false});
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
        bool chinese = name == CHINESE_TIMELINE_NAME;
        int kind =
            name == TIMELINE_NAME || chinese ? model_section::TIMELINE : model_section::OTHER;
        if (!add_raw(file, &at, 26 + static_cast<size_t>(name_length), sections) ||
            !add_packed(file, &at, static_cast<size_t>(size), kind, sections))
            return false;
        sections->back().gbk = chinese;
    }
    return true;
}

// The text in an effect's extra data, by effect-type index: where, and how
// long. In the current layout indices 3, 81 and 99 hold UTF-16LE text, and
// 14, 79, 80 and 97 a script's name and parameters; the older layout has
// other indices.
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
const std::vector<effect_field> CURRENT_FIELDS = {
    {0, PATH, 0, 260},        {1, PATH, 4, 256},  {2, PATH, 0, 260},        {3, TEXT, 0x10, 32},
    {3, WIDE, 0x30, 2048},    {4, PATH, 8, 256},  {6, PATH, 0, 260},        {34, PATH, 4, 256},
    {35, PATH, 4, 256},       {40, TEXT, 4, 256}, {41, PATH, 4, 256},       {69, PATH, 4, 256},
    {81, WIDE, 0, 2048},      {82, PATH, 0, 260}, {83, PATH, 4, 256},       {88, PATH, 4, 256},
    {99, WIDE, 0, 2048},      {14, TEXT, 4, 256}, {14, SCRIPT, 0x104, 256}, {79, TEXT, 4, 256},
    {79, SCRIPT, 0x104, 256}, {80, TEXT, 4, 256}, {80, SCRIPT, 0x104, 256}, {97, TEXT, 4, 256},
    {97, SCRIPT, 0x104, 256},
};
const std::vector<effect_field> OLDER_FIELDS = {
    {0, PATH, 0, 260},     {1, PATH, 4, 256},  {2, PATH, 0, 260},  {3, TEXT, 0x10, 32},
    {3, WIDE, 0x30, 2048}, {4, PATH, 8, 256},  {11, TEXT, 4, 256}, {28, PATH, 4, 256},
    {29, PATH, 4, 256},    {33, TEXT, 4, 256}, {57, TEXT, 4, 256}, {57, SCRIPT, 0x104, 256},
    {58, WIDE, 0, 2048},   {59, PATH, 0, 260}, {60, PATH, 4, 256}, {64, PATH, 4, 256},
};

// How a layout's objects lie.
struct object_shape {
    size_t size;
    size_t slots;
    size_t ext_size_at;
    const std::vector<effect_field> *fields;
};
const object_shape CURRENT_OBJECT = {0x5C8, 12, 0xF4, &CURRENT_FIELDS};
const object_shape OLDER_OBJECT = {0x248, 8, 0xC0, &OLDER_FIELDS};

void add_table(std::vector<model_field> *fields, size_t *at, long count, size_t entry,
               size_t offset, size_t size)
{
    for (long index = 0; index < count; ++index, *at += entry)
        fields->push_back({model_field::TEXT, *at + offset, size, -1, -1});
}

void add_object_fields(const bytes &record, size_t object, long number, long types,
                       const object_shape &shape, std::vector<model_field> *fields)
{
    fields->push_back({model_field::TEXT, object + 0x10, 64, number, -1});
    long ext = i32_at(record, object + shape.ext_size_at);
    for (size_t slot = 0; slot < shape.slots && ext > 0; ++slot) {
        long index = i32_at(record, object + 0x54 + slot * 12);
        long offset = i32_at(record, object + 0x54 + slot * 12 + 8);
        if (index < 0 || index >= types || offset < 0)
            return;
        for (const effect_field &field : *shape.fields) {
            size_t at = object + shape.size + static_cast<size_t>(offset) + field.offset;
            if (field.index == index && at + field.size <= record.size())
                fields->push_back({field.kind, at, field.size, number, index});
        }
    }
}

// Adds the fields of `objects` objects from `at` on.
void add_objects(const bytes &record, size_t at, long objects, long types,
                 const object_shape &shape, std::vector<model_field> *fields)
{
    for (long object = 0; object < objects && at + shape.size <= record.size(); ++object) {
        long ext = i32_at(record, at + shape.ext_size_at);
        if (ext < 0 || at + shape.size + static_cast<size_t>(ext) > record.size())
            break;
        add_object_fields(record, at, object, types, shape, fields);
        at += shape.size + static_cast<size_t>(ext);
    }
}

bool is_lead(unsigned char byte, bool gbk)
{
    if (gbk)
        return byte >= 0x81 && byte <= 0xFE;
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool holds_separator(const bytes &text, bool gbk)
{
    for (size_t at = 0; at < text.size(); at += is_lead(text[at], gbk) ? 2 : 1) {
        if (text[at] == '\\' || text[at] == '/')
            return true;
    }
    return false;
}

// Whether a quoted value of script parameters, read from just after its
// opening quote up to `end`, begins with a path and still holds a folder, as
// Lua reads it: `\x` is the byte x, whatever came before.
bool keeps_folder(const unsigned char *text, size_t end, bool gbk)
{
    bytes plain;
    for (size_t at = 0; at < end; ++at)
        plain.push_back(text[at] == '\\' && at + 1 < end ? text[++at] : text[at]);
    bool drive = plain.size() >= 3 && isalpha(plain[0]) && plain[1] == ':' &&
                 (plain[2] == '\\' || plain[2] == '/');
    bool share = plain.size() >= 2 && plain[0] == '\\' && plain[1] == '\\';
    return (drive || share) && holds_separator(plain, gbk);
}

// What is wrong with a field of a changed section, or empty: old bytes
// after its terminator, a folder left in a path field, or one left in a
// closed quoted path of script parameters.
std::string check_field(const unsigned char *field, const model_field &shape, bool gbk)
{
    size_t step = shape.kind == model_field::WIDE_TEXT ? 2 : 1;
    size_t length = 0;
    while (length + step <= shape.size && (field[length] != 0 || field[length + step - 1] != 0))
        length += step;
    if (std::any_of(field + std::min(length + step, shape.size), field + shape.size,
                    [](unsigned char b) { return b != 0; }))
        return "old bytes are left after a terminator";
    if (shape.kind == model_field::PATH && holds_separator(bytes(field, field + length), gbk))
        return "a folder is left in a path field";
    for (size_t at = 0; shape.kind == model_field::SCRIPT && at < length; ++at) {
        if (field[at] != '"')
            continue;
        size_t end = at + 1;
        while (end < length && field[end] != '"')
            end += field[end] == '\\' ? 2 : 1;
        if (end < length && keeps_folder(field + at + 1, end - at - 1, gbk))
            return "a folder is left in a quoted path of script parameters";
        at = end;
    }
    return "";
}

// What is wrong with a changed record or handle, or empty: outside its
// fields it must be `expected`, and every field must hold.
std::string check_fields(const bytes &copy, const bytes &expected,
                         const std::vector<model_field> &fields, bool gbk)
{
    bytes outside = copy;
    for (const model_field &field : fields) {
        std::copy(expected.begin() + static_cast<long>(field.offset),
                  expected.begin() + static_cast<long>(field.offset + field.size),
                  outside.begin() + static_cast<long>(field.offset));
        std::string wrong = check_field(copy.data() + field.offset, field, gbk);
        if (!wrong.empty())
            return wrong;
    }
    return outside == expected ? "" : "bytes outside the text fields changed";
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
    bytes packed(copy_file.begin() + static_cast<long>(copy.begin),
                 copy_file.begin() + static_cast<long>(copy.end));
    if (packed != pack_greedily(copy.data))
        return "a changed stream is not packed as the files are";
    return check_fields(copy.data, expected, fields, original.gbk);
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
        sections->push_back({at, file.size(), false, {}, model_section::RAW, false});
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

namespace {

const bytes RECORD_MARK = {'8', '0', 'E', 'E'};
const bytes VIDEO_FILE_NAME = {0x93, 0xAE, 0x89, 0xE6, 0x83, 0x74, 0x83,
                               0x40, 0x83, 0x43, 0x83, 0x8B, 0x00};

std::vector<model_field> current_fields(const bytes &record)
{
    std::vector<model_field> fields;
    long types = i32_at(record, 4);
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
    add_objects(record, at, i32_at(record, 8), types, CURRENT_OBJECT, &fields);
    return fields;
}

std::vector<model_field> older_fields(const bytes &record)
{
    std::vector<model_field> fields;
    long types = i32_at(record, 4);
    if (types < 1 || 0x1640 + 112 * size_t(types) > record.size())
        return fields;
    size_t at = 0x100;
    add_table(&fields, &at, 80, 68, 4, 64);
    add_table(&fields, &at, types, 112, 16, 96);
    add_objects(record, at, i32_at(record, 8), types, OLDER_OBJECT, &fields);
    return fields;
}

bool is_older(const bytes &record)
{
    return record.size() >= 0x1640 + 112 && i32_at(record, 0x0C) == 80 &&
           std::all_of(record.begin() + 0x1C, record.begin() + 0x100,
                       [](unsigned char b) { return b == 0; }) &&
           std::equal(VIDEO_FILE_NAME.begin(), VIDEO_FILE_NAME.end(), record.begin() + 0x1650);
}

} // namespace

std::vector<model_field> timeline_fields(const bytes &record)
{
    if (record.size() < 0x100 ||
        !std::equal(RECORD_MARK.begin(), RECORD_MARK.end(), record.begin()))
        return {};
    if (i32_at(record, 0x70) == 220 && i32_at(record, 0x74) == 76)
        return current_fields(record);
    return is_older(record) ? older_fields(record) : std::vector<model_field>{};
}

bytes pack_greedily(const bytes &content, size_t shortest_run)
{
    constexpr size_t LONGEST_RUN = 0x7FFFFF;
    constexpr size_t HOLD = size_t{1} << 20;
    bytes packed;
    auto op = [&packed](bool run, size_t count) {
        unsigned char kind = run ? 0x80 : 0;
        if (count < 128) {
            packed.push_back(static_cast<unsigned char>(kind | count));
            return;
        }
        packed.insert(packed.end(), {kind, static_cast<unsigned char>(count),
                                     static_cast<unsigned char>(count >> 8),
                                     static_cast<unsigned char>(count >> 16)});
    };
    auto literal = [&](const bytes &held, size_t count) {
        if (count == 0)
            return;
        op(false, count);
        packed.insert(packed.end(), held.begin(), held.begin() + static_cast<long>(count));
    };
    // Byte by byte, as plainly as the description reads: a literal is held
    // until `shortest_run` (four in the files) equal bytes end it, a run
    // lasts while its byte does, and a literal that fills the hold is written
    // but for the bytes that may yet begin a run.
    bytes held;
    size_t run = 0;
    unsigned char value = 0;
    for (unsigned char byte : content) {
        if (run > 0 && byte == value && run < LONGEST_RUN) {
            ++run;
            continue;
        }
        if (run > 0) {
            op(true, run);
            packed.push_back(value);
            run = 0;
        }
        held.push_back(byte);
        size_t n = held.size();
        if (n >= shortest_run &&
            std::all_of(held.end() - static_cast<long>(shortest_run), held.end(),
                        [byte](unsigned char held_byte) { return held_byte == byte; })) {
            literal(held, n - shortest_run);
            held.clear();
            run = shortest_run;
            value = byte;
        } else if (n == HOLD) {
            literal(held, n - (shortest_run - 1));
            held.erase(held.begin(), held.end() - static_cast<long>(shortest_run - 1));
        }
    }
    if (run > 0) {
        op(true, run);
        packed.push_back(value);
    }
    literal(held, held.size());
    return packed;
}

std::string check_blanked_record(const bytes &record, bool gbk)
{
    for (const model_field &field : timeline_fields(record)) {
        std::string wrong = check_field(record.data() + field.offset, field, gbk);
        if (!wrong.empty())
            return wrong + " at " + std::to_string(field.offset);
    }
    return "";
}

bool is_backup(const bytes &file)
{
    return file.size() >= 40 && std::equal(RECORD_MARK.begin(), RECORD_MARK.end(), file.begin()) &&
           std::equal(RECORD_MARK.begin(), RECORD_MARK.end(), file.begin() + 36) &&
           i32_at(file, 0x20) == static_cast<long>(file.size() - 36);
}

bool backup_is_gbk(const bytes &backup)
{
    static const bytes VIDEO_FILE = {0xCA, 0xD3, 0xC6, 0xB5, 0xCE, 0xC4, 0xBC, 0xFE, 0x00};
    constexpr size_t TOLD_FROM = 256 * 1024;
    if (backup.size() < 36 + 0x100 || i32_at(backup, 36 + 0x70) != 220 ||
        i32_at(backup, 36 + 0x74) != 76)
        return false;
    long counts[] = {i32_at(backup, 36 + 0x6C), i32_at(backup, 36 + 0x68),
                     i32_at(backup, 36 + 0x7C)};
    if (std::any_of(std::begin(counts), std::end(counts), [](long count) { return count < 0; }))
        return false;
    uint64_t name_at = 36 + 0x100 + 76 * uint64_t(counts[0]) + 220 * uint64_t(counts[1]) +
                       128 * uint64_t(counts[2]) + 16;
    uint64_t told = std::min<uint64_t>(backup.size(), TOLD_FROM);
    return name_at + VIDEO_FILE.size() <= told &&
           std::equal(VIDEO_FILE.begin(), VIDEO_FILE.end(),
                      backup.begin() + static_cast<long>(name_at));
}

std::string check_backup_copy(const bytes &original, const bytes &copy)
{
    if (copy.size() != original.size() ||
        !std::equal(original.begin(), original.begin() + 36, copy.begin()))
        return "the backup's length or header differs";
    bytes record(original.begin() + 36, original.end());
    bytes blanked(copy.begin() + 36, copy.end());
    return check_fields(blanked, record, timeline_fields(record), backup_is_gbk(original));
}

// What is wrong with the edit file name of a copy, or empty.
std::string check_edit_name(const bytes &original, const bytes &copy)
{
    if (copy.size() < 300 ||
        std::equal(copy.begin() + 40, copy.begin() + 300, original.begin() + 40))
        return "";
    std::string wrong = check_field(copy.data() + 40, {model_field::PATH, 40, 260, -1, -1}, false);
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
    return {0, 0, false, {}, model_section::RAW, false};
}

bytes timeline_of(const bytes &file)
{
    return timeline_section(file).data;
}

bytes with_timeline(const bytes &file, const bytes &record, bool greedily)
{
    return with_timeline(file, record, greedily ? pack_greedily(record) : pack_plainly(record));
}

bytes with_timeline(const bytes &file, const bytes &record, const bytes &packed)
{
    model_section section = timeline_section(file);
    if (section.kind != model_section::TIMELINE)
        return file;
    bytes result(file.begin(), file.begin() + static_cast<long>(section.begin));
    // The data's size, just before it.
    for (size_t index = 0; index < 4; ++index)
        result[section.begin - 4 + index] =
            static_cast<unsigned char>(record.size() >> (8 * index));
    result.insert(result.end(), packed.begin(), packed.end());
    result.insert(result.end(), file.begin() + static_cast<long>(section.end), file.end());
    return result;
}
