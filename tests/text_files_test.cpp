// AviUtl2 projects and aliases and the timeline plugin's object files: known
// by their first line, copied line by line with only the folders of file
// values dropped, and listed with their places.
#include "../cli/file_kind.h"
#include "../ini/copy.h"
#include "../ini/listing.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

namespace {

namespace fs = std::filesystem;

struct text_copy {
    text_copy_result result;
    bool all_rewritten;
    std::string output;
};

FILE *file_holding(const std::string &content)
{
    FILE *file = temporary_file();
    EXPECT_EQ(fwrite(content.data(), 1, content.size(), file), content.size());
    rewind(file);
    return file;
}

text_copy copy_text(const std::string &content, text_format format)
{
    FILE *in = file_holding(content);
    FILE *out = temporary_file();
    input_start start{};
    EXPECT_TRUE(read_start(in, &start));
    text_copy copy{TEXT_COPIED, true, ""};
    copy.result = copy_text_file(start, in, out, format, &copy.all_rewritten);
    copy.output.resize(static_cast<size_t>(ftell(out)));
    rewind(out);
    EXPECT_EQ(fread(&copy.output[0], 1, copy.output.size(), out), copy.output.size());
    fclose(in);
    fclose(out);
    return copy;
}

// Each path listed, as "PLACE\tPATH"; UTF-16LE paths as their ASCII units.
std::vector<std::string> listing_of(const std::string &content, text_format format)
{
    std::vector<std::string> lines;
    auto found = [](void *context, const found_path &path) {
        std::string text = std::string(path.where) + "\t";
        for (size_t at = 0; at < path.length; at += path.wide ? 2 : 1)
            text += static_cast<char>(path.path[at]);
        static_cast<std::vector<std::string> *>(context)->push_back(text);
    };
    FILE *in = file_holding(content);
    input_start start{};
    EXPECT_TRUE(read_start(in, &start));
    EXPECT_EQ(list_text_file(start, in, format, {found, &lines}), TEXT_LISTED);
    fclose(in);
    return lines;
}

bool is_text_key(const std::string &key)
{
    return key == "テキスト" || key == "スクリプト" || key == "text";
}

// The copy of a UTF-8 file as the rules give it, read plainly line by line:
// no byte of a longer character is a separator there.
std::string model_copy(const std::string &text)
{
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        std::string ending = end < text.size() ? "\n" : "";
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            ending = "\r" + ending;
        }
        size_t equals = line.find('=');
        bool section = line.size() >= 2 && line.front() == '[' && line.back() == ']';
        if (!section && equals != std::string::npos && !is_text_key(line.substr(0, equals))) {
            size_t start = equals + 1 + (line.compare(equals + 1, 1, "*") == 0 ? 1 : 0);
            std::string path = line.substr(start, line.find('|', start) - start);
            bool drive = path.size() >= 3 && isalpha(static_cast<unsigned char>(path[0])) &&
                         path[1] == ':' && (path[2] == '\\' || path[2] == '/');
            if (drive || path.compare(0, 2, "\\\\") == 0)
                line.erase(start, path.find_last_of("\\/") + 1);
        }
        out += line + ending;
        at = end + 1;
    }
    return out;
}

fs::path real_aviutl2_file(const std::string &name)
{
    for (const fs::path &file : real_aviutl2_files()) {
        if (file.filename() == name)
            return file;
    }
    ADD_FAILURE() << "no " << name;
    return {};
}

std::string text_of(const fs::path &path)
{
    bytes content = read_file(path);
    return std::string(content.begin(), content.end());
}

TEST(TextFiles, EachKindIsKnownByItsFirstLine)
{
    const struct {
        std::string start;
        file_kind kind;
    } cases[] = {
        {"[project]\r\nfile=", KIND_AVIUTL2},
        {"\xEF\xBB\xBF[project]\nfile=", KIND_AVIUTL2},
        {"[Object]\n", KIND_AVIUTL2},
        {"[Object.3]\n", KIND_AVIUTL2},
        {"[Effect.0]\n", KIND_AVIUTL2},
        {"[12]\n", KIND_AVIUTL2},
        {"[exedit]\r\nwidth=1280", KIND_OBJECT_FILE},
        {"[vo.0]\n", KIND_OBJECT_FILE},
        {"[a]", KIND_OBJECT_FILE}, // the whole file
        {"[Effect]\n", KIND_PROJECT},
        {"[projects]\n", KIND_PROJECT},
        {"[project] \n", KIND_PROJECT},
        {"[vo.x]\n", KIND_PROJECT},
        {"AviUtl ProjectFile version 0.18", KIND_PROJECT},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.start);
        input_start start{};
        memcpy(start.bytes, c.start.data(), c.start.size());
        start.length = c.start.size();
        EXPECT_EQ(kind_of(start, static_cast<int64_t>(c.start.size())), c.kind);
    }
}

TEST(TextFiles, EachRuleChangesOnlyTheFoldersOfItsValue)
{
    const struct {
        text_format format;
        std::string line;
        std::string copied;
    } cases[] = {
        {TEXT_AVIUTL2, "file=C:\\Users\\taro\\Videos\\a.aup2", "file=a.aup2"},
        {TEXT_AVIUTL2, "output.file=Z:\\home\\taro/out.mp4", "output.file=out.mp4"},
        {TEXT_AVIUTL2, "ファイル=E:\\aviutl2\\ntsc-rs.anm2\\x.jpg", "ファイル=x.jpg"},
        {TEXT_AVIUTL2, "PSDファイル=S:\\work\\c.psd|c.pfv", "PSDファイル=c.psd|c.pfv"},
        {TEXT_AVIUTL2, "file=\\\\server\\share\\a.wav", "file=a.wav"},
        {TEXT_AVIUTL2, "file=C:\\a=b\\c.png", "file=c.png"},
        {TEXT_AVIUTL2, "file=D:\\work\\", "file="},
        {TEXT_AVIUTL2, "テキスト=C:\\Users\\taro\\a.png", "テキスト=C:\\Users\\taro\\a.png"},
        {TEXT_AVIUTL2, "スクリプト=f=\"C:\\\\a\\\\b\"", "スクリプト=f=\"C:\\\\a\\\\b\""},
        {TEXT_AVIUTL2, "file=%Plugin%\\x.lua", "file=%Plugin%\\x.lua"},
        {TEXT_AVIUTL2, "file=relative\\a.png", "file=relative\\a.png"},
        {TEXT_AVIUTL2, std::string("file=C:\\a\0b\\c", 13), "file=c"},
        {TEXT_OBJECT_FILE, "name=*D:\\pics\\b.png", "name=*b.png"},
        {TEXT_OBJECT_FILE, "name=*円", "name=*円"},
        {TEXT_OBJECT_FILE, "file=C:\\a|b\\c.png", "file=c.png"},
        // ソ is 83 5C and 表 95 5C in CP932: their second bytes are no separators.
        {TEXT_OBJECT_FILE, "file=C:\\\x83\x5C\x83\x74\x83\x67\\\x95\x5C.avi", "file=\x95\x5C.avi"},
        {TEXT_OBJECT_FILE, "param=a=1;file=\"D:\\\\work\\\\clip.png\";b=\"x\"",
         "param=a=1;file=\"clip.png\";b=\"x\""},
        {TEXT_OBJECT_FILE, "param=file=\"D:\\\\work\\\\clip.png",
         "param=file=\"D:\\\\work\\\\clip.png"},
        {TEXT_OBJECT_FILE, "text=43003a005c00", "text=43003a005c00"},
        {TEXT_OBJECT_FILE, "[1.0]", "[1.0]"},
    };
    for (const char *ending : {"\n", "\r\n", ""}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(c.line + " ending " + std::to_string(strlen(ending)));
            const std::string first = c.format == TEXT_AVIUTL2 ? "\xEF\xBB\xBF[0.0]\r\n" : "[1]\n";
            text_copy copy = copy_text(first + c.line + ending, c.format);
            EXPECT_EQ(copy.result, TEXT_COPIED);
            EXPECT_TRUE(copy.all_rewritten);
            EXPECT_EQ(copy.output, first + c.copied + ending);
        }
    }
}

TEST(TextFiles, RealFilesAreCopiedAsTheRulesSayAndTheirCopiesListNoPath)
{
    for (const fs::path &file : real_aviutl2_files()) {
        SCOPED_TRACE(file.filename().string());
        std::string original = text_of(file);
        text_copy copy = copy_text(original, TEXT_AVIUTL2);
        EXPECT_EQ(copy.result, TEXT_COPIED);
        EXPECT_EQ(copy.output, model_copy(original));
        EXPECT_NE(copy.output, original);
        EXPECT_EQ(listing_of(copy.output, TEXT_AVIUTL2), std::vector<std::string>{});
    }
}

TEST(TextFiles, LinesAcrossManyBlocksAndLinesLongerThanAnyBufferAreCopiedWhole)
{
    std::string objects = text_of(real_aviutl2_file("svg-demo.aup2"));
    std::string file;
    while (file.size() < 3 * 256 * 1024)
        file += objects;
    const std::string long_text = "テキスト=" + std::string(300 * 1024, 'x') + "\r\n";
    const std::string long_path = "file=C:\\" + std::string(300 * 1024, 'y') + "\\a.png\r\n";
    const struct {
        std::string line;
        bool all_rewritten;
    } cases[] = {{long_text, true}, {long_path, false}};
    for (const auto &c : cases) {
        std::string input = file + c.line + file;
        text_copy copy = copy_text(input, TEXT_AVIUTL2);
        EXPECT_EQ(copy.result, TEXT_COPIED);
        EXPECT_EQ(copy.all_rewritten, c.all_rewritten);
        EXPECT_TRUE(copy.output == model_copy(file) + c.line + model_copy(file));
    }
}

TEST(TextFiles, TheListingNamesEachPlaceAndReadsTextSettings)
{
    const struct {
        text_format format;
        std::string file;
        std::vector<std::string> listed;
    } cases[] = {
        {TEXT_AVIUTL2,
         "[project]\nfile=C:\\p.aup2\n[scene.0]\noutput.file=D:\\o.mp4\n[3.1]\n"
         "effect.name=動画ファイル\nファイル=E:\\v.mp4|x\nテキスト=see F:\\t.png\\nnext\n",
         {"project: file\tC:\\p.aup2", "scene 0: output.file\tD:\\o.mp4",
          "object 3, effect 1 動画ファイル: ファイル\tE:\\v.mp4|x",
          "object 3, effect 1 動画ファイル: テキスト\tF:\\t.png\\nnext"}},
        {TEXT_OBJECT_FILE,
         "[exedit]\r\n[1.0]\r\n_name=image\r\nfile=C:\\a.png\r\n"
         "text="
         "43003a005c0062000000"
         "44003a005c00\r\n",
         {"[1.0] image: file\tC:\\a.png", "[1.0] image: text\tC:\\b"}},
        {TEXT_OBJECT_FILE, "[vo]\nC:\\stray\n", {"[vo]: line\tC:\\stray"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(listing_of(c.file, c.format), c.listed);
    }
}

TEST(TextFilesCli, InPlaceTheOriginalIsKeptAndTheCopyIsText)
{
    scratch_folder folder(current_test_name());
    fs::path original = real_aviutl2_file("pixel_test.aup2");
    const std::string text = text_of(original);
    for (const std::vector<std::string> &options :
         {std::vector<std::string>{}, std::vector<std::string>{"-m"}}) {
        fs::remove(folder / "a.aup2.old");
        fs::copy_file(original, folder / "a.aup2", fs::copy_options::overwrite_existing);
        std::vector<std::string> arguments = options;
        arguments.push_back("a.aup2");
        run_result run = run_tool(folder.path(), arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(text_of(folder / "a.aup2.old"), text);
        EXPECT_EQ(text_of(folder / "a.aup2"), model_copy(text));
    }
    run_result listed = run_tool(folder.path(), {"-l", "a.aup2.old"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out.substr(0, listed.out.find('\t')), "project: file");
}

} // namespace
