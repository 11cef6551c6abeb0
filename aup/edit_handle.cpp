// The handle's text fields lie at fixed unpacked offsets, in this order.
#include "edit_handle.h"

namespace {

constexpr size_t NAME_SIZE = 260;
constexpr uint64_t PROFILE_NAMES_AT = 0x20B0C;
constexpr int PROFILE_COUNT = 96;
constexpr uint64_t SOURCE_NAME_AT = PROFILE_NAMES_AT + PROFILE_COUNT * NAME_SIZE;
constexpr uint64_t CLIPBOARD_SLOTS_AT = 0x4BBB8C;
constexpr size_t CLIPBOARD_SLOT_COUNT = 256;
constexpr size_t CLIPBOARD_SLOT_SIZE = 4;

// Passes on the bytes up to unpacked offset `at`.
bool pass_to(section_walk *walk, uint64_t at)
{
    uint64_t taken = EDIT_HANDLE_SIZE - walk->reader.left;
    return pass_over(walk, at - taken);
}

bool walk_project_name(section_walk *walk)
{
    unsigned char name[NAME_SIZE];
    if (!take(walk, name, NAME_SIZE))
        return false;
    blank_field(walk, name, NAME_SIZE, "project file name");
    give(walk, name, NAME_SIZE);
    return true;
}

bool walk_profile_names(section_walk *walk, int *non_empty)
{
    *non_empty = 0;
    for (int index = 0; index < PROFILE_COUNT; ++index) {
        unsigned char name[NAME_SIZE];
        if (!take(walk, name, NAME_SIZE))
            return false;
        if (name[0] != 0)
            ++*non_empty;
        edit_field(walk, name, NAME_SIZE, FIELD_TEXT, "profile name");
        give(walk, name, NAME_SIZE);
    }
    return true;
}

bool walk_source_name(section_walk *walk)
{
    unsigned char name[NAME_SIZE];
    if (!take(walk, name, NAME_SIZE))
        return false;
    edit_field(walk, name, NAME_SIZE, FIELD_PATH, "source file name");
    give(walk, name, NAME_SIZE);
    return true;
}

bool walk_clipboard_slots(section_walk *walk, int *in_use)
{
    unsigned char slots[CLIPBOARD_SLOT_COUNT * CLIPBOARD_SLOT_SIZE];
    if (!take(walk, slots, sizeof slots))
        return false;
    *in_use = 0;
    for (size_t index = 0; index < CLIPBOARD_SLOT_COUNT; ++index) {
        if (read_i32(slots + index * CLIPBOARD_SLOT_SIZE) != 0)
            ++*in_use;
    }
    give(walk, slots, sizeof slots);
    return true;
}

} // namespace

walk_result walk_edit_handle(section_walk *walk, handle_counts *counts)
{
    bool walked =
        walk_project_name(walk) && pass_to(walk, PROFILE_NAMES_AT) &&
        walk_profile_names(walk, &counts->profile_blobs) && pass_to(walk, SOURCE_NAME_AT) &&
        walk_source_name(walk) && pass_to(walk, CLIPBOARD_SLOTS_AT) &&
        walk_clipboard_slots(walk, &counts->clipboard_blobs) && pass_over(walk, walk->reader.left);
    return walked ? WALK_DONE : walk_failure(*walk);
}
