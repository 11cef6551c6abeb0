#include "format.h"

#include <algorithm>
#include <cstring>
#include <iterator>

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

// The names the Chinese build of the timeline plugin gives its effects, in
// GBK, as far as they are known; none of them is a name the Japanese build
// writes in CP932.
constexpr const char *CHINESE_EFFECT_NAMES[] = {
    "\xCA\xD3\xC6\xB5\xCE\xC4\xBC\xFE", // 视频文件, the video file
};

bool is_chinese_effect_name(const unsigned char *name, size_t length)
{
    return std::any_of(std::begin(CHINESE_EFFECT_NAMES), std::end(CHINESE_EFFECT_NAMES),
                       [&](const char *known) { return is_word(name, length, known); });
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
    // The line ends right after the bracket: with LF, CR LF, a CR alone, or
    // the file's end.
    size_t after = at + 1 + name_length + 1;
    bool line_ends = after < length ? bytes[after] == '\n' || bytes[after] == '\r' : whole;
    return line_ends ? format_of_name(name, name_length) : TEXT_NONE;
}

bool begins_aviutl2_file(const input_start &start)
{
    // A start shorter than its room is the whole file.
    bool whole = start.length < INPUT_START_CAPACITY;
    return text_format_of(start.bytes, start.length, whole) == TEXT_AVIUTL2;
}

bool begins_object_file(const input_start &start)
{
    bool whole = start.length < INPUT_START_CAPACITY;
    return text_format_of(start.bytes, start.length, whole) == TEXT_OBJECT_FILE;
}

bool is_word(const unsigned char *text, size_t length, const char *word)
{
    return length == strlen(word) && memcmp(text, word, length) == 0;
}

bool is_digits(const unsigned char *text, size_t length)
{
    return length > 0 && std::all_of(text, text + length,
                                     [](unsigned char byte) { return byte >= '0' && byte <= '9'; });
}

text_encoding encoding_of(text_format format, const unsigned char *bytes, size_t length, bool whole)
{
    if (format != TEXT_OBJECT_FILE)
        return ENCODING_UTF8;
    constexpr char NAME_KEY[] = "_name=";
    constexpr size_t KEY_LENGTH = sizeof NAME_KEY - 1;
    const unsigned char *end = bytes + length;
    for (const unsigned char *line = bytes; line < end;) {
        const unsigned char *line_end = line;
        while (line_end < end && *line_end != '\n' && *line_end != '\r')
            ++line_end;
        if (line_end == end && !whole)
            break; // cut off here: it may go on
        auto line_length = static_cast<size_t>(line_end - line);
        bool names_effect = line_length > KEY_LENGTH && memcmp(line, NAME_KEY, KEY_LENGTH) == 0;
        if (names_effect && is_chinese_effect_name(line + KEY_LENGTH, line_length - KEY_LENGTH))
            return ENCODING_GBK;
        line = line_end + 1;
    }
    return ENCODING_CP932;
}
