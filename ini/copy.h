// The anonymised copy of a text file: line by line, every line end as it
// was, every byte kept but the folders of the values that name files.
#pragma once

#include "../project/input.h"
#include "format.h"

#include <cstdio>

enum text_copy_result {
    TEXT_COPIED,
    TEXT_READ_FAILED,
    TEXT_WRITE_FAILED,
};

// Writes the copy of the text file open as `in`, just after `start`, to
// `out`, to its end. `all_rewritten` is false when a line too long to be
// read whole was left as it stands though it may name a file.
text_copy_result copy_text_file(const input_start &start, FILE *in, FILE *out, text_format format,
                                bool *all_rewritten);
