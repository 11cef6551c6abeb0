// libFuzzer target: every input goes through rewrite_project, and through
// the copy with media folders blanked, on in-memory streams, and each copy
// is checked against the tests' second, plain model of the layout over byte
// arrays; then it is listed, and every path listed must have a path's
// shape. Any difference aborts.
#include "../project/listing.h"
#include "../project/media.h"
#include "../project/rewrite.h"
#include "layout_model.h"
#include "media_model.h"
#include "memory_stream.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool holds)
{
    if (!holds)
        abort();
}

// The copy with media folders blanked: outside the text fields it must be
// the anonymised copy, and nothing may be written past a field.
void check_media_blanking(bytes &in)
{
    bytes out;
    FILE *input = open_memory_input(in.data(), in.size());
    FILE *output = open_memory_output(&out);
    require(input != nullptr && output != nullptr);
    media_report report{};
    rewrite_result result = blank_media_head(input, output, &report);
    if (result == REWRITE_DONE)
        result = copy_rest(input, output);
    require(fclose(input) == 0 && fclose(output) == 0);
    require(result == (in.size() < 300 ? REWRITE_NOT_PROJECT : REWRITE_DONE));
    require(check_media_copy(in, out).empty());
}

// The ASCII character at unit `index` of a listed path, or 0 for another.
int unit_of(const found_path &path, size_t index)
{
    size_t step = path.wide ? 2 : 1;
    if ((index + 1) * step > path.length || (path.wide && path.path[2 * index + 1] != 0))
        return 0;
    return path.path[index * step] < 0x80 ? path.path[index * step] : 0;
}

// Every path listed begins as a drive or a network share does.
void require_path_shape(void * /* context */, const found_path &path)
{
    int first = unit_of(path, 0);
    int second = unit_of(path, 1);
    int third = unit_of(path, 2);
    bool drive = isalpha(first) && second == ':' && (third == '\\' || third == '/');
    require(drive || (first == '\\' && second == '\\' && third != 0));
}

void check_listing(bytes &in)
{
    FILE *input = open_memory_input(in.data(), in.size());
    require(input != nullptr);
    list_result result = list_paths(input, {require_path_shape, nullptr});
    require(fclose(input) == 0);
    require(result != LIST_READ_FAILED);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bytes in(data, data + size);
    bytes out;
    FILE *input = open_memory_input(in.data(), in.size());
    FILE *output = open_memory_output(&out);
    require(input != nullptr && output != nullptr);
    rewrite_result result = rewrite_project(input, output);
    require(fclose(input) == 0 && fclose(output) == 0);
    require(result == (size < 300 ? REWRITE_NOT_PROJECT : REWRITE_DONE));
    require(check_copy(in, out).empty());
    check_media_blanking(in);
    check_listing(in);
    return 0;
}
