// How a run of one file ends: the line it prints, if any, and its exit
// status.
#pragma once

#include "path_text.h"

enum outcome {
    SUCCEEDED,
    NOT_PROJECT,
    CANT_OPEN_INPUT,
    BACKUP_ALREADY_EXISTS,
    CANT_MAKE_BACKUP,
    INPUT_TOO_LONG,
    CANT_READ_INPUT,
    CANT_OPEN_OUTPUT,
    OUTPUT_TOO_LONG,
    CANT_WRITE_OUTPUT,
    MEDIA_NOT_BLANKED
};

// Prints the message of `result`, if it has one, as a line of its own:
// after `path` as it was given and " : " when a path is given, in a run of
// several files. Returns the exit status of `result`.
int report_outcome(outcome result, const path_char *path);
