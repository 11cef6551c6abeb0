// The copy reads the lines where the block holds them and writes them
// through the input's echo: what is kept goes out as it stands, in long
// stretches, and only what is dropped or rewritten interrupts it. Only a
// line with a ':' or a '\' can have a value that begins with a path, or
// script parameters with one: the others are passed over unread.
#include "copy.h"

#include "../path_rules/path_marks.h"
#include "lines.h"
#include "values.h"

#include <cstdint>
#include <iterator>

namespace {

// Script parameters rewritten: never longer than the line they come from.
unsigned char rewritten[LONGEST_WHOLE_LINE];

struct text_copy {
    input_stream *in;
    FILE *out;
    text_format format;
    text_encoding encoding;
    bool written; // no write has failed
    bool all_rewritten;
};

// Leaves the next `length` bytes out of the copy, and writes `replacement`
// in their place.
void replace(text_copy *copy, size_t length, const unsigned char *replacement,
             size_t replacement_length)
{
    copy->written = set_echo(copy->in, nullptr) && copy->written;
    if (replacement_length > 0 &&
        fwrite(replacement, 1, replacement_length, copy->out) != replacement_length)
        copy->written = false;
    consume(copy->in, length);
    copy->written = set_echo(copy->in, copy->out) && copy->written;
}

// Copies a setting's value, which the input stands at, as the rules say.
void copy_value(text_copy *copy, const setting &line)
{
    if (is_script_parameters(line, copy->format)) {
        size_t length =
            strip_parameter_folders(line.value, line.value_length, copy->encoding, rewritten);
        if (length != line.value_length)
            replace(copy, line.value_length, rewritten, length);
        return;
    }
    size_t from = 0;
    size_t to = 0;
    if (folder_span(line.value, line.value_length, copy->format, copy->encoding, &from, &to) &&
        to > from) {
        consume(copy->in, from);
        replace(copy, to - from, nullptr, 0);
    }
}

// A line whose text lies whole in the block.
void copy_whole_line(text_copy *copy, const text_line &line)
{
    uint64_t end = input_offset(*copy->in) + line.length + line.end_length;
    setting found{};
    if (!is_section_line(line.bytes, line.length) &&
        split_setting(line.bytes, line.length, &found) && !is_text_setting(found, copy->format)) {
        consume(copy->in, found.key_length + 1);
        copy_value(copy, found);
    }
    // The rest of the line, and its end, as they stand.
    consume(copy->in, static_cast<size_t>(end - input_offset(*copy->in)));
}

// Whether a long line, of which `first` holds the first bytes, may name a
// file the copy leaves, were it one that holds a ':' or a '\': unless it is
// a text setting, or a value that does not begin with a path.
bool may_name_a_file(const text_line &first, const text_copy &copy)
{
    setting found{};
    if (!split_setting(first.bytes, first.length, &found))
        return true; // its key is longer than what is read whole
    if (is_text_setting(found, copy.format))
        return false;
    size_t from = 0;
    size_t to = 0;
    return is_script_parameters(found, copy.format) ||
           folder_span(found.value, found.value_length, copy.format, copy.encoding, &from, &to);
}

bool holds_path_mark(const unsigned char *bytes, size_t length)
{
    return find_mark(bytes, length) < length;
}

// A line too long to be read whole goes out as it stands, wherever it
// lies; the run says so when it may name a file.
void copy_long_line(text_copy *copy, const text_line &first)
{
    // Its first bytes are read before the block is read on.
    bool may_name = may_name_a_file(first, *copy);
    bool marked = holds_path_mark(first.bytes, first.length);
    consume(copy->in, first.length);
    for (bool last = false; !last;) {
        const unsigned char *bytes = nullptr;
        size_t length = next_line_piece(copy->in, &bytes, &last);
        marked = marked || holds_path_mark(bytes, length);
        consume(copy->in, length);
    }
    if (marked && may_name)
        copy->all_rewritten = false;
}

void copy_line(text_copy *copy, const text_line &line)
{
    if (line.whole)
        copy_whole_line(copy, line);
    else
        copy_long_line(copy, line);
}

constexpr line_mark PATH_MARKS[] = {{':', nullptr}, {'\\', nullptr}};

// Whole lines, which the input stands at the start of.
void copy_lines(text_copy *copy, const unsigned char *bytes, size_t length)
{
    marked_lines lines{};
    start_marked_lines(&lines, bytes, length, PATH_MARKS, std::size(PATH_MARKS));
    const unsigned char *at = bytes; // where the input stands
    text_line line{};
    while (next_marked_line(&lines, &line)) {
        consume(copy->in, static_cast<size_t>(line.bytes - at));
        copy_line(copy, line);
        at = line.next;
    }
    consume(copy->in, static_cast<size_t>(bytes + length - at));
}

} // namespace

rewrite_result copy_text_file(const input_start &start, FILE *in, FILE *out, text_format format,
                              bool *all_rewritten)
{
    input_stream input{};
    start_input(&input, in, start);
    text_copy copy{&input, out, format, text_encoding_of(&input, format), set_echo(&input, out),
                   true};
    for (;;) {
        const unsigned char *lines = nullptr;
        size_t length = ready_lines(&input, &lines);
        if (length > 0) {
            copy_lines(&copy, lines, length);
            continue;
        }
        // A line the block holds only in part, or the file's last.
        text_line line{};
        if (!next_line(&input, &line))
            break;
        copy_line(&copy, line);
    }
    copy.written = set_echo(&input, nullptr) && copy.written;
    *all_rewritten = copy.all_rewritten;
    if (input_failed(input))
        return REWRITE_READ_FAILED;
    return copy.written ? REWRITE_DONE : REWRITE_WRITE_FAILED;
}

namespace {

rewrite_result copy_text_kind(const input_start &start, FILE *in, FILE *out, text_format format,
                              media_report *report)
{
    *report = {true, true};
    return copy_text_file(start, in, out, format, &report->all_blanked);
}

} // namespace

rewrite_result copy_aviutl2_file(const input_start &start, FILE *in, FILE *out, bool /* rewinds */,
                                 media_report *report)
{
    return copy_text_kind(start, in, out, TEXT_AVIUTL2, report);
}

rewrite_result copy_object_file(const input_start &start, FILE *in, FILE *out, bool /* rewinds */,
                                media_report *report)
{
    return copy_text_kind(start, in, out, TEXT_OBJECT_FILE, report);
}
