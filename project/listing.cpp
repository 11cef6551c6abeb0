// The listing reads the file once, front to back, section by section. Each
// packed section is first walked without listing, to learn how it can be
// searched, then walked again, listing.
#include "listing.h"

#include "edit_handle.h"
#include "rewrite.h"
#include "sections.h"
#include "timeline.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t RAW_BLOCK_SIZE = size_t{64} * 1024;
constexpr size_t COUNT_SIZE = 4;

// How far a section took the listing.
enum section_end {
    SECTION_DONE,        // the next section follows
    SECTION_FILE_ENDED,  // the rest of the file has been searched, or there is none
    SECTION_READ_FAILED, // the input reported an error other than its end
};

section_end file_ended(FILE *in)
{
    return ferror(in) ? SECTION_READ_FAILED : SECTION_FILE_ENDED;
}

// Searches up to `length` raw bytes from where the input stands, as data.
// SECTION_DONE when all were there.
section_end scan_raw(FILE *in, path_scanner *scanner, uint64_t length)
{
    static unsigned char block[RAW_BLOCK_SIZE];
    while (length > 0) {
        size_t wanted = length < RAW_BLOCK_SIZE ? static_cast<size_t>(length) : RAW_BLOCK_SIZE;
        size_t read = fread(block, 1, wanted, in);
        scan_data(scanner, block, read);
        if (read < wanted)
            return file_ended(in);
        length -= read;
    }
    return SECTION_DONE;
}

section_end scan_raw_to_end(FILE *in, path_scanner *scanner)
{
    section_end end = scan_raw(in, scanner, UINT64_MAX);
    end_text(scanner);
    return end;
}

// Reads a raw count, searching its bytes too. False at the file's end, with
// the bytes that were there searched.
bool read_count(FILE *in, path_scanner *scanner, int32_t *count)
{
    unsigned char bytes[COUNT_SIZE];
    size_t read = fread(bytes, 1, sizeof bytes, in);
    scan_data(scanner, bytes, read);
    if (read < sizeof bytes)
        return false;
    *count = read_i32(bytes);
    return true;
}

using section_walker = walk_result (*)(section_walk *walk, uint64_t size, handle_counts *counts);

walk_result walk_handle(section_walk *walk, uint64_t /* size: always the same */,
                        handle_counts *counts)
{
    return walk_edit_handle(walk, counts);
}

walk_result walk_record(section_walk *walk, uint64_t size, handle_counts * /* none here */)
{
    return walk_timeline(walk, size);
}

// Walks a packed section of `size` bytes without listing: whether `walker`
// can follow it (with a null walker, never), and else whether its ops can be
// read to its end. Leaves the input where the section begins.
walk_result look_at_section(FILE *in, long at, uint64_t size, section_walker walker,
                            handle_counts *counts, bool *unpackable)
{
    walk_result looked = WALK_UNFOLLOWABLE;
    if (walker != nullptr) {
        section_walk look = start_walk(in, size, nullptr);
        looked = walker(&look, size, counts);
    }
    *unpackable = looked == WALK_DONE;
    if (looked == WALK_UNFOLLOWABLE && fseek(in, at, SEEK_SET) == 0) {
        section_walk skip = start_walk(in, size, nullptr);
        *unpackable = pass_over(&skip, size);
        looked = skip.reader.status == UNPACK_READ_FAILED ? WALK_READ_FAILED : looked;
    }
    return fseek(in, at, SEEK_SET) == 0 ? looked : WALK_READ_FAILED;
}

// Lists a packed section of `size` bytes from where the input stands: field
// by field when `walker` can follow it, else as the bytes it unpacks to,
// else, its ops unreadable, the rest of the file as raw bytes.
section_end list_packed(FILE *in, path_scanner *scanner, uint64_t size, section_walker walker,
                        handle_counts *counts)
{
    end_text(scanner); // no path runs on from the raw bytes before
    long at = ftell(in);
    if (at < 0)
        return scan_raw_to_end(in, scanner);
    bool unpackable = false;
    walk_result looked = look_at_section(in, at, size, walker, counts, &unpackable);
    if (looked == WALK_READ_FAILED)
        return SECTION_READ_FAILED;
    if (!unpackable)
        return scan_raw_to_end(in, scanner);
    section_walk listing = start_listing(in, size, scanner);
    bool listed = looked == WALK_DONE ? walker(&listing, size, counts) == WALK_DONE
                                      : pass_over(&listing, size);
    end_text(scanner);
    // The section was read to its end a moment ago: failing now, the input
    // has failed or changed.
    return listed ? SECTION_DONE : SECTION_READ_FAILED;
}

void list_header(path_scanner *scanner, const unsigned char *header, size_t length)
{
    set_section(scanner, "header");
    scan_data(scanner, header, EDIT_NAME_AT);
    scan_field(scanner, header + EDIT_NAME_AT, EDIT_NAME_SIZE, false, "edit file name");
    size_t output_name = length - HEADER_LENGTH; // all of it, unless the file ends first
    scan_field(scanner, header + HEADER_LENGTH, output_name, false, "output file name");
}

section_end list_frame_arrays(FILE *in, path_scanner *scanner)
{
    set_section(scanner, "frame arrays");
    int32_t frames = 0;
    if (!read_count(in, scanner, &frames))
        return file_ended(in);
    if (frames < 0)
        return scan_raw_to_end(in, scanner);
    section_end end = SECTION_DONE;
    for (int index = 0; end == SECTION_DONE && index < WIDE_FRAME_ARRAYS + NARROW_FRAME_ARRAYS;
         ++index) {
        uint64_t size =
            static_cast<uint64_t>(frames) * (index < WIDE_FRAME_ARRAYS ? WIDE_FRAME_SIZE : 1);
        end = list_packed(in, scanner, size, nullptr, nullptr);
    }
    return end;
}

// Lists `count` raw blobs, each a count of bytes and the bytes, in a section
// named `section`.
section_end list_blobs(FILE *in, path_scanner *scanner, int count, const char *section)
{
    set_section(scanner, section);
    section_end end = SECTION_DONE;
    for (int index = 0; end == SECTION_DONE && index < count; ++index) {
        int32_t length = 0;
        if (!read_count(in, scanner, &length))
            return file_ended(in);
        end = length < 0 ? scan_raw_to_end(in, scanner)
                         : scan_raw(in, scanner, static_cast<uint64_t>(length));
    }
    end_text(scanner);
    return end;
}

// Reads a plugin record's header: its mark, its name and its data's size,
// searching those bytes too, in the plugin's own section.
section_end read_record_header(FILE *in, path_scanner *scanner, bool *is_timeline, int32_t *size)
{
    unsigned char head[sizeof PLUGIN_RECORD_MARK + COUNT_SIZE];
    size_t read = fread(head, 1, sizeof head, in);
    int32_t name_length = read == sizeof head ? read_i32(head + sizeof PLUGIN_RECORD_MARK) : -1;
    unsigned char name[LONGEST_PLUGIN_NAME + 1] = {};
    bool known =
        memcmp(head, PLUGIN_RECORD_MARK, sizeof PLUGIN_RECORD_MARK) == 0 && name_length >= 0 &&
        static_cast<uint64_t>(name_length) <= LONGEST_PLUGIN_NAME &&
        fread(name, 1, static_cast<size_t>(name_length), in) == static_cast<size_t>(name_length);
    *is_timeline = known && static_cast<size_t>(name_length) == sizeof TIMELINE_PLUGIN_NAME &&
                   memcmp(name, TIMELINE_PLUGIN_NAME, sizeof TIMELINE_PLUGIN_NAME) == 0;
    // The timeline's record goes by its plugin's name, the others as plugins.
    char section[WHERE_CAPACITY / 4];
    const char *text = reinterpret_cast<const char *>(name);
    if (*is_timeline)
        (void)snprintf(section, sizeof section, "%s", text);
    else
        (void)snprintf(section, sizeof section, "plugin \"%s\"", text);
    set_section(scanner, known ? section : "file");
    scan_data(scanner, head, read);
    if (!known)
        return read < sizeof head ? file_ended(in) : scan_raw_to_end(in, scanner);
    scan_data(scanner, name, static_cast<size_t>(name_length));
    if (!read_count(in, scanner, size))
        return file_ended(in);
    return *size < 0 ? scan_raw_to_end(in, scanner) : SECTION_DONE;
}

section_end list_plugin_records(FILE *in, path_scanner *scanner)
{
    for (;;) {
        int first = getc(in);
        if (first == EOF)
            return file_ended(in);
        (void)ungetc(first, in); // one byte back always fits
        bool is_timeline = false;
        int32_t size = 0;
        section_end end = read_record_header(in, scanner, &is_timeline, &size);
        if (end == SECTION_DONE)
            end = list_packed(in, scanner, static_cast<uint64_t>(size),
                              is_timeline ? walk_record : nullptr, nullptr);
        if (end != SECTION_DONE)
            return end;
    }
}

section_end list_after_header(FILE *in, path_scanner *scanner)
{
    set_section(scanner, "edit handle");
    handle_counts counts{};
    section_end end = list_packed(in, scanner, EDIT_HANDLE_SIZE, walk_handle, &counts);
    if (end == SECTION_DONE)
        end = list_frame_arrays(in, scanner);
    if (end == SECTION_DONE)
        end = list_blobs(in, scanner, counts.profile_blobs, "filter settings");
    if (end == SECTION_DONE)
        end = list_blobs(in, scanner, counts.clipboard_blobs, "clipboard images");
    if (end == SECTION_DONE) {
        set_section(scanner, "footer");
        end = scan_raw(in, scanner, SIGNATURE_LENGTH);
        end_text(scanner);
    }
    return end == SECTION_DONE ? list_plugin_records(in, scanner) : end;
}

} // namespace

list_result list_paths(FILE *in, path_listing listing)
{
    path_scanner scanner{};
    start_scanning(&scanner, listing);
    unsigned char header[RECORD_OFFSET];
    size_t length = fread(header, 1, sizeof header, in);
    if (ferror(in))
        return LIST_READ_FAILED;
    if (length < HEADER_LENGTH || memcmp(header, SIGNATURE, SIGNATURE_LENGTH) != 0) {
        set_section(&scanner, "file");
        scan_data(&scanner, header, length);
        section_end end = scan_raw_to_end(in, &scanner);
        return end == SECTION_READ_FAILED ? LIST_READ_FAILED : LIST_NOT_PROJECT;
    }
    list_header(&scanner, header, length);
    end_text(&scanner);
    section_end end = length == sizeof header ? list_after_header(in, &scanner) : SECTION_DONE;
    end_text(&scanner);
    return end == SECTION_READ_FAILED ? LIST_READ_FAILED : LIST_DONE;
}
