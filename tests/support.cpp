#include "support.h"

#include "../timeline/backup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

int process_id()
{
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// The folder the tests start in holds the tool and the test data.
const fs::path START_FOLDER = fs::current_path();

std::string read_text(const fs::path &path)
{
    bytes content = read_file(path);
    return std::string(content.begin(), content.end());
}

// Quotes one word for the command interpreter that system() runs.
std::string quoted(const std::string &word)
{
    if (ON_WINDOWS)
        return "\"" + word + "\"";
    std::string result = "'";
    for (char c : word)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

} // namespace

fs::path tool_path()
{
    return START_FOLDER / (ON_WINDOWS ? "kestravin.exe" : "kestravin");
}

int run_command(const std::string &command)
{
    int raw = std::system(command.c_str());
#ifdef _WIN32
    return raw;
#else
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
}

FILE *temporary_file()
{
#ifdef _WIN32
    // The runtime's tmpfile() makes its files in the drive's root folder, which
    // a user may not be allowed to write, under names that two processes can
    // both choose: these go to the user's temporary folder, named by process.
    static unsigned counter = 0;
    fs::path path = fs::temp_directory_path() /
                    ("kestravin-" + std::to_string(process_id()) + "-" + std::to_string(++counter));
    return fopen(path.string().c_str(), "w+bD"); // D: removed when closed
#else
    return tmpfile();
#endif
}

rewritten copy_through_files(const bytes &input, rewrite_result (*copier)(FILE *, FILE *))
{
    FILE *in = temporary_file();
    FILE *out = temporary_file();
    if (in == nullptr || out == nullptr) {
        ADD_FAILURE() << "no temporary file";
        for (FILE *opened : {in, out}) {
            if (opened != nullptr)
                fclose(opened);
        }
        return {REWRITE_READ_FAILED, {}};
    }
    if (!input.empty()) {
        EXPECT_EQ(fwrite(input.data(), 1, input.size(), in), input.size());
    }
    rewind(in);
    rewrite_result result = copier(in, out);
    bytes output(static_cast<size_t>(ftell(out)));
    rewind(out);
    if (!output.empty()) {
        EXPECT_EQ(fread(output.data(), 1, output.size(), out), output.size());
    }
    fclose(in);
    fclose(out);
    return {result, output};
}

rewrite_result plain_copy(FILE *in, FILE *out)
{
    return rewrite_project({}, in, out);
}

media_report last_media_report;

namespace {

rewrite_result blank_media(FILE *in, FILE *out, bool rewinds)
{
    rewrite_result result = blank_media_head({}, in, out, rewinds, &last_media_report);
    return result == REWRITE_DONE ? copy_rest(in, out) : result;
}

} // namespace

rewrite_result blank_media_copy(FILE *in, FILE *out)
{
    return blank_media(in, out, true);
}

rewrite_result blank_media_copy_surveyed(FILE *in, FILE *out)
{
    return blank_media(in, out, false);
}

rewrite_result blank_backup_copy(FILE *in, FILE *out)
{
    rewrite_result result = blank_backup({}, in, out, false, &last_media_report);
    return result == REWRITE_DONE ? copy_rest(in, out) : result;
}

bytes read_file(const fs::path &path)
{
    std::ifstream stream(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void write_file(const fs::path &path, const bytes &content)
{
    std::ofstream stream(path, std::ios::binary);
    stream.write(reinterpret_cast<const char *>(content.data()),
                 static_cast<std::streamsize>(content.size()));
}

bytes text_bytes(const std::string &text)
{
    return bytes(text.begin(), text.end());
}

namespace {

void collect(void *context, const found_path &path)
{
    static_cast<std::vector<listed> *>(context)->push_back(
        {path.where, path.old, bytes(path.path, path.path + path.length)});
}

} // namespace

std::vector<listed> listing_of(const bytes &file)
{
    std::vector<listed> found;
    FILE *in = temporary_file();
    if (in == nullptr ||
        (!file.empty() && fwrite(file.data(), 1, file.size(), in) != file.size())) {
        ADD_FAILURE() << "no temporary file";
        return found;
    }
    rewind(in);
    auto size = static_cast<int64_t>(file.size());
    if (is_backup_start(file.data(), file.size(), size)) {
        EXPECT_EQ(list_backup({}, in, {collect, &found}), LIST_DONE);
    } else {
        EXPECT_EQ(list_paths({}, in, {collect, &found}), LIST_DONE);
    }
    fclose(in);
    return found;
}

std::vector<bytes> paths_of(const std::vector<listed> &found)
{
    std::vector<bytes> paths;
    for (const listed &entry : found)
        paths.push_back(entry.path);
    return paths;
}

fs::path real_project_file(const std::string &name)
{
    return START_FOLDER / "test-data" / "real-aup" / name;
}

std::vector<fs::path> real_project_files()
{
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(real_project_file(""))) {
        if (entry.path().extension() == ".aup")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<fs::path> real_aviutl2_files()
{
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(START_FOLDER / "test-data" / "real-aup2")) {
        fs::path extension = entry.path().extension();
        if (extension == ".aup2" || extension == ".object")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

run_result run_tool(const fs::path &folder, const std::vector<std::string> &arguments,
                    const std::string &input)
{
    // The captured streams live beside the folder, so that the tool's folder
    // holds only what the tool made.
    fs::path io = folder.parent_path();
    write_file(io / "stdin", text_bytes(input));
    std::string command = (ON_WINDOWS ? "cd /d " : "cd ") + quoted(folder.string()) + " && " +
                          quoted(tool_path().string());
    for (const std::string &argument : arguments)
        command += " " + quoted(argument);
    command += " <" + quoted((io / "stdin").string()) + " >" + quoted((io / "stdout").string()) +
               " 2>" + quoted((io / "stderr").string());
    if (ON_WINDOWS)
        command = "\"" + command + "\""; // cmd /c keeps the inner quotes
    int status = run_command(command);
    return {status, read_text(io / "stdout"), read_text(io / "stderr")};
}

scratch_folder::scratch_folder(const std::string &name)
{
    // Named by process too: one test may run in two processes at once (under
    // two code pages, say).
    path_ = fs::temp_directory_path() / ("kestravin-" + name + "-" + std::to_string(process_id())) /
            "work";
    fs::remove_all(path_.parent_path());
    fs::create_directories(path_);
}

scratch_folder::~scratch_folder()
{
    std::error_code ignored;
    fs::remove_all(path_.parent_path(), ignored);
}

std::string current_test_name()
{
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}
