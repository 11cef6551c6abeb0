// The copy's bytes, on temporary files: the byte rule at the layout's
// boundaries, the stream rule on built packed streams and on real files.
#include "../aup/plain_copy.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

rewritten rewrite_bytes(const bytes &input)
{
    return copy_through_files(input, plain_copy);
}

// A file of `length` bytes, each byte a function of its offset, with `count`
// at RECORD_OFFSET where the file reaches it.
bytes unsigned_file(size_t length, unsigned char count)
{
    bytes file(length);
    for (size_t i = 0; i < length; ++i)
        file[i] = static_cast<unsigned char>(i * 7 + 3);
    if (length > 560)
        file[560] = count;
    return file;
}

TEST(RewriteLayout, FilesWithoutSignatureFollowTheByteRule)
{
    struct layout_case {
        size_t length;
        unsigned char count;
        rewrite_result result;
        size_t output_length;
    };
    const layout_case cases[] = {
        {0, 0, REWRITE_NOT_PROJECT, 0}, {299, 0, REWRITE_NOT_PROJECT, 299},
        {300, 0, REWRITE_DONE, 566},    {560, 0, REWRITE_DONE, 566},
        {561, 0, REWRITE_DONE, 566},    {564, 1, REWRITE_DONE, 566},
        {565, 0, REWRITE_DONE, 566},    {566, 0, REWRITE_DONE, 567},
        {566, 1, REWRITE_DONE, 566},    {4000, 1, REWRITE_DONE, 4000},
        {819, 255, REWRITE_DONE, 566},  {820, 255, REWRITE_DONE, 566},
        {821, 255, REWRITE_DONE, 567},  {4000, 255, REWRITE_DONE, 4000 - 254},
    };
    for (const layout_case &c : cases) {
        SCOPED_TRACE("length " + std::to_string(c.length) + ", count " + std::to_string(c.count));
        bytes input = unsigned_file(c.length, c.count);
        rewritten copy = rewrite_bytes(input);
        EXPECT_EQ(copy.result, c.result);
        EXPECT_EQ(copy.output.size(), c.output_length);
        EXPECT_EQ(copy.output, byte_rule_copy(input));
    }
}

// Packed-stream building blocks.
bytes literal(const bytes &content)
{
    bytes op;
    if (content.size() <= 127) {
        op.push_back(static_cast<unsigned char>(content.size()));
    } else {
        size_t n = content.size();
        op = {0x00, static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
              static_cast<unsigned char>(n >> 16)};
    }
    op.insert(op.end(), content.begin(), content.end());
    return op;
}

bytes run(size_t count, unsigned char value, bool long_form)
{
    if (!long_form)
        return {static_cast<unsigned char>(0x80 | count), value};
    return {0x80, static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8),
            static_cast<unsigned char>(count >> 16), value};
}

bytes text(const std::string &s, size_t length)
{
    bytes b(s.begin(), s.end());
    b.resize(length, 'x');
    return b;
}

bytes operator+(bytes a, const bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A signed project file: header, a field holding the path, the packed ops,
// then bytes that are not ops of the name.
bytes project_file(const bytes &ops)
{
    bytes field = text("C:\\Users\\someone\\edit.aup", 260);
    bytes after = {0x09, 0x00, 0x05, 0x00, 0x00, 0xD0, 0x02, 0x00, 0x00, 0x42, 0x7E, 0x7E};
    return signed_header() + field + ops + after;
}

const bytes PATH_31 = text("C:\\Users\\someone\\Desktop\\a.aup", 31);

struct stream_case {
    const char *name;
    bytes ops;
};

TEST(RewriteStream, BuiltStreamsComeOutBlankedAndValid)
{
    const stream_case cases[] = {
        // width 1280: its low byte 0x00 lengthens the zero run past the name
        {"zero run ending past the name", literal(PATH_31) + run(230, 0, true)},
        {"literal crossing the end of the name",
         literal(text("C:\\a", 200)) + literal(text("tail", 100))},
        {"long literal, then a run", literal(text("D:\\long", 128)) + run(132, 0, true)},
        {"long literal crossing by more than 127", literal(text("D:\\x", 400))},
        {"run crossing by more than 127", literal(PATH_31) + run(400, 0, true)},
        {"name with a run inside", literal(text("C:\\aa", 10)) + run(5, 'a', false) +
                                       literal(text("b", 20)) + run(225, 0, true)},
        {"short run ending the name", literal(text("C:\\", 140)) + run(120, 0, false)},
        {"zero-count ops inside the name",
         bytes{0x00, 0x00, 0x00, 0x00} + literal(PATH_31) + run(229, 0, true)},
    };
    for (const stream_case &c : cases) {
        SCOPED_TRACE(c.name);
        bytes input = project_file(c.ops);
        rewritten copy = rewrite_bytes(input);
        EXPECT_EQ(copy.result, REWRITE_DONE);
        EXPECT_FALSE(takes_byte_rule(input));
        EXPECT_EQ(check_blanked(input, copy.output), "");
    }
}

TEST(RewriteStream, ShortShapeAndCutStreamsFollowTheByteRule)
{
    bytes long_literal = literal(text("D:\\cut", 300));
    const stream_case cases[] = {
        {"short shape", literal(PATH_31) + run(229, 0, true)},
        {"short shape, longest literal", literal(text("C:\\", 127)) + run(133, 0, true)},
        // its run's byte is copied as it stands, as the byte rule copies it
        {"short shape with a non-zero run", literal(PATH_31) + run(229, 'z', true)},
        {"cut inside a literal", bytes(long_literal.begin(), long_literal.begin() + 100)},
        {"cut inside the tail past the name",
         bytes(long_literal.begin(), long_literal.begin() + 280)},
        {"cut inside a long count", literal(PATH_31) + bytes{0x80, 0xE5}},
        {"cut before a run's byte", literal(PATH_31) + bytes{0x80, 0xE5, 0x00, 0x00}},
        {"nothing after the first op", literal(PATH_31)},
    };
    for (const stream_case &c : cases) {
        SCOPED_TRACE(c.name);
        bytes input = signed_header() + bytes(260, 'p') + c.ops;
        rewritten copy = rewrite_bytes(input);
        EXPECT_EQ(copy.result, REWRITE_DONE);
        EXPECT_TRUE(takes_byte_rule(input));
        EXPECT_EQ(copy.output, byte_rule_copy(input));
    }
}

TEST(RewriteStream, SignatureMustMatchToTheLastByte)
{
    bytes ops = literal(text("D:\\long", 128)) + run(132, 0, true);
    bytes almost = project_file(ops);
    almost[31] = ' '; // the terminating zero of the signature
    EXPECT_EQ(rewrite_bytes(almost).output, byte_rule_copy(almost));
}

TEST(RewriteRealFiles, EveryFileComesOutBlankedAndValid)
{
    for (const auto &path : real_project_files()) {
        SCOPED_TRACE(path.filename().string());
        bytes input = read_file(path);
        rewritten copy = rewrite_bytes(input);
        EXPECT_EQ(copy.result, REWRITE_DONE);
        EXPECT_EQ(check_blanked(input, copy.output), "");
        // Ten real files are in the short shape, and take the byte rule.
        bool long_literal = path.filename() == "640x480_2997-100fps_44100Hz.aup";
        EXPECT_NE(takes_byte_rule(input), long_literal);
        EXPECT_EQ(check_copy(input, copy.output), "");
    }
    EXPECT_EQ(real_project_files().size(), 11u);
}

} // namespace
