// The listing of every absolute path a project file holds, in file order:
// each section is searched as far as its layout can be followed, field by
// field, and the rest of it as the bytes it unpacks to; where even its ops
// cannot be read, the rest of the file as raw bytes.
#pragma once

#include "../path_rules/path_scan.h"
#include "input.h"
#include "walk.h"

#include <cstdio>

enum list_result {
    LIST_DONE,
    LIST_NOT_PROJECT, // too short or without the signature: searched as raw bytes
    LIST_READ_FAILED,
};

// Lists the paths of the file open as `in`, just after `start`, through
// `listing`. It is read once, front to back: a pipe is listed as a file is.
list_result list_paths(const input_start &start, FILE *in, path_listing listing);

// What the listings of other files share: how far a part of a file took
// the listing.
enum section_end {
    SECTION_DONE,        // the next section follows
    SECTION_FILE_ENDED,  // the rest of the file has been searched, or there is none
    SECTION_READ_FAILED, // the input reported an error other than its end
};

// Searches the rest of the input as raw bytes, as data.
section_end scan_raw_to_end(input_stream *in, path_scanner *scanner);

// Ends the listing of a section once its walker has returned `walked`:
// what it could not follow is listed as plain bytes, and where its ops
// cannot be read, the rest of the file as raw bytes.
section_end finish_section(input_stream *in, path_scanner *scanner, section_walk *walk,
                           walk_result walked);

// Lists a packed or raw section of `size` bytes read by `reader`: field by
// field as far as `walker` (null for none) can follow it, then as plain
// bytes; where its ops cannot be read, the rest of the file as raw bytes.
section_end list_section(input_stream *in, path_scanner *scanner, packed_reader reader,
                         text_encoding encoding,
                         walk_result (*walker)(section_walk *walk, uint64_t size));
