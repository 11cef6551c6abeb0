// The extended editing plugin's record: its layers, scenes, trackbar
// scripts, effect types and timeline objects, and the text fields in them.
#pragma once

#include "walk.h"

#include <cstddef>
#include <cstdint>

// The plugin's name as its record stores it: 拡張編集 in CP932, and its 0.
constexpr unsigned char TIMELINE_PLUGIN_NAME[] = {0x8A, 0x67, 0x92, 0xA3, 0x95,
                                                  0xD2, 0x8F, 0x57, 0x00};

// Walks a record that unpacks to `size` bytes, applying the field rules to
// every text field. Anything not laid out as this walker knows it (an older
// version of the plugin, a count, size or index that points outside the
// record, an effect type of an unexpected size) makes it unfollowable.
walk_result walk_timeline(section_walk *walk, uint64_t size);
