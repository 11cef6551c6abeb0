// The listing of every absolute path a project file holds, in file order:
// each section is searched as far as its layout can be followed, field by
// field; a packed section the walkers cannot follow as the bytes it unpacks
// to; and where even its ops cannot be read, the rest of the file as raw
// bytes.
#pragma once

#include "path_scan.h"

#include <cstdio>

enum list_result {
    LIST_DONE,
    LIST_NOT_PROJECT, // too short or without the signature: searched as raw bytes
    LIST_READ_FAILED,
};

// Lists the paths of the file open as `in`, from its start, through
// `listing`. The input must be seekable for its sections to be followed;
// otherwise it is searched as raw bytes.
list_result list_paths(FILE *in, path_listing listing);
