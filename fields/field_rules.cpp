// A field's text ends at its terminator; a field without one is text to its
// last byte. Separators are found by the shared path rules, which read the
// text by characters.
#include "field_rules.h"

#include "../path_rules/file_name.h"

#include <cstring>

namespace {

constexpr unsigned char ZEROS[LONGEST_TEXT_FIELD] = {};

// Zeros everything after a text of `length` bytes; whether a byte there was
// not zero already.
bool clear_after(unsigned char *field, size_t size, size_t length)
{
    if (length >= size || memcmp(field + length, ZEROS, size - length) == 0)
        return false;
    memset(field + length, 0, size - length);
    return true;
}

bool keep_file_name(unsigned char *field, size_t size, text_encoding encoding)
{
    size_t length = text_length(field, size, false);
    size_t start = file_name_start(field, length, encoding);
    if (start > 0) {
        size_t kept = field[0] == '*' ? 1 : 0;
        memmove(field + kept, field + start, length - start);
        length = kept + length - start;
    }
    return clear_after(field, size, length) || start > 0;
}

bool strip_script_folders(unsigned char *field, size_t size, text_encoding encoding)
{
    size_t length = text_length(field, size, false);
    unsigned char result[LONGEST_TEXT_FIELD];
    // A field cut at its size without a terminator ends its last value too.
    size_t kept = strip_quoted_folders(field, length, result, encoding, true);
    memcpy(field, result, kept);
    return clear_after(field, size, kept) || kept < length;
}

} // namespace

bool apply_field_rule(unsigned char *field, size_t size, field_rule rule, text_encoding encoding)
{
    switch (rule) {
    case FIELD_TEXT:
        return clear_after(field, size, text_length(field, size, false));
    case FIELD_WIDE_TEXT:
        return clear_after(field, size, text_length(field, size, true));
    case FIELD_PATH:
        return keep_file_name(field, size, encoding);
    case FIELD_SCRIPT_PARAMETERS:
        return strip_script_folders(field, size, encoding);
    }
    return false;
}
