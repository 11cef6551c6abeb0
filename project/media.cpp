// The copy is written front to back: the header, the blank field, the edit
// handle (packed again only when a field in it changed, otherwise blanked as
// the anonymised copy does), the raw bytes up to each changed timeline
// record, and the record packed again. The survey before it has decided
// what changes.
#include "media.h"

#include "edit_handle.h"
#include "sections.h"
#include "timeline.h"

namespace {

constexpr size_t COPY_BLOCK_SIZE = size_t{64} * 1024;

// Copies the input from where it stands up to offset `end`.
rewrite_result copy_up_to(FILE *in, FILE *out, long end)
{
    unsigned char block[COPY_BLOCK_SIZE];
    long at = ftell(in);
    if (at < 0)
        return REWRITE_READ_FAILED;
    for (long left = end - at; left > 0;) {
        size_t length =
            left < static_cast<long>(sizeof block) ? static_cast<size_t>(left) : sizeof block;
        if (fread(block, 1, length, in) != length)
            return REWRITE_READ_FAILED; // shorter than when it was surveyed
        if (fwrite(block, 1, length, out) != length)
            return REWRITE_WRITE_FAILED;
        left -= static_cast<long>(length);
    }
    return REWRITE_DONE;
}

walk_result walk_handle_of_size(section_walk *walk, uint64_t /* size: always the same */)
{
    handle_counts counts{};
    return walk_edit_handle(walk, &counts);
}

// Writes the section at offset `at` packed again, as `walker` changes it.
rewrite_result repack(FILE *in, FILE *out, long at, uint64_t size,
                      walk_result (*walker)(section_walk *, uint64_t))
{
    if (fseek(in, at, SEEK_SET) != 0)
        return REWRITE_READ_FAILED;
    packer packer = start_packing(out);
    section_walk walk = start_walk(in, size, &packer);
    walk_result walked = walker(&walk, size);
    if (!finish_packing(&packer))
        return REWRITE_WRITE_FAILED;
    // The walk followed the section when it was surveyed: a walk that no
    // longer can means the file has changed since.
    return walked == WALK_DONE ? REWRITE_DONE : REWRITE_READ_FAILED;
}

rewrite_result write_handle(FILE *in, FILE *out, const project_survey &survey)
{
    if (survey.handle_followable && survey.handle_changed)
        return repack(in, out, RECORD_OFFSET, EDIT_HANDLE_SIZE, walk_handle_of_size);
    return rewrite_record(in, out, true);
}

rewrite_result write_timelines(FILE *in, FILE *out, const project_survey &survey)
{
    rewrite_result result = REWRITE_DONE;
    for (int index = 0; result == REWRITE_DONE && index < survey.timeline_count; ++index) {
        const timeline_record &record = survey.timelines[index];
        if (!record.followable || !record.changed)
            continue;
        result = copy_up_to(in, out, record.data_at);
        if (result == REWRITE_DONE)
            result = repack(in, out, record.data_at, record.size, walk_timeline);
    }
    return result;
}

rewrite_result write_blanked(FILE *in, FILE *out, const project_survey &survey)
{
    rewrite_result result = write_header(out, survey.header);
    if (result == REWRITE_DONE)
        result = write_handle(in, out, survey);
    return result == REWRITE_DONE ? write_timelines(in, out, survey) : result;
}

bool followed_all(const project_survey &survey)
{
    bool followed =
        survey.header_followable && survey.handle_followable && survey.sections_followed;
    for (int index = 0; index < survey.timeline_count; ++index)
        followed = followed && survey.timelines[index].followable;
    return followed;
}

} // namespace

rewrite_result blank_media_head(FILE *in, FILE *out, media_report *report)
{
    project_survey survey{};
    walk_result surveyed = survey_project(in, &survey);
    if (surveyed == WALK_READ_FAILED)
        return REWRITE_READ_FAILED;
    report->has_signature = surveyed == WALK_DONE && survey.has_signature;
    report->all_blanked = followed_all(survey);
    if (report->has_signature)
        return write_blanked(in, out, survey);
    // Short, not seekable, or no project file: the anonymised copy alone,
    // from the start. A survey that could seek has read from the start and
    // goes back there; one that could not (a pipe) has read nothing.
    clearerr(in);
    (void)fseek(in, 0, SEEK_SET);
    return rewrite_head(in, out);
}
