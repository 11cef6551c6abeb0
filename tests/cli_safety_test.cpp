// The user's files under hostile conditions: a name taken over during an
// in-place run, a file that cannot be read, an output behind a link when the
// disk fills, a file size limit, and paths that do not reach the program as
// they were typed.
#include "../cli/platform.h"
#include "planted.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string line(const std::string &text)
{
    return text + LINE_END;
}

bytes sample_project()
{
    return read_file(real_project_file("Chain.aup"));
}

TEST(SafetyPlatform, NewOutputRefusesWhateverIsAtItsName)
{
    scratch_folder folder(current_test_name());
    write_file(folder / "in.aup", sample_project());
    write_file(folder / "victim.txt", text_bytes("not to be written"));
    write_file(folder / "file.aup", text_bytes("already here"));
    std::vector<std::string> names = {"file.aup"};
    if (!ON_WINDOWS) {
        fs::create_symlink("victim.txt", folder / "link.aup");
        fs::create_symlink("missing.txt", folder / "dangling.aup");
        names.insert(names.end(), {"link.aup", "dangling.aup"});
    }
    FILE *in = open_input((folder / "in.aup").c_str(), true);
    ASSERT_NE(in, nullptr);
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        output_file output{};
        EXPECT_FALSE(open_output((folder / name).c_str(), in, true, &output));
    }
    fclose(in);
    EXPECT_EQ(read_file(folder / "victim.txt"), text_bytes("not to be written"));
    EXPECT_EQ(read_file(folder / "file.aup"), text_bytes("already here"));
    EXPECT_FALSE(fs::exists(folder / "missing.txt"));
}

TEST(SafetyPlatform, BackupOfAFileReplacedSinceItWasOpenedIsRefused)
{
    scratch_folder folder(current_test_name());
    write_file(folder / "a.aup", sample_project());
    fs::path path = folder / "a.aup";
    fs::path backup = folder / "a.aup.old";
    FILE *in = open_input(path.c_str(), true);
    ASSERT_NE(in, nullptr);
    fs::rename(folder / "a.aup", folder / "moved.aup");
    write_file(folder / "a.aup", text_bytes("put in its place"));
    EXPECT_EQ(make_backup(in, path.c_str(), backup.c_str()), BACKUP_FAILED);
    fclose(in);
}

TEST(SafetyCli, FileThatCannotBeOpenedIsNeverMoved)
{
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    write_file(folder / "a.aup", project);
    std::string prefix;
    FILE *held = nullptr;
    if (ON_WINDOWS) {
        // Another program holds it open for writing.
        held = fopen((folder / "a.aup").string().c_str(), "r+b");
        ASSERT_NE(held, nullptr);
    } else {
        // Unreadable to an unprivileged user, in a folder that user may change.
        fs::permissions(folder.path(), fs::perms::all);
        fs::permissions(folder / "a.aup", fs::perms::owner_write);
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    std::string command = (ON_WINDOWS ? "cd /d \"" : "cd \"") + folder.path().string() + "\" && " +
                          prefix + "\"" + tool_path().string() + "\" a.aup >../stdout";
    EXPECT_EQ(run_command(ON_WINDOWS ? "\"" + command + "\"" : command), 1);
    if (held != nullptr)
        fclose(held);
    EXPECT_EQ(read_file(folder.path().parent_path() / "stdout"),
              text_bytes(line("Error : Can't open input file.")));
    EXPECT_FALSE(fs::exists(folder / "a.aup.old"));
    fs::permissions(folder / "a.aup", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(read_file(folder / "a.aup"), project);
}

TEST(SafetyCli, FifoInPlaceIsRefusedAtOnce)
{
    ONLY_ON_LINUX("a FIFO");
#ifndef _WIN32
    scratch_folder folder(current_test_name());
    ASSERT_EQ(mkfifo((folder / "a.aup").c_str(), 0600), 0);
    // Were the open to wait for a writer, the run would never end.
    run_result run = run_tool(folder.path(), {"a.aup"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, line("Error : Can't open input file."));
    EXPECT_FALSE(fs::exists(folder / "a.aup.old"));
#endif
}

TEST(SafetyCli, InPlaceCopyKeepsTheOriginalsPermissionBits)
{
    ONLY_ON_LINUX("permission bits");
    scratch_folder folder(current_test_name());
    for (fs::perms mode :
         {fs::perms::owner_read | fs::perms::owner_write,
          fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
              fs::perms::group_write | fs::perms::others_read | fs::perms::others_write}) {
        SCOPED_TRACE(static_cast<int>(mode));
        write_file(folder / "a.aup", sample_project());
        fs::permissions(folder / "a.aup", mode);
        std::string command = "cd '" + folder.path().string() + "' && umask 022 && '" +
                              tool_path().string() + "' a.aup";
        EXPECT_EQ(run_command(command), 0);
        EXPECT_EQ(fs::status(folder / "a.aup").permissions(), mode);
        fs::remove(folder / "a.aup.old");
    }
}

TEST(SafetyCli, FailedCopyLeavesNoIncompleteBytesAndRemovesOnlyItsOwnName)
{
    ONLY_ON_LINUX("a file size limit and links");
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    const bytes older = text_bytes("an older output");
    struct output_case {
        const char *setup;             // makes out.aup
        std::vector<std::string> kept; // names left, each empty
    };
    const output_case cases[] = {
        {"ln -s target.aup out.aup && echo older >target.aup", {"out.aup", "target.aup"}},
        {"ln -s target.aup out.aup", {"out.aup", "target.aup"}},
        {"echo older >out.aup && ln out.aup other.aup", {"other.aup"}},
        {": >out.aup", {"out.aup"}},
        {":", {}},
    };
    for (const output_case &c : cases) {
        SCOPED_TRACE(c.setup);
        fs::remove_all(folder.path());
        fs::create_directories(folder.path());
        write_file(folder / "a.aup", project);
        // The signal at its default: the program must ignore it itself.
        std::string command = "cd '" + folder.path().string() + "' && " + c.setup +
                              " && trap - XFSZ && prlimit --fsize=5000 '" + tool_path().string() +
                              "' a.aup out.aup >../stdout";
        EXPECT_EQ(run_command(command), 2);
        EXPECT_EQ(read_file(folder.path().parent_path() / "stdout"),
                  text_bytes(line("Error : Can't write output file.")));
        EXPECT_EQ(read_file(folder / "a.aup"), project);
        std::vector<std::string> left;
        for (const auto &entry : fs::directory_iterator(folder.path())) {
            std::string name = entry.path().filename().string();
            if (name != "a.aup")
                left.push_back(name);
            if (entry.is_regular_file() && name != "a.aup") {
                EXPECT_EQ(fs::file_size(entry.path()), 0u) << name;
            }
        }
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, c.kept);
    }
}

TEST(SafetyCli, TypedPathWithAZeroByteIsRefused)
{
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    write_file(folder / "x.aup", project);
    run_result run = run_tool(folder.path(), {}, std::string("x.aup\0.keep\n", 12));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "input file path > " + line("Error : Can't open input file."));
    EXPECT_EQ(read_file(folder / "x.aup"), project);
    EXPECT_FALSE(fs::exists(folder / "x.aup.old"));
}

#ifdef _WIN32
// The tool run from a wide command line, as Explorer or a Unicode console
// starts it; its exit status.
int run_tool_wide(const fs::path &folder, const std::wstring &arguments)
{
    std::wstring command = L"\"cd /d \"" + folder.wstring() + L"\" && \"" + tool_path().wstring() +
                           L"\" " + arguments + L" >..\\stdout\"";
    return _wsystem(command.c_str());
}
#endif

TEST(SafetyCli, NamesOutsideTheCodePageAreUsedAsTheyAreAndNoLookAlikeIsTouched)
{
    ONLY_ON_WINDOWS("arguments reach Linux programs as bytes");
#ifdef _WIN32
    scratch_folder folder(current_test_name());
    const bytes project = sample_project();
    const bytes unrelated = text_bytes("an unrelated file");
    // What a best-fit conversion would make of the names below.
    write_file(folder / "cafe.aup", unrelated);
    write_file(folder / "a.aup", unrelated);
    fs::create_directory(folder / "a");
    write_file(folder / "a" / "b.aup", unrelated);
    write_file(folder / "in.aup", project);
    struct wide_case {
        std::wstring arguments;
        int status;
        std::string message;
        std::wstring written; // the file the copy is written to
    };
    const std::string cant_open_input = line("Error : Can't open input file.");
    // A copy to cafē.aup, ａ.aup (a full-width a) in place, a¥b.aup in place
    // (the Japanese code page takes its yen sign for a backslash), and a
    // half of a UTF-16 pair without its other half, which is refused.
    const wide_case cases[] = {
        {L"in.aup caf\u0113.aup", 0, "", L"caf\u0113.aup"},
        {L"\uFF41.aup", 0, "", L"\uFF41.aup"},
        {L"a\u00A5b.aup", 0, "", L"a\u00A5b.aup"},
        {L"\xD800.aup", 1, cant_open_input, L""},
    };
    for (const wide_case &c : cases) {
        SCOPED_TRACE(c.status);
        bool in_place = c.arguments.find(L' ') == std::wstring::npos;
        if (in_place && !c.written.empty())
            write_file(folder / c.written, project);
        EXPECT_EQ(run_tool_wide(folder.path(), c.arguments), c.status);
        EXPECT_EQ(read_file(folder.path().parent_path() / "stdout"), text_bytes(c.message));
        if (!c.written.empty()) {
            EXPECT_EQ(read_file(folder / c.written), byte_rule_copy(project));
            EXPECT_EQ(in_place, fs::exists(folder / (c.written + L".old")));
        }
        EXPECT_EQ(read_file(folder / "cafe.aup"), unrelated);
        EXPECT_EQ(read_file(folder / "a.aup"), unrelated);
        EXPECT_EQ(read_file(folder / "a" / "b.aup"), unrelated);
        EXPECT_FALSE(fs::exists(folder / "a.aup.old"));
    }
#endif
}

TEST(SafetyCli, FilesInFoldersOfAnyNameAreRewrittenInPlaceAndListed)
{
    ONLY_ON_WINDOWS("arguments reach Linux programs as bytes");
#ifdef _WIN32
    scratch_folder folder(current_test_name());
    const bytes project = read_file(real_project_file("EffectSet01.aup"));
    const bytes text = text_bytes("[project]\r\nfile=C:\\Users\\taro\\b.aup2\r\n");
    const bytes backup = backup_of(timeline_of(project));
    // A folder named with é, one with a character outside the BMP (𠮷), and
    // one with an emoji.
    const std::wstring folders[] = {L"caf\u00E9", L"\U00020BB7\u7530", L"\U0001F3AC clips"};
    for (const std::wstring &name : folders)
        fs::create_directory(folder / name);
    const std::wstring first = folders[0] + L"\\";
    write_file(folder / (first + L"a.aup"), project);
    write_file(folder / (first + L"b.aup2"), text);
    write_file(folder / (first + L"c.exedit_backup"), backup);
    EXPECT_EQ(run_tool_wide(folder.path(), L"-mi \"" + first + L"a.aup\" \"" + first +
                                               L"b.aup2\" \"" + first + L"c.exedit_backup\""),
              0);
    EXPECT_EQ(read_file(folder / (first + L"a.aup")),
              copy_through_files(project, blank_media_copy).output);
    EXPECT_EQ(read_file(folder / (first + L"b.aup2")), text_bytes("[project]\r\nfile=b.aup2\r\n"));
    EXPECT_EQ(read_file(folder / (first + L"c.exedit_backup")),
              copy_through_files(backup, blank_backup_copy).output);
    for (const wchar_t *name : {L"a.aup.old", L"b.aup2.old", L"c.exedit_backup.old"})
        EXPECT_TRUE(fs::exists(folder / (first + name)));
    for (const std::wstring &name : {folders[1], folders[2]}) {
        std::wstring path = name + L"\\a.aup";
        write_file(folder / path, project);
        EXPECT_EQ(run_tool_wide(folder.path(), L"-l \"" + path + L"\""), 0);
        bytes listed = read_file(folder.path().parent_path() / "stdout");
        EXPECT_NE(std::string(listed.begin(), listed.end()).find("D:\\TestData\\sample.avi"),
                  std::string::npos);
        EXPECT_EQ(run_tool_wide(folder.path(), L"-mi \"" + path + L"\" \"" + path + L"\""), 1);
        EXPECT_EQ(read_file(folder / (path + L".old")), project);
        EXPECT_NE(read_file(folder / path), project);
    }
    // Without i, two paths are the input and the output, as ever.
    EXPECT_EQ(
        run_tool_wide(folder.path(), L"-m \"" + first + L"a.aup.old\" \"" + first + L"d.aup\""), 0);
    EXPECT_EQ(read_file(folder / (first + L"d.aup")), read_file(folder / (first + L"a.aup")));
#endif
}

} // namespace
