// A second reading of the project file layout, written from its description
// over plain byte arrays and independent of the rewriter: what the copy of a
// given input must be. The tests and the fuzz target check copies with it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

using bytes = std::vector<unsigned char>;

// A project file's first 300 bytes: the signature, then filler.
bytes signed_header();

// The byte rule: header, 260 zeros, the fixed record, and the input from the
// end of the record it replaces.
bytes byte_rule_copy(const bytes &input);

// The start of a packed stream, unpacked op by op until at least `wanted`
// bytes are out. `end` is where the last op read ends in `file`; `complete`
// is false when the file ends first.
struct unpacked {
    bytes data;
    size_t end;
    bool complete;
    int ops;
    unsigned char first_header;
    unsigned char last_header;
};
unpacked unpack(const bytes &file, size_t offset, size_t wanted);

// Whether the byte rule makes the copy of `input`: no signature, shorter than
// 561 bytes, cut before the name ops end, or in the short shape.
bool takes_byte_rule(const bytes &input);

// Checks that `copy` is `original` with its name blanked: the packed stream
// of the copy unpacks to 260 zeros and then what the original's unpacks to,
// and every byte after the ops that hold the name is the original's. Returns
// an empty string when it is, or what differs.
std::string check_blanked(const bytes &original, const bytes &copy);

// Checks `copy` against whichever rule `input` takes; empty when it is right.
std::string check_copy(const bytes &input, const bytes &copy);
