// Faults: reads, writes and seeks that fail at each phase of the copy, a run
// killed half-way, and two runs racing for the same file.
#include "../aup/plain_copy.h"
#include "memory_stream.h"
#include "support.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace fs = std::filesystem;

namespace {

bytes real_file(const std::string &name)
{
    return read_file(real_project_file(name));
}

TEST(RewriteFaults, EachPhaseReportsItsFailure)
{
    if (!HAS_MEMORY_STREAMS)
        GTEST_SKIP() << "Linux only: the injected streams need glibc";
    struct fault_case {
        const char *phase;
        stream_faults faults;
        rewrite_result result;
    };
    const fault_case cases[] = {
        {"seek", {-1, -1, true}, REWRITE_NOT_PROJECT},
        {"read, header start", {0, -1, false}, REWRITE_READ_FAILED},
        {"read, header", {150, -1, false}, REWRITE_READ_FAILED},
        {"read, field", {400, -1, false}, REWRITE_READ_FAILED},
        {"read, record", {560, -1, false}, REWRITE_READ_FAILED},
        {"read, name ops", {580, -1, false}, REWRITE_READ_FAILED},
        {"read, rest", {3000, -1, false}, REWRITE_READ_FAILED},
        {"write, header", {-1, 150, false}, REWRITE_WRITE_FAILED},
        {"write, field", {-1, 400, false}, REWRITE_WRITE_FAILED},
        {"write, record", {-1, 563, false}, REWRITE_WRITE_FAILED},
        {"write, rest", {-1, 3000, false}, REWRITE_WRITE_FAILED},
    };
    // One file of each rule: the short shape, and a long literal.
    for (const char *name : {"Chain.aup", "640x480_2997-100fps_44100Hz.aup"}) {
        bytes input = real_file(name);
        for (const fault_case &c : cases) {
            SCOPED_TRACE(std::string(name) + ": " + c.phase);
            bytes output;
            FILE *in = open_memory_input(input.data(), input.size(), c.faults);
            FILE *out = open_memory_output(&output, c.faults);
            ASSERT_NE(in, nullptr);
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(rewrite_project({}, in, out), c.result);
            fclose(in);
            fclose(out);
            if (c.result == REWRITE_NOT_PROJECT) {
                EXPECT_EQ(output.size(), 560u);
            }
        }
    }
}

TEST(CliFaults, WriteFailureAtEachPhaseRemovesTheOutput)
{
    ONLY_ON_LINUX("a file size limit on the process");
    scratch_folder folder(current_test_name());
    bytes input = real_file("Chain.aup");
    write_file(folder / "a.aup", input);
    // Past the limit a write fails in the header, the field, the record, or
    // the rest, which the kernel splices. The program is started with the
    // limit's signal at its default: it must ignore the signal itself.
    for (int limit : {100, 400, 563, 5000}) {
        SCOPED_TRACE(limit);
        for (bool in_place : {false, true}) {
            std::string command =
                "cd '" + folder.path().string() +
                "' && trap - XFSZ && exec prlimit --fsize=" + std::to_string(limit) + " '" +
                tool_path().string() + "' a.aup" + (in_place ? "" : " b.aup") + " >../stdout 2>&1";
            EXPECT_EQ(run_command(command), 2);
            EXPECT_EQ(read_file(folder.path().parent_path() / "stdout"),
                      text_bytes("Error : Can't write output file.\n"));
            if (in_place) {
                EXPECT_EQ(read_file(folder / "a.aup.old"), input);
                fs::rename(folder / "a.aup.old", folder / "a.aup");
            }
            EXPECT_EQ(read_file(folder / "a.aup"), input);
            EXPECT_FALSE(fs::exists(folder / "b.aup"));
        }
    }
}

#ifndef _WIN32
pid_t start_tool(const fs::path &folder, const std::vector<std::string> &arguments)
{
    std::vector<std::string> words = {tool_path().string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int wait_status(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}
#endif

TEST(CliFaults, RunKilledMidCopyLeavesTheOriginalWholeInTheBackup)
{
    ONLY_ON_LINUX("processes started and killed by POSIX calls");
#ifndef _WIN32
    scratch_folder folder(current_test_name());
    bytes input = real_file("Chain.aup");
    input.resize(size_t{256} << 20, 0x5A); // long enough to be caught half-way
    write_file(folder / "a.aup", input);
    pid_t pid = start_tool(folder.path(), {"a.aup"});
    // Killed once the original is in the backup and the copy has begun.
    std::error_code missing;
    uintmax_t written = 0;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        written = fs::exists(folder / "a.aup.old") ? fs::file_size(folder / "a.aup", missing) : 0;
        if (written > 0 && !missing) {
            kill(pid, SIGKILL);
            EXPECT_EQ(wait_status(pid), -SIGKILL);
            break;
        }
    }
    EXPECT_LT(written, input.size()) << "the run ended before it was killed";
    EXPECT_TRUE(read_file(folder / "a.aup.old") == input);
#endif
}

TEST(CliFaults, RacingInPlaceRunsLetOneWinAndKeepTheOriginal)
{
    ONLY_ON_LINUX("processes started by POSIX calls");
#ifndef _WIN32
    scratch_folder folder(current_test_name());
    bytes input = real_file("Chain.aup");
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        write_file(folder / "a.aup", input);
        pid_t first = start_tool(folder.path(), {"a.aup"});
        pid_t second = start_tool(folder.path(), {"a.aup"});
        int statuses[] = {wait_status(first), wait_status(second)};
        std::sort(std::begin(statuses), std::end(statuses));
        EXPECT_EQ(statuses[0], 0);
        EXPECT_EQ(statuses[1], 1);
        EXPECT_EQ(read_file(folder / "a.aup.old"), input);
        EXPECT_EQ(read_file(folder / "a.aup"), byte_rule_copy(input));
        fs::remove(folder / "a.aup");
        fs::remove(folder / "a.aup.old");
    }
#endif
}

} // namespace
