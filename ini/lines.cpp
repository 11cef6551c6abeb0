#include "lines.h"

#include "format.h"

#include <algorithm>
#include <cstring>

namespace {

// The line, whole, that begins at `start` and ends with the line end at
// `end`.
text_line line_between(const unsigned char *start, const unsigned char *end)
{
    auto length = static_cast<size_t>(end - start);
    bool crlf = length > 0 && start[length - 1] == '\r';
    return {start, crlf ? length - 1 : length, crlf ? size_t{2} : size_t{1}, true};
}

// Where `mark` lies next from `from` on: the start of a line that begins
// with its text, or its byte.
const unsigned char *find_mark(const line_mark &mark, const unsigned char *from,
                               const unsigned char *end)
{
    size_t before =
        mark.start != nullptr ? static_cast<size_t>(strchr(mark.start, mark.byte) - mark.start) : 0;
    size_t length = mark.start != nullptr ? strlen(mark.start) : 1;
    for (const unsigned char *at = from + before; at < end;) {
        const auto *hit = static_cast<const unsigned char *>(
            memchr(at, static_cast<unsigned char>(mark.byte), static_cast<size_t>(end - at)));
        if (hit == nullptr)
            return nullptr;
        if (mark.start == nullptr)
            return hit;
        const unsigned char *start = hit - before;
        // A line's start: after a line end (the run begins with a line).
        if (start >= from && (start == from || start[-1] == '\n') &&
            static_cast<size_t>(end - start) >= length && memcmp(start, mark.start, length) == 0)
            return start;
        at = hit + 1;
    }
    return nullptr;
}

} // namespace

size_t ready_lines(input_stream *in, const unsigned char **bytes)
{
    size_t ready = input_ready(in, bytes);
    while (ready > 0 && (*bytes)[ready - 1] != '\n')
        --ready;
    return ready;
}

void start_marked_lines(marked_lines *lines, const unsigned char *bytes, size_t length,
                        const line_mark *marks, size_t mark_count)
{
    *lines = {bytes, bytes + length, marks, mark_count, {}};
    for (size_t index = 0; index < mark_count; ++index)
        lines->next[index] = find_mark(marks[index], bytes, lines->end);
}

bool next_marked_line(marked_lines *lines, text_line *line)
{
    const unsigned char *first = nullptr;
    for (size_t index = 0; index < lines->mark_count; ++index) {
        const unsigned char *&next = lines->next[index];
        if (next != nullptr && next < lines->at)
            next = find_mark(lines->marks[index], lines->at, lines->end);
        if (next != nullptr && (first == nullptr || next < first))
            first = next;
    }
    if (first == nullptr)
        return false;
    const unsigned char *start = first;
    while (start > lines->at && start[-1] != '\n')
        --start;
    lines->at = start;
    return next_whole_line(lines, line);
}

bool next_whole_line(marked_lines *lines, text_line *line)
{
    if (lines->at == lines->end)
        return false;
    const auto *end = static_cast<const unsigned char *>(
        memchr(lines->at, '\n', static_cast<size_t>(lines->end - lines->at)));
    *line = line_between(lines->at, end);
    lines->at = end + 1;
    return true;
}

bool next_line(input_stream *in, text_line *line)
{
    const unsigned char *bytes = nullptr;
    size_t ready = input_ready(in, &bytes);
    if (ready == 0)
        return false;
    // A line end just past the longest whole line still makes it whole.
    constexpr size_t LOOKED_AT = LONGEST_WHOLE_LINE + 1;
    const void *end = memchr(bytes, '\n', std::min(ready, LOOKED_AT));
    if (end == nullptr && ready < LOOKED_AT) {
        ready = input_peek(in, LOOKED_AT, &bytes);
        end = memchr(bytes, '\n', std::min(ready, LOOKED_AT));
    }
    line->bytes = bytes;
    if (end == nullptr) {
        // The file's last line, with no line end; or a long line.
        line->whole = ready < LOOKED_AT;
        line->length = std::min(ready, LONGEST_WHOLE_LINE);
        line->end_length = 0;
        return true;
    }
    size_t length = static_cast<size_t>(static_cast<const unsigned char *>(end) - bytes);
    bool crlf = length > 0 && bytes[length - 1] == '\r';
    line->whole = true;
    line->length = crlf ? length - 1 : length;
    line->end_length = crlf ? 2 : 1;
    return true;
}

size_t next_line_piece(input_stream *in, const unsigned char **bytes, bool *last)
{
    size_t ready = input_ready(in, bytes);
    const void *end = ready > 0 ? memchr(*bytes, '\n', ready) : nullptr;
    *last = end != nullptr || ready == 0;
    if (end == nullptr)
        return ready;
    return static_cast<size_t>(static_cast<const unsigned char *>(end) - *bytes) + 1;
}

bool is_section_line(const unsigned char *text, size_t length)
{
    return length >= 2 && text[0] == '[' && text[length - 1] == ']';
}

bool split_setting(const unsigned char *text, size_t length, setting *out)
{
    const void *equals = memchr(text, '=', length);
    if (equals == nullptr)
        return false;
    size_t key_length = static_cast<size_t>(static_cast<const unsigned char *>(equals) - text);
    *out = {text, key_length, text + key_length + 1, length - key_length - 1};
    return true;
}

bool is_word(const unsigned char *text, size_t length, const char *word)
{
    return length == strlen(word) && memcmp(text, word, length) == 0;
}

bool is_digits(const unsigned char *text, size_t length)
{
    return length > 0 && std::all_of(text, text + length,
                                     [](unsigned char byte) { return byte >= '0' && byte <= '9'; });
}

void pass_byte_order_mark(input_stream *in)
{
    const unsigned char *bytes = nullptr;
    size_t length = sizeof BYTE_ORDER_MARK;
    if (input_peek(in, length, &bytes) >= length && memcmp(bytes, BYTE_ORDER_MARK, length) == 0)
        consume(in, length);
}
