// The anonymised copy of a text file: line by line, every line end as it
// was, every byte kept but the folders of the values that name files.
#pragma once

#include "../streams/copy_results.h"
#include "../streams/input_block.h"
#include "format.h"

#include <cstdio>

// Writes the copy of the text file open as `in`, just after `start`, to
// `out`, to its end. `all_rewritten` is false when a line too long to be
// read whole was left as it stands though it may name a file.
rewrite_result copy_text_file(const input_start &start, FILE *in, FILE *out, text_format format,
                              bool *all_rewritten);

// The copy of an AviUtl2 file, and of an object file, as each kind's copy
// is made: all of it, and the same with media folders blanked or without
// (`rewinds` is not needed). The report says when a long line that may
// name a file was left as it stands.
rewrite_result copy_aviutl2_file(const input_start &start, FILE *in, FILE *out, bool rewinds,
                                 media_report *report);
rewrite_result copy_object_file(const input_start &start, FILE *in, FILE *out, bool rewinds,
                                media_report *report);
