// Listing a part of a file: its fields as far as a walker follows it, then
// the rest of it as the bytes it unpacks to; where even its ops cannot be
// read, the rest of the file as raw bytes. What the listings of every
// binary kind of file share.
#pragma once

#include "../path_rules/path_scan.h"
#include "../streams/input_block.h"
#include "section_walk.h"

#include <cstdint>

// How far a part of a file took the listing.
enum section_end {
    SECTION_DONE,        // the next part follows
    SECTION_FILE_ENDED,  // the rest of the file has been searched, or there is none
    SECTION_READ_FAILED, // the input reported an error other than its end
};

// Searches up to `length` raw bytes from where the input stands, as data.
// SECTION_DONE when all were there.
section_end scan_raw(input_stream *in, path_scanner *scanner, uint64_t length);

// Searches the rest of the input as raw bytes, as data.
section_end scan_raw_to_end(input_stream *in, path_scanner *scanner);

// How the file went on after a part, from where its reader stopped.
section_end file_ended(const input_stream &in);

// Ends the listing of a part once its walker has returned `walked`: what it
// could not follow is listed as plain bytes, and where its ops cannot be
// read, the rest of the file as raw bytes.
section_end finish_section(input_stream *in, path_scanner *scanner, section_walk *walk,
                           walk_result walked);

// Lists a packed or raw part of `size` bytes read by `reader`: field by
// field as far as `walker` (null for none) can follow it, then as plain
// bytes; where its ops cannot be read, the rest of the file as raw bytes.
section_end list_section(input_stream *in, path_scanner *scanner, packed_reader reader,
                         text_encoding encoding,
                         walk_result (*walker)(section_walk *walk, uint64_t size));
