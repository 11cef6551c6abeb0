// Finding absolute paths in a file's text, for the listing of what a file
// still gives away.
//
// A text is read as 8-bit text (CP932, GBK or UTF-8), as UTF-16LE, or, in
// bytes no field is known for, as both: 8-bit text and UTF-16LE in each of
// the two alignments. In each reading a path begins where
// - an ASCII letter, ':' and '\' follow one another (a drive), whatever
//   comes before the letter, even when in 8-bit text it is the second byte
//   of a character;
// - an ASCII letter that begins a character, ':' and '/' follow one another,
//   and the character before the letter is no ASCII letter or digit (so that
//   "http://" is none);
// - '\', '\' and a character other than '\', '/', a blank or one that ends a
//   path follow one another (a network share), where the first '\' begins a
//   character and the character before it is no '\', ':', ASCII letter or
//   digit.
// A path runs to the first 0, control character or double quote, or to the
// end of its text, and no path begins inside another. In 8-bit text a lead
// byte takes the next byte as its second unless that is below 0x40; the
// text's start, and a 0 byte, begin characters afresh. Paths are reported
// in the order they begin.
#pragma once

#include "../code_pages/encoding.h"
#include "escapes.h"

#include <cstddef>
#include <cstdint>

// The longest path reported whole (longer ones are cut there, at a
// character's end), and the longest label of a place.
constexpr size_t LONGEST_LISTED_PATH = 1024;
constexpr size_t WHERE_CAPACITY = 512;

// A path found, and where: `where` names the section, the part of it and
// the field, as text in `where_encoding`; `old` tells a path in the old
// bytes after a field's terminator.
struct found_path {
    const char *where;
    text_encoding where_encoding;
    bool old;
    const unsigned char *path;
    size_t length; // in bytes
    bool wide;     // UTF-16LE, else 8-bit text in `encoding`
    text_encoding encoding;
    bool escaped; // as an escaped text holds it, with the escapes of:
    text_escapes escapes;
};

struct path_listing {
    void (*found)(void *context, const found_path &path);
    void *context;
};

// How a listing of a file ends.
enum list_result {
    LIST_DONE,
    LIST_NOT_PROJECT, // a binary file without the signature of its kind: searched as raw bytes
    LIST_READ_FAILED,
};

// Where text comes from, put into words only when a path is found there:
// "SECTION", "SECTION PART NUMBER" or "SECTION PART NUMBER, effect INDEX
// NAME". The texts must outlive the paths that begin under them.
struct text_place {
    const char *section;     // in the section's encoding
    const char *part;        // "object", "layer", …; null for none
    uint64_t number;         // of the part
    int32_t effect;          // an effect of the part, by type index; -1 for none
    const char *effect_name; // that type's name
};

// An escaped text read in pieces of at most this many bytes.
constexpr size_t ESCAPED_PIECE = 4096;

// The bytes of an escaped text as the file holds them, as far as the
// scanner needs them: the piece being scanned, what its bytes stand for and
// where each begins in it; where each recent byte begins; the last bytes
// before the piece; and an escape the piece before cut short, which the
// next one begins with.
struct escaped_text {
    bool reading; // the text is escaped: it is read unescaped
    text_escapes escapes;
    unsigned char raw[ESCAPED_PIECE + LONGEST_ESCAPE];
    size_t raw_length;
    unsigned char plain[ESCAPED_PIECE + LONGEST_ESCAPE];
    uint16_t from[ESCAPED_PIECE + LONGEST_ESCAPE + 1];
    int64_t start;            // the position of plain[0] in the text read unescaped
    uint64_t raw_start;       // the offset of raw[0] in the text as the file holds it
    uint64_t recent_from[16]; // where each recent byte begins, as `recent` holds them
    unsigned char tail[64];
    size_t tail_length;
    size_t cut_length; // at the start of `raw`, not yet undone
};

// A path of a UTF-16LE text, and one being read, live in the scanner; one
// found in the unescaped bytes of an escaped text is reported as it stands
// escaped.
struct path_scanner {
    path_listing listing;
    text_place place;
    text_encoding encoding; // of the section's 8-bit text and of its names
    // The text being read: which readings, how far, and its last bytes.
    bool eight_bit;
    bool wide[2]; // UTF-16LE, by the alignment of its units
    bool old;
    const char *field; // the field's name, or null for bytes of no field
    uint64_t at;
    unsigned char recent[16]; // the bytes before `at`, the last at the end
    size_t recent_length;
    uint64_t lead_run[3]; // how many lead bytes end at at-1, at-2 and at-3
    // Places where a path may begin that wait for the bytes after them.
    struct waiting_hit {
        uint64_t at;
        uint64_t lead_run[3]; // as above, at the hit
    } waiting[8];
    int waiting_count;
    uint64_t path_end; // where the last path ended: none begins before it
    // While an escaped text is read unescaped, the bytes as the file holds
    // them: of the piece being scanned, where each of its unescaped bytes
    // begins there, and the last ones before it; where each recent byte
    // begins; and an escape the piece before cut short.
    escaped_text escaped;
    // The path under way.
    bool in_path;
    int64_t path_start;
    bool path_wide;
    bool path_old;
    int wide_half; // a UTF-16 unit's first byte is held
    unsigned char wide_low;
    char path_where[WHERE_CAPACITY];
    unsigned char path[LONGEST_LISTED_PATH];
    size_t path_length;
    // The path under way as the file holds it, in an escaped text.
    uint64_t path_raw_start;
    unsigned char path_raw[LONGEST_LISTED_PATH];
    size_t path_raw_length;
};

void start_scanning(path_scanner *scanner, path_listing listing);

// Names the section that text comes from, and the encoding of its 8-bit
// text; ends the text before. The names of a place are not copied: each
// must last as long as the section is scanned, which may be past the walk
// that named it, when the rest of a section it cannot follow is searched.
void set_section(path_scanner *scanner, const char *section, text_encoding encoding);

// Names the part of the section, and the effect of it (-1 for none). A path
// under way goes on: only field boundaries, 0 bytes and sections end one.
void set_part(path_scanner *scanner, const char *part, uint64_t number, int32_t effect = -1,
              const char *effect_name = nullptr);

// Scans bytes of no known field, or `count` copies of `value`, in every
// reading.
void scan_data(path_scanner *scanner, const unsigned char *bytes, size_t length);
void scan_run(path_scanner *scanner, unsigned char value, uint64_t count);

// How many copies of `value` scanned as data find what `count` of them
// would: all of them, but for a long run of 0 bytes, which ends every path
// and begins none, so that past its first bytes only whether its length is
// odd counts (it aligns the UTF-16LE text after it). Whoever gathers pieces
// of data to scan them together may put those few in the run's place.
uint64_t copies_scanned(unsigned char value, uint64_t count);

// How a field's text is read.
enum field_reading {
    FIELD_READ_TEXT,    // 8-bit text in the section's encoding
    FIELD_READ_WIDE,    // UTF-16LE
    FIELD_READ_SCRIPT,  // 8-bit text, Lua-escaped: `\\` is one backslash
    FIELD_READ_ESCAPED, // 8-bit text, escaped as AviUtl2's text settings are
};

// Scans one field of `size` bytes, named `name`: its text up to its
// terminator, then the old bytes after it, each a text of its own.
void scan_field(path_scanner *scanner, const unsigned char *field, size_t size,
                field_reading reading, const char *name);

// A field whose text comes in pieces, as a value of a text file that may be
// longer than any buffer does: begun, scanned piece by piece, and ended. A
// piece may end anywhere, inside an escape too. It has no old bytes.
void begin_field(path_scanner *scanner, field_reading reading, const char *name);
void scan_field_piece(path_scanner *scanner, const unsigned char *bytes, size_t length);
void end_field(path_scanner *scanner);

// Ends the text: a path under way is reported, and reading starts afresh.
void end_text(path_scanner *scanner);
