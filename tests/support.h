// What the tests share: files as byte vectors, the real project files, and
// the tool run as a process.
#pragma once

#include "../aup/listing.h"
#include "../aup/media_copy.h"
#include "../aup/plain_copy.h"
#include "layout_model.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
constexpr bool ON_WINDOWS = true;
constexpr char LINE_END[] = "\r\n";
#else
constexpr bool ON_WINDOWS = false;
constexpr char LINE_END[] = "\n";
#endif

bytes read_file(const std::filesystem::path &path);
void write_file(const std::filesystem::path &path, const bytes &content);
bytes text_bytes(const std::string &text);

// A temporary file open for update in binary mode, removed when closed.
FILE *temporary_file();

// What a copy through temporary files gave: the copier's result and the
// bytes it wrote.
struct rewritten {
    rewrite_result result;
    bytes output;
};
rewritten copy_through_files(const bytes &input, rewrite_result (*copier)(FILE *, FILE *));

// The anonymised copy, as a copier.
rewrite_result plain_copy(FILE *in, FILE *out);

// The whole copy with media folders blanked, as a copier: into an output it
// can go back in, and surveyed first, as into one it cannot. Its report is
// kept in last_media_report.
extern media_report last_media_report;
rewrite_result blank_media_copy(FILE *in, FILE *out);
rewrite_result blank_media_copy_surveyed(FILE *in, FILE *out);
rewrite_result blank_backup_copy(FILE *in, FILE *out);

// A path a listing found: where, whether in old bytes, and its bytes.
struct listed {
    std::string where;
    bool old;
    bytes path;
};

// The listing of a project file, or of a backup, which must end LIST_DONE.
std::vector<listed> listing_of(const bytes &file);
std::vector<bytes> paths_of(const std::vector<listed> &found);

// The real project files shipped with the tests: all, or one by name.
std::vector<std::filesystem::path> real_project_files();
std::filesystem::path real_project_file(const std::string &name);
// The real AviUtl2 files shipped with the tests.
std::vector<std::filesystem::path> real_aviutl2_files();
// Runs a command through the system's command interpreter; its exit status.
int run_command(const std::string &command);

// The tool's own path.
std::filesystem::path tool_path();

// The tool run as a process in `folder`, with `input` as its standard input.
struct run_result {
    int status;
    std::string out;
    std::string err;
};
run_result run_tool(const std::filesystem::path &folder, const std::vector<std::string> &arguments,
                    const std::string &input = "");

// A fresh empty folder for one test, removed with it.
class scratch_folder {
  public:
    explicit scratch_folder(const std::string &name);
    ~scratch_folder();
    scratch_folder(const scratch_folder &) = delete;
    scratch_folder &operator=(const scratch_folder &) = delete;
    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path &name) const
    {
        return path_ / name;
    }

  private:
    std::filesystem::path path_;
};

// The name of the test that is running, for a folder of its own.
std::string current_test_name();

#define ONLY_ON_LINUX(why)                                                                         \
    if (ON_WINDOWS)                                                                                \
    GTEST_SKIP() << "Linux only: " why
#define ONLY_ON_WINDOWS(why)                                                                       \
    if (!ON_WINDOWS)                                                                               \
    GTEST_SKIP() << "Windows only: " why
