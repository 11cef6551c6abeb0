// The entry point and the one sequence every run follows: obtain the two
// paths, move the given file to its backup when only one is known, open the
// two files, write the anonymised copy, and report the outcome in one line.
#include "../project/rewrite.h"
#include "arguments.h"
#include "platform.h"

#include <cstdio>
#include <cstring>

char input_path[PATH_CAPACITY];
char output_path[PATH_CAPACITY];

namespace {

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
    CANT_WRITE_OUTPUT
};

struct outcome_report {
    const char *message; // null for none
    int status;
};

// By outcome, in the order above.
constexpr outcome_report REPORTS[] = {
    {nullptr, 0},
    {"Warning : Not AviUtl project file?", 0},
    {"Error : Can't open input file.", 1},
    {"Error : Backup file already exists.", 1},
    {"Error : Can't make backup file.", 1},
    {"Error : Input path too long.", 1},
    {"Error : Can't read input file.", 1},
    {"Error : Can't open output file.", 2},
    {"Error : Output path too long.", 2},
    {"Error : Can't write output file.", 2},
};
static_assert(sizeof REPORTS / sizeof REPORTS[0] == CANT_WRITE_OUTPUT + 1, "one report an outcome");

constexpr char PROMPT[] = "input file path > ";
constexpr char BACKUP_FORMAT[] = "%s.old";

int finish(outcome result)
{
    const outcome_report &report = REPORTS[result];
    if (report.message != nullptr)
        puts(report.message);
    return report.status;
}

// Reads one line into input_path, without its line end (LF or CR LF); every
// other byte is kept as typed. A line that does not fit is refused rather
// than cut, and a read error leaves the path empty.
outcome read_path_line(FILE *in)
{
    size_t length = 0;
    for (int c = getc(in); c != EOF && c != '\n'; c = getc(in)) {
        if (c == '\r') {
            int next = getc(in);
            if (next == '\n')
                break;
            (void)ungetc(next, in); // one byte back always fits
        }
        if (length == PATH_CAPACITY - 1) {
            input_path[0] = '\0';
            return INPUT_TOO_LONG;
        }
        input_path[length++] = static_cast<char>(c);
    }
    input_path[ferror(in) ? 0 : length] = '\0';
    return SUCCEEDED;
}

outcome prompt_for_input()
{
    // A prompt that cannot be shown does not stop the run: the line is read.
    (void)fputs(PROMPT, stdout);
    (void)fflush(stdout);
    return read_path_line(stdin);
}

outcome obtain_paths(int argc, char **argv)
{
    scan_result scanned = scan_arguments(argc, argv);
    if (scanned == SCAN_INPUT_TOO_LONG)
        return INPUT_TOO_LONG;
    if (scanned == SCAN_OUTPUT_TOO_LONG)
        return OUTPUT_TOO_LONG;
    if (input_path[0] == '\0') {
        outcome prompted = prompt_for_input();
        if (prompted != SUCCEEDED)
            return prompted;
    }
    return input_path[0] == '\0' ? CANT_OPEN_INPUT : SUCCEEDED;
}

// Moves the given file to its backup, which becomes the input, and makes the
// given path the output.
outcome prepare_in_place()
{
    memcpy(output_path, input_path, PATH_CAPACITY);
    int length = snprintf(input_path, PATH_CAPACITY, BACKUP_FORMAT, output_path);
    if (length < 0 || static_cast<size_t>(length) >= PATH_CAPACITY)
        return INPUT_TOO_LONG;
    switch (make_backup(output_path, input_path)) {
    case BACKUP_MADE:
        return SUCCEEDED;
    case BACKUP_NO_INPUT:
        return CANT_OPEN_INPUT;
    case BACKUP_EXISTS:
        return BACKUP_ALREADY_EXISTS;
    case BACKUP_FAILED:
        break;
    }
    return CANT_MAKE_BACKUP;
}

outcome outcome_of(rewrite_result result, bool output_closed)
{
    if (result == REWRITE_READ_FAILED)
        return CANT_READ_INPUT;
    if (result == REWRITE_WRITE_FAILED || !output_closed)
        return CANT_WRITE_OUTPUT;
    return result == REWRITE_NOT_PROJECT ? NOT_PROJECT : SUCCEEDED;
}

outcome rewrite_files()
{
    FILE *in = open_input(input_path);
    if (in == nullptr)
        return CANT_OPEN_INPUT;
    output_file output{};
    if (!open_output(output_path, in, &output)) {
        (void)fclose(in);
        return CANT_OPEN_OUTPUT;
    }
    rewrite_result result = rewrite_head(in, output.stream);
    if (result == REWRITE_DONE)
        result = copy_to_end(in, output.stream);
    // Nothing is lost if closing the input fails: it was only read.
    (void)fclose(in);
    outcome done = outcome_of(result, fclose(output.stream) == 0);
    // An incomplete copy is not left to be mistaken for a whole one. The
    // message already printed tells of it should the removal fail too.
    if (done != SUCCEEDED && done != NOT_PROJECT && output.removable)
        (void)remove(output_path);
    return done;
}

} // namespace

int main(int argc, char **argv)
{
    prepare_console();
    outcome result = obtain_paths(argc, argv);
    if (result == SUCCEEDED && output_path[0] == '\0')
        result = prepare_in_place();
    if (result == SUCCEEDED)
        result = rewrite_files();
    return finish(result);
}
