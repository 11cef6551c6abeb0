// What the anonymised copy of a text file changes in a setting's value: a
// value that begins with a path keeps only its file name, and quoted values
// of script parameters that do keep only theirs.
#pragma once

#include "format.h"
#include "lines.h"

#include <cstddef>

// The text settings (a text object's text, a script's source): their
// values are text, left as they stand. In AviUtl2 files `テキスト` and
// `スクリプト`, escaped (`\\` for a backslash, `\n` for a line break); in
// object files `text`, hex of UTF-16LE text. A key of one kind of file is
// an ordinary one in the other.
bool is_text_setting(const setting &line, text_format format);

// Whether a setting holds script parameters in Lua syntax: an object
// file's `param=`.
bool is_script_parameters(const setting &line, text_format format);

// The folders a value begins with, to be dropped: bytes [*from, *to) of
// it. A value begins with a path, or with `*` and a path; its file name
// is what follows its last separator, found by reading characters, and in
// AviUtl2 files the part from its first `|` on is no part of the path.
// False when it begins with none.
bool folder_span(const unsigned char *value, size_t length, text_format format,
                 text_encoding encoding, size_t *from, size_t *to);

// The value of script parameters with only the file name kept of every
// quoted value that begins with a path, into `out` (room for `length`);
// its length, `length` when nothing changes. An unclosed quote is left as
// it stands.
size_t strip_parameter_folders(const unsigned char *value, size_t length, text_encoding encoding,
                               unsigned char *out);
