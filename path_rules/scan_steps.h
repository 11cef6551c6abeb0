// The steps of the scan for paths, shared by the files that make it: the
// search within a piece of text (path_scan.cpp), the path found and put
// into words (found_paths.cpp), and the texts and fields read each way
// (path_readings.cpp). Not for use outside them.
#pragma once

#include "path_scan.h"

#include <cstddef>
#include <cstdint>

namespace path_search {

using position = int64_t;

// How many bytes from a ':' or '\' on a shape may need.
constexpr position LOOKAHEAD = 6;
// How many bytes at each end of a run can take part in a shape.
constexpr position RUN_EDGE = 8;

constexpr int NONE = -1;     // before the text's start, or past what is known
constexpr int OTHER = 0x100; // a character that is not ASCII

// Bytes of the text from `start` to `end`: literal, or copies of `value`.
struct segment {
    const unsigned char *bytes; // null for a run
    unsigned char value;
    position start;
    position end;
    bool text_ends; // nothing follows it in this text
};

// Where a path may begin, as one of the shapes, and how many of its bytes
// the shape has shown not to end it.
struct path_shape {
    position start;
    bool wide;
    position length;
};

// The byte at `at` of the text: in the segment, among the recent bytes
// before it, or NONE.
int byte_at(const path_scanner &scanner, const segment &part, position at);

bool is_lead(const path_scanner &scanner, int byte);

// What ends a path: a 0, a control character or a double quote.
bool ends_path(int code);

// Scans a segment of the text that goes on from where the last one ended.
void scan_segment(path_scanner *scanner, const segment &part);

// Begins the path that `shape` found.
void begin_path(path_scanner *scanner, const segment &part, const path_shape &shape);

// Follows the path under way from `at` up to `limit`; where it stopped: at
// `limit`, or where the byte or unit that ends it begins.
position extend_path(path_scanner *scanner, const segment &part, position at, position limit);

// Reports the path under way, which ends where the text's byte `end` (or
// its end) is.
void report_path(path_scanner *scanner, position end);

// Adds bytes as the file holds them to the path under way in an escaped
// text.
void add_to_raw_path(path_scanner *scanner, const unsigned char *bytes, size_t length);

} // namespace path_search
