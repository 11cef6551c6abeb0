// Every call that differs between Windows and Linux. Each system has one
// file that defines these: platform_posix.cpp and platform_windows.cpp.
#pragma once

#include "../code_pages/encoding.h"
#include "../streams/copy_results.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Readies the process: standard output in text mode on Windows, so each line
// ends in CR LF; on Linux a write past a file size limit fails instead of
// ending the process unannounced.
void prepare_process();

// Whether an argument beginning with `c` is a switch group rather than a
// path. Windows takes "-" and "/"; Linux only "-", since "/" begins a path.
bool is_switch_start(char c);

// Whether command-line argument `index` reached the program exactly as it
// was given. On Windows the arguments are converted to the ANSI code page,
// which replaces a character it lacks by a look-alike: such a path names
// another file than the one typed.
bool argument_is_exact(int index);

enum typed_line {
    TYPED_LINE_READ,
    TYPED_LINE_NOT_CONSOLE, // standard input is not a console: read it as bytes
    TYPED_LINE_TOO_LONG,
    TYPED_LINE_NOT_EXACT // holds a character the ANSI code page lacks
};

// Reads a line typed on the console into `path` (room for `capacity` bytes),
// as the system's file calls will take it. Only Windows reads the console
// itself; elsewhere the answer is always TYPED_LINE_NOT_CONSOLE.
typed_line read_console_line(char *path, size_t capacity);

// Opens a file for reading in binary mode, letting others read it but not
// write it where the system can say so. Null when it cannot be opened or is a
// directory. With `regular_only`, anything but a regular file is refused, and
// the open never waits (a FIFO is refused at once).
FILE *open_input(const char *path, bool regular_only);

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
backup_result make_backup(FILE *input, const char *path, const char *backup);

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
bool open_output(const char *path, FILE *input, bool create_new, output_file *output);

// Makes the output end where its stream stands: a copy that went back to
// write a part again may have written past it. False when it cannot.
bool end_output_here(FILE *stream);

// Leaves none of an incomplete output's bytes behind, once its stream is
// closed: the file is emptied through the spare descriptor, whatever name it
// has, and its name removed only when that name itself (a link is not
// followed) still refers to it and this run made it. Closes the spare.
void discard_written(const output_file &output, const char *path);

// Closes the spare descriptor of a complete output.
void close_spare(const output_file &output);

// Prints text from a file on standard output: 8-bit text in `encoding`, or
// UTF-16LE when `wide`. Linux prints UTF-8. Windows prints CP932 and GBK as
// they stand and the others in the ANSI code page, '?' for what it lacks.
// A control character is shown escaped (`\x0A`), so that no file can make
// a listing's line. A failed write shows in the stream's error flag.
void print_file_text(const unsigned char *text, size_t length, bool wide, text_encoding encoding);

// Copies the input from where it stands to its end, by the fastest means the
// system offers for the two files.
rewrite_result copy_to_end(FILE *in, FILE *out);
