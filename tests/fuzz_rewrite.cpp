// libFuzzer target: every input goes through rewrite_project, and through
// the copy with media folders blanked, on in-memory streams, and each copy
// is checked against the tests' second, plain model of the layout over byte
// arrays. Any difference aborts.
#include "../project/media.h"
#include "../project/rewrite.h"
#include "layout_model.h"
#include "media_model.h"
#include "memory_stream.h"

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
    return 0;
}
