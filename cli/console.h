// What the run prints, line by line, and whether its console waits for
// Enter before it closes: a console opened for this run alone closes with
// the run, and a message nobody has read would go with it.
#pragma once

#include <cstddef>

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
