// The program run as a process: arguments, prompt, backup, messages and
// exit status, each in a folder of its own.
#include "../cli/console.h"
#include "support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::string line(const std::string &text)
{
    return text + LINE_END;
}

const std::string HELP = line("Kestravin ver0.01") +
                         line("  usage : <execute> <input file> [<output file>]") +
                         line("    -h help") + line("    -m blank media folders too") +
                         line("    -l list paths, write nothing") + line("") + line("  note  : ") +
                         line("    backup file\t: original.aup -> original.aup.old") + line("");
const std::string PROMPT = "input file path > ";
const std::string CANT_OPEN_INPUT = line("Error : Can't open input file.");
const std::string CANT_OPEN_OUTPUT = line("Error : Can't open output file.");

// A real file whose copy the byte rule gives.
bytes sample_project()
{
    return read_file(real_project_file("Chain.aup"));
}

// Lists what a folder holds, by name.
std::vector<std::string> folder_names(const fs::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CliHelp, EveryHelpSwitchPrintsTheHelpAndTouchesNothing)
{
    scratch_folder folder(current_test_name());
    write_file(folder / "a.aup", sample_project());
    const std::vector<std::vector<std::string>> cases = {
        {"-h"},
        {"-H"},
        {"-?"},
        {"--help"},
        {"-xh"},
        {"a.aup", "-h"},
        {"a.aup", "b.aup", "-x", "-h"},
        {std::string(300, 'L') + ".aup", "-h"},
        {"a.aup", std::string(300, 'L'), "-?"},
    };
    for (const auto &arguments : cases) {
        SCOPED_TRACE(arguments.front() + " ... " + arguments.back());
        run_result run = run_tool(folder.path(), arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, HELP);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{"a.aup"});
    }
}

TEST(CliHelp, SlashSwitchesOnWindows)
{
    ONLY_ON_WINDOWS("\"/\" begins a path on Linux");
    scratch_folder folder(current_test_name());
    for (const char *argument : {"/h", "/?", "/v?"}) {
        run_result run = run_tool(folder.path(), {argument});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, HELP);
    }
}

TEST(CliHelp, SlashBeginsAPathOnLinux)
{
    ONLY_ON_LINUX("\"/\" begins a switch group on Windows");
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    write_file(folder / "a.aup", project);
    std::string absolute = (folder / "a.aup").string();
    run_result run = run_tool(folder.path(), {absolute, "b.aup"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(read_file(folder / "b.aup"), byte_rule_copy(project));
}

TEST(CliRun, TwoPathsWriteTheCopyAndLeaveTheInput)
{
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    write_file(folder / "a.aup", project);
    write_file(folder / "b.aup", text_bytes("an older file, replaced"));
    // Switches other than help, and paths past the second, are passed over.
    run_result run = run_tool(folder.path(), {"-x", "a.aup", "-", "b.aup", std::string(300, 'c')});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(read_file(folder / "a.aup"), project);
    EXPECT_EQ(read_file(folder / "b.aup"), byte_rule_copy(project));
    EXPECT_EQ(folder_names(folder.path()), (std::vector<std::string>{"a.aup", "b.aup"}));
}

TEST(CliRun, OnePathRewritesInPlaceAndKeepsTheBackup)
{
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    // An empty second argument fills no path: still an in-place rewrite.
    for (const std::vector<std::string> &arguments :
         {std::vector<std::string>{"a.aup"}, std::vector<std::string>{"", "a.aup", ""}}) {
        write_file(folder / "a.aup", project);
        run_result run = run_tool(folder.path(), arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(read_file(folder / "a.aup"), byte_rule_copy(project));
        EXPECT_EQ(read_file(folder / "a.aup.old"), project);
        fs::remove(folder / "a.aup.old");
    }
}

TEST(CliRun, EveryRealFileGivesTheSameCopyAsTheRewriter)
{
    scratch_folder folder(current_test_name());
    for (const auto &path : real_project_files()) {
        SCOPED_TRACE(path.filename().string());
        bytes input = read_file(path);
        write_file(folder / "in.aup", input);
        run_result run = run_tool(folder.path(), {"in.aup", "out.aup"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(check_copy(input, read_file(folder / "out.aup")), "");
    }
}

TEST(CliRun, LargeFileIsCopiedWhole)
{
    scratch_folder folder(current_test_name());
    // Several times what one kernel or block copy moves at once, and not a
    // multiple of either.
    bytes input = sample_project();
    input.resize(1024);
    for (size_t i = 0; input.size() < (size_t{3} << 20) + 123; ++i)
        input.push_back(static_cast<unsigned char>((i * 2654435761u) >> 13));
    write_file(folder / "in.aup", input);
    run_result run = run_tool(folder.path(), {"in.aup", "out.aup"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(read_file(folder / "out.aup"), byte_rule_copy(input));
}

TEST(CliMedia, BlankingWorksInEveryKindOfRun)
{
    scratch_folder folder(current_test_name());
    const bytes project = read_file(real_project_file("EffectSet01.aup"));
    const bytes blanked = copy_through_files(project, blank_media_copy).output;
    ASSERT_NE(blanked, copy_through_files(project, plain_copy).output);
    struct media_case {
        std::vector<std::string> arguments;
        std::string typed;
        const char *copy; // where the copy is written; in place, in.aup
    };
    std::vector<media_case> cases = {
        {{"-m", "in.aup", "out.aup"}, "", "out.aup"},
        {{"in.aup", "-xM"}, "", "in.aup"},
        {{"-m"}, "in.aup\n", "in.aup"},
    };
    if (ON_WINDOWS)
        cases.push_back({{"/m", "in.aup", "out.aup"}, "", "out.aup"});
    for (const media_case &c : cases) {
        SCOPED_TRACE(c.arguments.front() + " " + c.copy);
        fs::remove_all(folder.path());
        fs::create_directories(folder.path());
        write_file(folder / "in.aup", project);
        run_result run = run_tool(folder.path(), c.arguments, c.typed);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.typed.empty() ? "" : PROMPT);
        EXPECT_EQ(read_file(folder / c.copy), blanked);
        bool in_place = std::string(c.copy) == "in.aup";
        EXPECT_EQ(read_file(folder / (in_place ? "in.aup.old" : "in.aup")), project);
    }
}

TEST(CliMedia, WhatCannotBeBlankedIsReported)
{
    scratch_folder folder(current_test_name());
    bytes other_layout = sample_project();
    other_layout[32] ^= 1; // another size of the edit handle
    write_file(folder / "other.aup", other_layout);
    write_file(folder / "text.aup", bytes(400, 't'));
    struct warning_case {
        const char *input;
        std::string message;
    };
    const warning_case cases[] = {
        {"other.aup", line("Warning : Media paths not blanked.")},
        {"text.aup", line("Warning : Not AviUtl project file?")},
    };
    for (const warning_case &c : cases) {
        SCOPED_TRACE(c.input);
        run_result run = run_tool(folder.path(), {"-m", c.input, "out.aup"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.message);
        EXPECT_EQ(read_file(folder / "out.aup"), byte_rule_copy(read_file(folder / c.input)));
    }
}

TEST(CliPrompt, TypedPathIsRewrittenInPlace)
{
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    for (const char *typed : {"a.aup\n", "a.aup\r\n", "a.aup", "a.aup\nignored\n"}) {
        SCOPED_TRACE(typed);
        write_file(folder / "a.aup", project);
        run_result run = run_tool(folder.path(), {}, typed);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, PROMPT);
        EXPECT_EQ(read_file(folder / "a.aup"), byte_rule_copy(project));
        EXPECT_EQ(read_file(folder / "a.aup.old"), project);
        fs::remove(folder / "a.aup.old");
    }
}

TEST(CliPrompt, EmptyOrOverlongLineIsRefused)
{
    scratch_folder folder(current_test_name());
    write_file(folder / ".old", text_bytes("a file named like an empty path's backup"));
    struct prompt_case {
        std::string typed;
        std::string message;
    };
    const prompt_case cases[] = {
        {"", CANT_OPEN_INPUT},
        {"\n", CANT_OPEN_INPUT},
        {"\r\n", CANT_OPEN_INPUT},
        {std::string(260, 'p') + "\n", line("Error : Input path too long.")},
    };
    for (const prompt_case &c : cases) {
        SCOPED_TRACE(c.typed.size());
        run_result run = run_tool(folder.path(), {}, c.typed);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, PROMPT + c.message);
        EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{".old"});
    }
}

TEST(CliErrors, EachFailureHasItsMessageAndStatusAndChangesNothing)
{
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    write_file(folder / "a.aup", project);
    write_file(folder / "kept.aup", project);
    write_file(folder / "kept.aup.old", text_bytes("an earlier backup"));
    fs::create_directory(folder / "dir.aup");
    const std::string input_too_long = line("Error : Input path too long.");
    struct error_case {
        std::vector<std::string> arguments;
        int status;
        std::string out;
    };
    const error_case cases[] = {
        {{"missing.aup", "b.aup"}, 1, CANT_OPEN_INPUT},
        {{"missing.aup"}, 1, CANT_OPEN_INPUT},
        {{"dir.aup"}, 1, CANT_OPEN_INPUT},
        {{"dir.aup", "b.aup"}, 1, CANT_OPEN_INPUT},
        {{"kept.aup"}, 1, line("Error : Backup file already exists.")},
        {{std::string(260, 'L')}, 1, input_too_long},
        {{std::string(260, 'L'), "b.aup"}, 1, input_too_long},
        {{std::string(256, 'L')}, 1, input_too_long},
        {{std::string(260, 'L'), std::string(260, 'M')}, 1, input_too_long},
        {{"a.aup", std::string(260, 'M')}, 2, line("Error : Output path too long.")},
        {{"a.aup", "a.aup"}, 2, CANT_OPEN_OUTPUT},
        {{"a.aup", "no-such-folder/b.aup"}, 2, CANT_OPEN_OUTPUT},
        {{"a.aup", "dir.aup"}, 2, CANT_OPEN_OUTPUT},
    };
    for (const error_case &c : cases) {
        SCOPED_TRACE(c.arguments.front().substr(0, 20) + " " + std::to_string(c.arguments.size()));
        run_result run = run_tool(folder.path(), c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(folder_names(folder.path()),
                  (std::vector<std::string>{"a.aup", "dir.aup", "kept.aup", "kept.aup.old"}));
        EXPECT_EQ(read_file(folder / "a.aup"), project);
        EXPECT_EQ(read_file(folder / "kept.aup"), project);
        EXPECT_EQ(read_file(folder / "kept.aup.old"), text_bytes("an earlier backup"));
    }
}

TEST(CliErrors, ShortInputIsCopiedWithAWarning)
{
    scratch_folder folder(current_test_name());
    bytes short_file(299, 'q');
    write_file(folder / "a.aup", short_file);
    run_result run = run_tool(folder.path(), {"a.aup", "b.aup"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, line("Warning : Not AviUtl project file?"));
    EXPECT_EQ(read_file(folder / "b.aup"), short_file);
}

TEST(CliErrors, PipedInputIsNotSeekable)
{
    ONLY_ON_LINUX("a pipe named as a path");
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    write_file(folder / "a.aup", project);
    std::string command = "cd '" + folder.path().string() + "' && cat a.aup | '" +
                          tool_path().string() + "' /dev/stdin b.aup >../stdout 2>&1";
    EXPECT_EQ(run_command(command), 0);
    EXPECT_EQ(read_file(folder.path().parent_path() / "stdout"),
              text_bytes(line("Warning : Not AviUtl project file?")));
    // The header and the blank field are written before the seek is refused.
    bytes head(project.begin(), project.begin() + 300);
    head.resize(560, 0);
    EXPECT_EQ(read_file(folder / "b.aup"), head);
}

TEST(CliErrors, SameFileBySpellingOrLinkIsRefused)
{
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    write_file(folder / "a.aup", project);
    std::vector<std::string> others = {ON_WINDOWS ? ".\\a.aup" : "./a.aup"};
    if (!ON_WINDOWS) {
        fs::create_hard_link(folder / "a.aup", folder / "hard.aup");
        fs::create_symlink("a.aup", folder / "soft.aup");
        others.insert(others.end(), {"hard.aup", "soft.aup"});
    }
    for (const std::string &other : others) {
        SCOPED_TRACE(other);
        run_result run = run_tool(folder.path(), {"a.aup", other});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, CANT_OPEN_OUTPUT);
        EXPECT_EQ(read_file(folder / "a.aup"), project);
    }
}

TEST(CliErrors, BackupThatCannotBeMadeLeavesTheFile)
{
    ONLY_ON_LINUX("a 252-byte name exceeds the Windows path limit itself");
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    std::string name(252, 'n'); // fits, but its backup name does not
    write_file(folder / name, project);
    run_result run = run_tool(folder.path(), {name});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, line("Error : Can't make backup file."));
    EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{name});
    EXPECT_EQ(read_file(folder / name), project);
}

TEST(CliErrors, WriteFailureIsReportedAndTheDeviceKept)
{
    ONLY_ON_LINUX("/dev/full");
    scratch_folder folder(current_test_name());
    bytes project = sample_project();
    write_file(folder / "a.aup", project);
    fs::create_symlink("/dev/full", folder / "full.aup");
    for (const char *input : {"a.aup", "/dev/zero"}) {
        SCOPED_TRACE(input);
        run_result run = run_tool(folder.path(), {input, "full.aup"});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, line("Error : Can't write output file."));
        EXPECT_TRUE(fs::is_symlink(folder / "full.aup"));
        EXPECT_EQ(read_file(folder / "a.aup"), project);
    }
}

TEST(CliErrors, ReadFailureIsReportedAndTheOutputRemoved)
{
    ONLY_ON_LINUX("/proc/self/mem fails to read at offset 0");
    scratch_folder folder(current_test_name());
    run_result run = run_tool(folder.path(), {"/proc/self/mem", "b.aup"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, line("Error : Can't read input file."));
    EXPECT_TRUE(folder_names(folder.path()).empty());
}

TEST(CliSeveral, EachFileIsRewrittenInPlaceAndSaysWhatItMust)
{
    scratch_folder folder(current_test_name());
    const bytes project = read_file(real_project_file("EffectSet01.aup"));
    const bytes text = text_bytes("[project]\r\nfile=C:\\Users\\taro\\b.aup2\r\n");
    const bytes older = text_bytes("an earlier backup");
    const struct {
        const char *switches;
        bytes project_copy;
    } cases[] = {
        {"-i", byte_rule_copy(project)},
        {"-mi", copy_through_files(project, blank_media_copy).output},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.switches);
        fs::remove_all(folder.path());
        fs::create_directories(folder.path() / "dir.aup");
        write_file(folder / "a.aup", project);
        write_file(folder / "b.aup2", text);
        write_file(folder / "kept.aup", project);
        write_file(folder / "kept.aup.old", older);
        write_file(folder / "notes.aup", text_bytes("not a project"));
        // In the order given; a file that fails does not stop the others, and
        // the same file twice finds its backup the second time.
        const std::string long_name(300, 'n');
        run_result run =
            run_tool(folder.path(), {c.switches, "a.aup", "missing.aup", "kept.aup", "b.aup2",
                                     "dir.aup", "a.aup", "", long_name, "notes.aup"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, line("missing.aup : Error : Can't open input file.") +
                               line("kept.aup : Error : Backup file already exists.") +
                               line("dir.aup : Error : Can't open input file.") +
                               line("a.aup : Error : Backup file already exists.") +
                               line(" : Error : Can't open input file.") +
                               line(long_name + " : Error : Input path too long.") +
                               line("notes.aup : Warning : Not AviUtl project file?"));
        EXPECT_EQ(read_file(folder / "notes.aup"), text_bytes("not a project"));
        EXPECT_EQ(read_file(folder / "notes.aup.old"), text_bytes("not a project"));
        EXPECT_EQ(read_file(folder / "a.aup"), c.project_copy);
        EXPECT_EQ(read_file(folder / "a.aup.old"), project);
        EXPECT_EQ(read_file(folder / "b.aup2"), text_bytes("[project]\r\nfile=b.aup2\r\n"));
        EXPECT_EQ(read_file(folder / "b.aup2.old"), text);
        EXPECT_EQ(read_file(folder / "kept.aup"), project);
        EXPECT_EQ(read_file(folder / "kept.aup.old"), older);
    }
}

TEST(CliSeveral, EachFileIsListedWithItsPathAtTheHeadOfItsLines)
{
    scratch_folder folder(current_test_name());
    write_file(folder / "a.aup2", text_bytes("[project]\nfile=C:\\a\\a.aup2\n"));
    write_file(folder / "b.aup2", text_bytes("[project]\nfile=D:\\b\\b.aup2\n"));
    run_result run = run_tool(folder.path(), {"-l", "a.aup2", "b.aup2"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, line("a.aup2\tproject: file\tC:\\a\\a.aup2") +
                           line("b.aup2\tproject: file\tD:\\b\\b.aup2"));
    EXPECT_EQ(folder_names(folder.path()), (std::vector<std::string>{"a.aup2", "b.aup2"}));
}

TEST(CliConsole, OnlyAConsoleOpenedForTheRunAloneWaitsAndOnlyAfterALine)
{
    const struct {
        const char *started;
        console_facts facts;
        bool printed;
        bool waits;
    } cases[] = {
        {"from Explorer, with a message", {1, true, true}, true, true},
        {"from Explorer, with nothing to say", {1, true, true}, false, false},
        {"from a console window or a script", {2, true, true}, true, false},
        {"with its input redirected", {1, false, true}, true, false},
        {"with its output redirected", {1, true, false}, true, false},
        {"with no console of its own", {0, false, false}, true, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.started);
        EXPECT_EQ(waits_before_closing(c.facts, c.printed), c.waits);
    }
}

} // namespace
