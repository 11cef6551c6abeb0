// Which kind of file the input is, decided in this one place from its first
// bytes: each kind has its own copy and its own listing.
#pragma once

#include "../project/input.h"

#include <cstdint>
#include <cstdio>

enum file_kind {
    KIND_PROJECT,     // a project file, or a file of no kind known: the project file's copy
    KIND_BACKUP,      // a backup the timeline plugin saved
    KIND_AVIUTL2,     // an AviUtl2 project or alias, UTF-8 text
    KIND_OBJECT_FILE, // an object file of the timeline plugin, CP932 text
};

// Reads the input's first bytes into `start`, as many as the decision needs
// (fewer when the file is shorter); false when the input fails.
bool read_start(FILE *in, input_start *start);

// The kind of a file that begins with `start` and is `size` bytes long (-1
// when that cannot be known).
file_kind kind_of(const input_start &start, int64_t size);
