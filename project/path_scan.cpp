// The scan reads characters one at a time and keeps the last three: a path
// begins when they, and the one before them, make one of the two shapes.
#include "path_scan.h"

#include "text_field.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int NO_CHARACTER = -1;       // before the text's first character
constexpr int OTHER_CHARACTER = 0x100; // anything but ASCII

bool is_letter(int c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_letter_or_digit(int c)
{
    return is_letter(c) || (c >= '0' && c <= '9');
}

bool is_separator(int c)
{
    return c == '\\' || c == '/';
}

// What ends a path: a 0, a control character or a double quote.
bool ends_path(unsigned code)
{
    return code < 0x20 || code == '"';
}

void copy_text(char *to, size_t capacity, const char *text)
{
    (void)snprintf(to, capacity, "%s", text); // a longer label is cut: it only names a place
}

void forget_characters(path_scanner *scanner)
{
    scanner->recent[0] = scanner->recent[1] = scanner->recent[2] = NO_CHARACTER;
    scanner->lead = -1;
}

void report_path(path_scanner *scanner)
{
    scanner->in_path = false;
    found_path path{scanner->path_where, scanner->path_old, scanner->path, scanner->path_length,
                    scanner->wide};
    scanner->listing.found(scanner->listing.context, path);
}

void add_to_path(path_scanner *scanner, const unsigned char *bytes, size_t length)
{
    // A path longer than the buffer is reported as far as it fits.
    if (scanner->path_length + length > LONGEST_LISTED_PATH)
        return;
    memcpy(scanner->path + scanner->path_length, bytes, length);
    scanner->path_length += length;
}

// Adds an ASCII character to the path, in the text's encoding.
void add_ascii(path_scanner *scanner, int c)
{
    unsigned char bytes[2] = {static_cast<unsigned char>(c), 0};
    add_to_path(scanner, bytes, scanner->wide ? 2 : 1);
}

void begin_path(path_scanner *scanner, int first, int second, const char *where)
{
    scanner->in_path = true;
    scanner->path_old = scanner->old;
    scanner->path_length = 0;
    copy_text(scanner->path_where, sizeof scanner->path_where, where);
    add_ascii(scanner, first);
    add_ascii(scanner, second);
}

// Takes one character (`code`: its ASCII value, or OTHER_CHARACTER) of the
// text outside a path.
void take_character(path_scanner *scanner, int code, const unsigned char *bytes, size_t length,
                    const char *where)
{
    int before = scanner->recent[0];
    int first = scanner->recent[1];
    int second = scanner->recent[2];
    scanner->recent[0] = first;
    scanner->recent[1] = second;
    scanner->recent[2] = code;
    bool drive =
        is_letter(first) && second == ':' && is_separator(code) && !is_letter_or_digit(before);
    bool network = first == '\\' && second == '\\' && !is_separator(code) && code != ' ' &&
                   before != '\\' && before != ':' && !is_letter_or_digit(before);
    if (!drive && !network)
        return;
    begin_path(scanner, first, second, where);
    add_to_path(scanner, bytes, length);
    forget_characters(scanner);
}

void scan_byte(path_scanner *scanner, unsigned char byte, const char *where)
{
    if (scanner->in_path) {
        if (!ends_path(byte)) {
            add_to_path(scanner, &byte, 1);
            return;
        }
        report_path(scanner);
    }
    if (byte == 0) {
        forget_characters(scanner);
        return;
    }
    // A lead byte takes the next as its second byte, unless that cannot be
    // one; then the lead stands alone.
    if (scanner->lead >= 0) {
        unsigned char pair[2] = {static_cast<unsigned char>(scanner->lead), byte};
        scanner->lead = -1;
        if (byte >= 0x40) {
            take_character(scanner, OTHER_CHARACTER, pair, 2, where);
            return;
        }
        take_character(scanner, OTHER_CHARACTER, pair, 1, where);
    }
    if (is_lead_byte(byte)) {
        scanner->lead = byte;
        return;
    }
    take_character(scanner, byte < 0x80 ? byte : OTHER_CHARACTER, &byte, 1, where);
}

void scan_unit(path_scanner *scanner, const unsigned char *unit, const char *where)
{
    unsigned code = unit[0] | static_cast<unsigned>(unit[1]) << 8;
    if (scanner->in_path) {
        if (!ends_path(code)) {
            add_to_path(scanner, unit, 2);
            return;
        }
        report_path(scanner);
    }
    if (code == 0) {
        forget_characters(scanner);
        return;
    }
    take_character(scanner, code < 0x80 ? static_cast<int>(code) : OTHER_CHARACTER, unit, 2, where);
}

void scan_text(path_scanner *scanner, const unsigned char *text, size_t length, const char *where)
{
    if (scanner->wide) {
        for (size_t at = 0; at + 1 < length; at += 2)
            scan_unit(scanner, text + at, where);
        return;
    }
    for (size_t at = 0; at < length; ++at)
        scan_byte(scanner, text[at], where);
}

} // namespace

void start_scanning(path_scanner *scanner, path_listing listing)
{
    memset(scanner, 0, sizeof *scanner);
    scanner->listing = listing;
    forget_characters(scanner);
}

void set_section(path_scanner *scanner, const char *section)
{
    copy_text(scanner->section, sizeof scanner->section, section);
    scanner->part[0] = '\0';
}

void set_part(path_scanner *scanner, const char *part)
{
    copy_text(scanner->part, sizeof scanner->part, part);
}

void end_text(path_scanner *scanner)
{
    if (scanner->in_path)
        report_path(scanner);
    forget_characters(scanner);
}

void scan_data(path_scanner *scanner, const unsigned char *bytes, size_t length)
{
    char where[WHERE_CAPACITY];
    (void)snprintf(where, sizeof where, "%s%s: data", scanner->section, scanner->part);
    scan_text(scanner, bytes, length, where);
}

void scan_field(path_scanner *scanner, const unsigned char *field, size_t size, bool wide,
                const char *name)
{
    char where[WHERE_CAPACITY];
    (void)snprintf(where, sizeof where, "%s%s: %s", scanner->section, scanner->part, name);
    end_text(scanner);
    scanner->wide = wide;
    size_t length = text_length(field, size, wide);
    scan_text(scanner, field, length, where);
    end_text(scanner);
    scanner->old = true;
    scan_text(scanner, field + length, size - length, where);
    end_text(scanner);
    // Data goes on as CP932, and new.
    scanner->wide = false;
    scanner->old = false;
}
