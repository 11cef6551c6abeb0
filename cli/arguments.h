// The command line: `kestravin <input file> [<output file>]`, or several
// files each in place, and help.
#pragma once

#include "path_text.h"

// The file that is read and the file that is written; empty until a path
// is given. Filled by the argument scan, the prompt and the in-place
// preparation, read when the files are opened.
extern path_char input_path[PATH_CAPACITY];
extern path_char output_path[PATH_CAPACITY];

enum scan_result {
    SCAN_DONE,
    SCAN_INPUT_TOO_LONG,   // the first path does not fit input_path
    SCAN_INPUT_NOT_EXACT,  // the first path names no file the system can open as given
    SCAN_OUTPUT_TOO_LONG,  // the second path does not fit output_path
    SCAN_OUTPUT_NOT_EXACT, // the second path names no file the system can open as given
};

// What the switches ask for besides help, and how many paths were given.
struct run_options {
    bool blank_media;   // m: blank the folders of every media path too
    bool list_paths;    // l: list the paths the input holds, and write nothing
    bool each_in_place; // i: every path is a file to rewrite in place
    int path_count;     // arguments that are no switch group, empty ones too
};

// Copies the first two path arguments into input_path and output_path, and
// notes the switches and the paths in `options`.
// Prints the help text and ends the process when a switch asks for it, even
// after a path that is refused: the whole line is scanned first. When both
// paths are refused, the first one's refusal is answered.
scan_result scan_arguments(int argc, path_char **argv, run_options *options);

// Whether an argument is a path, not a switch group: what a run of several
// files takes, in order.
bool is_path_argument(const path_char *argument);

// Prints the help text and ends the process with status 0.
[[noreturn]] void print_usage();
