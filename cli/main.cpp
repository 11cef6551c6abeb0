// The entry point and the one sequence every run follows: obtain the two
// paths, move the given file to its backup when only one is known, open the
// two files, write the anonymised copy, and report the outcome in one line.
#include "../streams/tail_copy.h"
#include "arguments.h"
#include "file_kinds.h"
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
    CANT_WRITE_OUTPUT,
    MEDIA_NOT_BLANKED
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
    {"Warning : Media paths not blanked.", 0},
};
static_assert(sizeof REPORTS / sizeof REPORTS[0] == MEDIA_NOT_BLANKED + 1, "one report an outcome");

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
// than cut, and so is one holding a 0 byte, which no path can hold: cut
// there, it would name another file. A read error leaves the path empty.
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
        if (c == '\0' || length == PATH_CAPACITY - 1) {
            input_path[0] = '\0';
            return c == '\0' ? CANT_OPEN_INPUT : INPUT_TOO_LONG;
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
    switch (read_console_line(input_path, PATH_CAPACITY)) {
    case TYPED_LINE_NOT_CONSOLE:
        return read_path_line(stdin);
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

outcome obtain_paths(int argc, char **argv, run_options *options)
{
    scan_result scanned = scan_arguments(argc, argv, options);
    outcome refused = outcome_of(scanned, *options);
    if (refused != SUCCEEDED)
        return refused;
    if (input_path[0] == '\0') {
        outcome prompted = prompt_for_input();
        if (prompted != SUCCEEDED)
            return prompted;
    }
    return input_path[0] == '\0' ? CANT_OPEN_INPUT : SUCCEEDED;
}

// In place, the given path becomes the output and its backup the input's
// name; both are known before any file is opened.
outcome name_backup()
{
    memcpy(output_path, input_path, PATH_CAPACITY);
    int length = snprintf(input_path, PATH_CAPACITY, BACKUP_FORMAT, output_path);
    if (length < 0 || static_cast<size_t>(length) >= PATH_CAPACITY)
        return INPUT_TOO_LONG;
    return SUCCEEDED;
}

// Moves the given file, already open as `in`, to its backup.
outcome move_to_backup(FILE *in)
{
    switch (make_backup(in, output_path, input_path)) {
    case BACKUP_MADE:
        return SUCCEEDED;
    case BACKUP_EXISTS:
        return BACKUP_ALREADY_EXISTS;
    case BACKUP_FAILED:
        break;
    }
    return CANT_MAKE_BACKUP;
}

outcome outcome_of(rewrite_result result)
{
    if (result == REWRITE_READ_FAILED)
        return CANT_READ_INPUT;
    if (result == REWRITE_WRITE_FAILED)
        return CANT_WRITE_OUTPUT;
    return result == REWRITE_NOT_PROJECT ? NOT_PROJECT : SUCCEEDED;
}

// Closes an output whose copy ended with `done`, and leaves none of its bytes
// behind when the copy is incomplete: it must not be mistaken for a whole one.
outcome close_copy(output_file *output, outcome done)
{
    bool complete = done == SUCCEEDED || done == NOT_PROJECT || done == MEDIA_NOT_BLANKED;
    // The last of the buffer is written out here, before the close: a
    // runtime may lose a failure of the write that its own close makes (the
    // Windows one does), and an earlier failure shows in the error flag
    // even when the flush finds nothing left to write. After a failure the
    // close may fail too; the outcome already tells.
    bool flushed = fflush(output->stream) == 0 && ferror(output->stream) == 0;
    bool closed = fclose(output->stream) == 0 && flushed;
    if (complete && closed) {
        close_spare(*output);
        return done;
    }
    discard_written(*output, output_path);
    return complete ? CANT_WRITE_OUTPUT : done;
}

// The input, open, with its first bytes read and its kind known.
struct opened_input {
    FILE *stream;
    input_start start;
    const file_kind *kind;
};

// Opens the input and reads what tells its kind. CANT_READ_INPUT, with
// nothing left open, when its first bytes cannot be read.
outcome open_input_file(const char *path, bool regular_only, opened_input *input)
{
    input->stream = open_input(path, regular_only);
    if (input->stream == nullptr)
        return CANT_OPEN_INPUT;
    if (!read_start(input->stream, &input->start)) {
        // Nothing is lost if closing the input fails: it was only read.
        (void)fclose(input->stream);
        return CANT_READ_INPUT;
    }
    input->kind = &kind_of(input->start, input_size(input->stream));
    return SUCCEEDED;
}

// Writes the head of the copy, as the input's kind makes it, with the
// media folders blanked when asked, leaving the input where the unchanged
// rest begins; `done` is what the copy will report once whole.
rewrite_result write_head(const opened_input &input, const output_file &output,
                          const run_options &options, outcome *done)
{
    copier copy = options.blank_media ? input.kind->blank_media : input.kind->copy;
    media_report report{};
    // Into a regular file, the copy can go back to write a part again.
    bool rewinds = output.is_regular;
    rewrite_result result = copy(input.start, input.stream, output.stream, rewinds, &report);
    *done = !report.has_signature ? NOT_PROJECT
            : !report.all_blanked ? MEDIA_NOT_BLANKED
                                  : SUCCEEDED;
    if (result == REWRITE_DONE && rewinds && !end_output_here(output.stream))
        return REWRITE_WRITE_FAILED;
    return result;
}

// Writes the copy of the input to output_path. In place the output is made
// new.
outcome write_copy(const opened_input &input, bool in_place, const run_options &options)
{
    output_file output{};
    if (!open_output(output_path, input.stream, in_place, &output))
        return CANT_OPEN_OUTPUT;
    outcome done = SUCCEEDED;
    rewrite_result result = write_head(input, output, options, &done);
    if (result == REWRITE_DONE)
        result = copy_to_end(input.stream, output.stream);
    outcome copied = outcome_of(result);
    return close_copy(&output, copied == SUCCEEDED ? done : copied);
}

// Opens the input, moves it to its backup when the run is in place (only
// once it is open and its first bytes read: a file that cannot be read is
// never moved), and writes the copy.
outcome rewrite_files(bool in_place, const run_options &options)
{
    opened_input input{};
    outcome result = open_input_file(in_place ? output_path : input_path, in_place, &input);
    if (result != SUCCEEDED)
        return result;
    if (in_place)
        result = move_to_backup(input.stream);
    if (result == SUCCEEDED)
        result = write_copy(input, in_place, options);
    // Nothing is lost if closing the input fails: it was only read.
    (void)fclose(input.stream);
    return result;
}

// Prints a path the listing found as one line: where it is, a tab, the path.
// A failed write is found once the listing ends.
void print_found_path(void * /* context */, const found_path &path)
{
    print_file_text(reinterpret_cast<const unsigned char *>(path.where), strlen(path.where), false,
                    path.where_encoding);
    if (path.old)
        (void)fputs(" (old bytes)", stdout);
    (void)putchar('\t');
    print_file_text(path.path, path.length, path.wide, path.encoding);
    (void)putchar('\n');
}

// Prints every path the input holds, one line each, and writes nothing.
outcome list_input()
{
    opened_input input{};
    outcome opened = open_input_file(input_path, false, &input);
    if (opened != SUCCEEDED)
        return opened;
    path_listing listing{print_found_path, nullptr};
    list_result listed = input.kind->list(input.start, input.stream, listing);
    // Nothing is lost if closing the input fails: it was only read.
    (void)fclose(input.stream);
    if (listed == LIST_READ_FAILED)
        return CANT_READ_INPUT;
    // A listing that could not be written out is no listing; the message
    // may not get through either, but the status does.
    if (fflush(stdout) != 0 || ferror(stdout))
        return CANT_WRITE_OUTPUT;
    return listed == LIST_NOT_PROJECT ? NOT_PROJECT : SUCCEEDED;
}

} // namespace

int main(int argc, char **argv)
{
    prepare_process();
    run_options options{};
    outcome result = obtain_paths(argc, argv, &options);
    if (result == SUCCEEDED && options.list_paths)
        return finish(list_input());
    bool in_place = output_path[0] == '\0';
    if (result == SUCCEEDED && in_place)
        result = name_backup();
    if (result == SUCCEEDED)
        result = rewrite_files(in_place, options);
    return finish(result);
}
