// A text file read line by line through the input's block, and its lines
// taken apart: a `[section]`, a `key=value` setting, or neither.
#pragma once

#include "../streams/input_block.h"
#include "format.h"

#include <cstddef>

// Lines whose text is up to this long are read whole, from the block; a
// longer one is read in pieces, wherever it lies.
constexpr size_t LONGEST_WHOLE_LINE = size_t{128} * 1024;

// A line ends with LF, CR LF, or a CR that no LF follows.
struct text_line {
    const unsigned char *bytes; // in the block, until the input is read on
    size_t length;              // its text, without its line end; of a long line, its first bytes
    size_t end_length; // its line end: 2 for CR LF, 1 for LF or CR, 0 for none or a long line
    bool whole;        // false: a long line, which goes on past `length`
    const unsigned char *next; // of a line among whole lines: where the line after it begins
};

// The bytes ready in the block up to and with their last line end: whole
// lines only, none consumed. 0 when the ready bytes hold no line end (the
// next line is then next_line's), or at the file's end.
size_t ready_lines(input_stream *in, const unsigned char **bytes);

// What may make a line of a text file matter to a walker, which passes over
// the others unread: a byte anywhere in it, or text at its start.
struct line_mark {
    char byte;         // found anywhere, and in `start` the byte searched for
    const char *start; // or, when not null, the text the line begins with
};
constexpr size_t MOST_LINE_MARKS = 4;

// The lines of a run of whole lines that hold a mark, in order.
struct marked_lines {
    const unsigned char *at; // the next line's start
    const unsigned char *end;
    const line_mark *marks;
    size_t mark_count;
    const unsigned char *next[MOST_LINE_MARKS]; // each mark's next place, or null for none
};

void start_marked_lines(marked_lines *lines, const unsigned char *bytes, size_t length,
                        const line_mark *marks, size_t mark_count);

// Takes the next line that holds a mark; false when none is left. A line
// longer than LONGEST_WHOLE_LINE comes as a long line: its first bytes, to
// be read on with next_line_piece, as next_line gives it.
bool next_marked_line(marked_lines *lines, text_line *line);

// Takes the line that comes next, marked or not, as next_marked_line does;
// false when none is left.
bool next_whole_line(marked_lines *lines, text_line *line);

// Readies the next line, consuming none of it; false at the file's end, or
// when it fails.
bool next_line(input_stream *in, text_line *line);

// Of a long line whose first bytes have been consumed: the next bytes of
// the rest, up to and with its line end, at `bytes`; `last` tells that
// they end it. 0 once the file ends or fails.
size_t next_line_piece(input_stream *in, const unsigned char **bytes, bool *last);

struct setting {
    const unsigned char *key;
    size_t key_length;
    const unsigned char *value;
    size_t value_length;
};

// Whether a line's text is `[section]`.
bool is_section_line(const unsigned char *text, size_t length);

// Splits a line's text at its first '='; false when it has none.
bool split_setting(const unsigned char *text, size_t length, setting *out);

// The encoding of the text file of `format` that `in` reads, told from as
// much of its start as the block holds; the input must stand at its start.
text_encoding text_encoding_of(input_stream *in, text_format format);

// Passes over a UTF-8 byte order mark at the input's start, if any.
void pass_byte_order_mark(input_stream *in);
