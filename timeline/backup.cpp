// A backup is surveyed and then written as a project file is: the survey
// finds whether its record can be followed and changes, the write walks it
// again with the record's bytes written as they come, and both must find
// the same.
#include "backup.h"

#include "../fields/section_listing.h"
#include "record.h"

#include <cstring>

namespace {

constexpr size_t SIZE_AT = 0x20;

struct backup_plan {
    text_encoding encoding; // of the record's text
    bool followable;        // the record was followed to its end, which ends the file
    bool changed;
};

uint64_t record_size(const unsigned char *header)
{
    int32_t size = read_i32(header + SIZE_AT);
    return size < 0 ? 0 : static_cast<uint64_t>(size);
}

// The encoding of the record's text, told from as much of it as the block
// holds; the input must stand at the backup's start.
text_encoding record_encoding(input_stream *in)
{
    const unsigned char *bytes = nullptr;
    size_t length = input_peek(in, INPUT_BLOCK_SIZE, &bytes);
    if (length <= BACKUP_HEADER_SIZE)
        return ENCODING_CP932;
    return timeline_encoding(bytes + BACKUP_HEADER_SIZE, length - BACKUP_HEADER_SIZE);
}

// Walks the backup from its start: while writing (`out` not null) as
// `planned` decides, the record written in place when it changes, the whole
// file echoed as it stands when it does not.
walk_result walk_backup(input_stream *in, FILE *out, const backup_plan *planned, backup_plan *found)
{
    *found = {};
    found->encoding = record_encoding(in);
    bool rewrite = out != nullptr && planned->followable && planned->changed;
    if (out != nullptr && !rewrite && !set_echo(in, out))
        return WALK_WRITE_FAILED;
    unsigned char header[BACKUP_HEADER_SIZE];
    if (read_input(in, header, sizeof header) != sizeof header)
        return input_failed(*in) ? WALK_READ_FAILED : WALK_UNFOLLOWABLE;
    if (rewrite && fwrite(header, 1, sizeof header, out) != sizeof header)
        return WALK_WRITE_FAILED;
    uint64_t size = record_size(header);
    static repacker writer;
    start_raw_rewriting(&writer, out);
    packed_reader reader = start_raw(in, size);
    section_walk record = rewrite ? start_pack(reader, found->encoding, &writer)
                                  : start_look(reader, found->encoding);
    walk_result result = walk_timeline(&record, size);
    const unsigned char *rest = nullptr;
    found->followable = result == WALK_DONE && input_ready(in, &rest) == 0;
    found->changed = record.changed;
    if (result == WALK_UNFOLLOWABLE)
        result = pass_rest(&record);
    if (result == WALK_READ_FAILED || input_failed(*in))
        return WALK_READ_FAILED;
    // What follows the record (only in a file that cannot be followed) goes
    // with it, as it stands; the pass ends at the file's end, and a failure
    // shows below.
    if (out != nullptr && !rewrite)
        (void)skip_input(in, UINT64_MAX);
    if (rewrite && !finish_repacking(&writer))
        return WALK_WRITE_FAILED;
    if (out != nullptr && !set_echo(in, nullptr))
        return WALK_WRITE_FAILED;
    return input_failed(*in) ? WALK_READ_FAILED : WALK_DONE;
}

// A backup that cannot be read twice goes out as it stands.
rewrite_result copy_as_it_stands(const input_start &start, FILE *out)
{
    if (fwrite(start.bytes, 1, start.length, out) != start.length)
        return REWRITE_WRITE_FAILED;
    return REWRITE_DONE; // the rest is copied as the plain copy's rest is
}

} // namespace

bool is_backup_start(const unsigned char *bytes, size_t length, int64_t file_size)
{
    if (length < BACKUP_START_LENGTH || memcmp(bytes, TIMELINE_MARK, sizeof TIMELINE_MARK) != 0 ||
        memcmp(bytes + BACKUP_HEADER_SIZE, TIMELINE_MARK, sizeof TIMELINE_MARK) != 0)
        return false;
    int32_t size = read_i32(bytes + SIZE_AT);
    return size >= 0 && (file_size < 0 || static_cast<uint64_t>(file_size) ==
                                              BACKUP_HEADER_SIZE + static_cast<uint64_t>(size));
}

bool begins_backup(const input_start &start, int64_t size)
{
    return is_backup_start(start.bytes, start.length, size);
}

rewrite_result blank_backup(const input_start &start, FILE *in, FILE *out,
                            bool /* rewinds: written in order */, media_report *report)
{
    *report = {true, false};
    if (fseek(in, static_cast<long>(start.length), SEEK_SET) != 0) {
        clearerr(in);
        return copy_as_it_stands(start, out);
    }
    input_stream stream{};
    start_input(&stream, in, start);
    backup_plan plan{};
    if (walk_backup(&stream, nullptr, nullptr, &plan) == WALK_READ_FAILED)
        return REWRITE_READ_FAILED;
    report->all_blanked = plan.followable;
    if (!seek_input(&stream, 0))
        return REWRITE_READ_FAILED;
    backup_plan found{};
    walk_result written = walk_backup(&stream, out, &plan, &found);
    if (written == WALK_WRITE_FAILED)
        return REWRITE_WRITE_FAILED;
    bool same = found.encoding == plan.encoding && found.followable == plan.followable &&
                found.changed == plan.changed;
    return written == WALK_DONE && same ? REWRITE_DONE : REWRITE_READ_FAILED;
}

list_result list_backup(const input_start &start, FILE *in, path_listing listing)
{
    static path_scanner scanner;
    start_scanning(&scanner, listing);
    input_stream stream{};
    start_input(&stream, in, start);
    text_encoding encoding = record_encoding(&stream);
    unsigned char header[BACKUP_HEADER_SIZE];
    size_t length = read_input(&stream, header, sizeof header);
    set_section(&scanner, "backup header", encoding);
    scan_data(&scanner, header, length);
    section_end end = SECTION_FILE_ENDED;
    if (length == sizeof header) {
        // The record is named as the build that wrote it names it.
        const unsigned char *name =
            encoding == ENCODING_GBK ? CHINESE_TIMELINE_PLUGIN_NAME : TIMELINE_PLUGIN_NAME;
        set_section(&scanner, reinterpret_cast<const char *>(name), encoding);
        end = list_section(&stream, &scanner, start_raw(&stream, record_size(header)), encoding,
                           walk_timeline);
    }
    if (end == SECTION_DONE)
        end = scan_raw_to_end(&stream, &scanner);
    end_text(&scanner);
    return end == SECTION_READ_FAILED || input_failed(stream) ? LIST_READ_FAILED : LIST_DONE;
}
