// The sections of a project file, front to back: the header, the edit
// handle, the frame arrays, the raw blobs the handle counts, the footer and
// the plugin records. A survey walks them all without writing, and finds a
// plan: where each part that holds text lies, whether the walkers can
// follow it, and whether the copy changes it. The write walks them again,
// writing what the plan decides, and finds its own plan, which must be the
// survey's: a file that changed in between is not copied.
#pragma once

#include "../fields/section_walk.h"
#include "../streams/input_block.h"
#include "edit_handle.h"
#include "plain_copy.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The raw fields and sections around the packed ones.
constexpr long EDIT_NAME_AT = 40; // the edit file name, in the header
constexpr size_t EDIT_NAME_SIZE = 260;
constexpr long HANDLE_SIZE_AT = 32;
constexpr int WIDE_FRAME_ARRAYS = 4; // of four bytes a frame
constexpr uint64_t WIDE_FRAME_SIZE = 4;
constexpr int NARROW_FRAME_ARRAYS = 6; // of one byte a frame

// What begins each plugin record, and the longest name one may give its
// plugin: names are words, and a longer one is no record the walkers know.
constexpr char PLUGIN_RECORD_MARK[] = "FilterProject 0.1"; // and its 0: 18 bytes
constexpr uint64_t LONGEST_PLUGIN_NAME = 4096;

// The first bytes of a plugin record: its mark and the length of its name.
constexpr size_t RECORD_HEAD_SIZE = sizeof PLUGIN_RECORD_MARK + 4;

// A plugin record's header as read, from its mark to its data's size, for a
// listing of its bytes too.
struct record_header {
    unsigned char head[RECORD_HEAD_SIZE];
    size_t head_length;
    unsigned char name[LONGEST_PLUGIN_NAME + 1]; // and a 0 after it
    size_t name_length;
    unsigned char size_bytes[4];
    size_t size_length;
    uint64_t size;
    bool is_timeline;
    text_encoding encoding; // of the timeline's text
};

enum record_read {
    RECORD_READ,
    RECORD_NONE,       // the file has ended: no record follows
    RECORD_NOT_RECORD, // the bytes are no record header the walkers know
    RECORD_CUT,        // the file ends, or fails, inside the header
};

record_read read_record_header(input_stream *in, record_header *header);

// Reads a raw little-endian count; false at the end of the input.
bool read_raw_i32(input_stream *in, int32_t *value, unsigned char bytes[4]);

// Where a part lies in the file, and what a walk of it found.
struct part_plan {
    uint64_t at;   // its packed data
    uint64_t size; // unpacked
    bool followable;
    bool changed;
};

// At most this many timeline records are kept track of; a file with more
// is not followed past them.
constexpr int MOST_TIMELINE_RECORDS = 4;

struct project_plan {
    unsigned char header[HEADER_LENGTH]; // as read
    bool has_signature;
    bool header_followable;
    part_plan handle;
    handle_counts counts;
    int timeline_count;
    part_plan timelines[MOST_TIMELINE_RECORDS];
    bool sections_followed; // every section up to the end of the file was found
};

// Surveys the file from its start. WALK_DONE also when parts cannot be
// followed (the plan says which); WALK_UNFOLLOWABLE only for a file shorter
// than its header.
walk_result survey_project(input_stream *in, project_plan *plan);

// Writes the copy with media folders blanked, from the file's start, and
// finds `found`. After a survey its `plan` decides how each part is written,
// and WALK_READ_FAILED tells a file that is not what the survey found.
// Without one (null) the output must be a file the copy can go back in: each
// part goes out as it stands while it is walked, and is written again from
// its start, packed, once the walk finds it changes (or as it stands once
// more, if it then turns out not to be followable). A file without the
// signature, or shorter than its header, gets nothing written. Where the
// walk stopped following the file, the input's stream is left where the
// plain copy of the rest begins.
walk_result write_project(input_stream *in, const project_plan *plan, FILE *out,
                          project_plan *found);

// Whether two walks found the same.
bool same_plan(const project_plan &a, const project_plan &b);

// The header's edit file name with its folders removed, when the header is
// followable.
void edit_header(const project_plan &plan, unsigned char header[HEADER_LENGTH]);
