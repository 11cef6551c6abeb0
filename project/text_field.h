// The fixed-size text fields of a project file, and what blanking the media
// folders does to each: a path keeps only its file name, a script's
// parameters lose the folders of their quoted paths, and in every field the
// bytes after its terminator, where older text survives, become zeros.
#pragma once

#include <cstddef>

// The longest text field the files hold (a text object's text, a script's
// source).
constexpr size_t LONGEST_TEXT_FIELD = 2048;

enum field_rule {
    FIELD_TEXT,              // CP932 text: only the old bytes go
    FIELD_WIDE_TEXT,         // UTF-16LE text: only the old bytes go
    FIELD_PATH,              // CP932: a path keeps its file name (and a leading '*')
    FIELD_SCRIPT_PARAMETERS, // CP932 `key=value;` pairs: quoted paths keep their file names
};

// Applies `rule` to a field of `size` bytes (at most LONGEST_TEXT_FIELD).
void apply_field_rule(unsigned char *field, size_t size, field_rule rule);

// The length of a field's text: the bytes before its terminator, a 0 byte,
// or for UTF-16LE (`wide`) a 0 unit; the whole field when it has none.
size_t text_length(const unsigned char *field, size_t size, bool wide);

// Whether a CP932 byte begins a two-byte character, whose second byte may be
// 0x5C, the backslash.
bool is_lead_byte(unsigned char byte);
