// The timeline record in each layout the walkers know, the Chinese build's
// record and the timeline plugin's backups, built from a real file; and the
// files a hostile test once got past them.
#include "../aup/listing.h"
#include "../timeline/backup.h"
#include "listing_model.h"
#include "memory_stream.h"
#include "planted.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bytes effect_set()
{
    return read_file(real_project_file("EffectSet01.aup"));
}

bytes older_file()
{
    bytes file = effect_set();
    return with_timeline(file, older_record_of(timeline_of(file)));
}

// The field of `record` of object `object` and effect `effect` (-1: the
// label), the `nth` of that kind.
model_field field_of(const bytes &record, long object, long effect,
                     decltype(model_field::kind) kind)
{
    for (const model_field &field : timeline_fields(record)) {
        if (field.object == object && field.effect == effect && field.kind == kind)
            return field;
    }
    ADD_FAILURE() << "no such field";
    return {kind, 0, 0, -1, -1};
}

bytes field_bytes(const bytes &record, const model_field &field)
{
    return bytes(record.begin() + static_cast<long>(field.offset),
                 record.begin() + static_cast<long>(field.offset + field.size));
}

// The record of a copy: a project file's first, or a backup's.
bytes record_of(const bytes &file)
{
    return is_backup(file) ? bytes(file.begin() + 36, file.end()) : timeline_of(file);
}

TEST(Layouts, EveryLayoutAndEveryBackupIsFollowedToItsEndAndBlanked)
{
    const bytes current = effect_set();
    const bytes older = older_file();
    const struct {
        const char *layout;
        bytes file;
    } cases[] = {
        {"current", current},
        {"older", older},
        {"Chinese build", with_chinese_timeline(current)},
        {"backup", backup_of(timeline_of(current))},
        {"backup of the older layout", backup_of(timeline_of(older))},
        {"backup of the Chinese build", backup_of(with_chinese_type_name(timeline_of(current)))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.layout);
        bool backup = is_backup(c.file);
        std::vector<rewrite_result (*)(FILE *, FILE *)> copiers = {blank_backup_copy};
        if (!backup)
            copiers = {blank_media_copy, blank_media_copy_surveyed};
        bytes first;
        for (auto copier : copiers) {
            rewritten copy = copy_through_files(c.file, copier);
            EXPECT_EQ(copy.result, REWRITE_DONE);
            EXPECT_TRUE(last_media_report.has_signature && last_media_report.all_blanked);
            EXPECT_EQ(backup ? check_backup_copy(c.file, copy.output)
                             : check_media_copy(c.file, copy.output),
                      "");
            bool gbk = backup && backup_is_gbk(c.file);
            EXPECT_EQ(check_blanked_record(record_of(copy.output), gbk), "");
            EXPECT_NE(record_of(copy.output), record_of(c.file)); // its paths were blanked
            if (!first.empty()) {
                EXPECT_EQ(copy.output, first); // into a file or a pipe, the same copy
            }
            first = copy.output;
        }
    }
}

TEST(Layouts, TheChineseBuildsTextIsReadAsGbk)
{
    // C:\Users\张三\桌面\clip.mp4 in GBK: CP932 reads the last byte of 面 as a
    // lead byte, which would take the separator after it for its second.
    const bytes path = {'C',  ':',  '\\', 'U',  's',  'e',  'r',  's',  '\\',
                        0xD5, 0xC5, 0xC8, 0xFD, '\\', 0xD7, 0xC0, 0xC3, 0xE6,
                        '\\', 'c',  'l',  'i',  'p',  '.',  'm',  'p',  '4'};
    const bytes file_name = {'c', 'l', 'i', 'p', '.', 'm', 'p', '4'};
    bytes project = with_chinese_timeline(effect_set());
    const struct {
        const char *what;
        bytes file; // its record still to be planted
    } cases[] = {
        {"a project of the Chinese build, by its record's name", project},
        {"a backup, by its first effect type's name",
         backup_of(with_chinese_type_name(timeline_of(effect_set())))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        bool backup = is_backup(c.file);
        bytes record = record_of(c.file);
        model_field field = field_of(record, 0, 0, model_field::PATH);
        plant(record.data() + field.offset, field.size, path);
        bytes file = backup ? backup_of(record) : with_timeline(c.file, record);
        rewritten copy = copy_through_files(file, backup ? blank_backup_copy : blank_media_copy);
        ASSERT_EQ(copy.result, REWRITE_DONE);
        bytes expected = file_name;
        expected.resize(field.size, 0);
        EXPECT_EQ(field_bytes(record_of(copy.output), field), expected);
        std::vector<bytes> listed = paths_of(listing_of(file));
        EXPECT_NE(std::find(listed.begin(), listed.end(), path), listed.end());
    }
}

TEST(Layouts, ARecordInNoKnownLayoutIsLeftAsThePlainCopyHasIt)
{
    const bytes current = effect_set();
    bytes no_mark = timeline_of(current);
    no_mark[0] = 'x'; // a record that does not begin 80EE
    bytes older = older_record_of(no_mark);
    older[0] = '8';
    older[0x1650] ^= 1; // the older layout, but its first type is no video file
    bytes backup = backup_of(timeline_of(current));
    backup[36 + 0x70] = 0; // a backup whose record is in neither layout
    backup[36 + 0x74] = 0;
    const struct {
        const char *what;
        bytes file;
    } cases[] = {
        {"no 80EE", with_timeline(current, no_mark)},
        {"older, but not its first type", with_timeline(current, older)},
        {"a backup in no layout", backup},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        bool is_a_backup = is_backup(c.file);
        rewritten copy =
            copy_through_files(c.file, is_a_backup ? blank_backup_copy : blank_media_copy);
        EXPECT_EQ(copy.result, REWRITE_DONE);
        EXPECT_FALSE(last_media_report.all_blanked);
        EXPECT_EQ(record_of(copy.output), record_of(c.file));
        if (is_a_backup) {
            EXPECT_EQ(copy.output, c.file);
        }
    }
}

TEST(Hostile, ScriptParametersAreReadAsLuaReadsThem)
{
    // Cut at the field's 256 bytes with no terminator, in the middle of a
    // quoted path; and 表 (95 5C) Lua-escaped as 95 5C 5C just before a quote.
    std::string cut = "a=1;file=\"C:\\\\Users\\\\taro\\\\Videos\\\\";
    std::string name = "clip";
    name.resize(256 - cut.size(), 'x');
    const struct {
        const char *what;
        bytes value;
        bytes expected;
    } cases[] = {
        {"cut", text_bytes(cut + name), text_bytes("a=1;file=\"" + name)},
        {"an escaped second byte", text_bytes("n=\"\x95\\\\\";f=\"D:\\\\work\\\\clip.png\";"),
         text_bytes("n=\"\x95\\\\\";f=\"clip.png\";")},
    };
    const bytes original = effect_set();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        bytes record = timeline_of(original);
        model_field field = field_of(record, 21, 80, model_field::SCRIPT);
        memset(record.data() + field.offset, 0, field.size);
        memcpy(record.data() + field.offset, c.value.data(), std::min(c.value.size(), field.size));
        rewritten copy = copy_through_files(with_timeline(original, record), blank_media_copy);
        ASSERT_EQ(copy.result, REWRITE_DONE);
        EXPECT_TRUE(last_media_report.all_blanked);
        bytes expected = c.expected;
        expected.resize(field.size, 0);
        EXPECT_EQ(field_bytes(timeline_of(copy.output), field), expected);
    }
}

TEST(Hostile, EmptyOpsKeepTheCopyOfAStreamInStep)
{
    // Literals of no bytes (a long count of 0) before the edit handle's
    // first op: the greedy packer never writes one, but they take bytes.
    bytes file = read_file(real_project_file("LayerScene.aup"));
    file.insert(file.begin() + 560, 16, 0);
    for (auto copier : {blank_media_copy, blank_media_copy_surveyed}) {
        rewritten copy = copy_through_files(file, copier);
        ASSERT_EQ(copy.result, REWRITE_DONE);
        EXPECT_EQ(check_media_copy(file, copy.output), "");
    }
}

TEST(Hostile, AFileThatChangesWhileItIsCopiedGetsNoCopyWithAPath)
{
    if (!HAS_MEMORY_STREAMS)
        GTEST_SKIP() << "Linux only: the changing stream needs glibc";
    // A file with nothing to blank, and the same file saved over with a path
    // in a path field, at the same length, or with a record appended.
    const bytes blanked = copy_through_files(effect_set(), blank_media_copy).output;
    bytes record = timeline_of(blanked);
    const bytes clean = with_timeline(blanked, record);
    model_field field = field_of(record, 0, 0, model_field::PATH);
    plant(record.data() + field.offset, field.size, text_bytes("C:\\Users\\taro\\Videos\\v.avi"));
    const bytes saved_over = with_timeline(blanked, record);
    // The record with its header: its mark, its name and its size before it.
    model_section section = timeline_section(saved_over);
    bytes appended = clean;
    appended.insert(appended.end(), saved_over.begin() + static_cast<long>(section.begin - 35),
                    saved_over.begin() + static_cast<long>(section.end));
    ASSERT_EQ(saved_over.size(), clean.size());
    for (const bytes *changed : std::vector<const bytes *>{&saved_over, &appended}) {
        SCOPED_TRACE(changed == &appended ? "appended" : "saved over");
        // Surveyed first, then written: the write finds another file.
        stream_faults faults;
        faults.changes_at_seek = 2;
        faults.changed = changed;
        FILE *in = open_memory_input(clean.data(), clean.size(), faults);
        FILE *out = temporary_file();
        ASSERT_TRUE(in != nullptr && out != nullptr);
        EXPECT_EQ(blank_media_copy_surveyed(in, out), REWRITE_READ_FAILED);
        fclose(in);
        fclose(out);
    }
    // Written as it goes, it goes back into the file that is there now: it
    // blanks what it reads there.
    stream_faults faults;
    faults.changes_at_seek = 2;
    faults.changed = &saved_over;
    const bytes changing = effect_set();
    bytes with_path = timeline_of(changing);
    plant(with_path.data() + field.offset, field.size, text_bytes("C:\\Users\\taro\\v.avi"));
    const bytes later = with_timeline(changing, with_path);
    faults.changed = &later;
    const bytes first = with_timeline(changing, timeline_of(changing));
    FILE *in = open_memory_input(first.data(), first.size(), faults);
    FILE *out = temporary_file();
    ASSERT_TRUE(in != nullptr && out != nullptr);
    EXPECT_EQ(blank_media_copy(in, out), REWRITE_DONE);
    bytes copy(static_cast<size_t>(ftell(out)));
    rewind(out);
    ASSERT_EQ(fread(copy.data(), 1, copy.size(), out), copy.size());
    fclose(in);
    fclose(out);
    EXPECT_EQ(check_blanked_record(timeline_of(copy), false), "");
}

// A real file, and after it another plugin's record holding `data`.
bytes with_plugin(const bytes &data)
{
    bytes file = effect_set();
    bytes record = plugin_record("P", data);
    file.insert(file.end(), record.begin(), record.end());
    return file;
}

TEST(Hostile, TheListingFindsEveryPathTheRuleFinds)
{
    const bytes wide = {'x', 0, ' ', 0, 'C', 0, ':', 0, '\\', 0, 'u', 0, '.', 0, 'p', 0};
    // In both alignments: after one byte, and after a 0 unit and two more.
    bytes utf16_data = {'z'};
    utf16_data.insert(utf16_data.end(), wide.begin(), wide.end());
    utf16_data.insert(utf16_data.end(), {0, 0, 0});
    utf16_data.insert(utf16_data.end(), wide.begin(), wide.end());
    bytes older = older_file();
    bytes older_record = timeline_of(older);
    model_field text = field_of(older_record, 3, 3, model_field::WIDE_TEXT);
    memcpy(older_record.data() + text.offset, wide.data(), wide.size());
    older_record[text.offset + wide.size()] = older_record[text.offset + wide.size() + 1] = 0;
    bytes script = timeline_of(effect_set());
    model_field parameters = field_of(script, 21, 80, model_field::SCRIPT);
    plant(script.data() + parameters.offset, parameters.size, text_bytes("a=1;"));
    const char tail[] = "\\\\01.png\";";
    memcpy(script.data() + parameters.offset + 5, tail, sizeof tail - 1);
    const struct {
        const char *what;
        bytes file;
        bytes path;
        long times; // it is listed
    } cases[] = {
        {"UTF-16LE in another plugin's data, in both alignments", with_plugin(utf16_data),
         bytes(wide.begin() + 4, wide.end()), 2},
        {"after a one-byte length: a letter", with_plugin(text_bytes("QC:\\d\\a.png")),
         text_bytes("C:\\d\\a.png"), 1},
        {"after a one-byte length: a digit", with_plugin(text_bytes("7C:\\d\\b.png")),
         text_bytes("C:\\d\\b.png"), 1},
        {"after a one-byte length: a lead byte",
         with_plugin(text_bytes("\x95"
                                "C:\\d\\c.png")),
         text_bytes("C:\\d\\c.png"), 1},
        {"UTF-16LE text in the older layout", with_timeline(older, older_record),
         bytes(wide.begin() + 4, wide.end()), 1},
        {"a Lua-escaped tail in old bytes", with_timeline(effect_set(), script),
         text_bytes("\\\\01.png"), 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<bytes> paths = paths_of(listing_of(c.file));
        EXPECT_EQ(paths, paths_in(c.file));
        EXPECT_EQ(std::count(paths.begin(), paths.end(), c.path), c.times);
    }
}

TEST(Hostile, PathsAfterAnOpThatCannotBeReadAreNamedByTheEffectBeforeIt)
{
    // An op that claims more bytes than the record has, within an effect's
    // text: the rest of the record is searched as raw bytes, still named by
    // that effect, whose name the walk that read it no longer holds.
    const bytes original = effect_set();
    const bytes record = timeline_of(original);
    const size_t cut = field_of(record, 2, 35, model_field::PATH).offset + 8;
    bytes ops = pack_plainly(bytes(record.begin(), record.begin() + static_cast<long>(cut)));
    ops.insert(ops.end(), {0x00, 0xFF, 0xFF, 0x7F});
    bytes rest = pack_plainly(bytes(record.begin() + static_cast<long>(cut), record.end()));
    ops.insert(ops.end(), rest.begin(), rest.end());
    bytes file = with_timeline(original, record, ops);
    const std::string border = "\x8A\x67\x92\xA3\x95\xD2\x8F\x57 object 2, effect 35 "
                               "\x89\x8F\x8E\xE6\x82\xE8: data";
    std::vector<listed> found = listing_of(file);
    EXPECT_TRUE(std::any_of(found.begin(), found.end(),
                            [&](const listed &entry) { return entry.where == border; }));
}

TEST(Hostile, TheListingTakesARunByItsCount)
{
    // Frame arrays of 2^31 - 1 frames, each a run of one letter: the sections
    // after them are listed as in the real file.
    const bytes original = effect_set();
    std::vector<model_section> sections;
    ASSERT_TRUE(split_project(original, &sections));
    const model_section &count = sections[2];
    bytes file(original.begin(), original.begin() + static_cast<long>(count.begin));
    const uint64_t frames = 0x7FFFFFFF;
    file.insert(file.end(), {0xFF, 0xFF, 0xFF, 0x7F});
    for (int array = 0; array < 10; ++array) {
        for (uint64_t left = frames * (array < 4 ? 4 : 1); left > 0;) {
            uint64_t run = std::min<uint64_t>(left, 0x7FFFFF);
            file.insert(file.end(), {0x80, static_cast<unsigned char>(run),
                                     static_cast<unsigned char>(run >> 8),
                                     static_cast<unsigned char>(run >> 16), 'a'});
            left -= run;
        }
    }
    file.insert(file.end(), original.begin() + static_cast<long>(sections[12].end), original.end());
    EXPECT_LT(file.size(), size_t{64} * 1024);
    EXPECT_EQ(paths_of(listing_of(file)), paths_of(listing_of(original)));
}

// The program's lines: what one line of a listing is, as each system prints
// its text.
std::vector<std::string> lines_of(const std::string &out)
{
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(out.substr(at, end - at - (ON_WINDOWS ? 1 : 0)));
    return lines;
}

TEST(LayoutsCli, BackupsAreBlankedInPlaceAndListedAndOtherwiseCopiedAsBefore)
{
    scratch_folder folder(current_test_name());
    const bytes backup = backup_of(timeline_of(effect_set()));
    bytes in_no_layout = backup;
    in_no_layout[36 + 0x70] = 0;
    write_file(folder / "a.exedit_backup", backup);
    write_file(folder / "b.exedit_backup", in_no_layout);
    run_result blanked = run_tool(folder.path(), {"-m", "a.exedit_backup", "out"});
    EXPECT_EQ(blanked.status, 0);
    EXPECT_EQ(blanked.out, "");
    EXPECT_EQ(read_file(folder / "out"), copy_through_files(backup, blank_backup_copy).output);
    EXPECT_EQ(read_file(folder / "out").size(), backup.size());
    run_result plain = run_tool(folder.path(), {"a.exedit_backup", "plain"});
    EXPECT_EQ(read_file(folder / "plain"), byte_rule_copy(backup));
    run_result unfollowed = run_tool(folder.path(), {"-m", "b.exedit_backup", "out"});
    EXPECT_EQ(unfollowed.status, 0);
    EXPECT_EQ(unfollowed.out, std::string("Warning : Media paths not blanked.") + LINE_END);
    EXPECT_EQ(read_file(folder / "out"), in_no_layout);
    run_result listed = run_tool(folder.path(), {"-l", "a.exedit_backup"});
    const std::string timeline = ON_WINDOWS ? "\x8a\x67\x92\xa3\x95\xd2\x8f\x57"
                                            : "\xe6\x8b\xa1\xe5\xbc\xb5\xe7\xb7\xa8\xe9\x9b\x86";
    std::vector<std::string> lines = lines_of(listed.out);
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(lines.size(), 14u); // the file's own, in its handle, is not in a backup
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].substr(0, lines[0].find(',')), timeline + " object 0");
}

TEST(LayoutsCli, AListingReadsAPipeAsAFileAndNoNameForgesALine)
{
    scratch_folder folder(current_test_name());
    bytes forged = effect_set();
    bytes plugin = plugin_record("x\nC:\\forged", text_bytes("C:\\real\\p.png"));
    forged.insert(forged.end(), plugin.begin(), plugin.end());
    // A path with a run in it: read as raw bytes, the run's op would cut it.
    bytes record = timeline_of(effect_set());
    model_field video = field_of(record, 0, 0, model_field::PATH);
    plant(record.data() + video.offset, video.size, text_bytes("D:\\aaaaaaaa\\sample.avi"));
    write_file(folder / "a.aup", with_timeline(effect_set(), record, true));
    write_file(folder / "forged.aup", forged);
    write_file(folder / "chinese.aup", with_chinese_timeline(effect_set()));
    // The name holds a path too; both lines say whose it is, each one line.
    run_result listed = run_tool(folder.path(), {"-l", "forged.aup"});
    std::vector<std::string> lines = lines_of(listed.out);
    ASSERT_EQ(lines.size(), 17u);
    for (const std::string &line : lines) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 1) << line;
    }
    EXPECT_EQ(lines.back(), "plugin \"x\\x0AC:\\forged\": data\tC:\\real\\p.png");
    // The Chinese build's record goes by its name, in GBK.
    std::vector<std::string> chinese = lines_of(run_tool(folder.path(), {"-l", "chinese.aup"}).out);
    const std::string name = ON_WINDOWS ? "\xc0\xa9\xd5\xb9\xb1\xe0\xbc\xad"
                                        : "\xe6\x89\xa9\xe5\xb1\x95\xe7\xbc\x96\xe8\xbe\x91";
    ASSERT_EQ(chinese.size(), 15u);
    EXPECT_EQ(chinese[1].substr(0, name.size()), name);
    if (ON_WINDOWS)
        return;
    std::string command = "cd '" + folder.path().string() + "' && cat a.aup | '" +
                          tool_path().string() + "' -l /dev/stdin >../stdout";
    EXPECT_EQ(run_command(command), 0);
    EXPECT_EQ(read_file(folder.path().parent_path() / "stdout"),
              text_bytes(run_tool(folder.path(), {"-l", "a.aup"}).out));
}

} // namespace
