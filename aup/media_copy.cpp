// The survey decides what the copy changes, the write makes it, and the
// two must have found the same file.
#include "media_copy.h"

#include "sections.h"

namespace {

bool followed_all(const project_plan &plan)
{
    bool followed = plan.header_followable && plan.handle.followable && plan.sections_followed;
    for (int index = 0; index < plan.timeline_count; ++index)
        followed = followed && plan.timelines[index].followable;
    return followed;
}

rewrite_result outcome_of(walk_result result)
{
    switch (result) {
    case WALK_DONE:
        return REWRITE_DONE;
    case WALK_WRITE_FAILED:
        return REWRITE_WRITE_FAILED;
    case WALK_READ_FAILED:
    case WALK_UNFOLLOWABLE:
        break;
    }
    return REWRITE_READ_FAILED;
}

} // namespace

rewrite_result blank_media_head(const input_start &start, FILE *in, FILE *out, bool rewinds,
                                media_report *report)
{
    *report = {};
    // A stream that cannot go back (a pipe) gets the anonymised copy alone.
    if (fseek(in, static_cast<long>(start.length), SEEK_SET) != 0) {
        clearerr(in);
        return rewrite_head(start, in, out);
    }
    input_stream stream{};
    start_input(&stream, in, start);
    static project_plan plan;
    static project_plan found;
    walk_result result = WALK_DONE;
    if (rewinds) {
        result = write_project(&stream, nullptr, out, &found);
        plan = found;
    } else {
        result = survey_project(&stream, &plan);
    }
    if (result == WALK_READ_FAILED || result == WALK_WRITE_FAILED)
        return outcome_of(result);
    report->has_signature = result == WALK_DONE && plan.has_signature;
    report->all_blanked = followed_all(plan);
    if (!report->has_signature) {
        // Short, or no project file: the anonymised copy alone, from the start.
        return seek_input(&stream, 0) ? rewrite_head({}, in, out) : REWRITE_READ_FAILED;
    }
    if (rewinds)
        return REWRITE_DONE;
    return seek_input(&stream, 0) ? outcome_of(write_project(&stream, &plan, out, &found))
                                  : REWRITE_READ_FAILED;
}
