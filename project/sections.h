// The sections of a project file, front to back: the header, the edit
// handle, the frame arrays, the raw blobs the handle counts, the footer and
// the plugin records. Surveying a file finds where each lies and whether the
// walkers can follow the parts that hold text: the header, the edit handle
// and the extended editing record.
#pragma once

#include "rewrite.h"
#include "walk.h"

#include <cstdint>
#include <cstdio>

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
