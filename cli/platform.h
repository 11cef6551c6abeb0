// Every call that differs between Windows and Linux. Linux defines these in
// platform_posix.cpp; Windows in platform_windows.cpp, and what it prints
// and its console in console_windows.cpp.
#pragma once

#include "../code_pages/encoding.h"
#include "../streams/copy_results.h"
#include "console.h"
#include "path_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Readies the process: standard output in text mode on Windows, so each line
// ends in CR LF; on Linux a write past a file size limit fails instead of
// ending the process unannounced.
void prepare_process();

// The program's arguments as the system names files: on Windows the wide
// command line, split by the same rules, so that no character of a name is
// lost to a code page; elsewhere `argv` itself. Null when the system cannot
// give them.
path_char **program_arguments(int argc, char **argv, int *count);

// Whether an argument beginning with `c` is a switch group rather than a
// path. Windows takes "-" and "/"; Linux only "-", since "/" begins a path.
bool is_switch_start(path_char c);

// Whether a path names a file the system can open as it stands. On Windows
// a half of a UTF-16 pair without its other half is refused: no conversion
// may turn it into another name. Elsewhere every path is used as given.
bool path_is_exact(const path_char *path);

// Reads one line typed at the prompt into `path` (room for PATH_CAPACITY
// units), as read_byte_line reads one. Windows reads its console in UTF-16,
// and input redirected from elsewhere as bytes in the ANSI code page,
// converted only where that is exact.
typed_line read_typed_line(path_char *path);

// Opens a file for reading in binary mode, letting others read it but not
// write it where the system can say so. Null when it cannot be opened or is a
// directory. With `regular_only`, anything but a regular file is refused, and
// the open never waits (a FIFO is refused at once).
FILE *open_input(const path_char *path, bool regular_only);

// The size of the file open as `in`, when it is a regular file; -1 for
// anything else (a pipe, a device).
int64_t input_size(FILE *in);

enum backup_result {
    BACKUP_MADE,
    BACKUP_EXISTS, // a file already has the backup's name
    BACKUP_FAILED, // the move failed, or moved another file than `input`
};

// Moves the file open as `input`, found at `path`, to `backup`, never
// replacing a file there.
backup_result make_backup(FILE *input, const path_char *path, const path_char *backup);

struct output_file {
    FILE *stream;
    int spare;       // a second descriptor of the file, to empty it after a failure
    bool made;       // a regular file that this run created or emptied
    bool is_regular; // a regular file, which can be emptied
};

// Opens a file for writing in binary mode, sharing it with no one. Refuses
// the file open as `input` before anything of it is changed, and empties only
// a regular file. With `create_new`, only a file that does not exist yet is
// made, never through a link, with the permission bits of `input`.
bool open_output(const path_char *path, FILE *input, bool create_new, output_file *output);

// Makes the output end where its stream stands: a copy that went back to
// write a part again may have written past it. False when it cannot.
bool end_output_here(FILE *stream);

// Leaves none of an incomplete output's bytes behind, once its stream is
// closed: the file is emptied through the spare descriptor, whatever name it
// has, and its name removed only when that name itself (a link is not
// followed) still refers to it and this run made it. Closes the spare.
void discard_written(const output_file &output, const path_char *path);

// Closes the spare descriptor of a complete output.
void close_spare(const output_file &output);

// Prints text from a file on standard output: 8-bit text in `encoding`, or
// UTF-16LE when `wide`. Linux prints UTF-8. On Windows a console shows every
// character; into a file or a pipe CP932 and GBK go as they stand and the
// others in the ANSI code page, '?' for what it lacks. A control character
// is shown escaped (`\x0A`), so that no file can make a listing's line. A
// failed write shows in the stream's error flag.
void print_file_text(const unsigned char *text, size_t length, bool wide, text_encoding encoding);

// Prints a path as it was given, as print_file_text prints a name.
void print_path(const path_char *path);

// What the console tells of how the program was started; on Linux, that
// there is none of its own.
console_facts read_console_facts();

// Waits until Enter is pressed at the console, or its input ends.
void wait_for_enter();

// Copies the input from where it stands to its end, by the fastest means the
// system offers for the two files.
rewrite_result copy_to_end(FILE *in, FILE *out);
