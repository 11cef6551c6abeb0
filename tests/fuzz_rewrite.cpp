// libFuzzer target: every input goes through rewrite_project on in-memory
// streams, and the copy is checked against a second, deliberately plain model
// of the layout, over byte arrays. Any difference aborts.
#include "../project/rewrite.h"
#include "memory_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using byte_array = std::vector<unsigned char>;

void require(bool holds)
{
    if (!holds)
        abort();
}

// The ops from `offset` until `wanted` bytes are unpacked.
struct model_ops {
    byte_array data;
    size_t end = 0;
    bool complete = false;
    int count = 0;
    unsigned char first = 0;
    unsigned char last = 0;
};

model_ops unpack(const byte_array &file, size_t offset, size_t wanted)
{
    model_ops ops;
    size_t at = offset;
    while (ops.data.size() < wanted) {
        if (at >= file.size())
            return ops;
        unsigned char header = file[at++];
        size_t count = header & 0x7F;
        if (count == 0) {
            if (at + 3 > file.size())
                return ops;
            count = size_t{file[at]} | size_t{file[at + 1]} << 8 | size_t{file[at + 2]} << 16;
            at += 3;
        }
        bool run = header >= 0x80;
        if (at + (run ? 1 : count) > file.size())
            return ops;
        if (run)
            ops.data.insert(ops.data.end(), count, file[at]);
        else
            ops.data.insert(ops.data.end(), &file[at], &file[at] + count);
        at += run ? 1 : count;
        ops.first = ops.count == 0 ? header : ops.first;
        ops.last = header;
        ++ops.count;
    }
    ops.end = at;
    ops.complete = true;
    return ops;
}

byte_array byte_rule(const byte_array &in)
{
    if (in.size() < 300)
        return in;
    byte_array out(in.begin(), in.begin() + 300);
    out.resize(560, 0);
    out.insert(out.end(), {1, 0, 0x80, 3, 1, 0});
    if (in.size() > 560)
        out.insert(out.end(), in.begin() + std::min<long>(long(in.size()), 565L + in[560]),
                   in.end());
    return out;
}

void check_stream_rule(const byte_array &in, const model_ops &name, const byte_array &out)
{
    require(out.size() >= 560 && std::equal(in.begin(), in.begin() + 300, out.begin()));
    require(std::all_of(out.begin() + 300, out.begin() + 560, [](unsigned char b) { return !b; }));
    model_ops blanked = unpack(out, 560, name.data.size());
    require(blanked.complete && blanked.data.size() == name.data.size());
    require(std::all_of(blanked.data.begin(), blanked.data.begin() + 260,
                        [](unsigned char b) { return !b; }));
    require(std::equal(blanked.data.begin() + 260, blanked.data.end(), name.data.begin() + 260));
    require(out.size() - blanked.end == in.size() - name.end);
    require(std::equal(out.begin() + long(blanked.end), out.end(), in.begin() + long(name.end)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    byte_array in(data, data + size);
    byte_array out;
    FILE *input = open_memory_input(in.data(), in.size());
    FILE *output = open_memory_output(&out);
    require(input != nullptr && output != nullptr);
    rewrite_result result = rewrite_project(input, output);
    fclose(input);
    fclose(output);

    if (size < 300) {
        require(result == REWRITE_NOT_PROJECT && out == in);
        return 0;
    }
    require(result == REWRITE_DONE);
    bool has_signature = memcmp(data, "AviUtl ProjectFile version 0.18", 32) == 0;
    model_ops name = unpack(in, 560, 260);
    bool short_shape = name.complete && name.count == 2 && name.first >= 1 && name.first <= 127 &&
                       name.last == 0x80 && name.data.size() == 260;
    if (!has_signature || !name.complete || short_shape)
        require(out == byte_rule(in));
    else
        check_stream_rule(in, name, out);
    return 0;
}
