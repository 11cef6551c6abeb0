// Files built from the real ones, for what no real file here shows: the
// older layout of the timeline record, the Chinese build's record, and the
// timeline plugin's backups.
#pragma once

#include "media_model.h"

#include <cstdint>
#include <string>

// A current record laid out as the older layout holds it: its labels, layer
// names and the extra data of the effects that layout has, under their older
// indices; the others' effects dropped.
bytes older_record_of(const bytes &current);

// The file with its timeline record named as the Chinese build names it.
bytes with_chinese_timeline(const bytes &file);

// A current record whose first effect type, the video file, is named as
// the Chinese build names it: 视频文件 in GBK.
bytes with_chinese_type_name(const bytes &record);

// A backup of a record: the backup's header, then the record as it stands.
bytes backup_of(const bytes &record);

// A plugin record of another plugin, named `name`, holding `data`.
bytes plugin_record(const std::string &name, const bytes &data);

// Writes `value` and a 0 into a field, leaving older bytes after them.
void plant(unsigned char *field, size_t size, const bytes &value);

void put_i32(bytes *data, size_t at, uint32_t value);
uint32_t get_i32(const bytes &data, size_t at);
