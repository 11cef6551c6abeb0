#include "support.h"

#include "../project/rewrite.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#ifdef _WIN32
#include <process.h>
#endif

namespace fs = std::filesystem;

namespace {

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
                    ("kestravin-" + std::to_string(_getpid()) + "-" + std::to_string(++counter));
    return fopen(path.string().c_str(), "w+bD"); // D: removed when closed
#else
    return tmpfile();
#endif
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

bool has_short_shape(const std::string &file_name)
{
    return file_name != "640x480_2997-100fps_44100Hz.aup";
}

bytes signed_header()
{
    bytes header(HEADER_LENGTH, 'h');
    memcpy(header.data(), SIGNATURE, SIGNATURE_LENGTH);
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
    unpacked result{{}, offset, false};
    size_t at = offset;
    while (result.data.size() < wanted) {
        if (at >= file.size())
            return result;
        unsigned char header = file[at++];
        size_t count = header & 0x7F;
        if (count == 0) {
            if (at + 3 > file.size())
                return result;
            count = file[at] | file[at + 1] << 8 | file[at + 2] << 16;
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
    }
    result.complete = true;
    return result;
}

std::string check_blanked(const bytes &original, const bytes &copy)
{
    if (copy.size() < 560 || !std::equal(copy.begin(), copy.begin() + 300, original.begin()))
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
    path_ = fs::temp_directory_path() / ("kestravin-" + name) / "work";
    fs::remove_all(path_.parent_path());
    fs::create_directories(path_);
}

scratch_folder::~scratch_folder()
{
    std::error_code ignored;
    fs::remove_all(path_.parent_path(), ignored);
}
