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

#include "path_marks.h"
#include "scan_steps.h"

#include <algorithm>
#include <cstring>

namespace path_search {

namespace {

bool is_letter(int c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_letter_or_digit(int c)
{
    return is_letter(c) || (c >= '0' && c <= '9');
}

// The UTF-16LE unit whose first byte is at `at`, or NONE.
int unit_at(const path_scanner &scanner, const segment &part, position at)
{
    int low = byte_at(scanner, part, at);
    int high = byte_at(scanner, part, at + 1);
    return low == NONE || high == NONE ? NONE : low | high << 8;
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

} // namespace

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

bool is_lead(const path_scanner &scanner, int byte)
{
    return byte >= 0 && is_lead_byte(static_cast<unsigned char>(byte), scanner.encoding);
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

} // namespace path_search
