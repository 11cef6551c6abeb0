// One file's run, over the two path buffers: its copy from input_path to
// output_path, its rewrite in place, or its listing.
#pragma once

#include "arguments.h"
#include "outcomes.h"

// What an in-place run appends to the given path for its backup.
constexpr char BACKUP_SUFFIX[] = ".old";

// In place, the given path (in input_path) becomes the output and its
// backup the input's name; both are known before any file is opened.
outcome name_backup();

// Opens the input, moves it to its backup when the run is in place (only
// once it is open and its first bytes read: a file that cannot be read is
// never moved), and writes the copy, with the media folders blanked when
// the options ask.
outcome rewrite_files(bool in_place, const run_options &options);

// Prints every path the file at input_path holds, one line each, and
// writes nothing; each line begins with `prefix` and a tab when it is not
// null.
outcome list_file(const path_char *prefix);
