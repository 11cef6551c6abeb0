// Lua reads a quoted value byte by byte: a backslash and what follows it are
// one escape, whatever the byte before it, and a raw quote always ends the
// value. The bytes it stands for are then text in the file's encoding, read
// by characters to find the separators.
#include "file_name.h"

#include "escapes.h"

namespace {

constexpr unsigned char QUOTE = '"';

// Stands for any character that is not ASCII, in the first characters of a
// value.
constexpr unsigned char OTHER = 0x80;

// A quoted value, read from just after its opening quote.
struct quoted_value {
    size_t end;        // the closing quote, or the text's end when there is none
    size_t name_start; // after the last separator, as the value stands escaped
    bool is_path;      // its first characters make a path
};

quoted_value read_quoted(const unsigned char *text, size_t start, size_t length,
                         text_encoding encoding)
{
    quoted_value value{length, start, false};
    unsigned char head[3] = {};
    size_t head_length = 0;
    bool second_byte = false; // the next byte is a character's second
    size_t index = start;
    while (index < length && text[index] != QUOTE) {
        escaped_byte byte = read_escaped_byte(text, index, length, ESCAPES_LUA);
        index += byte.width;
        if (second_byte) {
            second_byte = false;
            continue;
        }
        second_byte = is_lead_byte(byte.value, encoding);
        if (head_length < sizeof head)
            head[head_length++] = second_byte || byte.value >= 0x80 ? OTHER : byte.value;
        if (is_separator(byte.value) && !second_byte)
            value.name_start = index;
    }
    value.end = index;
    value.is_path = begins_with_path(head, head_length);
    return value;
}

} // namespace

bool is_separator(unsigned char byte)
{
    return byte == '\\' || byte == '/';
}

bool is_ascii_letter(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

bool begins_with_path(const unsigned char *text, size_t length)
{
    if (length >= 3 && is_ascii_letter(text[0]) && text[1] == ':' && is_separator(text[2]))
        return true;
    return length >= 2 && text[0] == '\\' && text[1] == '\\';
}

size_t file_name_start(const unsigned char *text, size_t length, text_encoding encoding)
{
    size_t start = 0;
    for (size_t index = 0; index < length; ++index) {
        if (is_separator(text[index]))
            start = index + 1;
        else if (is_lead_byte(text[index], encoding))
            ++index; // its second byte, whatever it is
    }
    return start;
}

size_t strip_quoted_folders(const unsigned char *text, size_t length, unsigned char *out,
                            text_encoding encoding, bool unclosed_runs_to_end)
{
    size_t written = 0;
    for (size_t index = 0; index < length;) {
        // Outside a value a quote byte begins one: it is never the second
        // byte of a character.
        out[written++] = text[index];
        if (text[index++] != QUOTE)
            continue;
        quoted_value value = read_quoted(text, index, length, encoding);
        bool closed = value.end < length;
        bool keep_name = value.is_path && (closed || unclosed_runs_to_end);
        size_t from = keep_name ? value.name_start : index;
        size_t to = closed ? value.end + 1 : length;
        for (size_t at = from; at < to; ++at)
            out[written++] = text[at];
        index = to;
    }
    return written;
}
