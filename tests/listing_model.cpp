#include "listing_model.h"

#include <algorithm>

namespace {

constexpr int NONE = -1;
constexpr int OTHER = 0x100;

// How a text is read.
struct reading {
    bool eight_bit;
    bool wide[2]; // UTF-16LE units, by the alignment they begin at
    bool gbk;
    bool lua; // script parameters: `\x` is the byte x
};

const reading DATA = {true, {true, true}, false, false};

bool is_letter(int c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_letter_or_digit(int c)
{
    return is_letter(c) || (c >= '0' && c <= '9');
}

bool ends_path(int c)
{
    return c < 0x20 || c == '"';
}

bool may_follow_share(int c)
{
    return c != NONE && c != '\\' && c != '/' && c != ' ' && !ends_path(c);
}

bool is_lead(unsigned char byte, bool gbk)
{
    if (gbk)
        return byte >= 0x81 && byte <= 0xFE;
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

struct text_reader {
    const bytes &text;
    std::vector<bool> begins; // which bytes begin an 8-bit character

    int byte(long at) const
    {
        return at >= 0 && static_cast<size_t>(at) < text.size() ? text[static_cast<size_t>(at)]
                                                                : NONE;
    }
    int unit(long at) const
    {
        return byte(at) == NONE || byte(at + 1) == NONE ? NONE : byte(at) | byte(at + 1) << 8;
    }
    // The 8-bit character that ends just before `at`: ASCII, OTHER, or NONE.
    int before(long at) const
    {
        if (at == 0)
            return NONE;
        int previous = byte(at - 1);
        return begins[static_cast<size_t>(at - 1)] && previous < 0x80 ? previous : OTHER;
    }
};

// How long the path beginning at `at` in `width`-byte units is.
size_t extent(const text_reader &reader, long at, size_t width)
{
    long end = at;
    while (width == 1 ? reader.byte(end) != NONE && !ends_path(reader.byte(end))
                      : reader.unit(end) != NONE && !ends_path(reader.unit(end)))
        end += static_cast<long>(width);
    return static_cast<size_t>(end - at);
}

// The width of the units a path begins in at `at`, or 0 for none.
size_t path_at(const text_reader &reader, long at, const reading &how)
{
    if (how.eight_bit) {
        int first = reader.byte(at);
        int second = reader.byte(at + 1);
        int third = reader.byte(at + 2);
        bool begins = reader.begins[static_cast<size_t>(at)];
        if (is_letter(first) && second == ':' &&
            (third == '\\' || (third == '/' && begins && !is_letter_or_digit(reader.before(at)))))
            return 1;
        int before = reader.before(at);
        if (first == '\\' && second == '\\' && may_follow_share(third) && begins &&
            before != '\\' && before != ':' && !is_letter_or_digit(before))
            return 1;
    }
    if (!how.wide[at & 1])
        return 0;
    int first = reader.unit(at);
    int second = reader.unit(at + 2);
    int third = reader.unit(at + 4);
    int before = reader.unit(at - 2);
    if (is_letter(first) && second == ':' &&
        (third == '\\' || (third == '/' && !is_letter_or_digit(before))))
        return 2;
    if (first == '\\' && second == '\\' && may_follow_share(third) && before != '\\' &&
        before != ':' && !is_letter_or_digit(before))
        return 2;
    return 0;
}

// Finds the paths of one text, as the file holds it.
void find_in_text(const bytes &stored, const reading &how, std::vector<bytes> *paths)
{
    // Script parameters are read unescaped; a path is reported escaped.
    bytes text;
    std::vector<size_t> from;
    for (size_t at = 0; at < stored.size(); ++at) {
        from.push_back(at);
        bool escape = how.lua && stored[at] == '\\' && at + 1 < stored.size();
        text.push_back(escape ? stored[++at] : stored[at]);
    }
    from.push_back(stored.size());
    text_reader reader{text, std::vector<bool>(text.size() + 1, false)};
    for (size_t at = 0; at < text.size();) {
        reader.begins[at] = true;
        at += is_lead(text[at], how.gbk) && at + 1 < text.size() && text[at + 1] >= 0x40 ? 2 : 1;
    }
    for (long at = 0; static_cast<size_t>(at) < text.size(); ++at) {
        size_t width = path_at(reader, at, how);
        if (width == 0)
            continue;
        size_t length = extent(reader, at, width);
        size_t begin = from[static_cast<size_t>(at)];
        size_t end = from[static_cast<size_t>(at) + length];
        size_t kept = std::min<size_t>(end - begin, 1024);
        paths->push_back(bytes(stored.begin() + static_cast<long>(begin),
                               stored.begin() + static_cast<long>(begin + kept)));
        at += static_cast<long>(length) - 1;
    }
}

bytes part_of(const bytes &data, size_t begin, size_t end)
{
    return bytes(data.begin() + static_cast<long>(begin), data.begin() + static_cast<long>(end));
}

// A field's text up to its terminator, then its old bytes, each a text.
void find_in_field(const bytes &data, const model_field &field, bool gbk, std::vector<bytes> *paths)
{
    bool wide = field.kind == model_field::WIDE_TEXT;
    size_t step = wide ? 2 : 1;
    size_t length = 0;
    while (length + step <= field.size &&
           (data[field.offset + length] != 0 || data[field.offset + length + step - 1] != 0))
        length += step;
    reading how = {!wide, {wide, false}, gbk, field.kind == model_field::SCRIPT};
    find_in_text(part_of(data, field.offset, field.offset + length), how, paths);
    find_in_text(part_of(data, field.offset + length, field.offset + field.size), how, paths);
}

// A section's bytes with its fields in them: each stretch between fields is
// data, read every way.
void find_in_fields(const bytes &data, std::vector<model_field> fields, bool gbk,
                    std::vector<bytes> *paths)
{
    std::sort(fields.begin(), fields.end(),
              [](const model_field &a, const model_field &b) { return a.offset < b.offset; });
    reading how = DATA;
    how.gbk = gbk;
    size_t at = 0;
    for (const model_field &field : fields) {
        find_in_text(part_of(data, at, field.offset), how, paths);
        find_in_field(data, field, gbk, paths);
        at = field.offset + field.size;
    }
    find_in_text(part_of(data, at, data.size()), how, paths);
}

} // namespace

std::vector<bytes> paths_in(const bytes &file)
{
    std::vector<bytes> paths;
    if (is_backup(file)) {
        find_in_text(part_of(file, 0, 36), DATA, &paths);
        bytes record = part_of(file, 36, file.size());
        find_in_fields(record, timeline_fields(record), false, &paths);
        return paths;
    }
    std::vector<model_section> sections;
    if (!split_project(file, &sections)) {
        find_in_text(file, DATA, &paths);
        return paths;
    }
    find_in_fields(part_of(file, 0, 560),
                   {{model_field::TEXT, 40, 260, -1, -1}, {model_field::TEXT, 300, 260, -1, -1}},
                   false, &paths);
    for (size_t index = 1; index < sections.size(); ++index) {
        const model_section &section = sections[index];
        if (!section.packed)
            find_in_text(part_of(file, section.begin, section.end), DATA, &paths);
        else if (section.kind == model_section::HANDLE)
            find_in_fields(section.data, handle_fields(), false, &paths);
        else if (section.kind == model_section::TIMELINE)
            find_in_fields(section.data, timeline_fields(section.data), section.gbk, &paths);
        else
            find_in_text(section.data, DATA, &paths);
    }
    return paths;
}
