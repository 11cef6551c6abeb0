// Windows: what the run prints, and its console. Into a console, text goes
// as UTF-16 through the console's own call, so that every character shows;
// into a file or a pipe, CP932 and GBK text goes as it stands and the rest
// in the ANSI code page, '?' for what it lacks, never a look-alike.
#include "platform.h"

#include "../code_pages/characters.h"

#include <algorithm>
#include <cstdio>
#include <windows.h>

namespace {

// How many UTF-16 units of text are converted and printed at a time.
constexpr size_t PRINTED_PIECE = 512;

bool is_control(unsigned code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

// CP932 or GBK text, as it stands: it reads right under its code page. Its
// control characters (never the second byte of a character) are escaped.
void print_code_page_text(const unsigned char *text, size_t length)
{
    size_t from = 0;
    for (size_t at = 0; at < length; ++at) {
        if (text[at] >= 0x20 && text[at] != 0x7F)
            continue;
        (void)fwrite(text + from, 1, at - from, stdout);
        (void)printf("\\x%02X", text[at]);
        from = at + 1;
    }
    (void)fwrite(text + from, 1, length - from, stdout);
}

// UTF-8 text as UTF-16 units, at most `capacity`; what is not UTF-8 becomes
// U+FFFD.
size_t utf8_to_units(const unsigned char *text, size_t length, wchar_t *units, size_t capacity)
{
    if (length == 0)
        return 0;
    int count = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char *>(text),
                                    static_cast<int>(length), units, static_cast<int>(capacity));
    return count > 0 ? static_cast<size_t>(count) : 0;
}

// How many of the first `length` bytes of UTF-8 text to take as a piece:
// at most PRINTED_PIECE (each gives at most one unit), ending where a
// character does.
size_t utf8_piece(const unsigned char *text, size_t length)
{
    if (length <= PRINTED_PIECE)
        return length;
    size_t end = PRINTED_PIECE;
    while (end > PRINTED_PIECE - 4 && (text[end] & 0xC0) == 0x80)
        --end;
    return end;
}

// How many of the first `count` units of UTF-16LE text to take as a piece:
// at most PRINTED_PIECE, a surrogate pair kept whole.
size_t utf16_piece(const unsigned char *text, size_t count)
{
    if (count <= PRINTED_PIECE)
        return count;
    unsigned last = text[2 * (PRINTED_PIECE - 1)] | text[2 * (PRINTED_PIECE - 1) + 1] << 8;
    return last >= 0xD800 && last <= 0xDBFF ? PRINTED_PIECE - 1 : PRINTED_PIECE;
}

// Unicode text in the ANSI code page, every character it lacks as '?',
// never a look-alike, and each control character escaped.
void print_units(const wchar_t *units, size_t count)
{
    UINT code_page = GetACP();
    bool utf8 = code_page == CP_UTF8;
    size_t from = 0;
    for (size_t at = 0; at <= count; ++at) {
        bool control = at < count && is_control(static_cast<unsigned>(units[at]));
        if (at < count && !control)
            continue;
        char converted[PRINTED_PIECE * 4];
        int written =
            at == from ? 0
                       : WideCharToMultiByte(code_page, utf8 ? 0 : WC_NO_BEST_FIT_CHARS,
                                             units + from, static_cast<int>(at - from), converted,
                                             sizeof converted, utf8 ? nullptr : "?", nullptr);
        (void)fwrite(converted, 1, written > 0 ? static_cast<size_t>(written) : 0, stdout);
        if (control)
            (void)printf("\\x%02X", static_cast<unsigned>(units[at]));
        from = at + 1;
    }
}

// Whether standard output is a console; asked once.
bool output_is_console()
{
    static const bool console = [] {
        DWORD mode = 0;
        return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    }();
    return console;
}

// UTF-16 text gathered for the console, and written in pieces.
struct console_text {
    wchar_t units[PRINTED_PIECE];
    size_t length;
};

void flush_console(console_text *text)
{
    DWORD written = 0;
    if (text->length > 0)
        (void)WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), text->units,
                            static_cast<DWORD>(text->length), &written, nullptr);
    text->length = 0;
}

void put_unit(console_text *text, unsigned unit)
{
    if (text->length == PRINTED_PIECE)
        flush_console(text);
    text->units[text->length++] = static_cast<wchar_t>(unit);
}

// A character for the console: a control character escaped, one past the
// first 65,536 as its two halves.
void put_code(console_text *text, unsigned code)
{
    if (is_control(code)) {
        char escaped[8];
        (void)snprintf(escaped, sizeof escaped, "\\x%02X", code);
        for (const char *c = escaped; *c != '\0'; ++c)
            put_unit(text, static_cast<unsigned char>(*c));
        return;
    }
    if (code < 0x10000) {
        put_unit(text, code);
        return;
    }
    put_unit(text, 0xD800 + ((code - 0x10000) >> 10));
    put_unit(text, 0xDC00 + ((code - 0x10000) & 0x3FF));
}

bool is_surrogate(unsigned unit)
{
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// UTF-16 units, a half of a pair without its other half as U+FFFD.
void put_units(console_text *text, const wchar_t *units, size_t count)
{
    for (size_t at = 0; at < count; ++at) {
        unsigned unit = units[at];
        unsigned next = at + 1 < count ? static_cast<unsigned>(units[at + 1]) : 0;
        if (unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            put_code(text, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
            ++at;
            continue;
        }
        put_code(text, is_surrogate(unit) ? REPLACEMENT_CHARACTER : unit);
    }
}

// A file's text at the console, every character as it is.
void print_to_console(const unsigned char *text, size_t length, bool wide, text_encoding encoding)
{
    // What the runtime holds goes first, so that the two keep their order.
    (void)fflush(stdout);
    static console_text out;
    out.length = 0;
    if (wide) {
        wchar_t units[PRINTED_PIECE];
        for (size_t at = 0; at + 1 < length;) {
            size_t count = std::min((length - at) / 2, PRINTED_PIECE);
            for (size_t index = 0; index < count; ++index)
                units[index] =
                    static_cast<wchar_t>(text[at + 2 * index] | text[at + 2 * index + 1] << 8);
            put_units(&out, units, count);
            at += 2 * count;
        }
    } else {
        size_t width = 0;
        for (size_t at = 0; at < length; at += width)
            put_code(&out, decode_character(text + at, length - at, encoding, &width));
    }
    flush_console(&out);
}

} // namespace

void print_file_text(const unsigned char *text, size_t length, bool wide, text_encoding encoding)
{
    if (output_is_console()) {
        print_to_console(text, length, wide, encoding);
        return;
    }
    if (!wide && encoding != ENCODING_UTF8) {
        print_code_page_text(text, length);
        return;
    }
    wchar_t units[PRINTED_PIECE];
    size_t at = 0;
    size_t end = wide ? length / 2 * 2 : length;
    while (at < end) {
        size_t taken =
            wide ? 2 * utf16_piece(text + at, (end - at) / 2) : utf8_piece(text + at, end - at);
        size_t count = wide ? taken / 2 : utf8_to_units(text + at, taken, units, PRINTED_PIECE);
        for (size_t index = 0; wide && index < count; ++index)
            units[index] =
                static_cast<wchar_t>(text[at + 2 * index] | text[at + 2 * index + 1] << 8);
        print_units(units, count);
        at += taken;
    }
}

void print_path(const path_char *path)
{
    size_t count = path_length(path);
    if (output_is_console()) {
        (void)fflush(stdout);
        static console_text out;
        out.length = 0;
        put_units(&out, path, count);
        flush_console(&out);
        return;
    }
    for (size_t at = 0; at < count; at += PRINTED_PIECE)
        print_units(path + at, std::min(count - at, PRINTED_PIECE));
}

console_facts read_console_facts()
{
    DWORD processes[2];
    DWORD attached = GetConsoleProcessList(processes, 2);
    DWORD mode = 0;
    bool input = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
    return {static_cast<unsigned>(attached), input, output_is_console()};
}

void wait_for_enter()
{
    HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        wchar_t unit = 0;
        DWORD read = 0;
        if (!ReadConsoleW(console, &unit, 1, &read, nullptr) || read == 0 || unit == L'\r' ||
            unit == L'\n')
            return;
    }
}
