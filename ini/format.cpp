#include "format.h"

#include "lines.h"

#include <cstring>

namespace {

struct section_name {
    const char *name;
    bool numbered;         // may be followed by `.N`
    bool must_be_numbered; // is only with `.N`
    text_format format;
};

constexpr section_name FIRST_SECTIONS[] = {
    {"project", false, false, TEXT_AVIUTL2}, {"Object", true, false, TEXT_AVIUTL2},
    {"Effect", true, true, TEXT_AVIUTL2},    {"exedit", true, false, TEXT_OBJECT_FILE},
    {"vo", true, false, TEXT_OBJECT_FILE},   {"ao", true, false, TEXT_OBJECT_FILE},
    {"v", true, false, TEXT_OBJECT_FILE},    {"a", true, false, TEXT_OBJECT_FILE},
};

// The format a first section's name, between its brackets, tells.
text_format format_of_name(const unsigned char *name, size_t length)
{
    if (is_digits(name, length))
        return TEXT_AVIUTL2; // an alias's object
    for (const section_name &known : FIRST_SECTIONS) {
        size_t known_length = strlen(known.name);
        if (length < known_length || memcmp(name, known.name, known_length) != 0)
            continue;
        if (length == known_length && !known.must_be_numbered)
            return known.format;
        bool numbered = length > known_length + 1 && name[known_length] == '.' &&
                        is_digits(name + known_length + 1, length - known_length - 1);
        if (known.numbered && numbered)
            return known.format;
    }
    return TEXT_NONE;
}

} // namespace

text_format text_format_of(const unsigned char *bytes, size_t length, bool whole)
{
    size_t at = 0;
    if (length >= sizeof BYTE_ORDER_MARK &&
        memcmp(bytes, BYTE_ORDER_MARK, sizeof BYTE_ORDER_MARK) == 0)
        at = sizeof BYTE_ORDER_MARK;
    if (at == length || bytes[at] != '[')
        return TEXT_NONE;
    const unsigned char *name = bytes + at + 1;
    const void *close = memchr(name, ']', length - at - 1);
    if (close == nullptr)
        return TEXT_NONE;
    size_t name_length = static_cast<size_t>(static_cast<const unsigned char *>(close) - name);
    // The line ends right after the bracket: LF, CR LF, or the file's end.
    size_t after = at + 1 + name_length + 1;
    bool line_ends = (after == length && whole) || (after < length && bytes[after] == '\n') ||
                     (after + 1 < length && bytes[after] == '\r' && bytes[after + 1] == '\n') ||
                     (after + 1 == length && whole && bytes[after] == '\r');
    return line_ends ? format_of_name(name, name_length) : TEXT_NONE;
}

text_encoding encoding_of(text_format format)
{
    return format == TEXT_OBJECT_FILE ? ENCODING_CP932 : ENCODING_UTF8;
}
