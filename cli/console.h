// What the run prints, line by line, and whether its console waits for
// Enter before it closes: a console opened for this run alone closes with
// the run, and a message nobody has read would go with it.
#pragma once

#include <cstddef>
#include <cstdio>

enum typed_line {
    TYPED_LINE_READ,
    TYPED_LINE_TOO_LONG,  // longer than its buffer holds
    TYPED_LINE_NOT_EXACT, // holds a 0, or a name the system cannot open as it stands
};

// Reads one line of bytes from `in` into `line` (room for `capacity`
// bytes), without its line end (LF or CR LF); every other byte is kept as
// typed. A line that does not fit is refused rather than cut, and so is
// one holding a 0 byte, which no path can hold: cut there, it would name
// another file. At the end of input the line is what came before it; when
// reading fails, it is left empty.
typed_line read_byte_line(FILE *in, char *line, size_t capacity);

// Prints `text` and a line end, as one of the run's lines.
void print_line(const char *text);

// Ends a line printed in pieces, as one of the run's lines.
void end_line();

// How many lines the run has printed.
size_t lines_printed();

// What the console tells of how the program was started.
struct console_facts {
    unsigned attached_processes; // processes sharing its console, this one with them; 0: none
    bool input_is_console;       // standard input is that console, not redirected
    bool output_is_console;      // standard output is that console, not redirected
};

// Whether the run waits for Enter before it ends: only when its console was
// opened for it alone (it was started from Explorer: a drop, Send To, a
// double-click), neither its input nor its output is redirected, and it
// printed something (`printed`), which would otherwise vanish with the
// window. Started from a console window or a script, it never waits.
bool waits_before_closing(const console_facts &facts, bool printed);

// Ends the run at its console: when it is to wait, prints "Press Enter to
// close." and waits for Enter, or for the end of input.
void close_console(bool printed);
