// The copy with media folders blanked: everything the anonymised copy does,
// and every path field of the header, the edit handle and the timeline
// records keeps only its file name, every script parameter its quoted
// paths' file names, and every text field loses the old bytes after its
// terminator. A part the walkers cannot follow is left as the anonymised
// copy has it, and the report says so.
#pragma once

#include "../streams/input_block.h"
#include "plain_copy.h"

#include <cstdio>

// Writes the head of the copy of `in`, just after `start`, as rewrite_head
// does: on REWRITE_DONE the input is left where the unchanged rest of the
// file begins (at its end, when every part was followed). The input must be
// seekable: into an output the copy can go back in (`rewinds`), each part
// is written as it stands until it turns out to change, and then again;
// into any other, the file is first read to its end, to learn what can be
// followed, and a file that is not the same the second time is not copied
// (REWRITE_READ_FAILED). A copy that went back may have written past its
// end: the output is to end where its stream stands.
rewrite_result blank_media_head(const input_start &start, FILE *in, FILE *out, bool rewinds,
                                media_report *report);
