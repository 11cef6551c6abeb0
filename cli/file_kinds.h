// The kinds of file Kestravin takes, in one table: how each is told from
// its first bytes, and what makes its copy, its copy with the media folders
// blanked, and its listing. Which kind a file is gets decided here alone; a
// new kind is a new row.
#pragma once

#include "../path_rules/path_scan.h"
#include "../streams/copy_results.h"
#include "../streams/input_block.h"

#include <cstdint>
#include <cstdio>

// Writes the head of the copy of the file open as `in`, just after
// `start`: all of it that changes, leaving the input where the unchanged
// rest begins, which the run then copies as it stands. `rewinds`: the
// output is a file the copy may go back in, which then ends where its
// stream stands. The report says whether the file was what its kind
// expects, and whether every part that may name a file was rewritten.
using copier = rewrite_result (*)(const input_start &start, FILE *in, FILE *out, bool rewinds,
                                  media_report *report);

// Lists every path the file open as `in`, just after `start`, holds.
using lister = list_result (*)(const input_start &start, FILE *in, path_listing listing);

struct file_kind {
    const char *name;
    // Whether a file that begins with `start` and is `size` bytes long (-1
    // when that cannot be known) is of this kind.
    bool (*takes)(const input_start &start, int64_t size);
    copier copy;
    copier blank_media; // the copy with -m
    lister list;
};

// Reads the input's first bytes into `start`, as many as the decision needs
// (fewer when the file is shorter); false when the input fails.
bool read_start(FILE *in, input_start *start);

// The kind of a file that begins with `start` and is `size` bytes long:
// the first in the table that takes it. A file no other kind takes is
// given the project file's copy.
const file_kind &kind_of(const input_start &start, int64_t size);
