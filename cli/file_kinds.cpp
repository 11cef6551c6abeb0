#include "file_kinds.h"

#include "../aup/listing.h"
#include "../aup/media_copy.h"
#include "../aup/plain_copy.h"
#include "../text_files/copy.h"
#include "../text_files/format.h"
#include "../text_files/listing.h"
#include "../timeline/backup.h"

#include <algorithm>
#include <iterator>

namespace {

bool is_aviutl2_file(const input_start &start, int64_t /* size */)
{
    return begins_aviutl2_file(start);
}

bool is_object_file(const input_start &start, int64_t /* size */)
{
    return begins_object_file(start);
}

bool takes_any_file(const input_start & /* start */, int64_t /* size */)
{
    return true;
}

// In the order they are tried: the project file's copy takes what no other
// kind does. A backup without -m gets the project file's plain copy too.
constexpr file_kind FILE_KINDS[] = {
    {"timeline backup", begins_backup, copy_project_head, blank_backup, list_backup},
    {"AviUtl2 file", is_aviutl2_file, copy_aviutl2_file, copy_aviutl2_file, list_aviutl2_file},
    {"object file", is_object_file, copy_object_file, copy_object_file, list_object_file},
    {"project file", takes_any_file, copy_project_head, blank_media_head, list_paths},
};

} // namespace

bool read_start(FILE *in, input_start *start)
{
    start->length = fread(start->bytes, 1, sizeof start->bytes, in);
    return ferror(in) == 0;
}

const file_kind &kind_of(const input_start &start, int64_t size)
{
    // The last takes every file: one is always found.
    return *std::find_if(std::begin(FILE_KINDS), std::end(FILE_KINDS),
                         [&](const file_kind &kind) { return kind.takes(start, size); });
}
