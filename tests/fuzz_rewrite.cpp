// libFuzzer target: every input goes through the anonymised copy and through
// the copy with media folders blanked, both into a file it can go back in
// and, surveyed first, into a stream it cannot; each copy is checked against
// the tests' second, plain model of the layout over byte arrays, and the two
// copies with media folders blanked must be the same. An input that is a
// timeline backup goes through the backup's copy. Then it is listed, and
// every path listed must have a path's shape. A text file goes through the
// text copy, checked against the tests' plain model of its rules, and its
// listing instead. Any difference aborts.
#include "../aup/listing.h"
#include "../aup/media_copy.h"
#include "../aup/plain_copy.h"
#include "../text_files/copy.h"
#include "../text_files/listing.h"
#include "../timeline/backup.h"
#include "layout_model.h"
#include "media_model.h"
#include "memory_stream.h"
#include "text_model.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Aborts, naming the line of the check that failed.
void require(bool holds, int line = __builtin_LINE())
{
    if (holds)
        return;
    fprintf(stderr, "fuzz_rewrite.cpp:%d: check failed\n", line);
    abort();
}

// The bytes a temporary file holds up to where its stream stands.
bytes written_to(FILE *file)
{
    bytes content(static_cast<size_t>(ftell(file)));
    rewind(file);
    require(fread(content.data(), 1, content.size(), file) == content.size());
    return content;
}

// The copy with media folders blanked into a file, which it may go back in.
bytes blank_into_file(const bytes &in, media_report *report, rewrite_result *result)
{
    FILE *input = open_memory_input(in.data(), in.size());
    FILE *output = tmpfile();
    require(input != nullptr && output != nullptr);
    *result = blank_media_head({}, input, output, true, report);
    if (*result == REWRITE_DONE)
        *result = copy_rest(input, output);
    bytes out = written_to(output);
    require(fclose(input) == 0 && fclose(output) == 0);
    return out;
}

// The same into a stream it cannot go back in: surveyed first.
bytes blank_into_stream(const bytes &in, media_report *report, rewrite_result *result)
{
    bytes out;
    FILE *input = open_memory_input(in.data(), in.size());
    FILE *output = open_memory_output(&out);
    require(input != nullptr && output != nullptr);
    *result = blank_media_head({}, input, output, false, report);
    if (*result == REWRITE_DONE)
        *result = copy_rest(input, output);
    require(fclose(input) == 0 && fclose(output) == 0);
    return out;
}

// Outside the text fields the copy must be the anonymised copy, changed
// streams packed as the files are, nothing written past a field; and both
// ways of writing it give the same copy and the same report.
void check_media_blanking(const bytes &in)
{
    media_report into_file{};
    media_report into_stream{};
    rewrite_result file_result = REWRITE_DONE;
    rewrite_result stream_result = REWRITE_DONE;
    bytes file_copy = blank_into_file(in, &into_file, &file_result);
    bytes stream_copy = blank_into_stream(in, &into_stream, &stream_result);
    rewrite_result expected = in.size() < 300 ? REWRITE_NOT_PROJECT : REWRITE_DONE;
    require(file_result == expected && stream_result == expected);
    require(file_copy == stream_copy);
    require(into_file.has_signature == into_stream.has_signature &&
            into_file.all_blanked == into_stream.all_blanked);
    std::string fault = check_media_copy(in, file_copy);
    if (!fault.empty())
        fprintf(stderr, "%s\n", fault.c_str());
    require(fault.empty());
}

// A backup's copy keeps its length and header, and is the input itself
// where its record cannot be followed.
void check_backup_blanking(const bytes &in)
{
    bytes out;
    FILE *input = open_memory_input(in.data(), in.size());
    FILE *output = open_memory_output(&out);
    require(input != nullptr && output != nullptr);
    media_report report{};
    rewrite_result result = blank_backup({}, input, output, false, &report);
    if (result == REWRITE_DONE)
        result = copy_rest(input, output);
    require(fclose(input) == 0 && fclose(output) == 0);
    require(result == REWRITE_DONE);
    require(report.all_blanked ? check_backup_copy(in, out).empty() : out == in);
}

constexpr int NO_UNIT = -1;
constexpr int NOT_ASCII = 0x100;

// The ASCII character at unit `index` of a listed path, NOT_ASCII for
// another, NO_UNIT past its end.
int unit_of(const found_path &path, size_t index)
{
    size_t step = path.wide ? 2 : 1;
    if ((index + 1) * step > path.length)
        return NO_UNIT;
    if (path.wide && path.path[2 * index + 1] != 0)
        return NOT_ASCII;
    return path.path[index * step] < 0x80 ? path.path[index * step] : NOT_ASCII;
}

// Every path listed begins as a drive or a network share does; one shown
// as an escaped text holds it, once its escapes are undone.
void require_path_shape(void * /* context */, const found_path &listed)
{
    found_path path = listed;
    unsigned char plain[LONGEST_LISTED_PATH];
    uint16_t from[LONGEST_LISTED_PATH + 1];
    size_t used = 0;
    if (listed.escaped)
        path.length =
            undo_escapes(listed.path, listed.length, listed.escapes, true, plain, from, &used);
    if (listed.escaped)
        path.path = plain;
    int first = unit_of(path, 0);
    int second = unit_of(path, 1);
    int third = unit_of(path, 2);
    bool drive = first < 0x80 && isalpha(first) && second == ':' && (third == '\\' || third == '/');
    bool share = first == '\\' && second == '\\' && third > ' ' && third != '\\' && third != '/';
    require(drive || share);
}

void check_listing(const bytes &in, bool backup)
{
    FILE *input = open_memory_input(in.data(), in.size());
    require(input != nullptr);
    path_listing listing{require_path_shape, nullptr};
    list_result result = backup ? list_backup({}, input, listing) : list_paths({}, input, listing);
    require(fclose(input) == 0);
    require(result != LIST_READ_FAILED);
}

// A text file's copy must be the model's, and its listing read it to its
// end.
void check_text_copy(const bytes &in, text_format format)
{
    bytes out;
    FILE *input = open_memory_input(in.data(), in.size());
    FILE *output = open_memory_output(&out);
    require(input != nullptr && output != nullptr);
    input_start start{};
    start.length = fread(start.bytes, 1, sizeof start.bytes, input);
    bool all_rewritten = true;
    require(copy_text_file(start, input, output, format, &all_rewritten) == REWRITE_DONE);
    require(fclose(input) == 0 && fclose(output) == 0);
    model_text_copy expected = model_copy_text(in, format == TEXT_AVIUTL2);
    require(out == expected.copy);
    require(all_rewritten == expected.all_rewritten);
    input = open_memory_input(in.data(), in.size());
    require(input != nullptr);
    start.length = fread(start.bytes, 1, sizeof start.bytes, input);
    path_listing listing{require_path_shape, nullptr};
    require(list_text_file(start, input, format, listing) == LIST_DONE);
    require(fclose(input) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bytes in(data, data + size);
    size_t start = std::min(size, INPUT_START_CAPACITY);
    text_format format = text_format_of(data, start, size < INPUT_START_CAPACITY);
    if (format != TEXT_NONE) {
        check_text_copy(in, format);
        return 0;
    }
    bytes out;
    FILE *input = open_memory_input(in.data(), in.size());
    FILE *output = open_memory_output(&out);
    require(input != nullptr && output != nullptr);
    rewrite_result result = rewrite_project({}, input, output);
    require(fclose(input) == 0 && fclose(output) == 0);
    require(result == (size < 300 ? REWRITE_NOT_PROJECT : REWRITE_DONE));
    require(check_copy(in, out).empty());
    bool backup = is_backup_start(in.data(), in.size(), static_cast<int64_t>(in.size()));
    if (backup)
        check_backup_blanking(in);
    else
        check_media_blanking(in);
    check_listing(in, backup);
    return 0;
}
