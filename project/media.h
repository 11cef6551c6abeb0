// The copy with media folders blanked: everything the anonymised copy does,
// and every path field of the header, the edit handle and the extended
// editing record keeps only its file name, every script parameter its
// quoted paths' file names, and every text field loses the old bytes after
// its terminator. A part the walkers cannot follow is left as the
// anonymised copy has it, and the report says so.
#pragma once

#include "rewrite.h"

#include <cstdio>

struct media_report {
    bool has_signature; // without it, the file gets the anonymised copy alone
    bool all_blanked;   // every part was followed and blanked
};

// Writes the head of the copy, as rewrite_head does: on REWRITE_DONE the
// input is left where the unchanged rest of the file begins. The input is
// first read to its end, to learn what can be followed before anything is
// written, so it must be seekable.
rewrite_result blank_media_head(FILE *in, FILE *out, media_report *report);
