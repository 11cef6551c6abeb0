// Text fields read as CP932 characters from their start: a separator is
// found only where a character begins, never in the second byte of one.
#include "text_field.h"

#include <cstring>

namespace {

bool is_separator(unsigned char byte)
{
    return byte == '\\' || byte == '/';
}

bool is_ascii_letter(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

// The length of the character at `index` of a text of `length` bytes: two
// for a lead byte whose second byte is there, else one.
size_t character_width(const unsigned char *text, size_t index, size_t length)
{
    return is_lead_byte(text[index]) && index + 1 < length ? 2 : 1;
}

// Zeros everything after a text of `length` bytes.
void clear_after(unsigned char *field, size_t size, size_t length)
{
    if (length < size)
        memset(field + length, 0, size - length);
}

// Where the file name of a CP932 path of `length` bytes begins: after its
// last separator, or 0 when it has none.
size_t file_name_start(const unsigned char *text, size_t length)
{
    size_t start = 0;
    for (size_t index = 0; index < length; index += character_width(text, index, length)) {
        if (is_separator(text[index]))
            start = index + 1;
    }
    return start;
}

void keep_file_name(unsigned char *field, size_t size)
{
    size_t length = text_length(field, size, false);
    size_t start = file_name_start(field, length);
    if (start > 0) {
        size_t kept = field[0] == '*' ? 1 : 0;
        memmove(field + kept, field + start, length - start);
        length = kept + length - start;
    }
    clear_after(field, size, length);
}

// A double-quoted value in script parameters, Lua-escaped.
struct quoted_value {
    size_t end;        // the closing quote, or the text's end when there is none
    size_t name_start; // after the last separator, as the value stands escaped
    bool is_path;      // it begins with a drive ("C:\") or a network share ("\\")
};

// Reads the quoted value that begins at `start`, just after its opening
// quote. Only its first three characters, with the escapes undone, decide
// whether it is a path.
quoted_value read_quoted(const unsigned char *text, size_t start, size_t length)
{
    quoted_value value{length, start, false};
    unsigned char head[3] = {};
    size_t head_length = 0;
    size_t index = start;
    while (index < length && text[index] != '"') {
        size_t width = character_width(text, index, length);
        unsigned char character = width == 1 ? text[index] : 0x80;
        if (text[index] == '\\' && index + 1 < length) {
            character = text[index + 1] == '\\' ? '\\' : 0x80; // another escape
            width = 1 + character_width(text, index + 1, length);
        }
        if (head_length < sizeof head)
            head[head_length++] = character;
        index += width;
        if (is_separator(character))
            value.name_start = index;
    }
    value.end = index;
    value.is_path = (is_ascii_letter(head[0]) && head[1] == ':' && is_separator(head[2])) ||
                    (head[0] == '\\' && head[1] == '\\');
    return value;
}

void strip_script_folders(unsigned char *field, size_t size)
{
    size_t length = text_length(field, size, false);
    unsigned char result[LONGEST_TEXT_FIELD];
    size_t out = 0;
    for (size_t index = 0; index < length;) {
        if (field[index] != '"') {
            size_t width = character_width(field, index, length);
            memcpy(result + out, field + index, width);
            out += width;
            index += width;
            continue;
        }
        result[out++] = '"';
        quoted_value value = read_quoted(field, index + 1, length);
        // An unclosed value is left as it stands.
        size_t from = value.is_path && value.end < length ? value.name_start : index + 1;
        size_t to = value.end < length ? value.end + 1 : length;
        memcpy(result + out, field + from, to - from);
        out += to - from;
        index = to;
    }
    memcpy(field, result, out);
    clear_after(field, size, out);
}

} // namespace

size_t text_length(const unsigned char *field, size_t size, bool wide)
{
    if (!wide) {
        const void *terminator = memchr(field, 0, size);
        return terminator == nullptr
                   ? size
                   : static_cast<size_t>(static_cast<const unsigned char *>(terminator) - field);
    }
    size_t index = 0;
    while (index + 1 < size && (field[index] != 0 || field[index + 1] != 0))
        index += 2;
    return index + 1 < size ? index : size;
}

bool is_lead_byte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

void apply_field_rule(unsigned char *field, size_t size, field_rule rule)
{
    switch (rule) {
    case FIELD_TEXT:
        clear_after(field, size, text_length(field, size, false));
        return;
    case FIELD_WIDE_TEXT:
        clear_after(field, size, text_length(field, size, true));
        return;
    case FIELD_PATH:
        keep_file_name(field, size);
        return;
    case FIELD_SCRIPT_PARAMETERS:
        strip_script_folders(field, size);
        return;
    }
}
