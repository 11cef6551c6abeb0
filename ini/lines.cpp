#include "lines.h"

#include "format.h"

#include <algorithm>
#include <cstring>

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

void pass_byte_order_mark(input_stream *in)
{
    const unsigned char *bytes = nullptr;
    size_t length = sizeof BYTE_ORDER_MARK;
    if (input_peek(in, length, &bytes) >= length && memcmp(bytes, BYTE_ORDER_MARK, length) == 0)
        consume(in, length);
}
