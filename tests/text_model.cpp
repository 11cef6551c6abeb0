#include "text_model.h"

#include <algorithm>
#include <string>

namespace {

// The rules' numbers: a line whose text is longer than this is copied as
// it stands; an object file's encoding is told from this many first bytes.
constexpr size_t LONGEST_RULED_LINE = 128 * 1024;
constexpr size_t TOLD_FROM = 256 * 1024;

const bytes CHINESE_VIDEO_FILE = {0xCA, 0xD3, 0xC6, 0xB5, 0xCE, 0xC4, 0xBC, 0xFE};

enum encoding { UTF8, CP932, GBK };

struct line {
    bytes text;
    bytes end; // LF, CR LF, CR, or none
};

// The lines of a text: each ends with LF, CR LF, or a CR no LF follows.
std::vector<line> lines_of(const bytes &text)
{
    std::vector<line> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = at;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        size_t end_length = 0;
        if (end < text.size())
            end_length =
                text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
        lines.push_back(
            {bytes(text.begin() + static_cast<long>(at), text.begin() + static_cast<long>(end)),
             bytes(text.begin() + static_cast<long>(end),
                   text.begin() + static_cast<long>(end + end_length))});
        at = end + end_length;
    }
    return lines;
}

bool is_lead(unsigned char byte, encoding in)
{
    if (in == GBK)
        return byte >= 0x81 && byte <= 0xFE;
    return in == CP932 && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

bool is_separator(int byte)
{
    return byte == '\\' || byte == '/';
}

bool is_letter(int byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

// A drive ("C:\", "C:/") or a network share ("\\") at the start of `text`.
bool begins_with_path(const std::vector<int> &text)
{
    if (text.size() >= 3 && is_letter(text[0]) && text[1] == ':' && is_separator(text[2]))
        return true;
    return text.size() >= 2 && text[0] == '\\' && text[1] == '\\';
}

std::vector<int> head_of(const bytes &text)
{
    return std::vector<int>(text.begin(),
                            text.begin() + static_cast<long>(std::min<size_t>(3, text.size())));
}

// Where the file name of a path begins: after its last separator, reading
// characters from its start.
size_t name_start(const bytes &path, encoding in)
{
    size_t start = 0;
    for (size_t at = 0; at < path.size(); ++at) {
        if (is_separator(path[at]))
            start = at + 1;
        else if (is_lead(path[at], in))
            ++at;
    }
    return start;
}

bool is_text_key(const bytes &key, bool aviutl2)
{
    const std::string word(key.begin(), key.end());
    return aviutl2 ? word == "テキスト" || word == "スクリプト" : word == "text";
}

bool is_digit(int c)
{
    return c >= '0' && c <= '9';
}

int hex_value(int c)
{
    if (is_digit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// One byte of a quoted Lua string at `at`, and how many bytes it takes;
// -1 for a decimal escape past 255, which is no byte.
std::pair<int, size_t> lua_byte(const bytes &text, size_t at)
{
    if (text[at] != '\\' || at + 1 == text.size())
        return {text[at], 1};
    if (is_digit(text[at + 1])) {
        size_t end = at + 1;
        int value = 0;
        while (end < text.size() && end < at + 4 && is_digit(text[end]))
            value = value * 10 + (text[end++] - '0');
        return {value <= 255 ? value : -1, end - at};
    }
    if (text[at + 1] == 'x' && at + 3 < text.size() && hex_value(text[at + 2]) >= 0 &&
        hex_value(text[at + 3]) >= 0)
        return {hex_value(text[at + 2]) * 16 + hex_value(text[at + 3]), 4};
    return {text[at + 1], 2};
}

// Script parameters with every closed quoted value that, read as Lua reads
// it, begins with a path cut to what follows its last separator.
bytes strip_parameters(const bytes &value, encoding in)
{
    bytes out;
    size_t at = 0;
    while (at < value.size()) {
        out.push_back(value[at]);
        if (value[at++] != '"')
            continue;
        std::vector<int> characters; // OTHER (256) for one that is not ASCII
        size_t name = at;
        bool second = false;
        size_t end = at;
        while (end < value.size() && value[end] != '"') {
            auto [byte, width] = lua_byte(value, end);
            end += width;
            if (second) {
                second = false;
                continue;
            }
            second = byte >= 0 && is_lead(static_cast<unsigned char>(byte), in);
            characters.push_back(second || byte < 0 || byte >= 0x80 ? 256 : byte);
            if (is_separator(byte) && !second)
                name = end;
        }
        bool closed = end < value.size();
        characters.resize(std::min<size_t>(3, characters.size()));
        size_t from = closed && begins_with_path(characters) ? name : at;
        size_t to = closed ? end + 1 : value.size();
        out.insert(out.end(), value.begin() + static_cast<long>(from),
                   value.begin() + static_cast<long>(to));
        at = to;
    }
    return out;
}

// A value's path: after a '*', up to a '|' in AviUtl2 files.
bytes path_of(const bytes &value, bool aviutl2, size_t *star)
{
    *star = !value.empty() && value[0] == '*' ? 1 : 0;
    auto end = aviutl2 ? std::find(value.begin() + static_cast<long>(*star), value.end(), '|')
                       : value.end();
    return bytes(value.begin() + static_cast<long>(*star), end);
}

// The text of a line of at most LONGEST_RULED_LINE bytes, copied.
bytes copy_line(const bytes &text, bool aviutl2, encoding in)
{
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        return text;
    auto equals = std::find(text.begin(), text.end(), '=');
    if (equals == text.end())
        return text;
    bytes key(text.begin(), equals);
    bytes value(equals + 1, text.end());
    if (is_text_key(key, aviutl2))
        return text;
    bytes copy(text.begin(), equals + 1);
    if (!aviutl2 && std::string(key.begin(), key.end()) == "param") {
        bytes stripped = strip_parameters(value, in);
        copy.insert(copy.end(), stripped.begin(), stripped.end());
        return copy;
    }
    size_t star = 0;
    bytes path = path_of(value, aviutl2, &star);
    size_t dropped = begins_with_path(head_of(path)) ? name_start(path, in) : 0;
    copy.insert(copy.end(), value.begin(), value.begin() + static_cast<long>(star));
    copy.insert(copy.end(), value.begin() + static_cast<long>(star + dropped), value.end());
    return copy;
}

// Whether a longer line, left as it stands, may have named a file: it holds
// a ':' or a '\', and by its first LONGEST_RULED_LINE bytes its key is not
// known, or it is script parameters, or its value begins with a path.
bool may_name_a_file(const bytes &text, bool aviutl2)
{
    if (std::none_of(text.begin(), text.end(), [](int c) { return c == ':' || c == '\\'; }))
        return false;
    bytes first(text.begin(), text.begin() + static_cast<long>(LONGEST_RULED_LINE));
    auto equals = std::find(first.begin(), first.end(), '=');
    if (equals == first.end())
        return true;
    bytes key(first.begin(), equals);
    if (is_text_key(key, aviutl2))
        return false;
    if (!aviutl2 && std::string(key.begin(), key.end()) == "param")
        return true;
    size_t star = 0;
    return begins_with_path(head_of(path_of(bytes(equals + 1, first.end()), aviutl2, &star)));
}

} // namespace

bool model_reads_gbk(const bytes &file)
{
    bytes told(file.begin(), file.begin() + static_cast<long>(std::min(file.size(), TOLD_FROM)));
    std::vector<line> lines = lines_of(told);
    bytes name = {'_', 'n', 'a', 'm', 'e', '='};
    name.insert(name.end(), CHINESE_VIDEO_FILE.begin(), CHINESE_VIDEO_FILE.end());
    for (size_t index = 0; index < lines.size(); ++index) {
        bool whole = !lines[index].end.empty() || file.size() < TOLD_FROM;
        if (whole && lines[index].text == name)
            return true;
    }
    return false;
}

model_text_copy model_copy_text(const bytes &file, bool aviutl2)
{
    encoding in = aviutl2 ? UTF8 : model_reads_gbk(file) ? GBK : CP932;
    model_text_copy result{{}, true};
    for (const line &each : lines_of(file)) {
        bytes text = each.text;
        if (text.size() <= LONGEST_RULED_LINE)
            text = copy_line(text, aviutl2, in);
        else if (may_name_a_file(text, aviutl2))
            result.all_rewritten = false;
        result.copy.insert(result.copy.end(), text.begin(), text.end());
        result.copy.insert(result.copy.end(), each.end.begin(), each.end.end());
    }
    return result;
}
