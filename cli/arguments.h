// The command line: `kestravin <input file> [<output file>]`, and help.
#pragma once

#include <cstddef>

// Room for a path and its terminating zero.
constexpr size_t PATH_CAPACITY = 260;

// The file that is read and the file that is written, as 8-bit text; empty
// until a path is given. Filled by the argument scan, the prompt and the
// in-place preparation, read when the files are opened.
extern char input_path[PATH_CAPACITY];
extern char output_path[PATH_CAPACITY];

enum scan_result {
    SCAN_DONE,
    SCAN_INPUT_TOO_LONG,   // the first path does not fit input_path
    SCAN_INPUT_NOT_EXACT,  // the first path did not reach the program as given
    SCAN_OUTPUT_TOO_LONG,  // the second path does not fit output_path
    SCAN_OUTPUT_NOT_EXACT, // the second path did not reach the program as given
};

// What the switches ask for besides help.
struct run_options {
    bool blank_media; // m: blank the folders of every media path too
    bool list_paths;  // l: list the paths the input holds, and write nothing
};

// Copies the first two path arguments into input_path and output_path, and
// notes the switches in `options`.
// Prints the help text and ends the process when a switch asks for it, even
// after a path that is refused: the whole line is scanned first. When both
// paths are refused, the first one's refusal is answered.
scan_result scan_arguments(int argc, char **argv, run_options *options);

// Prints the help text and ends the process with status 0.
[[noreturn]] void print_usage();
