// The survey and the write are one walk of the file, front to back. Only
// the sizes the layout names tie its sections together, and none of them
// is trusted: each is checked before it is used, and nothing is allocated
// by it. While writing, every byte the walk reads and does not change is
// echoed to the copy as it stands.
#include "sections.h"

#include "../timeline/record.h"

#include <cstring>

namespace {

struct project_walk {
    input_stream *in;
    const project_plan *plan; // the survey's, while writing after one
    FILE *out;                // while writing
    project_plan *found;
};

bool writing(const project_walk &walk)
{
    return walk.out != nullptr;
}

walk_result short_input(const input_stream &in)
{
    return input_failed(in) ? WALK_READ_FAILED : WALK_UNFOLLOWABLE;
}

bool same_part(const part_plan &a, const part_plan &b)
{
    return a.at == b.at && a.size == b.size && a.followable == b.followable &&
           a.changed == b.changed;
}

// Passes over a packed stream of `size` unpacked bytes.
walk_result skip_stream(project_walk *walk, uint64_t size)
{
    section_walk look = start_look(start_unpacking(walk->in, size), ENCODING_CP932);
    return pass_rest(&look);
}

// Reads the header and passes over the field after it; while writing,
// writes them, the edit file name blanked.
walk_result walk_header(project_walk *walk)
{
    project_plan *found = walk->found;
    if (read_input(walk->in, found->header, HEADER_LENGTH) != static_cast<size_t>(HEADER_LENGTH))
        return short_input(*walk->in);
    found->has_signature = memcmp(found->header, SIGNATURE, SIGNATURE_LENGTH) == 0;
    found->header_followable =
        found->has_signature && read_i32(found->header + HANDLE_SIZE_AT) == EDIT_HANDLE_SIZE_FIELD;
    // A file that ends in the field has no handle: its walk finds it cut.
    if (!skip_input(walk->in, BLANK_FIELD_LENGTH) && input_failed(*walk->in))
        return WALK_READ_FAILED;
    if (!writing(*walk) || !found->has_signature)
        return WALK_DONE;
    unsigned char header[HEADER_LENGTH];
    memcpy(header, found->header, sizeof header);
    edit_header(*found, header);
    return write_header(walk->out, header) == REWRITE_DONE ? WALK_DONE : WALK_WRITE_FAILED;
}

walk_result written(rewrite_result result)
{
    if (result == REWRITE_WRITE_FAILED)
        return WALK_WRITE_FAILED;
    return result == REWRITE_DONE ? WALK_DONE : WALK_READ_FAILED;
}

// Goes back to where a part began, in the input and in the copy, to write
// it again.
walk_result go_back(project_walk *walk, uint64_t input_at, long output_at)
{
    if (!set_echo(walk->in, nullptr) || fflush(walk->out) != 0 ||
        fseek(walk->out, output_at, SEEK_SET) != 0)
        return WALK_WRITE_FAILED;
    return seek_input(walk->in, input_at) ? WALK_DONE : WALK_READ_FAILED;
}

// The parts that hold text, and how each is written when it changes not.
enum part_kind {
    HANDLE, // its project name blanked as the plain copy blanks it, the rest as it stands
    RECORD, // as it stands
};

// What a walk that stopped where its reader stopped tells of the sections
// after it: a part whose ops cannot be read has no end to go on from.
walk_result after_part(const section_walk &section)
{
    switch (section.reader.status) {
    case UNPACK_OK:
    case UNPACK_STOPPED:
        return WALK_DONE;
    case UNPACK_READ_FAILED:
        return WALK_READ_FAILED;
    case UNPACK_CUT:
    case UNPACK_OVERRUN:
        break;
    }
    return WALK_UNFOLLOWABLE;
}

// Sets the echo a part is written with: while it is packed again, the
// repacker's; for the handle as it stands, the blanked ops of its project
// name, then the rest of it from where the plain copy goes on; for a
// record, all of it.
bool echo_part(project_walk *walk, part_kind kind, bool repack, uint64_t at)
{
    input_stream *in = walk->in;
    if (repack)
        return set_echo(in, nullptr);
    if (kind == RECORD)
        return set_echo(in, walk->out);
    const unsigned char *ops = nullptr;
    size_t length = input_peek(in, NAME_OPS_SPAN, &ops);
    name_blanking blanking = plan_name_blanking(ops, length, true);
    return set_echo(in, nullptr) &&
           fwrite(blanking.bytes, 1, blanking.length, walk->out) == blanking.length &&
           set_echo(in, walk->out, at + static_cast<uint64_t>(blanking.resume));
}

// Walks a part of `size` unpacked bytes that begins where the input stands,
// writing it packed again (`repack`) or as it stands; what the walk found
// goes into `part`. A look can stop at the first change it finds.
walk_result walk_part(project_walk *walk, part_kind kind, uint64_t size, text_encoding encoding,
                      bool repack, bool stop_at_change, part_plan *part)
{
    input_stream *in = walk->in;
    *part = {input_offset(*in), size, false, false};
    if (!echo_part(walk, kind, repack, part->at))
        return WALK_WRITE_FAILED;
    static repacker repacker;
    if (repack)
        start_repacking(&repacker, in, walk->out);
    packed_reader reader = start_unpacking(in, size);
    section_walk section =
        repack ? start_pack(reader, encoding, &repacker) : start_look(reader, encoding);
    section.stop_at_change = stop_at_change;
    walk_result result = kind == HANDLE ? walk_edit_handle(&section, &walk->found->counts)
                                        : walk_timeline(&section, size);
    part->followable = result == WALK_DONE && section.reader.status == UNPACK_OK;
    part->changed = section.changed;
    // One the walker cannot follow still ends where its ops say.
    if (result == WALK_UNFOLLOWABLE && section.reader.status == UNPACK_OK)
        (void)pass_rest(&section); // a failure shows in the reader
    if (repack && !finish_repacking(&repacker))
        return WALK_WRITE_FAILED;
    // After the handle, the sections that follow it set their own echo.
    if (!set_echo(in, kind == HANDLE ? nullptr : walk->out))
        return WALK_WRITE_FAILED;
    return after_part(section);
}

bool failed(walk_result result)
{
    return result == WALK_READ_FAILED || result == WALK_WRITE_FAILED;
}

// Writes a part, as the survey's plan says; or without one, as it stands
// until its walk finds it changes, then again from its start packed, and
// should that turn out not to be followable, as it stands after all.
walk_result write_part(project_walk *walk, part_kind kind, uint64_t size, text_encoding encoding,
                       part_plan *part, const part_plan *planned)
{
    if (walk->plan != nullptr) {
        bool repacks = planned != nullptr && planned->followable && planned->changed;
        walk_result result = walk_part(walk, kind, size, encoding, repacks, false, part);
        if (!failed(result) && (planned == nullptr || !same_part(*part, *planned)))
            return WALK_READ_FAILED; // the file has changed since the survey
        return result;
    }
    // Where the part begins in the copy: after all that is owed to it.
    uint64_t part_at = input_offset(*walk->in);
    long output_at = flush_echo(walk->in) ? ftell(walk->out) : -1;
    if (output_at < 0)
        return WALK_WRITE_FAILED;
    walk_result result = walk_part(walk, kind, size, encoding, false, true, part);
    if (failed(result) || !part->changed)
        return result;
    result = go_back(walk, part_at, output_at);
    if (result == WALK_DONE)
        result = walk_part(walk, kind, size, encoding, true, false, part);
    if (failed(result) || part->followable)
        return result;
    result = go_back(walk, part_at, output_at);
    return result == WALK_DONE ? walk_part(walk, kind, size, encoding, false, false, part) : result;
}

// The handle, as the plain copy writes it, when it is not followed: its
// name's ops blanked by the plain copy's own rule, and the rest left for the
// plain copy. A copy that can go back goes back to where the handle began;
// after a survey nothing of it has been written.
walk_result write_unfollowed_handle(project_walk *walk, long output_at)
{
    if (!set_echo(walk->in, nullptr) || fflush(walk->out) != 0)
        return WALK_WRITE_FAILED;
    if (walk->plan == nullptr && fseek(walk->out, output_at, SEEK_SET) != 0)
        return WALK_WRITE_FAILED;
    walk_result result = written(rewrite_record(walk->in->file, walk->out, true));
    return result == WALK_DONE ? WALK_UNFOLLOWABLE : result;
}

walk_result walk_handle(project_walk *walk)
{
    part_plan *part = &walk->found->handle;
    if (!writing(*walk)) {
        *part = {input_offset(*walk->in), EDIT_HANDLE_SIZE, false, false};
        section_walk handle =
            start_look(start_unpacking(walk->in, EDIT_HANDLE_SIZE), ENCODING_CP932);
        walk_result result = walk_edit_handle(&handle, &walk->found->counts);
        part->followable = result == WALK_DONE;
        part->changed = handle.changed;
        return result;
    }
    // A handle the survey could not follow is the plain copy's.
    const project_plan *plan = walk->plan;
    if (plan != nullptr && !plan->handle.followable) {
        *part = plan->handle;
        walk->found->counts = plan->counts;
        return write_unfollowed_handle(walk, 0);
    }
    long output_at = 0;
    if (plan == nullptr && (!flush_echo(walk->in) || (output_at = ftell(walk->out)) < 0))
        return WALK_WRITE_FAILED;
    walk_result result = write_part(walk, HANDLE, EDIT_HANDLE_SIZE, ENCODING_CP932, part,
                                    plan != nullptr ? &plan->handle : nullptr);
    if (failed(result) || part->followable)
        return failed(result) ? result : WALK_DONE;
    return write_unfollowed_handle(walk, output_at);
}

walk_result walk_frame_arrays(project_walk *walk)
{
    int32_t frames = 0;
    unsigned char bytes[4];
    if (!read_raw_i32(walk->in, &frames, bytes))
        return short_input(*walk->in);
    if (frames < 0)
        return WALK_UNFOLLOWABLE;
    walk_result result = WALK_DONE;
    for (int index = 0; result == WALK_DONE && index < WIDE_FRAME_ARRAYS + NARROW_FRAME_ARRAYS;
         ++index)
        result = skip_stream(walk, static_cast<uint64_t>(frames) *
                                       (index < WIDE_FRAME_ARRAYS ? WIDE_FRAME_SIZE : 1));
    return result;
}

// Passes over `count` raw blobs, each a count of bytes and the bytes, and
// the footer after them.
walk_result walk_blobs_and_footer(project_walk *walk, int count)
{
    for (int index = 0; index < count; ++index) {
        int32_t length = 0;
        unsigned char bytes[4];
        if (!read_raw_i32(walk->in, &length, bytes))
            return short_input(*walk->in);
        if (length < 0)
            return WALK_UNFOLLOWABLE;
        if (!skip_input(walk->in, static_cast<uint64_t>(length)))
            return short_input(*walk->in);
    }
    unsigned char footer[SIGNATURE_LENGTH];
    if (read_input(walk->in, footer, sizeof footer) != sizeof footer)
        return short_input(*walk->in);
    return memcmp(footer, SIGNATURE, SIGNATURE_LENGTH) == 0 ? WALK_DONE : WALK_UNFOLLOWABLE;
}

// Walks a timeline record's data of `size` bytes.
walk_result walk_record(project_walk *walk, uint64_t size, text_encoding encoding)
{
    project_plan *found = walk->found;
    if (found->timeline_count == MOST_TIMELINE_RECORDS)
        return WALK_UNFOLLOWABLE;
    int number = found->timeline_count++;
    part_plan *part = &found->timelines[number];
    if (writing(*walk)) {
        const project_plan *plan = walk->plan;
        const part_plan *planned =
            plan != nullptr && number < plan->timeline_count ? &plan->timelines[number] : nullptr;
        return write_part(walk, RECORD, size, encoding, part, planned);
    }
    *part = {input_offset(*walk->in), size, false, false};
    section_walk record = start_look(start_unpacking(walk->in, size), encoding);
    walk_result result = walk_timeline(&record, size);
    part->followable = result == WALK_DONE;
    part->changed = record.changed;
    // One the walker cannot follow still ends where its ops say.
    return result == WALK_UNFOLLOWABLE ? pass_rest(&record) : result;
}

// Walks one plugin record; false in `more` at the end of the file.
walk_result walk_plugin_record(project_walk *walk, bool *more)
{
    static record_header header;
    record_read read = read_record_header(walk->in, &header);
    *more = read != RECORD_NONE;
    if (read == RECORD_NONE)
        return WALK_DONE;
    if (read != RECORD_READ)
        return read == RECORD_CUT ? short_input(*walk->in) : WALK_UNFOLLOWABLE;
    if (header.is_timeline)
        return walk_record(walk, header.size, header.encoding);
    return skip_stream(walk, header.size);
}

// Walks the sections after the handle, up to the end of the file.
walk_result walk_rest(project_walk *walk)
{
    const handle_counts &counts = walk->found->counts;
    walk_result result = walk_frame_arrays(walk);
    if (result == WALK_DONE)
        result = walk_blobs_and_footer(walk, counts.profile_blobs + counts.clipboard_blobs);
    for (bool more = true; result == WALK_DONE && more;)
        result = walk_plugin_record(walk, &more);
    return result;
}

walk_result walk_file(project_walk *walk)
{
    *walk->found = {};
    walk_result result = walk_header(walk);
    if (result != WALK_DONE)
        return result;
    if (!walk->found->has_signature)
        return WALK_DONE;
    if (!walk->found->header_followable) {
        bool plain = writing(*walk);
        return plain ? written(rewrite_record(walk->in->file, walk->out, true)) : WALK_DONE;
    }
    result = walk_handle(walk);
    if (result != WALK_DONE)
        return result == WALK_UNFOLLOWABLE ? WALK_DONE : result;
    if (writing(*walk) && !set_echo(walk->in, walk->out))
        return WALK_WRITE_FAILED;
    result = walk_rest(walk);
    walk->found->sections_followed = result == WALK_DONE;
    if (result == WALK_READ_FAILED || result == WALK_WRITE_FAILED || !writing(*walk))
        return result == WALK_UNFOLLOWABLE ? WALK_DONE : result;
    // What could not be followed is copied as it stands, to the end; the
    // pass ends there, and a failure shows below.
    (void)skip_input(walk->in, UINT64_MAX);
    if (!set_echo(walk->in, nullptr))
        return WALK_WRITE_FAILED;
    return input_failed(*walk->in) ? WALK_READ_FAILED : WALK_DONE;
}

} // namespace

bool read_raw_i32(input_stream *in, int32_t *value, unsigned char bytes[4])
{
    if (read_input(in, bytes, 4) != 4)
        return false;
    *value = read_i32(bytes);
    return true;
}

record_read read_record_header(input_stream *in, record_header *header)
{
    header->head_length = header->name_length = header->size_length = 0;
    header->is_timeline = false;
    const unsigned char *ready = nullptr;
    if (input_ready(in, &ready) == 0)
        return input_failed(*in) ? RECORD_CUT : RECORD_NONE;
    header->head_length = read_input(in, header->head, RECORD_HEAD_SIZE);
    if (header->head_length < RECORD_HEAD_SIZE)
        return RECORD_CUT;
    int32_t name_length = read_i32(header->head + sizeof PLUGIN_RECORD_MARK);
    if (memcmp(header->head, PLUGIN_RECORD_MARK, sizeof PLUGIN_RECORD_MARK) != 0 ||
        name_length < 0 || static_cast<uint64_t>(name_length) > LONGEST_PLUGIN_NAME)
        return RECORD_NOT_RECORD;
    size_t length = static_cast<size_t>(name_length);
    header->name_length = read_input(in, header->name, length);
    header->name[header->name_length] = 0;
    if (header->name_length < length)
        return RECORD_CUT;
    bool japanese = length == sizeof TIMELINE_PLUGIN_NAME &&
                    memcmp(header->name, TIMELINE_PLUGIN_NAME, length) == 0;
    bool chinese = length == sizeof CHINESE_TIMELINE_PLUGIN_NAME &&
                   memcmp(header->name, CHINESE_TIMELINE_PLUGIN_NAME, length) == 0;
    header->is_timeline = japanese || chinese;
    header->encoding = chinese ? ENCODING_GBK : ENCODING_CP932;
    header->size_length = read_input(in, header->size_bytes, sizeof header->size_bytes);
    if (header->size_length < sizeof header->size_bytes)
        return RECORD_CUT;
    int32_t size = read_i32(header->size_bytes);
    header->size = static_cast<uint64_t>(size);
    return size < 0 ? RECORD_NOT_RECORD : RECORD_READ;
}

walk_result survey_project(input_stream *in, project_plan *plan)
{
    project_walk walk{in, nullptr, nullptr, plan};
    return walk_file(&walk);
}

walk_result write_project(input_stream *in, const project_plan *plan, FILE *out,
                          project_plan *found)
{
    project_walk walk{in, plan, out, found};
    walk_result result = walk_file(&walk);
    if (result == WALK_DONE && plan != nullptr && !same_plan(*plan, *found))
        return WALK_READ_FAILED;
    return result;
}

bool same_plan(const project_plan &a, const project_plan &b)
{
    bool same = memcmp(a.header, b.header, sizeof a.header) == 0 &&
                a.has_signature == b.has_signature && a.header_followable == b.header_followable &&
                same_part(a.handle, b.handle) && a.counts.profile_blobs == b.counts.profile_blobs &&
                a.counts.clipboard_blobs == b.counts.clipboard_blobs &&
                a.timeline_count == b.timeline_count && a.sections_followed == b.sections_followed;
    for (int index = 0; same && index < a.timeline_count; ++index)
        same = same_part(a.timelines[index], b.timelines[index]);
    return same;
}

void edit_header(const project_plan &plan, unsigned char header[HEADER_LENGTH])
{
    if (plan.header_followable)
        (void)apply_field_rule(header + EDIT_NAME_AT, EDIT_NAME_SIZE, FIELD_PATH, ENCODING_CP932);
}
