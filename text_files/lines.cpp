#include "lines.h"

#include "format.h"

#include <algorithm>
#include <cstring>

namespace {

bool is_line_end(unsigned char byte)
{
    return byte == '\n' || byte == '\r';
}

// The first CR or LF in [from, end), or null.
const unsigned char *find_line_end(const unsigned char *from, const unsigned char *end)
{
    auto length = static_cast<size_t>(end - from);
    const auto *feed = static_cast<const unsigned char *>(memchr(from, '\n', length));
    size_t before_feed = feed == nullptr ? length : static_cast<size_t>(feed - from);
    const auto *carriage = static_cast<const unsigned char *>(memchr(from, '\r', before_feed));
    return carriage != nullptr ? carriage : feed;
}

// How many bytes the line end at `end` takes: CR LF, or one alone. A CR that
// is the last byte known is taken alone.
size_t line_end_length(const unsigned char *end, const unsigned char *known_end)
{
    return *end == '\r' && end + 1 < known_end && end[1] == '\n' ? 2 : 1;
}

// The line that begins at `start` and whose line end is at `end`, among
// whole lines that end at `known_end`.
text_line line_between(const unsigned char *start, const unsigned char *end,
                       const unsigned char *known_end)
{
    auto length = static_cast<size_t>(end - start);
    size_t end_length = line_end_length(end, known_end);
    const unsigned char *next = end + end_length;
    if (length > LONGEST_WHOLE_LINE)
        return {start, LONGEST_WHOLE_LINE, 0, false, next};
    return {start, length, end_length, true, next};
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
        if (start >= from && (start == from || is_line_end(start[-1])) &&
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
    // A CR that ends the ready bytes may be the first half of a CR LF.
    size_t known = ready > 0 && (*bytes)[ready - 1] == '\r' ? ready - 1 : ready;
    while (known > 0 && !is_line_end((*bytes)[known - 1]))
        --known;
    return known;
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
    while (start > lines->at && !is_line_end(start[-1]))
        --start;
    lines->at = start;
    return next_whole_line(lines, line);
}

bool next_whole_line(marked_lines *lines, text_line *line)
{
    if (lines->at == lines->end)
        return false;
    *line = line_between(lines->at, find_line_end(lines->at, lines->end), lines->end);
    lines->at = line->next;
    return true;
}

bool next_line(input_stream *in, text_line *line)
{
    const unsigned char *bytes = nullptr;
    size_t ready = input_ready(in, &bytes);
    if (ready == 0)
        return false;
    // The longest whole line, its line end, and the byte after a CR.
    constexpr size_t LOOKED_AT = LONGEST_WHOLE_LINE + 2;
    if (ready < LOOKED_AT)
        ready = input_peek(in, LOOKED_AT, &bytes);
    const unsigned char *known_end = bytes + std::min(ready, LOOKED_AT);
    const unsigned char *end = find_line_end(bytes, known_end);
    if (end == nullptr) {
        // The file's last line, with no line end; or a long line.
        bool whole = ready <= LONGEST_WHOLE_LINE;
        *line = {bytes, std::min(ready, LONGEST_WHOLE_LINE), 0, whole, nullptr};
        return true;
    }
    *line = line_between(bytes, end, bytes + ready);
    line->next = nullptr;
    return true;
}

size_t next_line_piece(input_stream *in, const unsigned char **bytes, bool *last)
{
    size_t ready = input_ready(in, bytes);
    // A CR that ends what is ready is told from the first half of a CR LF
    // by the byte after it.
    if (ready == 1 && (*bytes)[0] == '\r')
        ready = input_peek(in, 2, bytes);
    const unsigned char *end = ready > 0 ? find_line_end(*bytes, *bytes + ready) : nullptr;
    *last = end != nullptr || ready == 0;
    if (end == nullptr)
        return ready;
    if (*end == '\r' && end == *bytes + ready - 1 && ready > 1) {
        *last = false;
        return ready - 1;
    }
    return static_cast<size_t>(end - *bytes) + line_end_length(end, *bytes + ready);
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

text_encoding text_encoding_of(input_stream *in, text_format format)
{
    const unsigned char *bytes = nullptr;
    size_t length = input_peek(in, INPUT_BLOCK_SIZE, &bytes);
    return encoding_of(format, bytes, length, length < INPUT_BLOCK_SIZE);
}

void pass_byte_order_mark(input_stream *in)
{
    const unsigned char *bytes = nullptr;
    size_t length = sizeof BYTE_ORDER_MARK;
    if (input_peek(in, length, &bytes) >= length && memcmp(bytes, BYTE_ORDER_MARK, length) == 0)
        consume(in, length);
}
