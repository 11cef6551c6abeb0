// The copy with media folders blanked: the real files, text planted in each
// kind of field, and files the walkers must not follow.
#include "../aup/media_copy.h"
#include "../packed/packing.h"
#include "media_model.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bytes real_file(const std::string &name)
{
    return read_file(real_project_file(name));
}

// Whether a field holds a drive path ("C:\", "C:/") or a network one ("\\").
bool holds_path(const unsigned char *field, size_t size)
{
    for (size_t at = 0; at + 2 < size; ++at) {
        bool drive = isalpha(field[at]) && field[at + 1] == ':' &&
                     (field[at + 2] == '\\' || field[at + 2] == '/');
        if (drive || (field[at] == '\\' && field[at + 1] == '\\'))
            return true;
    }
    return false;
}

TEST(MediaRealFiles, PackingAStreamsContentGivesBackItsBytes)
{
    int streams = 0;
    for (const auto &path : real_project_files()) {
        bytes file = read_file(path);
        std::vector<model_section> sections;
        ASSERT_TRUE(split_project(file, &sections)) << path;
        for (const model_section &section : sections) {
            if (!section.packed)
                continue;
            FILE *out = temporary_file();
            ASSERT_NE(out, nullptr);
            packer packer = start_packing(out);
            // In two pieces, the second a run, as the walkers feed it.
            size_t half = section.data.size() / 2;
            pack(&packer, section.data.data(), half);
            for (size_t at = half; at < section.data.size(); ++at)
                pack_run(&packer, section.data[at], 1);
            EXPECT_TRUE(finish_packing(&packer));
            bytes packed(static_cast<size_t>(ftell(out)));
            rewind(out);
            EXPECT_EQ(fread(packed.data(), 1, packed.size(), out), packed.size());
            fclose(out);
            EXPECT_TRUE(std::equal(packed.begin(), packed.end(),
                                   file.begin() + static_cast<long>(section.begin),
                                   file.begin() + static_cast<long>(section.end)))
                << path.filename() << " at " << section.begin;
            ++streams;
        }
    }
    EXPECT_EQ(streams, 135);
}

// Where the packer ends a literal: three equal bytes are no run, four are,
// at every place of buffers of every length across the eight-byte steps.
TEST(MediaPacking, ARunStartsAtTheFirstFourEqualBytes)
{
    for (size_t length = 0; length <= 40; ++length) {
        for (size_t place = 0; place < length; ++place) {
            for (size_t same : {3, 4, 5}) {
                bytes buffer(length);
                for (size_t at = 0; at < length; ++at)
                    buffer[at] = static_cast<unsigned char>(at % 2 == 0 ? 'a' : 'b');
                for (size_t at = place; at < std::min(length, place + same); ++at)
                    buffer[at] = 'z';
                size_t expected = place + 4 <= std::min(length, place + same) ? place : length;
                EXPECT_EQ(find_run_start(buffer.data(), length), expected)
                    << length << " bytes, " << same << " equal at " << place;
            }
        }
    }
}

// A record packed with short runs left in its literals, as another program
// might pack it: every literal that holds four equal bytes, at whatever
// place, its last four too, is packed again, not written as it stands.
TEST(MediaPacking, ALiteralHoldingARunIsPackedAgain)
{
    const bytes file = read_file(real_project_file("EffectSet01.aup"));
    const bytes record = timeline_of(file);
    for (size_t shortest_run : {5, 6, 9, 17, 33}) {
        bytes input = with_timeline(file, record, pack_greedily(record, shortest_run));
        rewritten copy = copy_through_files(input, blank_media_copy);
        ASSERT_EQ(copy.result, REWRITE_DONE);
        EXPECT_EQ(check_media_copy(input, copy.output), "") << "runs from " << shortest_run;
    }
}

TEST(MediaRealFiles, EveryFileIsBlankedAndOtherwiseItsAnonymisedCopy)
{
    // Only these hold folders or old bytes; the others' copies are their
    // anonymised copies.
    const std::vector<std::string> changed = {"Chain.aup", "EffectSet01.aup", "LayerScene.aup"};
    for (const auto &path : real_project_files()) {
        std::string name = path.filename().string();
        SCOPED_TRACE(name);
        bytes input = read_file(path);
        rewritten copy = copy_through_files(input, blank_media_copy);
        EXPECT_EQ(copy.result, REWRITE_DONE);
        EXPECT_TRUE(last_media_report.has_signature && last_media_report.all_blanked);
        EXPECT_EQ(check_media_copy(input, copy.output), "");
        bytes anonymised = copy_through_files(input, plain_copy).output;
        bool expect_change = std::count(changed.begin(), changed.end(), name) > 0;
        EXPECT_EQ(copy.output != anonymised, expect_change);
        bytes record = timeline_of(copy.output);
        EXPECT_FALSE(holds_path(copy.output.data() + 40, 260));
        for (const model_field &field : timeline_fields(record)) {
            EXPECT_FALSE(holds_path(record.data() + field.offset, field.size)) << field.offset;
        }
    }
}

// Writes `value` and a 0 into a field, leaving older bytes after them.
void plant(unsigned char *field, size_t size, const bytes &value)
{
    memset(field, 'o', size);
    memcpy(field, value.data(), value.size());
    field[value.size()] = 0;
}

bytes cp932(std::initializer_list<int> codes)
{
    bytes result;
    for (int code : codes)
        result.push_back(static_cast<unsigned char>(code));
    return result;
}

TEST(MediaPlanted, EachKindOfFieldLosesItsFoldersAndOldBytes)
{
    struct planted_case {
        long object;
        long effect; // -1: the object's label
        int nth;     // which of the object's fields of that effect
        bytes value;
        bytes expected;
    };
    // C:\ソフト\表.avi: ソ and 表 both end in 0x5C, the backslash.
    const bytes japanese = cp932(
        {'C', ':', '\\', 0x83, 0x5C, 0x83, 0x74, 0x83, 0x67, '\\', 0x95, 0x5C, '.', 'a', 'v', 'i'});
    const bytes wide = {'a', 0, 'b', 0, 0, 0, 'C', 0, ':', 0, '\\', 0};
    const planted_case cases[] = {
        {0, 0, 0, japanese, cp932({0x95, 0x5C, '.', 'a', 'v', 'i'})},
        {2, 1, 0, text_bytes("\\\\server\\share\\pic.bmp"), text_bytes("pic.bmp")},
        {3, 41, 2, text_bytes("*D:\\TestData\\sample.bmp"), text_bytes("*sample.bmp")},
        {4, 41, 0, text_bytes(":1"), text_bytes(":1")},
        {9, 4, 0, text_bytes("sampleFigure"), text_bytes("sampleFigure")},
        {9, 79, 5,
         text_bytes("a=1;file=\"D:\\\\work\\\\clip.png\";f=\"\\\\\\\\srv\\\\x.png\";b=\"x\\\\y\";"),
         text_bytes("a=1;file=\"clip.png\";f=\"x.png\";b=\"x\\\\y\";")},
        {0, -1, 0, text_bytes("sample.avi"), text_bytes("sample.avi")},
        {3, 3, 1, wide, {'a', 0, 'b'}},
    };
    bytes original = real_file("EffectSet01.aup");
    for (const planted_case &c : cases) {
        SCOPED_TRACE(std::to_string(c.object) + ", effect " + std::to_string(c.effect));
        bytes record = timeline_of(original);
        std::vector<model_field> fields;
        for (const model_field &field : timeline_fields(record)) {
            if (field.object == c.object && field.effect == c.effect)
                fields.push_back(field);
        }
        ASSERT_GT(fields.size(), static_cast<size_t>(c.nth));
        const model_field field = fields[static_cast<size_t>(c.nth)];
        plant(record.data() + field.offset, field.size, c.value);
        bytes input = with_timeline(original, record);
        // The edit file name in the raw header is a path field too.
        plant(input.data() + 40, 260, text_bytes("C:\\Users\\me\\clip.avi"));
        rewritten copy = copy_through_files(input, blank_media_copy);
        ASSERT_EQ(copy.result, REWRITE_DONE);
        EXPECT_TRUE(last_media_report.all_blanked);
        EXPECT_EQ(check_media_copy(input, copy.output), "");
        bytes blanked = timeline_of(copy.output);
        bytes expected = c.expected;
        expected.resize(field.size, 0);
        EXPECT_EQ(bytes(blanked.begin() + static_cast<long>(field.offset),
                        blanked.begin() + static_cast<long>(field.offset + field.size)),
                  expected);
        bytes edit_name = text_bytes("clip.avi");
        edit_name.resize(260, 0);
        EXPECT_EQ(bytes(copy.output.begin() + 40, copy.output.begin() + 300), edit_name);
    }
}

void put_i32(bytes *data, size_t at, uint32_t value)
{
    for (size_t index = 0; index < 4; ++index)
        (*data)[at + index] = static_cast<unsigned char>(value >> (8 * index));
}

TEST(MediaBadInput, WhatCannotBeFollowedKeepsTheAnonymisedCopyAndSaysSo)
{
    // Chain.aup's header and handle need no change: all the copy could
    // change is in its timeline record.
    const bytes original = real_file("Chain.aup");
    const bytes record = timeline_of(original);
    const size_t at = timeline_section(original).begin;
    const size_t types_at = 0x100 + 24 * 76 + 2 * 220 + 3 * 128;
    const size_t first_object = types_at + 108 * 112;
    auto in_record = [&](size_t offset, uint32_t value) {
        bytes changed = record;
        put_i32(&changed, offset, value);
        return with_timeline(original, changed);
    };
    bytes cut = original;
    cut.resize(at + 500);
    bytes huge_size = original;
    put_i32(&huge_size, at - 4, 0x7FFFFFFF);
    bytes overrun = record;
    overrun.resize(record.size() + 50, 'x');
    overrun = with_timeline(original, overrun);
    bytes other_handle = original;
    other_handle[32] ^= 1;
    struct bad_case {
        const char *what;
        bytes input;
    };
    const bad_case cases[] = {
        {"an older layout", in_record(0x70, 0)},
        {"an effect type of another size", in_record(types_at + 12, 300)},
        {"2^31 - 1 objects", in_record(8, 0x7FFFFFFF)},
        {"an object's extra data past the record", in_record(first_object + 0xF4, 0x7FFFFFF)},
        {"an effect index past the type table", in_record(first_object + 0x54, 5000)},
        {"a file cut in the record", cut},
        {"a record claiming gigabytes", huge_size},
        {"ops unpacking past the record", overrun},
        {"a handle of another size", other_handle},
    };
    for (const bad_case &c : cases) {
        SCOPED_TRACE(c.what);
        rewritten copy = copy_through_files(c.input, blank_media_copy);
        EXPECT_EQ(copy.result, REWRITE_DONE);
        EXPECT_TRUE(last_media_report.has_signature);
        EXPECT_FALSE(last_media_report.all_blanked);
        EXPECT_EQ(copy.output, copy_through_files(c.input, plain_copy).output);
    }
}

} // namespace
