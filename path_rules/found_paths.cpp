// A path found: its bytes gathered as the scan follows it, as the file
// holds them in an escaped text, its place put into words, and the path
// reported to the listing.
#include "path_scan.h"

#include "scan_steps.h"

#include <algorithm>
#include <cstring>

namespace path_search {

namespace {

void add_to_path(path_scanner *scanner, const unsigned char *bytes, size_t length)
{
    size_t taken = std::min(LONGEST_LISTED_PATH - scanner->path_length, length);
    memcpy(scanner->path + scanner->path_length, bytes, taken);
    scanner->path_length += taken;
}

void add_copies(path_scanner *scanner, unsigned char value, uint64_t count)
{
    size_t room = LONGEST_LISTED_PATH - scanner->path_length;
    size_t taken = static_cast<size_t>(std::min<uint64_t>(room, count));
    memset(scanner->path + scanner->path_length, value, taken);
    scanner->path_length += taken;
}

// The length of a path cut at LONGEST_LISTED_PATH without a character cut
// in half at its end.
size_t whole_characters(const path_scanner &scanner, const unsigned char *path, size_t length)
{
    if (length < LONGEST_LISTED_PATH)
        return length;
    if (scanner.path_wide)
        return length & ~size_t{1};
    size_t at = 0;
    while (at < length) {
        bool lead = is_lead(scanner, path[at]);
        if (lead && at + 1 == length)
            return at;
        at += lead && path[at + 1] >= 0x40 ? 2 : 1;
    }
    return length;
}

// Where the byte at `at` of an escaped text read unescaped begins as the
// file holds it: in the piece being scanned, at its end, or among the
// recent bytes.
uint64_t raw_offset(const path_scanner &scanner, position at)
{
    const escaped_text &text = scanner.escaped;
    if (at >= text.start)
        return text.raw_start + text.from[at - text.start];
    constexpr position KEPT = sizeof text.recent_from / sizeof text.recent_from[0];
    position back = std::min(text.start - at, KEPT);
    return text.recent_from[KEPT - back];
}

// Begins the path at `start` as the file holds it, with its bytes up to
// the end of the piece being scanned: those of the piece, and those before
// it, which the tail holds.
void begin_raw_path(path_scanner *scanner, position start)
{
    const escaped_text &text = scanner->escaped;
    scanner->path_raw_start = raw_offset(*scanner, start);
    scanner->path_raw_length = 0;
    uint64_t piece_at = 0;
    if (scanner->path_raw_start < text.raw_start) {
        auto back = static_cast<size_t>(
            std::min<uint64_t>(text.raw_start - scanner->path_raw_start, text.tail_length));
        add_to_raw_path(scanner, text.tail + text.tail_length - back, back);
    } else {
        piece_at = scanner->path_raw_start - text.raw_start;
    }
    add_to_raw_path(scanner, text.raw + piece_at, text.raw_length - static_cast<size_t>(piece_at));
}

// Appends text to a label, as far as it fits: a longer one only names a
// place less fully.
void append(char *label, size_t *length, const char *text)
{
    size_t count = std::min(strlen(text), WHERE_CAPACITY - 1 - *length);
    memcpy(label + *length, text, count);
    *length += count;
    label[*length] = '\0';
}

void append_number(char *label, size_t *length, uint64_t number)
{
    char digits[24];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number > 0);
    char text[24];
    for (size_t index = 0; index < count; ++index)
        text[index] = digits[count - 1 - index];
    text[count] = '\0';
    append(label, length, text);
}

// Puts the place into words: "SECTION[ PART NUMBER[, effect INDEX NAME]]:
// FIELD", with "data" for bytes of no field.
void put_where(path_scanner *scanner)
{
    const text_place &place = scanner->place;
    char *label = scanner->path_where;
    size_t length = 0;
    append(label, &length, place.section);
    if (place.part != nullptr) {
        append(label, &length, " ");
        append(label, &length, place.part);
        append(label, &length, " ");
        append_number(label, &length, place.number);
    }
    if (place.part != nullptr && place.effect >= 0) {
        append(label, &length, ", effect ");
        append_number(label, &length, static_cast<uint64_t>(place.effect));
        append(label, &length, " ");
        append(label, &length, place.effect_name);
    }
    append(label, &length, ": ");
    append(label, &length, scanner->field != nullptr ? scanner->field : "data");
}

// Takes the byte at `at` onto the path; false when it, or the UTF-16 unit it
// completes, ends the path, which is then reported.
bool take_path_byte(path_scanner *scanner, unsigned char byte, position at)
{
    if (!scanner->path_wide) {
        if (ends_path(byte)) {
            report_path(scanner, at);
            return false;
        }
        add_to_path(scanner, &byte, 1);
        return true;
    }
    if (scanner->wide_half == 0) {
        scanner->wide_low = byte;
        scanner->wide_half = 1;
        return true;
    }
    scanner->wide_half = 0;
    if (ends_path(scanner->wide_low | byte << 8)) {
        report_path(scanner, at - 1);
        return false;
    }
    unsigned char unit[2] = {scanner->wide_low, byte};
    add_to_path(scanner, unit, 2);
    return true;
}

// Follows the path under way over a run, from `at` up to `limit`.
position extend_over_run(path_scanner *scanner, const segment &part, position at, position limit)
{
    unsigned char value = part.value;
    uint64_t count = static_cast<uint64_t>(limit - at);
    if (!scanner->path_wide) {
        if (ends_path(value)) {
            report_path(scanner, at);
            return at;
        }
        add_copies(scanner, value, count);
        return limit;
    }
    if (scanner->wide_half != 0) {
        if (!take_path_byte(scanner, value, at))
            return static_cast<position>(scanner->path_end);
        ++at;
        --count;
    }
    if (ends_path(value | value << 8) && count >= 2) {
        report_path(scanner, at);
        return at;
    }
    add_copies(scanner, value, count & ~uint64_t{1});
    if (count % 2 == 1) {
        scanner->wide_low = value;
        scanner->wide_half = 1;
    }
    return limit;
}

} // namespace

void add_to_raw_path(path_scanner *scanner, const unsigned char *bytes, size_t length)
{
    size_t taken = std::min(LONGEST_LISTED_PATH - scanner->path_raw_length, length);
    memcpy(scanner->path_raw + scanner->path_raw_length, bytes, taken);
    scanner->path_raw_length += taken;
}

// Reports the path under way, which ends where the text's byte `end` (or
// its end) is.
void report_path(path_scanner *scanner, position end)
{
    scanner->in_path = false;
    scanner->path_end = static_cast<uint64_t>(end);
    const unsigned char *path = scanner->path;
    size_t length = scanner->path_length;
    if (scanner->escaped.reading) {
        // As the file holds it: from its first escape to where it ends.
        uint64_t raw_length = raw_offset(*scanner, end) - scanner->path_raw_start;
        length = static_cast<size_t>(std::min<uint64_t>(raw_length, scanner->path_raw_length));
        path = scanner->path_raw;
    }
    found_path found{scanner->path_where,
                     scanner->encoding,
                     scanner->path_old,
                     path,
                     whole_characters(*scanner, path, length),
                     scanner->path_wide,
                     scanner->encoding,
                     scanner->escaped.reading,
                     scanner->escaped.escapes};
    scanner->listing.found(scanner->listing.context, found);
}

void begin_path(path_scanner *scanner, const segment &part, const path_shape &shape)
{
    scanner->in_path = true;
    scanner->path_wide = shape.wide;
    scanner->path_old = scanner->old;
    scanner->path_start = shape.start;
    scanner->path_length = 0;
    scanner->wide_half = 0;
    put_where(scanner);
    if (scanner->escaped.reading)
        begin_raw_path(scanner, shape.start);
    for (position at = shape.start; at < shape.start + shape.length; ++at) {
        unsigned char byte = static_cast<unsigned char>(byte_at(*scanner, part, at));
        add_to_path(scanner, &byte, 1);
    }
}

// Follows the path under way from `at` up to `limit`; where it stopped: at
// `limit`, or where the byte or unit that ends it begins.
position extend_path(path_scanner *scanner, const segment &part, position at, position limit)
{
    // Bytes already passed, among the recent ones.
    for (; at < limit && at < part.start; ++at) {
        unsigned char byte = static_cast<unsigned char>(byte_at(*scanner, part, at));
        if (!take_path_byte(scanner, byte, at))
            return static_cast<position>(scanner->path_end);
    }
    if (at >= limit)
        return limit;
    if (part.bytes == nullptr)
        return extend_over_run(scanner, part, at, limit);
    const unsigned char *bytes = part.bytes + (at - part.start);
    size_t length = static_cast<size_t>(limit - at);
    if (!scanner->path_wide) {
        size_t kept = 0;
        while (kept < length && !ends_path(bytes[kept]))
            ++kept;
        add_to_path(scanner, bytes, kept);
        if (kept == length)
            return limit;
        report_path(scanner, at + static_cast<position>(kept));
        return at + static_cast<position>(kept);
    }
    for (size_t index = 0; index < length; ++index) {
        if (!take_path_byte(scanner, bytes[index], at + static_cast<position>(index)))
            return static_cast<position>(scanner->path_end);
    }
    return limit;
}

} // namespace path_search
