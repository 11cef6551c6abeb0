// Finding absolute paths in a project file's text, for the listing of what a
// file still gives away.
//
// A drive path is an ASCII letter, ':' and '\' or '/', where the letter
// begins a character and does not follow an ASCII letter or digit (so that
// "http://" is none). A network path is "\\" and a character other than
// '\', '/' or a blank, where the first '\' begins a character and does not
// follow a '\', a letter, a digit or ':'. A path runs to the first 0,
// control character or double quote, or to the end of its field or text. A
// path inside another is not found again.
//
// CP932 text is read by characters from the start of a field, or from the
// last 0 byte where no field is known; UTF-16LE text by 16-bit units.
#pragma once

#include <cstddef>

// A path found, and where: `where` names the section, the part of it and the
// field, as CP932 text; `old` tells a path in the old bytes after a field's
// terminator.
struct found_path {
    const char *where;
    bool old;
    const unsigned char *path;
    size_t length; // in bytes
    bool wide;     // UTF-16LE, else CP932
};

struct path_listing {
    void (*found)(void *context, const found_path &path);
    void *context;
};

// The longest path reported whole, and the longest label of a place.
constexpr size_t LONGEST_LISTED_PATH = 1024;
constexpr size_t WHERE_CAPACITY = 512;

struct path_scanner {
    path_listing listing;
    char section[WHERE_CAPACITY / 4]; // "header", "edit handle", "plugin "…""
    char part[WHERE_CAPACITY / 2];    // " object 12, effect 0 動画ファイル", or empty
    bool wide;
    bool old;
    int recent[3]; // the last three characters, for a path's start
    int lead;      // a CP932 lead byte waiting for its second byte, or -1
    bool in_path;  // a path is being read
    bool path_old; // it began in old bytes
    char path_where[WHERE_CAPACITY];
    unsigned char path[LONGEST_LISTED_PATH];
    size_t path_length;
};

void start_scanning(path_scanner *scanner, path_listing listing);

// Names the section and the part of it that text comes from. A path under
// way goes on: only field boundaries and 0 bytes end one.
void set_section(path_scanner *scanner, const char *section);
void set_part(path_scanner *scanner, const char *part);

// Scans bytes of no known field: CP932, read from the last 0 byte.
void scan_data(path_scanner *scanner, const unsigned char *bytes, size_t length);

// Scans one field of `size` bytes, named `name`: its text up to its
// terminator, then the old bytes after it.
void scan_field(path_scanner *scanner, const unsigned char *field, size_t size, bool wide,
                const char *name);

// Ends the text: a path under way is reported, and reading starts afresh.
void end_text(path_scanner *scanner);
