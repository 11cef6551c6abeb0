// The timeline plugin's backups (`*.exedit_backup`), which it saves by
// itself beside the program: a 36-byte header, then one timeline record's
// data as it stands, not packed. docs/format.md describes them.
#pragma once

#include "../path_rules/path_scan.h"
#include "../streams/copy_results.h"
#include "../streams/input_block.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr size_t BACKUP_HEADER_SIZE = 36;

// How many first bytes tell a backup: its header and its record's mark.
constexpr size_t BACKUP_START_LENGTH = BACKUP_HEADER_SIZE + 4;

// Whether a file that begins with `start` and is `size` bytes long (-1
// when that cannot be known) is a backup.
bool begins_backup(const input_start &start, int64_t size);

// Whether a file of `file_size` bytes (-1 when it cannot be known, as of a
// pipe) that begins with `bytes` is a backup: its header begins `80EE`, at
// 0x20 it holds the size of the rest of the file, and the record there
// begins `80EE` too.
bool is_backup_start(const unsigned char *bytes, size_t length, int64_t file_size);

// Writes the whole copy of a backup with media folders blanked: its header
// as it stands and its record with the rules applied in place, so that it
// keeps its length. One the walkers cannot follow, or that cannot be read
// twice (a pipe), is copied as it stands, and the report says so. The input
// stands just after `start`; a file that is not the same the second time it
// is read is not copied (REWRITE_READ_FAILED).
rewrite_result blank_backup(const input_start &start, FILE *in, FILE *out, bool rewinds,
                            media_report *report);

// Lists the paths of a backup, its record by the timeline's labels.
list_result list_backup(const input_start &start, FILE *in, path_listing listing);
