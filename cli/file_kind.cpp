#include "file_kind.h"

#include "../ini/format.h"
#include "../project/backup.h"

bool read_start(FILE *in, input_start *start)
{
    start->length = fread(start->bytes, 1, sizeof start->bytes, in);
    return ferror(in) == 0;
}

file_kind kind_of(const input_start &start, int64_t size)
{
    if (is_backup_start(start.bytes, start.length, size))
        return KIND_BACKUP;
    // A start shorter than its room is the whole file.
    switch (text_format_of(start.bytes, start.length, start.length < INPUT_START_CAPACITY)) {
    case TEXT_AVIUTL2:
        return KIND_AVIUTL2;
    case TEXT_OBJECT_FILE:
        return KIND_OBJECT_FILE;
    case TEXT_NONE:
        break;
    }
    return KIND_PROJECT;
}
