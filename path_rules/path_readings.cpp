// The texts the scanner reads and how: 8-bit text, UTF-16LE in either
// alignment, or both, for bytes of no known field; a field's text and its
// old bytes; and escaped texts, read unescaped in pieces.
#include "path_scan.h"

#include "path_marks.h"
#include "scan_steps.h"

#include <algorithm>
#include <cstring>

using namespace path_search;

namespace {

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
