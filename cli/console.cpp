#include "console.h"

#include "platform.h"

#include <cstdio>

namespace {

size_t printed_lines = 0;

constexpr char CLOSING_PROMPT[] = "Press Enter to close.";

} // namespace

typed_line read_byte_line(FILE *in, char *line, size_t capacity)
{
    size_t length = 0;
    for (int c = getc(in); c != EOF && c != '\n'; c = getc(in)) {
        if (c == '\r') {
            int next = getc(in);
            if (next == '\n')
                break;
            (void)ungetc(next, in); // one byte back always fits
        }
        if (c == '\0' || length == capacity - 1) {
            line[0] = '\0';
            return c == '\0' ? TYPED_LINE_NOT_EXACT : TYPED_LINE_TOO_LONG;
        }
        line[length++] = static_cast<char>(c);
    }
    line[ferror(in) ? 0 : length] = '\0';
    return TYPED_LINE_READ;
}

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
