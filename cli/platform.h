// Every call that differs between Windows and Linux. Each system has one
// file that defines these: platform_posix.cpp and platform_windows.cpp.
#pragma once

#include "../project/rewrite.h"

#include <cstdio>

// Readies standard output: text mode on Windows, so each line ends in CR LF.
void prepare_console();

// Whether an argument beginning with `c` is a switch group rather than a
// path. Windows takes "-" and "/"; Linux only "-", since "/" begins a path.
bool is_switch_start(char c);

enum backup_result {
    BACKUP_MADE,
    BACKUP_NO_INPUT, // nothing to move: no such file, or not a regular file
    BACKUP_EXISTS,   // a file already has the backup's name
    BACKUP_FAILED
};

// Moves the file at `path` to `backup`, never replacing a file there.
backup_result make_backup(const char *path, const char *backup);

// Opens a file for reading in binary mode, letting others read it but not
// write it where the system can say so. Null when it cannot be opened or is a
// directory.
FILE *open_input(const char *path);

struct output_file {
    FILE *stream;
    bool removable; // a regular file that this run created or truncated
};

// Opens a file for writing in binary mode, sharing it with no one. Refuses
// the file open as `input` before anything of it is changed, and truncates
// only a regular file.
bool open_output(const char *path, FILE *input, output_file *output);

// Copies the input from where it stands to its end, by the fastest means the
// system offers for the two files.
rewrite_result copy_to_end(FILE *in, FILE *out);
