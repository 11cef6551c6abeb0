// What the tests share: files as byte vectors, an independent reading of the
// project file layout, and the tool run as a process.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using bytes = std::vector<unsigned char>;

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

// The real project files shipped with the tests: all, or one by name.
std::vector<std::filesystem::path> real_project_files();
std::filesystem::path real_project_file(const std::string &name);
bool has_short_shape(const std::string &file_name);

// A project file's first 300 bytes: the signature, then filler.
bytes signed_header();

// The byte rule, from the layout: header, 260 zeros, the fixed record, and
// the input from the end of the record it replaces.
bytes byte_rule_copy(const bytes &input);

// The start of a packed stream, unpacked op by op until at least `wanted`
// bytes are out. `end` is where the last op read ends in `file`; `complete`
// is false when the file ends first.
struct unpacked {
    bytes data;
    size_t end;
    bool complete;
};
unpacked unpack(const bytes &file, size_t offset, size_t wanted);

// Checks that `copy` is `original` with its name blanked: the packed stream
// of the copy unpacks to 260 zeros and then what the original's unpacks to,
// and every byte after the ops that hold the name is the original's. Returns
// an empty string when it is, or what differs.
std::string check_blanked(const bytes &original, const bytes &copy);

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
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};
