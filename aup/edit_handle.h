// The edit handle: the main window's state, a packed section of fixed size
// right after the header. Nearly all of it is numbers; its text fields are
// the project's own path, the profile names and the first source file's name.
#pragma once

#include "../fields/section_walk.h"

#include <cstdint>

// What the handle unpacks to.
constexpr uint64_t EDIT_HANDLE_SIZE = 0x4C07DC;

// What the file's header says of the handle's size in this layout.
constexpr int32_t EDIT_HANDLE_SIZE_FIELD = 0x4C09E8;

// What the handle tells of the raw sections after the frame arrays.
struct handle_counts {
    int profile_blobs;   // one per non-empty profile name
    int clipboard_blobs; // one per clipboard-image slot in use
};

// Walks the handle: blanks the project's path, as every copy does, clears
// the profile names' old bytes and keeps only the first source file's name.
// Blanking the project's path does not count as a change: the copy without
// media blanking makes it too.
walk_result walk_edit_handle(section_walk *walk, handle_counts *counts);
