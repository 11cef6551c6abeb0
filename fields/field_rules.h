// The fixed-size text fields of a project file, and what blanking the media
// folders does to each: a path keeps only its file name, a script's
// parameters lose the folders of their quoted paths, and in every field the
// bytes after its terminator, where older text survives, become zeros.
#pragma once

#include "../code_pages/encoding.h"

#include <cstddef>

// The longest text field the files hold (a text object's text, a script's
// source).
constexpr size_t LONGEST_TEXT_FIELD = 2048;

enum field_rule {
    FIELD_TEXT,              // 8-bit text: only the old bytes go
    FIELD_WIDE_TEXT,         // UTF-16LE text: only the old bytes go
    FIELD_PATH,              // a path keeps its file name (and a leading '*')
    FIELD_SCRIPT_PARAMETERS, // `key=value;` pairs: quoted paths keep their file names
};

// Applies `rule` to a field of `size` bytes (at most LONGEST_TEXT_FIELD)
// whose 8-bit text is in `encoding`; whether any byte changed.
bool apply_field_rule(unsigned char *field, size_t size, field_rule rule, text_encoding encoding);
