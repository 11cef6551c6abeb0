// The entry point and the sequence every run follows: obtain the paths,
// then for one file move it to its backup when only one path is known, open
// the two files, write the anonymised copy and report the outcome in one
// line; or rewrite or list several files, one after another, each line
// headed by its file's path. A console opened for the run alone waits for
// Enter before it closes, when the run has something to say.
#include "arguments.h"
#include "console.h"
#include "outcomes.h"
#include "platform.h"
#include "run.h"

#include <algorithm>
#include <cstdio>

path_char input_path[PATH_CAPACITY];
path_char output_path[PATH_CAPACITY];

namespace {

constexpr char PROMPT[] = "input file path > ";

outcome prompt_for_input()
{
    // A prompt that cannot be shown does not stop the run: the line is read.
    (void)fputs(PROMPT, stdout);
    (void)fflush(stdout);
    switch (read_typed_line(input_path)) {
    case TYPED_LINE_TOO_LONG:
        return INPUT_TOO_LONG;
    case TYPED_LINE_NOT_EXACT:
        return CANT_OPEN_INPUT;
    case TYPED_LINE_READ:
        break;
    }
    return SUCCEEDED;
}

// What a refused path means for the run; a listing never opens the second.
outcome outcome_of(scan_result scanned, const run_options &options)
{
    switch (scanned) {
    case SCAN_INPUT_TOO_LONG:
        return INPUT_TOO_LONG;
    case SCAN_INPUT_NOT_EXACT:
        return CANT_OPEN_INPUT;
    case SCAN_OUTPUT_TOO_LONG:
        return options.list_paths ? SUCCEEDED : OUTPUT_TOO_LONG;
    case SCAN_OUTPUT_NOT_EXACT:
        return options.list_paths ? SUCCEEDED : CANT_OPEN_OUTPUT;
    case SCAN_DONE:
        break;
    }
    return SUCCEEDED;
}

// The paths of a run of one file: the two scanned, or one typed at the
// prompt when none was given.
outcome obtain_paths(scan_result scanned, const run_options &options)
{
    outcome refused = outcome_of(scanned, options);
    if (refused != SUCCEEDED)
        return refused;
    if (input_path[0] == 0) {
        outcome prompted = prompt_for_input();
        if (prompted != SUCCEEDED)
            return prompted;
    }
    return input_path[0] == 0 ? CANT_OPEN_INPUT : SUCCEEDED;
}

// The run of one file: a listing, a copy to a second path, or a rewrite in
// place.
outcome run_one_file(scan_result scanned, const run_options &options)
{
    outcome result = obtain_paths(scanned, options);
    if (result == SUCCEEDED && options.list_paths)
        return list_file(nullptr);
    bool in_place = output_path[0] == 0;
    if (result == SUCCEEDED && in_place)
        result = name_backup();
    if (result == SUCCEEDED)
        result = rewrite_files(in_place, options);
    return result;
}

// Takes one of several paths into input_path, as the run of one file takes
// its first; an empty one names no file.
outcome take_given_path(const path_char *path)
{
    if (path[0] == 0)
        return CANT_OPEN_INPUT;
    if (!copy_path(input_path, path))
        return INPUT_TOO_LONG;
    return path_is_exact(input_path) ? SUCCEEDED : CANT_OPEN_INPUT;
}

// One of several files: listed, or rewritten in place with its own backup.
outcome run_given_file(const path_char *path, const run_options &options)
{
    outcome result = take_given_path(path);
    if (result == SUCCEEDED && options.list_paths)
        return list_file(path);
    output_path[0] = 0;
    if (result == SUCCEEDED)
        result = name_backup();
    return result == SUCCEEDED ? rewrite_files(true, options) : result;
}

// Every path argument in turn, each file's line after its path; a file
// that fails does not stop the others. The status is the highest of all.
int run_given_files(int count, path_char **arguments, const run_options &options)
{
    int status = 0;
    for (int index = 1; index < count; ++index) {
        const path_char *path = arguments[index];
        if (is_path_argument(path))
            status = std::max(status, report_outcome(run_given_file(path, options), path));
    }
    return status;
}

int run(int count, path_char **arguments)
{
    run_options options{};
    scan_result scanned = scan_arguments(count, arguments, &options);
    // Several files are taken one by one only when asked; otherwise two
    // paths are the input and the output.
    bool several = options.path_count > 1 && (options.each_in_place || options.list_paths);
    if (several)
        return run_given_files(count, arguments, options);
    return report_outcome(run_one_file(scanned, options), nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    prepare_process();
    int count = 0;
    path_char **arguments = program_arguments(argc, argv, &count);
    int status =
        arguments != nullptr ? run(count, arguments) : report_outcome(CANT_OPEN_INPUT, nullptr);
    close_console(lines_printed() > 0);
    return status;
}
