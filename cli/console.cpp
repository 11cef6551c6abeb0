#include "console.h"

#include "platform.h"

#include <cstdio>

namespace {

size_t printed_lines = 0;

constexpr char CLOSING_PROMPT[] = "Press Enter to close.";

} // namespace

void print_line(const char *text)
{
    (void)puts(text); // a line that cannot be printed cannot be told of either
    ++printed_lines;
}

void end_line()
{
    (void)putchar('\n');
    ++printed_lines;
}

size_t lines_printed()
{
    return printed_lines;
}

bool waits_before_closing(const console_facts &facts, bool printed)
{
    return printed && facts.attached_processes == 1 && facts.input_is_console &&
           facts.output_is_console;
}

void close_console(bool printed)
{
    if (!waits_before_closing(read_console_facts(), printed))
        return;
    print_line(CLOSING_PROMPT);
    (void)fflush(stdout);
    wait_for_enter();
}
