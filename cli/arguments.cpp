// The argument scan and the help text.
#include "arguments.h"

#include "console.h"
#include "platform.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr char PROGRAM_NAME[] = "Kestravin";
constexpr char PROGRAM_VERSION[] = "0.01";

bool is_help_character(path_char c)
{
    return c == '?' || c == 'H' || c == 'h';
}

// Looks at every character of a switch group after its first; characters
// that are no switch are passed over.
void scan_switch_group(const path_char *group, run_options *options)
{
    for (const path_char *c = group + 1; *c != 0; ++c) {
        if (is_help_character(*c))
            print_usage();
        if (*c == 'm' || *c == 'M')
            options->blank_media = true;
        if (*c == 'l' || *c == 'L')
            options->list_paths = true;
        if (*c == 'i' || *c == 'I')
            options->each_in_place = true;
    }
}

// Copies `path` into a path buffer: SCAN_DONE, or why it is refused
// (`too_long` or `not_exact`), leaving the buffer empty.
scan_result take_path(path_char *buffer, const path_char *path, scan_result too_long,
                      scan_result not_exact)
{
    if (!copy_path(buffer, path))
        return too_long;
    if (path_is_exact(buffer))
        return SCAN_DONE;
    buffer[0] = 0;
    return not_exact;
}

} // namespace

bool is_path_argument(const path_char *argument)
{
    return !is_switch_start(argument[0]);
}

scan_result scan_arguments(int argc, path_char **argv, run_options *options)
{
    scan_result result = SCAN_DONE;
    int paths = 0;
    for (int index = 1; index < argc; ++index) {
        const path_char *argument = argv[index];
        if (!is_path_argument(argument)) {
            scan_switch_group(argument, options);
            continue;
        }
        ++options->path_count;
        // An empty argument fills no buffer: the next path goes where it
        // would have gone.
        if (argument[0] == 0)
            continue;
        scan_result taken = SCAN_DONE;
        if (paths == 0)
            taken = take_path(input_path, argument, SCAN_INPUT_TOO_LONG, SCAN_INPUT_NOT_EXACT);
        else if (paths == 1)
            taken = take_path(output_path, argument, SCAN_OUTPUT_TOO_LONG, SCAN_OUTPUT_NOT_EXACT);
        if (result == SCAN_DONE)
            result = taken;
        ++paths;
    }
    return result;
}

void print_usage()
{
    printf("%s ver%s\n", PROGRAM_NAME, PROGRAM_VERSION);
    printf("  usage : <execute> <input file> [<output file>]\n");
    printf("    -h help\n");
    printf("    -m blank media folders too\n");
    printf("    -l list paths, write nothing\n");
    puts("");
    printf("  note  : \n");
    printf("    backup file\t: original.aup -> original.aup.old\n");
    puts("");
    // Started alone in a console of its own, the help stays on screen.
    close_console(true);
    exit(EXIT_SUCCESS);
}
