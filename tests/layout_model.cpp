#include "layout_model.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char SIGNATURE[] = "AviUtl ProjectFile version 0.18"; // and its zero: 32 bytes

} // namespace

bytes signed_header()
{
    bytes header(300, 'h');
    memcpy(header.data(), SIGNATURE, sizeof SIGNATURE);
    return header;
}

bytes byte_rule_copy(const bytes &input)
{
    if (input.size() < 300)
        return input;
    bytes copy(input.begin(), input.begin() + 300);
    copy.resize(560, 0);
    copy.insert(copy.end(), {0x01, 0x00, 0x80, 0x03, 0x01, 0x00});
    if (input.size() > 560) {
        size_t rest = std::min(input.size(), size_t{565} + input[560]);
        copy.insert(copy.end(), input.begin() + static_cast<long>(rest), input.end());
    }
    return copy;
}

unpacked unpack(const bytes &file, size_t offset, size_t wanted)
{
    unpacked result{{}, offset, false, 0, 0, 0};
    size_t at = offset;
    while (result.data.size() < wanted) {
        if (at >= file.size())
            return result;
        unsigned char header = file[at++];
        size_t count = header & 0x7F;
        if (count == 0) {
            if (at + 3 > file.size())
                return result;
            count = size_t{file[at]} | size_t{file[at + 1]} << 8 | size_t{file[at + 2]} << 16;
            at += 3;
        }
        bool run = (header & 0x80) != 0;
        size_t payload = run ? 1 : count;
        if (at + payload > file.size())
            return result;
        if (run)
            result.data.insert(result.data.end(), count, file[at]);
        else
            result.data.insert(result.data.end(), file.begin() + static_cast<long>(at),
                               file.begin() + static_cast<long>(at + count));
        at += payload;
        result.end = at;
        result.first_header = result.ops == 0 ? header : result.first_header;
        result.last_header = header;
        ++result.ops;
    }
    result.complete = true;
    return result;
}

std::string check_blanked(const bytes &original, const bytes &copy)
{
    if (copy.size() < 560 || original.size() < 300 ||
        !std::equal(copy.begin(), copy.begin() + 300, original.begin()))
        return "the header differs";
    if (std::any_of(copy.begin() + 300, copy.begin() + 560, [](unsigned char b) { return b; }))
        return "the field after the header is not blank";
    unpacked name = unpack(original, 560, 260);
    if (!name.complete)
        return "the original's name ops are cut";
    // The copy's ops unpack to as many bytes as the original's name ops do,
    // and end where the same raw tail begins.
    unpacked blanked = unpack(copy, 560, name.data.size());
    if (!blanked.complete || blanked.data.size() != name.data.size())
        return "the copy's ops do not end where the original's do";
    bytes expected(260, 0);
    expected.insert(expected.end(), name.data.begin() + 260, name.data.end());
    if (blanked.data != expected)
        return "the copy does not unpack to a blank name and the original's bytes after it";
    if (!std::equal(copy.begin() + static_cast<long>(blanked.end), copy.end(),
                    original.begin() + static_cast<long>(name.end), original.end()))
        return "the bytes after the name ops differ";
    return "";
}

bool takes_byte_rule(const bytes &input)
{
    if (input.size() < 561 || memcmp(input.data(), SIGNATURE, sizeof SIGNATURE) != 0)
        return true;
    unpacked name = unpack(input, 560, 260);
    bool short_shape = name.ops == 2 && name.first_header >= 1 && name.first_header <= 127 &&
                       name.last_header == 0x80 && name.data.size() == 260;
    return !name.complete || short_shape;
}

std::string check_copy(const bytes &input, const bytes &copy)
{
    if (!takes_byte_rule(input))
        return check_blanked(input, copy);
    return copy == byte_rule_copy(input) ? "" : "the copy is not the byte rule's";
}
