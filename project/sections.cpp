// The survey reads the file once, front to back. Only the sizes the layout
// names tie its sections together, and none of them is trusted: each is
// checked before it is used, and nothing is allocated by it.
#include "sections.h"

#include "edit_handle.h"
#include "timeline.h"

#include <cstring>

namespace {

constexpr long HANDLE_SIZE_AT = 32;

// Reads a raw little-endian count; false at the end of the input or when it
// is negative.
bool read_count(FILE *in, uint64_t *count)
{
    unsigned char bytes[4];
    if (fread(bytes, 1, sizeof bytes, in) != sizeof bytes)
        return false;
    int32_t value = read_i32(bytes);
    *count = static_cast<uint64_t>(value);
    return value >= 0;
}

bool read_matches(FILE *in, const void *expected, size_t length)
{
    unsigned char bytes[SIGNATURE_LENGTH];
    return length <= sizeof bytes && fread(bytes, 1, length, in) == length &&
           memcmp(bytes, expected, length) == 0;
}

// Passes over a packed stream of `size` unpacked bytes.
walk_result skip_stream(FILE *in, uint64_t size)
{
    section_walk walk = start_walk(in, size, nullptr);
    return pass_over(&walk, size) ? WALK_DONE : walk_failure(walk);
}

void survey_header(project_survey *survey)
{
    survey->has_signature = memcmp(survey->header, SIGNATURE, SIGNATURE_LENGTH) == 0;
    survey->header_followable = survey->has_signature &&
                                read_i32(survey->header + HANDLE_SIZE_AT) == EDIT_HANDLE_SIZE_FIELD;
    if (survey->header_followable)
        apply_field_rule(survey->header + EDIT_NAME_AT, EDIT_NAME_SIZE, FIELD_PATH);
}

walk_result survey_handle(FILE *in, project_survey *survey, handle_counts *counts)
{
    if (fseek(in, RECORD_OFFSET, SEEK_SET) != 0)
        return WALK_UNFOLLOWABLE;
    section_walk walk = start_walk(in, EDIT_HANDLE_SIZE, nullptr);
    walk_result result = walk_edit_handle(&walk, counts);
    survey->handle_followable = result == WALK_DONE;
    survey->handle_changed = walk.changed;
    return result;
}

walk_result skip_frame_arrays(FILE *in)
{
    uint64_t frames = 0;
    if (!read_count(in, &frames))
        return ferror(in) ? WALK_READ_FAILED : WALK_UNFOLLOWABLE;
    walk_result result = WALK_DONE;
    for (int index = 0; result == WALK_DONE && index < WIDE_FRAME_ARRAYS; ++index)
        result = skip_stream(in, frames * WIDE_FRAME_SIZE);
    for (int index = 0; result == WALK_DONE && index < NARROW_FRAME_ARRAYS; ++index)
        result = skip_stream(in, frames);
    return result;
}

// Passes over `count` raw blobs, each a count of bytes and the bytes.
walk_result skip_blobs(FILE *in, int count)
{
    for (int index = 0; index < count; ++index) {
        uint64_t length = 0;
        if (!read_count(in, &length))
            return ferror(in) ? WALK_READ_FAILED : WALK_UNFOLLOWABLE;
        if (fseek(in, static_cast<long>(length), SEEK_CUR) != 0)
            return WALK_UNFOLLOWABLE;
    }
    return WALK_DONE;
}

// Walks a timeline record's data, then finds its end by passing over it
// again when the walk could not follow it.
walk_result survey_timeline(FILE *in, uint64_t size, project_survey *survey)
{
    if (survey->timeline_count == MOST_TIMELINE_RECORDS)
        return WALK_UNFOLLOWABLE;
    timeline_record *record = &survey->timelines[survey->timeline_count++];
    *record = {ftell(in), size, false, false};
    section_walk walk = start_walk(in, size, nullptr);
    walk_result result = walk_timeline(&walk, size);
    record->followable = result == WALK_DONE;
    record->changed = walk.changed;
    if (result != WALK_UNFOLLOWABLE)
        return result;
    if (fseek(in, record->data_at, SEEK_SET) != 0)
        return WALK_UNFOLLOWABLE;
    return skip_stream(in, size);
}

// Surveys one plugin record from its mark on; false in `more` at the end
// of the file.
walk_result survey_plugin_record(FILE *in, project_survey *survey, bool *more)
{
    int first = getc(in);
    *more = first != EOF;
    if (first == EOF)
        return ferror(in) ? WALK_READ_FAILED : WALK_DONE;
    if (first != PLUGIN_RECORD_MARK[0] ||
        !read_matches(in, PLUGIN_RECORD_MARK + 1, sizeof PLUGIN_RECORD_MARK - 1))
        return WALK_UNFOLLOWABLE;
    uint64_t name_length = 0;
    if (!read_count(in, &name_length))
        return WALK_UNFOLLOWABLE;
    long name_at = ftell(in);
    if (name_at < 0 || name_length > LONGEST_PLUGIN_NAME)
        return WALK_UNFOLLOWABLE;
    bool is_timeline = name_length == sizeof TIMELINE_PLUGIN_NAME &&
                       read_matches(in, TIMELINE_PLUGIN_NAME, sizeof TIMELINE_PLUGIN_NAME);
    if (!is_timeline && fseek(in, name_at + static_cast<long>(name_length), SEEK_SET) != 0)
        return WALK_UNFOLLOWABLE;
    uint64_t size = 0;
    if (!read_count(in, &size))
        return ferror(in) ? WALK_READ_FAILED : WALK_UNFOLLOWABLE;
    return is_timeline ? survey_timeline(in, size, survey) : skip_stream(in, size);
}

// Surveys the sections after the handle, up to the end of the file.
walk_result survey_rest(FILE *in, project_survey *survey, const handle_counts &counts)
{
    walk_result result = skip_frame_arrays(in);
    if (result == WALK_DONE)
        result = skip_blobs(in, counts.profile_blobs + counts.clipboard_blobs);
    if (result == WALK_DONE && !read_matches(in, SIGNATURE, SIGNATURE_LENGTH))
        result = ferror(in) ? WALK_READ_FAILED : WALK_UNFOLLOWABLE;
    for (bool more = true; result == WALK_DONE && more;)
        result = survey_plugin_record(in, survey, &more);
    return result;
}

} // namespace

walk_result survey_project(FILE *in, project_survey *survey)
{
    *survey = {};
    if (fseek(in, 0, SEEK_SET) != 0 ||
        fread(survey->header, 1, HEADER_LENGTH, in) != static_cast<size_t>(HEADER_LENGTH))
        return ferror(in) ? WALK_READ_FAILED : WALK_UNFOLLOWABLE;
    survey_header(survey);
    if (!survey->header_followable)
        return WALK_DONE;
    handle_counts counts{};
    walk_result result = survey_handle(in, survey, &counts);
    if (result == WALK_DONE)
        result = survey_rest(in, survey, counts);
    survey->sections_followed = result == WALK_DONE;
    return result == WALK_READ_FAILED ? WALK_READ_FAILED : WALK_DONE;
}
