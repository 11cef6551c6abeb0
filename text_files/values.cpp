#include "values.h"

#include "../path_rules/file_name.h"

#include <cstring>

namespace {

// テキスト and スクリプト in UTF-8, as AviUtl2 names them; `text` in object
// files.
constexpr char TEXT_KEY[] = "\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88";
constexpr char SCRIPT_KEY[] = "\xE3\x82\xB9\xE3\x82\xAF\xE3\x83\xAA\xE3\x83\x97\xE3\x83\x88";
constexpr char OBJECT_FILE_TEXT_KEY[] = "text";

} // namespace

bool is_text_setting(const setting &line, text_format format)
{
    if (format == TEXT_OBJECT_FILE)
        return is_word(line.key, line.key_length, OBJECT_FILE_TEXT_KEY);
    return is_word(line.key, line.key_length, TEXT_KEY) ||
           is_word(line.key, line.key_length, SCRIPT_KEY);
}

bool is_script_parameters(const setting &line, text_format format)
{
    return format == TEXT_OBJECT_FILE && is_word(line.key, line.key_length, "param");
}

bool folder_span(const unsigned char *value, size_t length, text_format format,
                 text_encoding encoding, size_t *from, size_t *to)
{
    size_t start = length > 0 && value[0] == '*' ? 1 : 0;
    const unsigned char *path = value + start;
    size_t path_length = length - start;
    if (!begins_with_path(path, path_length))
        return false;
    if (format == TEXT_AVIUTL2) {
        const void *bar = memchr(path, '|', path_length);
        if (bar != nullptr)
            path_length = static_cast<size_t>(static_cast<const unsigned char *>(bar) - path);
    }
    *from = start;
    *to = start + file_name_start(path, path_length, encoding);
    return true;
}

size_t strip_parameter_folders(const unsigned char *value, size_t length, text_encoding encoding,
                               unsigned char *out)
{
    return strip_quoted_folders(value, length, out, encoding, false);
}
