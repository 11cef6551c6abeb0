// The timeline plugin's record: its layers, scenes, trackbar scripts,
// effect types and timeline objects, and the text fields in them. Two
// layouts are known: the current one, and an older one of about 2011.
#pragma once

#include "../fields/section_walk.h"

#include <cstddef>
#include <cstdint>

// The plugin's name as its record stores it, and its 0: 拡張編集 in CP932,
// and in GBK 扩展编辑, as the Chinese build of the plugin names it (its text
// is all GBK).
constexpr unsigned char TIMELINE_PLUGIN_NAME[] = {0x8A, 0x67, 0x92, 0xA3, 0x95,
                                                  0xD2, 0x8F, 0x57, 0x00};
constexpr unsigned char CHINESE_TIMELINE_PLUGIN_NAME[] = {0xC0, 0xA9, 0xD5, 0xB9, 0xB1,
                                                          0xE0, 0xBC, 0xAD, 0x00};

// What every timeline record begins with.
constexpr unsigned char TIMELINE_MARK[] = {'8', '0', 'E', 'E'};

// The encoding of a record's text, told from its first `length` bytes (the
// more of them, the surer): a record of the Chinese build names its first
// effect type, the video file, 视频文件 in GBK, and one that does is read as
// GBK; any other as CP932. For a record stored with no name, as a backup's.
text_encoding timeline_encoding(const unsigned char *record, size_t length);

// Walks a record that unpacks to `size` bytes, applying the field rules to
// every text field. Anything not laid out as this walker knows it (another
// version of the plugin, a count, size or index that points outside the
// record, an effect type of an unexpected size) makes it unfollowable.
walk_result walk_timeline(section_walk *walk, uint64_t size);
