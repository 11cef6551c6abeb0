// AviUtl2 projects and aliases and the timeline plugin's object files: known
// by their first line, copied line by line with only the folders of file
// values dropped, and listed with their places.
#include "../cli/file_kinds.h"
#include "../text_files/copy.h"
#include "../text_files/listing.h"
#include "support.h"
#include "text_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>

namespace {

namespace fs = std::filesystem;

struct text_copy {
    rewrite_result result;
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
    text_copy copy{REWRITE_DONE, true, ""};
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
    EXPECT_EQ(list_text_file(start, in, format, {found, &lines}), LIST_DONE);
    fclose(in);
    return lines;
}

// The copy of a UTF-8 file as the model gives it.
std::string model_copy(const std::string &text)
{
    bytes copy = model_copy_text(bytes(text.begin(), text.end()), true).copy;
    return std::string(copy.begin(), copy.end());
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
        std::string kind;
    } cases[] = {
        {"[project]\r\nfile=", "AviUtl2 file"},
        {"\xEF\xBB\xBF[project]\nfile=", "AviUtl2 file"},
        {"[Object]\n", "AviUtl2 file"},
        {"[Object.3]\n", "AviUtl2 file"},
        {"[Effect.0]\n", "AviUtl2 file"},
        {"[12]\n", "AviUtl2 file"},
        {"[exedit]\r\nwidth=1280", "object file"},
        {"[vo.0]\n", "object file"},
        {"[a]", "object file"}, // the whole file
        {"[Effect]\n", "project file"},
        {"[projects]\n", "project file"},
        {"[project] \n", "project file"},
        {"[vo.x]\n", "project file"},
        {"AviUtl ProjectFile version 0.18", "project file"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.start);
        input_start start{};
        memcpy(start.bytes, c.start.data(), c.start.size());
        start.length = c.start.size();
        EXPECT_EQ(kind_of(start, static_cast<int64_t>(c.start.size())).name, c.kind);
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
        {TEXT_AVIUTL2, "text=C:\\Users\\taro\\Pictures\\logo.png", "text=logo.png"},
        {TEXT_OBJECT_FILE, "テキスト=C:\\a\\b.png", "テキスト=b.png"},
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
            EXPECT_EQ(copy.result, REWRITE_DONE);
            EXPECT_TRUE(copy.all_rewritten);
            EXPECT_EQ(copy.output, first + c.copied + ending);
        }
    }
}

TEST(TextFiles, ObjectFilesOfTheChineseBuildAreReadAsGbk)
{
    // C:\Users\张三\桌面\clip.mp4 in GBK: CP932 reads the last byte of 面 as a
    // lead byte, which takes the separator after it for its second.
    const std::string path = "C:\\Users\\\xD5\xC5\xC8\xFD\\\xD7\xC0\xC3\xE6\\clip.mp4";
    const std::string chinese_video = "_name=\xCA\xD3\xC6\xB5\xCE\xC4\xBC\xFE\r\n"; // 视频文件
    const struct {
        std::string effect; // the line that names the effect
        std::string copied; // what the path becomes
    } cases[] = {
        {chinese_video, "clip.mp4"},
        {"_name=\x93\xAE\x89\xE6\x83\x74\x83\x40\x83\x43\x83\x8B\r\n", // 動画ファイル
         "\xD7\xC0\xC3\xE6\\clip.mp4"},
        {"", "\xD7\xC0\xC3\xE6\\clip.mp4"}, // nothing tells: CP932
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.copied);
        const std::string head = "[exedit]\r\n[0]\r\n[0.0]\r\n" + c.effect;
        text_copy copy = copy_text(head + "file=" + path + "\r\n", TEXT_OBJECT_FILE);
        EXPECT_EQ(copy.output, head + "file=" + c.copied + "\r\n");
    }
}

TEST(TextFiles, AFileWhoseLinesEndWithACrAloneIsOfItsKind)
{
    const std::string file =
        "[project]\rfile=C:\\Users\\taro\\a.aup2\r[0.0]\rファイル=D:\\v\\b.mp4\r";
    input_start start{};
    memcpy(start.bytes, file.data(), file.size());
    start.length = file.size();
    EXPECT_EQ(kind_of(start, static_cast<int64_t>(file.size())).name, std::string("AviUtl2 file"));
    EXPECT_EQ(copy_text(file, TEXT_AVIUTL2).output,
              "[project]\rfile=a.aup2\r[0.0]\rファイル=b.mp4\r");
    EXPECT_EQ(listing_of(file, TEXT_AVIUTL2),
              (std::vector<std::string>{"project: file\tC:\\Users\\taro\\a.aup2",
                                        "object 0, effect 0: ファイル\tD:\\v\\b.mp4"}));
}

TEST(TextFiles, RealFilesAreCopiedAsTheRulesSayAndTheirCopiesListNoPath)
{
    for (const fs::path &file : real_aviutl2_files()) {
        SCOPED_TRACE(file.filename().string());
        std::string original = text_of(file);
        text_copy copy = copy_text(original, TEXT_AVIUTL2);
        EXPECT_EQ(copy.result, REWRITE_DONE);
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
        EXPECT_EQ(copy.result, REWRITE_DONE);
        EXPECT_EQ(copy.all_rewritten, c.all_rewritten);
        EXPECT_TRUE(copy.output == model_copy(file) + c.line + model_copy(file));
    }
}

// Text files made at random from the pieces the rules meet: names in CP932,
// GBK and UTF-8 whose second byte is a backslash, '*', '|' and quotes,
// escaped script parameters, every line end, a byte order mark, the Chinese
// build's effect name, and lines longer than every buffer placed at every
// alignment around the edges of the input's block.
class text_generator {
  public:
    explicit text_generator(unsigned seed) : random_(seed) {}

    std::string file(bool aviutl2, size_t long_line_at)
    {
        std::string text = aviutl2 ? pick({"[project]", "\xEF\xBB\xBF[project]", "[0]"})
                                   : pick({"[exedit]", "[vo]", "[1.0]"});
        text += line_end();
        while (text.size() < long_line_at)
            text += line(aviutl2) + line_end();
        if (long_line_at > 0)
            text += long_line(aviutl2) + line_end();
        for (int count = below(12); count > 0; --count)
            text += line(aviutl2) + line_end();
        return below(4) == 0 ? text + line(aviutl2) : text;
    }

  private:
    std::mt19937 random_;

    int below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }

    std::string pick(std::initializer_list<const char *> choices)
    {
        return *(choices.begin() + below(static_cast<int>(choices.size())));
    }

    size_t pick_size()
    {
        const size_t edges[] = {128 * 1024, 256 * 1024};
        return edges[below(2)] - 40 + static_cast<size_t>(below(80));
    }

    std::string line_end() { return pick({"\n", "\r\n", "\r"}); }

    std::string name()
    {
        // ソ and 表 in CP932, 運 in GBK: their second byte is 0x5C. 张三 and 桌面
        // in GBK, which CP932 reads otherwise; 表 in UTF-8.
        return pick({"taro", "\x83\x5C\x83\x74\x83\x67", "\x95\x5C", "\xDF\x5C", "\xD5\xC5\xC8\xFD",
                     "\xD7\xC0\xC3\xE6", "\xE8\xA1\xA8", "a b", "x*y", "p|q", "q\"r", "a=b"});
    }

    std::string path()
    {
        std::string text =
            pick({"C:\\", "d:/", "\\\\server\\", "*C:\\", "rel\\", "%Plugin%\\", "", "http://"});
        for (int count = below(4); count > 0; --count)
            text += name() + pick({"\\", "/"});
        return text + name() + ".png";
    }

    // Script parameters: quoted paths with their backslashes Lua-escaped.
    std::string parameters()
    {
        std::string escaped;
        for (char c : path())
            escaped += c == '\\' ? pick({"\\\\", "\\92", "\\x5C"}) : std::string(1, c);
        return "a=1;file=\"" + escaped + pick({"\";b=\"x\"", "\"", ""});
    }

    std::string key(bool aviutl2)
    {
        return aviutl2 ? pick({"file", "output.file", "ファイル", "PSDファイル", "テキスト",
                               "スクリプト", "text", "effect.name"})
                       : pick({"file", "name", "param", "text", "_name", "テキスト"});
    }

    // A line longer than the longest read whole, or than the block.
    std::string long_line(bool aviutl2)
    {
        std::string head =
            below(2) == 0 ? (aviutl2 ? "file=" : "param=file=\"") : key(aviutl2) + "=";
        return head + path() + std::string(pick_size(), 'w') + path();
    }

    std::string line(bool aviutl2)
    {
        switch (below(8)) {
        case 0:
            return "[" + std::to_string(below(9)) + "." + std::to_string(below(9)) + "]";
        case 1:
            return aviutl2 ? "x=" + path() : "_name=\xCA\xD3\xC6\xB5\xCE\xC4\xBC\xFE"; // 视频文件
        case 2:
            return path();
        case 3:
            return aviutl2 ? "file=" + path() + "|" + name() : "param=" + parameters();
        default:
            return key(aviutl2) + "=" + path();
        }
    }
};

TEST(TextFiles, GeneratedFilesAreCopiedAsTheModelSays)
{
    // Where a long line begins: nowhere; where the block holds it whole; or
    // around the block's first and second edges.
    const size_t long_line_at[] = {
        0, 0, 100, 300 * 1024, 256 * 1024 - 70, 256 * 1024 - 5, 0, 0, 512 * 1024 - 130};
    for (unsigned seed = 0; seed < 60; ++seed) {
        text_generator generator(seed);
        bool aviutl2 = seed % 2 == 0;
        std::string file = generator.file(aviutl2, long_line_at[seed % std::size(long_line_at)]);
        SCOPED_TRACE("seed " + std::to_string(seed));
        text_copy copy = copy_text(file, aviutl2 ? TEXT_AVIUTL2 : TEXT_OBJECT_FILE);
        model_text_copy expected = model_copy_text(bytes(file.begin(), file.end()), aviutl2);
        EXPECT_EQ(copy.result, REWRITE_DONE);
        EXPECT_TRUE(copy.output == std::string(expected.copy.begin(), expected.copy.end()));
        EXPECT_EQ(copy.all_rewritten, expected.all_rewritten);
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
         "effect.name=動画ファイル\nファイル=E:\\v.mp4|x\nテキスト=see F:\\t.png\\nnext\n"
         "テキスト=見て\\\\\\\\nas01\\\\taro\\\\clip.mp4\nテキスト=一行目\\nC:/Users/taro/c.mp4\n",
         {"project: file\tC:\\p.aup2", "scene 0: output.file\tD:\\o.mp4",
          "object 3, effect 1 動画ファイル: ファイル\tE:\\v.mp4|x",
          "object 3, effect 1 動画ファイル: テキスト\tF:\\t.png",
          "object 3, effect 1 動画ファイル: テキスト\t\\\\\\\\nas01\\\\taro\\\\clip.mp4",
          "object 3, effect 1 動画ファイル: テキスト\tC:/Users/taro/c.mp4"}},
        {TEXT_OBJECT_FILE,
         "[exedit]\r\n[1.0]\r\n_name=image\r\nfile=C:\\a.png\r\n"
         "text="
         "43003a005c0062000000"
         "44003a005c00\r\n",
         {"[1.0] image: file\tC:\\a.png", "[1.0] image: text\tC:\\b"}},
        {TEXT_OBJECT_FILE, "[vo]\nC:\\stray\n", {"[vo]: line\tC:\\stray"}},
        {TEXT_OBJECT_FILE,
         "[1.0]\r\n_name=script\r\nparam=a=\"{dist}\\\\data.ped\";b=\"D:\\\\w\\\\c.png\"\r\n",
         {"[1.0] script: param\tD:\\\\w\\\\c.png"}},
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
