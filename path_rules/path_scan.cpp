// The scan looks only at the bytes that can make a path's shape: each ':'
// and '\'. Around each it reads the few bytes before and after, in every
// reading, and once a path has begun it follows the path to its end. A run
// of one byte is taken by its count: copies of one byte cannot make a shape,
// so only its first and last bytes can take part in one.
//
// Whether a byte begins a character depends on the lead bytes before it:
// consecutive lead bytes pair up from the first, so a byte begins one when
// an even number of them end just before it (or it cannot be a second byte).
// The scan keeps that count for the last three bytes it has passed.
#include "path_scan.h"

#include "file_name.h"
#include "path_marks.h"

#include <algorithm>
#include <cstring>

namespace {

using position = int64_t;

// How many bytes from a ':' or '\' on a shape may need.
constexpr position LOOKAHEAD = 6;
// How many bytes at each end of a run can take part in a shape.
constexpr position RUN_EDGE = 8;

constexpr int NONE = -1;     // before the text's start, or past what is known
constexpr int OTHER = 0x100; // a character that is not ASCII

// Bytes of the text from `start` to `end`: literal, or copies of `value`.
struct segment {
    const unsigned char *bytes; // null for a run
    unsigned char value;
    position start;
    position end;
    bool text_ends; // nothing follows it in this text
};

bool is_letter(int c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_letter_or_digit(int c)
{
    return is_letter(c) || (c >= '0' && c <= '9');
}

// What ends a path: a 0, a control character or a double quote.
bool ends_path(int code)
{
    return code < 0x20 || code == '"';
}

// The byte at `at` of the text: in the segment, among the recent bytes
// before it, or NONE.
int byte_at(const path_scanner &scanner, const segment &part, position at)
{
    if (at >= part.end || at < 0)
        return NONE;
    if (at >= part.start)
        return part.bytes != nullptr ? part.bytes[at - part.start] : part.value;
    position back = part.start - at;
    if (back > static_cast<position>(scanner.recent_length))
        return NONE;
    return scanner.recent[sizeof scanner.recent - static_cast<size_t>(back)];
}

// The UTF-16LE unit whose first byte is at `at`, or NONE.
int unit_at(const path_scanner &scanner, const segment &part, position at)
{
    int low = byte_at(scanner, part, at);
    int high = byte_at(scanner, part, at + 1);
    return low == NONE || high == NONE ? NONE : low | high << 8;
}

bool is_lead(const path_scanner &scanner, int byte)
{
    return byte >= 0 && is_lead_byte(static_cast<unsigned char>(byte), scanner.encoding);
}

// How many lead bytes end at `at` (at most three back from the segment).
uint64_t lead_run_at(const path_scanner &scanner, const segment &part, position at)
{
    if (at < 0)
        return 0;
    if (at < part.start)
        return part.start - 1 - at < 3 ? scanner.lead_run[part.start - 1 - at] : 0;
    if (part.bytes == nullptr)
        return is_lead(scanner, part.value)
                   ? static_cast<uint64_t>(at - part.start + 1) + scanner.lead_run[0]
                   : 0;
    uint64_t run = 0;
    for (position back = at; back >= part.start; --back, ++run) {
        if (!is_lead(scanner, part.bytes[back - part.start]))
            return run;
    }
    return run + scanner.lead_run[0];
}

// Whether the byte at `at` begins a character: `run_before` lead bytes end
// just before it.
bool begins_character(int byte, uint64_t run_before)
{
    return byte < 0x40 || run_before % 2 == 0;
}

// The character that ends just before `at`, in 8-bit text, as ASCII or
// OTHER; NONE at the text's start. `run_before_previous`: the lead bytes
// that end before the byte at at-1.
int character_before(const path_scanner &scanner, const segment &part, position at,
                     uint64_t run_before_previous)
{
    int previous = byte_at(scanner, part, at - 1);
    if (previous == NONE)
        return NONE;
    bool single = begins_character(previous, run_before_previous) && !is_lead(scanner, previous);
    return single && previous < 0x80 ? previous : OTHER;
}

// Where a path may begin, as one of the shapes, and how many of its bytes
// the shape has shown not to end it.
struct path_shape {
    position start;
    bool wide;
    position length;
};

// A drive in UTF-16LE whose ':' unit is at `colon`.
bool wide_drive(const path_scanner &scanner, const segment &part, position colon)
{
    int letter = unit_at(scanner, part, colon - 2);
    int separator = unit_at(scanner, part, colon + 2);
    if (!is_letter(letter) || unit_at(scanner, part, colon) != ':')
        return false;
    return separator == '\\' ||
           (separator == '/' && !is_letter_or_digit(unit_at(scanner, part, colon - 4)));
}

// A network share in UTF-16LE whose first '\' unit is at `at`.
bool wide_share(const path_scanner &scanner, const segment &part, position at)
{
    int before = unit_at(scanner, part, at - 2);
    int third = unit_at(scanner, part, at + 4);
    return unit_at(scanner, part, at) == '\\' && unit_at(scanner, part, at + 2) == '\\' &&
           third != NONE && third != '\\' && third != '/' && third != ' ' && !ends_path(third) &&
           before != '\\' && before != ':' && !is_letter_or_digit(before);
}

// `runs`: how many lead bytes end at hit-1, hit-2 and hit-3.
bool narrow_drive(const path_scanner &scanner, const segment &part, position colon,
                  const uint64_t runs[3])
{
    int letter = byte_at(scanner, part, colon - 1);
    int separator = byte_at(scanner, part, colon + 1);
    if (!is_letter(letter))
        return false;
    if (separator == '\\')
        return true;
    return separator == '/' && begins_character(letter, runs[1]) &&
           !is_letter_or_digit(character_before(scanner, part, colon - 1, runs[2]));
}

bool narrow_share(const path_scanner &scanner, const segment &part, position at,
                  const uint64_t runs[3])
{
    int third = byte_at(scanner, part, at + 2);
    int before = character_before(scanner, part, at, runs[1]);
    return byte_at(scanner, part, at + 1) == '\\' && begins_character('\\', runs[0]) &&
           third != NONE && third != '\\' && third != '/' && third != ' ' && !ends_path(third) &&
           before != '\\' && before != ':' && !is_letter_or_digit(before);
}

// The shape that a ':' or '\' at `hit` completes, if any, in the readings
// of the text.
bool shape_at(const path_scanner &scanner, const segment &part, position hit,
              const uint64_t runs[3], path_shape *shape)
{
    int byte = byte_at(scanner, part, hit);
    if (byte == ':') {
        if (scanner.wide[(hit - 2) & 1] && wide_drive(scanner, part, hit)) {
            *shape = {hit - 2, true, 6};
            return true;
        }
        if (scanner.eight_bit && narrow_drive(scanner, part, hit, runs)) {
            *shape = {hit - 1, false, 3};
            return true;
        }
        return false;
    }
    if (scanner.wide[hit & 1] && wide_share(scanner, part, hit)) {
        *shape = {hit, true, 4};
        return true;
    }
    if (scanner.eight_bit && narrow_share(scanner, part, hit, runs)) {
        *shape = {hit, false, 2};
        return true;
    }
    return false;
}

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

void add_to_raw_path(path_scanner *scanner, const unsigned char *bytes, size_t length)
{
    size_t taken = std::min(LONGEST_LISTED_PATH - scanner->path_raw_length, length);
    memcpy(scanner->path_raw + scanner->path_raw_length, bytes, taken);
    scanner->path_raw_length += taken;
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

// The next ':' or '\' from `at` on, or the segment's end; `*next` is where
// the last search found one, -1 before the first, so that a segment is
// searched once however many hits it holds. In a run only the bytes near
// its ends can take part in a shape.
position next_hit(const segment &part, position at, position *next)
{
    if (part.bytes == nullptr) {
        if (part.value != ':' && part.value != '\\')
            return part.end;
        if (at >= part.start + RUN_EDGE && at < part.end - RUN_EDGE)
            return part.end - RUN_EDGE;
        return at;
    }
    if (*next < at) {
        const unsigned char *from = part.bytes + (at - part.start);
        *next = at + static_cast<position>(find_mark(from, static_cast<size_t>(part.end - at)));
    }
    return *next;
}

// How many lead bytes end at hit-1, hit-2 and hit-3: where one ends at a
// byte, one less ends at the byte before.
void lead_runs_before(const path_scanner &scanner, const segment &part, position hit,
                      uint64_t runs[3])
{
    runs[0] = lead_run_at(scanner, part, hit - 1);
    for (int back = 1; back < 3; ++back)
        runs[back] =
            runs[back - 1] > 0 ? runs[back - 1] - 1 : lead_run_at(scanner, part, hit - 1 - back);
}

void wait_for_more(path_scanner *scanner, const segment &part, position hit)
{
    // Only hits among the last LOOKAHEAD bytes wait: there is room for them.
    path_scanner::waiting_hit &waiting = scanner->waiting[scanner->waiting_count++];
    waiting.at = static_cast<uint64_t>(hit);
    lead_runs_before(*scanner, part, hit, waiting.lead_run);
}

// Tries a hit; where the scan goes on.
position try_hit(path_scanner *scanner, const segment &part, position hit, const uint64_t runs[3])
{
    path_shape shape{};
    if (!shape_at(*scanner, part, hit, runs, &shape) ||
        shape.start < static_cast<position>(scanner->path_end))
        return hit + 1;
    begin_path(scanner, part, shape);
    return shape.start + shape.length;
}

// Tries the hits that waited for the bytes after them, now that the
// segment has come; where the scan goes on, which may lie before the
// segment while a path is under way.
position try_waiting(path_scanner *scanner, const segment &part)
{
    if (scanner->waiting_count == 0)
        return part.start;
    position at = static_cast<position>(scanner->waiting[0].at);
    int tried = 0;
    for (; tried < scanner->waiting_count; ++tried) {
        const path_scanner::waiting_hit &waiting = scanner->waiting[tried];
        if (scanner->in_path)
            at = extend_path(scanner, part, at, part.start);
        if (scanner->in_path) {
            tried = scanner->waiting_count; // the rest lie inside the path
            break;
        }
        position hit = static_cast<position>(waiting.at);
        if (hit < at)
            continue;
        if (!part.text_ends && hit + LOOKAHEAD > part.end)
            break;
        at = try_hit(scanner, part, hit, waiting.lead_run);
    }
    int left = scanner->waiting_count - tried;
    memmove(scanner->waiting, scanner->waiting + tried,
            sizeof scanner->waiting[0] * static_cast<size_t>(left));
    scanner->waiting_count = left;
    return at;
}

// Keeps the segment's last bytes, and its lead bytes, for the next.
void remember(path_scanner *scanner, const segment &part)
{
    constexpr size_t KEPT = sizeof scanner->recent;
    size_t length = static_cast<size_t>(part.end - part.start);
    const unsigned char *last = part.bytes != nullptr ? part.bytes + length : nullptr;
    bool no_lead = part.bytes == nullptr
                       ? !is_lead(*scanner, part.value)
                       : length >= 3 && !is_lead(*scanner, last[-1]) &&
                             !is_lead(*scanner, last[-2]) && !is_lead(*scanner, last[-3]);
    if (no_lead)
        scanner->lead_run[0] = scanner->lead_run[1] = scanner->lead_run[2] = 0;
    else
        lead_runs_before(*scanner, part, part.end, scanner->lead_run);
    if (length >= KEPT && part.bytes != nullptr) {
        memcpy(scanner->recent, last - KEPT, KEPT);
    } else if (length >= KEPT) {
        memset(scanner->recent, part.value, KEPT);
    } else {
        memmove(scanner->recent, scanner->recent + length, KEPT - length);
        for (size_t at = 0; at < length; ++at)
            scanner->recent[KEPT - length + at] =
                part.bytes != nullptr ? part.bytes[at] : part.value;
    }
    scanner->recent_length = std::min(KEPT, scanner->recent_length + length);
    scanner->at = static_cast<uint64_t>(part.end);
}

void scan_segment(path_scanner *scanner, const segment &part)
{
    position at = try_waiting(scanner, part);
    position next = -1; // where next_hit last found a ':' or '\'
    for (;;) {
        if (scanner->in_path) {
            at = extend_path(scanner, part, at, part.end);
            if (scanner->in_path)
                break;
            continue;
        }
        position hit = next_hit(part, std::max(at, part.start), &next);
        if (hit >= part.end)
            break;
        if (scanner->waiting_count > 0 || (!part.text_ends && hit + LOOKAHEAD > part.end)) {
            wait_for_more(scanner, part, hit);
            at = hit + 1;
            continue;
        }
        uint64_t runs[3];
        lead_runs_before(*scanner, part, hit, runs);
        at = try_hit(scanner, part, hit, runs);
    }
    remember(scanner, part);
}

// Begins a text, read 8-bit and, in the alignments asked, as UTF-16LE.
void begin_text(path_scanner *scanner, bool eight_bit, bool wide_even, bool wide_odd)
{
    scanner->eight_bit = eight_bit;
    scanner->wide[0] = wide_even;
    scanner->wide[1] = wide_odd;
    scanner->at = 0;
    scanner->recent_length = 0;
    scanner->lead_run[0] = scanner->lead_run[1] = scanner->lead_run[2] = 0;
    scanner->waiting_count = 0;
    scanner->path_end = 0;
}

// Ends the text: the hits that waited are tried with nothing after them,
// and a path under way is reported.
void finish_text(path_scanner *scanner)
{
    position at = static_cast<position>(scanner->at);
    if (scanner->waiting_count > 0)
        scan_segment(scanner, {nullptr, 0, at, at, true});
    if (scanner->in_path)
        report_path(scanner, at);
}

void scan_text(path_scanner *scanner, const unsigned char *text, size_t length)
{
    position at = static_cast<position>(scanner->at);
    if (length > 0)
        scan_segment(scanner, {text, 0, at, at + static_cast<position>(length), false});
}

// Keeps where the last bytes of the piece just scanned begin as the file
// holds them, and its last bytes, for the piece after it; then moves on
// past it.
void pass_escaped_piece(path_scanner *scanner, size_t plain_length, size_t used)
{
    escaped_text &text = scanner->escaped;
    constexpr size_t KEPT = sizeof text.recent_from / sizeof text.recent_from[0];
    size_t moved = std::min(plain_length, KEPT);
    memmove(text.recent_from, text.recent_from + moved,
            (KEPT - moved) * sizeof text.recent_from[0]);
    for (size_t index = 0; index < moved; ++index)
        text.recent_from[KEPT - moved + index] =
            text.raw_start + text.from[plain_length - moved + index];
    constexpr size_t TAIL = sizeof text.tail;
    size_t added = std::min(used, TAIL);
    size_t kept = std::min(text.tail_length, TAIL - added);
    memmove(text.tail, text.tail + text.tail_length - kept, kept);
    memcpy(text.tail + kept, text.raw + used - added, added);
    text.tail_length = kept + added;
    text.start += static_cast<position>(plain_length);
    text.raw_start += used;
    text.raw_length = 0;
    text.from[0] = 0;
}

// Scans bytes of an escaped text, read as the text they stand for, in
// pieces of at most ESCAPED_PIECE bytes; `ends` when the text ends with
// them.
void scan_escaped(path_scanner *scanner, const unsigned char *bytes, size_t length, bool ends)
{
    escaped_text &text = scanner->escaped;
    do {
        size_t taken = std::min(length, sizeof text.raw - text.cut_length);
        if (taken > 0)
            memcpy(text.raw + text.cut_length, bytes, taken);
        bytes += taken;
        length -= taken;
        size_t filled = text.cut_length + taken;
        size_t used = 0;
        size_t plain_length = undo_escapes(text.raw, filled, text.escapes, ends && length == 0,
                                           text.plain, text.from, &used);
        text.raw_length = used;
        text.start = static_cast<position>(scanner->at);
        if (scanner->in_path)
            add_to_raw_path(scanner, text.raw, used);
        if (plain_length > 0)
            scan_segment(scanner, {text.plain, 0, text.start,
                                   text.start + static_cast<position>(plain_length), false});
        pass_escaped_piece(scanner, plain_length, used);
        text.cut_length = filled - used;
        memmove(text.raw, text.raw + used, text.cut_length);
    } while (length > 0);
}

// Begins reading a text, escaped or not, as `reading` says.
void begin_reading(path_scanner *scanner, field_reading reading)
{
    bool wide = reading == FIELD_READ_WIDE;
    begin_text(scanner, !wide, wide, false);
    escaped_text &text = scanner->escaped;
    text.reading = reading == FIELD_READ_SCRIPT || reading == FIELD_READ_ESCAPED;
    text.escapes = reading == FIELD_READ_SCRIPT ? ESCAPES_LUA : ESCAPES_AVIUTL2;
    text.raw_length = text.tail_length = text.cut_length = 0;
    text.start = 0;
    text.raw_start = 0;
    text.from[0] = 0;
}

// Ends a text begun by begin_reading: an escape cut short at its end is
// read as it stands, and a path under way is reported.
void end_reading(path_scanner *scanner)
{
    if (scanner->escaped.reading && scanner->escaped.cut_length > 0)
        scan_escaped(scanner, nullptr, 0, true);
    finish_text(scanner);
    scanner->escaped.reading = false;
}

// A field's text or old bytes, as a text of its own.
void scan_field_text(path_scanner *scanner, const unsigned char *text, size_t length,
                     field_reading reading)
{
    // Every path has a ':' or a '\\' (escaped, a '\\' too; in UTF-16LE, such
    // a byte): a text of its own with neither holds none.
    if (find_mark(text, length) == length)
        return;
    begin_reading(scanner, reading);
    if (scanner->escaped.reading) {
        scan_escaped(scanner, text, length, true);
    } else {
        // Whole, with nothing after it: no hit waits for more.
        scan_segment(scanner, {text, 0, 0, static_cast<position>(length), true});
    }
    end_reading(scanner);
}

} // namespace

void start_scanning(path_scanner *scanner, path_listing listing)
{
    memset(scanner, 0, sizeof *scanner);
    scanner->listing = listing;
    scanner->place = {"", nullptr, 0, -1, nullptr};
    begin_text(scanner, true, true, true);
}

void set_section(path_scanner *scanner, const char *section, text_encoding encoding)
{
    end_text(scanner);
    scanner->encoding = encoding;
    scanner->place = {section, nullptr, 0, -1, nullptr};
}

void set_part(path_scanner *scanner, const char *part, uint64_t number, int32_t effect,
              const char *effect_name)
{
    scanner->place.part = part;
    scanner->place.number = number;
    scanner->place.effect = effect;
    scanner->place.effect_name = effect_name;
}

void end_text(path_scanner *scanner)
{
    finish_text(scanner);
    begin_text(scanner, true, true, true);
}

void scan_data(path_scanner *scanner, const unsigned char *bytes, size_t length)
{
    scan_text(scanner, bytes, length);
}

void scan_run(path_scanner *scanner, unsigned char value, uint64_t count)
{
    position at = static_cast<position>(scanner->at);
    if (count > 0)
        scan_segment(scanner, {nullptr, value, at, at + static_cast<position>(count), false});
}

uint64_t copies_scanned(unsigned char value, uint64_t count)
{
    // Room for the lookahead of a hit before the run and for a UTF-16LE unit
    // half read, with the run's parity.
    constexpr uint64_t KEPT_ZEROS = 4 * RUN_EDGE;
    if (value != 0 || count <= KEPT_ZEROS)
        return count;
    return KEPT_ZEROS + count % 2;
}

void scan_field(path_scanner *scanner, const unsigned char *field, size_t size,
                field_reading reading, const char *name)
{
    finish_text(scanner);
    scanner->field = name;
    size_t length = text_length(field, size, reading == FIELD_READ_WIDE);
    scan_field_text(scanner, field, length, reading);
    scanner->old = true;
    scan_field_text(scanner, field + length, size - length, reading);
    // Data goes on, read every way, and new.
    scanner->field = nullptr;
    scanner->old = false;
    begin_text(scanner, true, true, true);
}

void begin_field(path_scanner *scanner, field_reading reading, const char *name)
{
    finish_text(scanner);
    scanner->field = name;
    begin_reading(scanner, reading);
}

void scan_field_piece(path_scanner *scanner, const unsigned char *bytes, size_t length)
{
    if (scanner->escaped.reading)
        scan_escaped(scanner, bytes, length, false);
    else
        scan_text(scanner, bytes, length);
}

void end_field(path_scanner *scanner)
{
    end_reading(scanner);
    scanner->field = nullptr;
    begin_text(scanner, true, true, true);
}
