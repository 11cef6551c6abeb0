// One file's run: its copy to another file, its rewrite in place, or its
// listing.
#include "run.h"

#include "../streams/tail_copy.h"
#include "console.h"
#include "file_kinds.h"
#include "platform.h"

#include <cstdio>
#include <cstring>

namespace {

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
outcome open_input_file(const path_char *path, bool regular_only, opened_input *input)
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

// Prints a path the listing found as one line: where it is, a tab, the path;
// in a listing of several files, the file's path (`context`) and a tab
// first. A failed write is found once the listing ends.
void print_found_path(void *context, const found_path &path)
{
    if (context != nullptr) {
        print_path(static_cast<const path_char *>(context));
        (void)putchar('\t');
    }
    print_file_text(reinterpret_cast<const unsigned char *>(path.where), strlen(path.where), false,
                    path.where_encoding);
    if (path.old)
        (void)fputs(" (old bytes)", stdout);
    (void)putchar('\t');
    print_file_text(path.path, path.length, path.wide, path.encoding);
    end_line();
}

} // namespace

outcome name_backup()
{
    memcpy(output_path, input_path, sizeof input_path);
    if (!append_to_path(input_path, BACKUP_SUFFIX))
        return INPUT_TOO_LONG;
    return SUCCEEDED;
}

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

outcome list_file(const path_char *prefix)
{
    opened_input input{};
    outcome opened = open_input_file(input_path, false, &input);
    if (opened != SUCCEEDED)
        return opened;
    path_listing listing{print_found_path, const_cast<path_char *>(prefix)};
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
