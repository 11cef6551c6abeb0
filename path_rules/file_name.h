// What makes a value a path, and what of a path is kept: its file name. The
// rules every kind of file shares, whatever holds the text.
#pragma once

#include "../code_pages/encoding.h"

#include <cstddef>
#include <cstdint>

bool is_separator(unsigned char byte);
bool is_ascii_letter(unsigned char byte);

// Whether a text begins with a path: an ASCII letter, ':' and '\' or '/' (a
// drive), or "\\" (a network share).
bool begins_with_path(const unsigned char *text, size_t length);

// Where the file name of a path of `length` bytes begins: after its last
// separator, found by reading characters from the start (a lead byte takes
// the next byte, whatever it is, as its second); 0 when it has none.
size_t file_name_start(const unsigned char *text, size_t length, text_encoding encoding);

// Script parameters: `key=value;` pairs whose string values are quoted and
// Lua-escaped (`file="D:\\work\\clip.png"`). Every quoted value that, read
// as Lua reads it, begins with a path keeps only its file name, as escaped
// as it stood; every other byte is kept. A value that no quote closes runs to
// the end of the text: with `unclosed_runs_to_end` it is a value like any
// other (a field cut at its size), else it is left as it stands. Writes the
// result to `out`, which has room for `length` bytes (it is never longer),
// and returns its length.
size_t strip_quoted_folders(const unsigned char *text, size_t length, unsigned char *out,
                            text_encoding encoding, bool unclosed_runs_to_end);
