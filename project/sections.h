// The sections of a project file, front to back: the header, the edit
// handle, the frame arrays, the raw blobs the handle counts, the footer and
// the plugin records. Surveying a file finds where each lies and whether the
// walkers can follow the parts that hold text: the header, the edit handle
// and the extended editing record.
#pragma once

#include "rewrite.h"
#include "walk.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The raw fields and sections around the packed ones.
constexpr long EDIT_NAME_AT = 40; // the edit file name, in the header
constexpr size_t EDIT_NAME_SIZE = 260;
constexpr int WIDE_FRAME_ARRAYS = 4; // of four bytes a frame
constexpr uint64_t WIDE_FRAME_SIZE = 4;
constexpr int NARROW_FRAME_ARRAYS = 6; // of one byte a frame

// What begins each plugin record, and the longest name one may give its
// plugin: names are words, and a longer one is no record the walkers know.
constexpr char PLUGIN_RECORD_MARK[] = "FilterProject 0.1"; // and its 0: 18 bytes
constexpr uint64_t LONGEST_PLUGIN_NAME = 4096;

// Where a timeline record's packed data lies in the file, and what a walk
// of it found.
struct timeline_record {
    long data_at;
    uint64_t size; // unpacked
    bool followable;
    bool changed;
};

// At most this many timeline records are kept track of; a file with more
// is not followed past them.
constexpr int MOST_TIMELINE_RECORDS = 4;

struct project_survey {
    unsigned char header[HEADER_LENGTH]; // its edit file name already edited
    bool has_signature;
    bool header_followable;
    bool handle_followable;
    bool handle_changed;
    int timeline_count;
    timeline_record timelines[MOST_TIMELINE_RECORDS];
    bool sections_followed; // every section up to the end of the file was found
};

// Surveys the file open as `in`, walking every part it holds text in without
// writing anything. WALK_DONE also when parts cannot be followed (the survey
// says which); WALK_UNFOLLOWABLE only for a file shorter than its header.
walk_result survey_project(FILE *in, project_survey *survey);
