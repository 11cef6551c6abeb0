#include "file_kind.h"

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
    return KIND_PROJECT;
}
