// The listing of the paths a file holds: the real files against the rule
// read plainly, planted paths in each kind of place, and the program's lines.
#include "../aup/listing.h"
#include "listing_model.h"
#include "media_model.h"
#include "planted.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace fs = std::filesystem;

namespace {

TEST(ListingRealFiles, EveryPathTheRuleFindsAndNoneInTheBlankedCopy)
{
    for (const auto &path : real_project_files()) {
        SCOPED_TRACE(path.filename().string());
        bytes file = read_file(path);
        std::vector<listed> found = listing_of(file);
        EXPECT_EQ(paths_of(found), paths_in(file));
        bytes blanked = copy_through_files(file, blank_media_copy).output;
        for (const listed &entry : listing_of(blanked)) {
            EXPECT_EQ(entry.where.find(": file path"), std::string::npos) << entry.where;
            EXPECT_EQ(entry.where.find(" name"), std::string::npos) << entry.where;
        }
    }
    EXPECT_EQ(listing_of(read_file(real_project_file("EffectSet01.aup"))).size(), 15u);
}

TEST(ListingPlanted, EachKindOfPlaceIsNamedAndAUrlIsNoPath)
{
    const bytes original = read_file(real_project_file("EffectSet01.aup"));
    bytes record = timeline_of(original);
    const model_field *text = nullptr;
    const model_field *label = nullptr;
    std::vector<model_field> fields = timeline_fields(record);
    for (const model_field &field : fields) {
        if (field.object == 3 && field.kind == model_field::WIDE_TEXT)
            text = &field;
        if (field.object == 5 && field.effect == -1)
            label = &field;
    }
    ASSERT_TRUE(text != nullptr && label != nullptr);
    const bytes wide = {'s', 0, 'e', 0, 'e', 0, ' ', 0, 'C', 0, ':', 0, '\\', 0, 'x', 0, 0, 0};
    memcpy(record.data() + text->offset, wide.data(), wide.size());
    const char old[] = "\0D:\\old\\clip.avi";
    memcpy(record.data() + label->offset + 10, old, sizeof old);
    bytes file = with_timeline(original, record);
    bytes plugin = plugin_record("VST Hosting",
                                 text_bytes("url=http://example.com/a;dll=\\\\pc\\vst\\a.dll;"));
    file.insert(file.end(), plugin.begin(), plugin.end());
    std::vector<listed> found = listing_of(file);
    EXPECT_EQ(paths_of(found), paths_in(file));
    struct expected_place {
        std::string where;
        bool old;
        bytes path;
    };
    const expected_place expected[] = {
        {"\x8A\x67\x92\xA3\x95\xD2\x8F\x57 object 3, effect 3 \x83\x65\x83\x4C\x83\x58\x83\x67: "
         "text",
         false,
         {'C', 0, ':', 0, '\\', 0, 'x', 0}},
        {"\x8A\x67\x92\xA3\x95\xD2\x8F\x57 object 5: label", true, text_bytes("D:\\old\\clip.avi")},
        {"plugin \"VST Hosting\": data", false, text_bytes("\\\\pc\\vst\\a.dll;")},
    };
    for (const expected_place &place : expected) {
        SCOPED_TRACE(place.where);
        bool seen = false;
        for (const listed &entry : found)
            seen = seen || (entry.where == place.where && entry.old == place.old &&
                            entry.path == place.path);
        EXPECT_TRUE(seen);
    }
    for (const listed &entry : found) {
        EXPECT_EQ(std::string(entry.path.begin(), entry.path.end()).find("//example"),
                  std::string::npos);
    }
}

// Text on both sides of a run of zeros, which the listing reads as a few
// zeros when it is long: the zeros still end the text before them.
TEST(ListingPlanted, ARunOfZerosEndsThePathBeforeIt)
{
    const bytes original = read_file(real_project_file("EffectSet01.aup"));
    const bytes before = text_bytes("x C:");
    const bytes after = text_bytes("\\\\pc\\share");
    for (size_t zeros : {4, 31, 32, 33, 150, 151}) {
        // Packed with the zeros as one run.
        bytes ops = before;
        ops.insert(ops.begin(), static_cast<unsigned char>(before.size()));
        ops.insert(ops.end(), {0x80, static_cast<unsigned char>(zeros), 0, 0, 0});
        ops.push_back(static_cast<unsigned char>(after.size()));
        ops.insert(ops.end(), after.begin(), after.end());
        ops.insert(ops.end(), {0x88, 0});
        bytes data = before;
        data.insert(data.end(), zeros, 0);
        data.insert(data.end(), after.begin(), after.end());
        data.insert(data.end(), 8, 0);
        bytes plugin = plugin_record("Zeros", data);
        plugin.resize(plugin.size() - pack_plainly(data).size());
        plugin.insert(plugin.end(), ops.begin(), ops.end());
        bytes file = original;
        file.insert(file.end(), plugin.begin(), plugin.end());
        std::vector<listed> found = listing_of(file);
        EXPECT_EQ(paths_of(found), paths_in(file)) << zeros;
        ASSERT_FALSE(found.empty());
        EXPECT_EQ(found.back().where, "plugin \"Zeros\": data") << zeros;
        EXPECT_EQ(found.back().path, after) << zeros;
    }
}

// A path at every place in a label and in data: the search for ':' and
// '\\' goes many bytes at a time, and its blocks end at places such as these.
TEST(ListingPlanted, APathIsFoundWhereverItLies)
{
    const bytes original = read_file(real_project_file("EffectSet01.aup"));
    const bytes record = timeline_of(original);
    const model_field *label = nullptr;
    std::vector<model_field> fields = timeline_fields(record);
    for (const model_field &field : fields)
        label = label == nullptr && field.object >= 0 && field.effect == -1 ? &field : label;
    ASSERT_TRUE(label != nullptr);
    const bytes path = text_bytes("C:\\a");
    auto lists_path = [&path](const bytes &file, const std::string &place) {
        std::vector<listed> found = listing_of(file);
        return std::any_of(found.begin(), found.end(), [&](const listed &entry) {
            return entry.path == path && entry.where.size() >= place.size() &&
                   entry.where.compare(entry.where.size() - place.size(), place.size(), place) == 0;
        });
    };
    for (size_t before = 0; before + path.size() < label->size; ++before) {
        bytes changed = record;
        memset(changed.data() + label->offset, ' ', before);
        memcpy(changed.data() + label->offset + before, path.data(), path.size());
        changed[label->offset + before + path.size()] = 0;
        EXPECT_TRUE(lists_path(with_timeline(original, changed), ": label")) << before;
    }
    for (size_t before = 0; before < 150; ++before) {
        bytes data(before, ' ');
        data.insert(data.end(), path.begin(), path.end());
        data.push_back(0);
        data.insert(data.end(), before % 20, ' ');
        bytes file = original;
        bytes plugin = plugin_record("Data", data);
        file.insert(file.end(), plugin.begin(), plugin.end());
        EXPECT_TRUE(lists_path(file, "plugin \"Data\": data")) << before;
    }
}

TEST(ListingCli, ListsLinesAndNeverWrites)
{
    scratch_folder folder(current_test_name());
    write_file(folder / "a.aup", read_file(real_project_file("EffectSet01.aup")));
    write_file(folder / "text.aup", text_bytes("notes: C:\\Users\\me\\x.txt"));
    // The effect type's name, as each system prints it.
    const std::string video =
        ON_WINDOWS ? "\x93\xae\x89\xe6\x83\x74\x83\x40\x83\x43\x83\x8b"
                   : "\xe5\x8b\x95\xe7\x94\xbb\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab";
    const std::string timeline = ON_WINDOWS ? "\x8a\x67\x92\xa3\x95\xd2\x8f\x57"
                                            : "\xe6\x8b\xa1\xe5\xbc\xb5\xe7\xb7\xa8\xe9\x9b\x86";
    const std::string first =
        "edit handle: project file name\tD:\\TestData\\Exedit\\EffectSet01.aup";
    const std::string second =
        timeline + " object 0, effect 0 " + video + ": file path\tD:\\TestData\\sample.avi";
    run_result run = run_tool(folder.path(), {"-l", "a.aup"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(0, first.size() + second.size() + 2 * strlen(LINE_END)),
              first + LINE_END + second + LINE_END);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 15);
    // With two paths each is listed, its lines headed by its path; the
    // second names no file, and nothing is written.
    run = run_tool(folder.path(), {"a.aup", "-lm", "b.aup"});
    EXPECT_EQ(run.status, 1);
    const std::string head = "a.aup\t";
    EXPECT_EQ(
        run.out.substr(0, 2 * head.size() + first.size() + second.size() + 2 * strlen(LINE_END)),
        head + first + LINE_END + head + second + LINE_END);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 16);
    EXPECT_NE(run.out.find("b.aup : Error : Can't open input file." + std::string(LINE_END)),
              std::string::npos);
    run_result text = run_tool(folder.path(), {"-l", "text.aup"});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out, std::string("file: data\tC:\\Users\\me\\x.txt") + LINE_END +
                            "Warning : Not AviUtl project file?" + LINE_END);
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.aup", "text.aup"}));
}

} // namespace
