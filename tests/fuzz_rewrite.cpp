// libFuzzer target: every input goes through rewrite_project on in-memory
// streams, and the copy is checked against the tests' second, plain model of
// the layout over byte arrays. Any difference aborts.
#include "../project/rewrite.h"
#include "layout_model.h"
#include "memory_stream.h"

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool holds)
{
    if (!holds)
        abort();
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
    return 0;
}
