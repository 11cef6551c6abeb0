// The listing reads the file once, front to back, section by section,
// every byte of it through the path scanner.
#include "listing.h"

#include "../fields/section_listing.h"
#include "../timeline/record.h"
#include "edit_handle.h"
#include "plain_copy.h"
#include "sections.h"

#include <cstring>

namespace {

// Reads a raw count, searching its bytes too. False at the file's end, with
// the bytes that were there searched.
bool read_count(input_stream *in, path_scanner *scanner, int32_t *count)
{
    unsigned char bytes[4];
    size_t read = read_input(in, bytes, sizeof bytes);
    scan_data(scanner, bytes, read);
    if (read < sizeof bytes)
        return false;
    *count = read_i32(bytes);
    return true;
}

void list_header(path_scanner *scanner, const unsigned char *header, size_t length)
{
    set_section(scanner, "header", ENCODING_CP932);
    scan_data(scanner, header, EDIT_NAME_AT);
    scan_field(scanner, header + EDIT_NAME_AT, EDIT_NAME_SIZE, FIELD_READ_TEXT, "edit file name");
    size_t output_name = length - HEADER_LENGTH; // all of it, unless the file ends first
    scan_field(scanner, header + HEADER_LENGTH, output_name, FIELD_READ_TEXT, "output file name");
}

section_end list_frame_arrays(input_stream *in, path_scanner *scanner)
{
    set_section(scanner, "frame arrays", ENCODING_CP932);
    int32_t frames = 0;
    if (!read_count(in, scanner, &frames))
        return file_ended(*in);
    if (frames < 0)
        return scan_raw_to_end(in, scanner);
    section_end end = SECTION_DONE;
    for (int index = 0; end == SECTION_DONE && index < WIDE_FRAME_ARRAYS + NARROW_FRAME_ARRAYS;
         ++index) {
        uint64_t size =
            static_cast<uint64_t>(frames) * (index < WIDE_FRAME_ARRAYS ? WIDE_FRAME_SIZE : 1);
        end = list_section(in, scanner, start_unpacking(in, size), ENCODING_CP932, nullptr);
    }
    return end;
}

// Lists `count` raw blobs, each a count of bytes and the bytes, in a section
// named `section`.
section_end list_blobs(input_stream *in, path_scanner *scanner, int count, const char *section)
{
    set_section(scanner, section, ENCODING_CP932);
    section_end end = SECTION_DONE;
    for (int index = 0; end == SECTION_DONE && index < count; ++index) {
        int32_t length = 0;
        if (!read_count(in, scanner, &length))
            return file_ended(*in);
        end = length < 0 ? scan_raw_to_end(in, scanner)
                         : scan_raw(in, scanner, static_cast<uint64_t>(length));
    }
    return end;
}

// Lists one plugin record: its header's bytes in the plugin's own section,
// then its data.
section_end list_plugin_record(input_stream *in, path_scanner *scanner)
{
    static record_header header;
    static char section[WHERE_CAPACITY / 4];
    record_read read = read_record_header(in, &header);
    if (read == RECORD_NONE)
        return SECTION_FILE_ENDED;
    // The timeline's record goes by its plugin's name, the others as plugins.
    const char *name = reinterpret_cast<const char *>(header.name);
    // A longer name is cut: it only names a place.
    if (header.is_timeline)
        (void)snprintf(section, sizeof section, "%.100s", name);
    else
        (void)snprintf(section, sizeof section, "plugin \"%.100s\"", name);
    bool known =
        read == RECORD_READ || (read == RECORD_CUT && header.head_length == RECORD_HEAD_SIZE);
    set_section(scanner, known ? section : "file",
                header.is_timeline ? header.encoding : ENCODING_CP932);
    scan_data(scanner, header.head, header.head_length);
    scan_data(scanner, header.name, header.name_length);
    scan_data(scanner, header.size_bytes, header.size_length);
    if (read == RECORD_CUT)
        return file_ended(*in);
    if (read == RECORD_NOT_RECORD)
        return scan_raw_to_end(in, scanner);
    return list_section(in, scanner, start_unpacking(in, header.size), header.encoding,
                        header.is_timeline ? walk_timeline : nullptr);
}

section_end list_after_header(input_stream *in, path_scanner *scanner)
{
    set_section(scanner, "edit handle", ENCODING_CP932);
    // The handle's counts are taken from a walk of its own, so that the
    // listing of a handle that cannot be followed still goes on.
    handle_counts counts{};
    section_walk walk = start_list(start_unpacking(in, EDIT_HANDLE_SIZE), ENCODING_CP932, scanner);
    walk_result walked = walk_edit_handle(&walk, &counts);
    section_end end = finish_section(in, scanner, &walk, walked);
    if (end == SECTION_DONE)
        end = list_frame_arrays(in, scanner);
    if (end == SECTION_DONE)
        end = list_blobs(in, scanner, counts.profile_blobs, "filter settings");
    if (end == SECTION_DONE)
        end = list_blobs(in, scanner, counts.clipboard_blobs, "clipboard images");
    if (end == SECTION_DONE) {
        set_section(scanner, "footer", ENCODING_CP932);
        end = scan_raw(in, scanner, SIGNATURE_LENGTH);
    }
    while (end == SECTION_DONE)
        end = list_plugin_record(in, scanner);
    return end;
}

} // namespace

list_result list_paths(const input_start &start, FILE *in, path_listing listing)
{
    static path_scanner scanner;
    start_scanning(&scanner, listing);
    input_stream stream{};
    start_input(&stream, in, start);
    unsigned char header[RECORD_OFFSET];
    size_t length = read_input(&stream, header, sizeof header);
    if (input_failed(stream))
        return LIST_READ_FAILED;
    section_end end = SECTION_DONE;
    bool project = length >= HEADER_LENGTH && memcmp(header, SIGNATURE, SIGNATURE_LENGTH) == 0;
    if (!project) {
        set_section(&scanner, "file", ENCODING_CP932);
        scan_data(&scanner, header, length);
        end = scan_raw_to_end(&stream, &scanner);
    } else {
        list_header(&scanner, header, length);
        if (length == sizeof header)
            end = list_after_header(&stream, &scanner);
    }
    end_text(&scanner);
    if (end == SECTION_READ_FAILED)
        return LIST_READ_FAILED;
    return project ? LIST_DONE : LIST_NOT_PROJECT;
}
