// The listing reads each value as the text it is: 8-bit text in the file's
// encoding, or an object file's hex-written UTF-16LE text decoded as it
// comes. Every path has a ':' or a '\': only the lines that hold one, and
// sections, the line that names each section's effect and an object file's
// text settings, are read; the others are passed over unread.
#include "listing.h"

#include "../path_rules/file_name.h"
#include "lines.h"
#include "values.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// The longest key that names a setting in the listing: a longer one is cut.
constexpr size_t KEY_CAPACITY = 256;

path_scanner scanner;
text_encoding encoding;     // of the file's 8-bit text
char place[WHERE_CAPACITY]; // the section, as the listing names it
size_t place_length;
char key[KEY_CAPACITY]; // the setting's key, or "line" for a line of neither kind
// The line after a section's names its effect, if it is `effect.name=`
// (`_name=` in object files).
bool at_effect_name;

// Appends `length` bytes of `text` to the place, as far as they fit.
void append_place(const unsigned char *text, size_t length)
{
    size_t taken = std::min(length, WHERE_CAPACITY - 1 - place_length);
    memcpy(place + place_length, text, taken);
    place_length += taken;
    place[place_length] = '\0';
}

void append_place(const char *text)
{
    append_place(reinterpret_cast<const unsigned char *>(text), strlen(text));
}

// An AviUtl2 section in the editor's words: "project", "scene N", "layer
// N", "plugin N", "object ID" and "object ID, effect K"; another as it
// stands.
void name_aviutl2_section(const unsigned char *name, size_t length)
{
    const auto *dot = static_cast<const unsigned char *>(memchr(name, '.', length));
    size_t head = dot == nullptr ? length : static_cast<size_t>(dot - name);
    const unsigned char *number = name + head + 1;
    size_t number_length = dot == nullptr ? 0 : length - head - 1;
    if (is_digits(name, head) && (dot == nullptr || is_digits(number, number_length))) {
        append_place("object ");
        append_place(name, head);
        if (dot != nullptr) {
            append_place(", effect ");
            append_place(number, number_length);
        }
        return;
    }
    static const char *const NUMBERED[] = {"scene", "layer", "plugin"};
    const char *const *part =
        std::find_if(std::begin(NUMBERED), std::end(NUMBERED),
                     [&](const char *word) { return is_word(name, head, word); });
    if (part == std::end(NUMBERED) || !is_digits(number, number_length)) {
        append_place(name, length);
        return;
    }
    append_place(*part);
    append_place(" ");
    append_place(number, number_length);
}

// A new section: named, for AviUtl2 in its words, for an object file as it
// stands in its brackets.
void begin_section(text_format format, const unsigned char *text, size_t length)
{
    place[0] = '\0';
    place_length = 0;
    if (format == TEXT_AVIUTL2)
        name_aviutl2_section(text + 1, length - 2);
    else
        append_place(text, length);
    set_section(&scanner, place, encoding);
}

// The setting that names an effect: its name joins the section's.
bool names_effect(const setting &line, text_format format)
{
    return is_word(line.key, line.key_length, format == TEXT_AVIUTL2 ? "effect.name" : "_name");
}

// How a setting's value is read: an object file's text setting is hex of
// UTF-16LE text, AviUtl2's are escaped, and script parameters are read as
// Lua reads them; the others as the file's 8-bit text.
field_reading reading_of(const setting &line, text_format format)
{
    if (is_text_setting(line, format))
        return format == TEXT_OBJECT_FILE ? FIELD_READ_WIDE : FIELD_READ_ESCAPED;
    return is_script_parameters(line, format) ? FIELD_READ_SCRIPT : FIELD_READ_TEXT;
}

// Whether text can hold a path: every path has a ':' or a '\'.
bool may_hold_path(const unsigned char *text, size_t length)
{
    return memchr(text, ':', length) != nullptr || memchr(text, '\\', length) != nullptr;
}

// UTF-16LE text written as hex, decoded as it comes, up to its first 0 or
// the first byte that is no hex digit.
struct hex_text {
    bool reading;
    bool ended;
    int high;     // a byte's first digit, or -1
    int low_byte; // a unit's first byte, or -1
    size_t length;
    unsigned char decoded[4096]; // not yet scanned
};
hex_text hex;

void scan_decoded()
{
    scan_field_piece(&scanner, hex.decoded, hex.length);
    hex.length = 0;
}

// Takes one decoded byte; false once the text has ended.
bool take_decoded(unsigned char byte)
{
    if (hex.low_byte < 0) {
        hex.low_byte = byte;
        return true;
    }
    if (hex.low_byte == 0 && byte == 0)
        return false;
    hex.decoded[hex.length++] = static_cast<unsigned char>(hex.low_byte);
    hex.decoded[hex.length++] = byte;
    hex.low_byte = -1;
    if (hex.length == sizeof hex.decoded)
        scan_decoded();
    return true;
}

void decode_hex(const unsigned char *text, size_t length)
{
    for (size_t index = 0; index < length && !hex.ended; ++index) {
        int digit = hex_digit(text[index]);
        if (digit < 0 || hex.high >= 0) {
            hex.ended =
                digit < 0 || !take_decoded(static_cast<unsigned char>(hex.high << 4 | digit));
            hex.high = -1;
        } else {
            hex.high = digit;
        }
    }
}

// Begins a value, of the setting `line`, or (null) a line of neither kind.
void begin_value(const setting *line, text_format format)
{
    field_reading reading = line != nullptr ? reading_of(*line, format) : FIELD_READ_TEXT;
    if (line == nullptr) {
        memcpy(key, "line", sizeof "line");
    } else {
        size_t taken = line->key_length < KEY_CAPACITY - 1 ? line->key_length : KEY_CAPACITY - 1;
        memcpy(key, line->key, taken);
        key[taken] = '\0';
    }
    // UTF-16LE text comes as hex, decoded here.
    bool hex_text = reading == FIELD_READ_WIDE;
    begin_field(&scanner, reading, key);
    hex = {hex_text, false, -1, -1, 0, {}};
}

void list_value_piece(const unsigned char *text, size_t length)
{
    if (hex.reading)
        decode_hex(text, length);
    else
        scan_field_piece(&scanner, text, length);
}

void end_value()
{
    if (hex.length > 0)
        scan_decoded();
    end_field(&scanner);
}

void list_whole_line(text_format format, const text_line &line)
{
    if (is_section_line(line.bytes, line.length)) {
        begin_section(format, line.bytes, line.length);
        at_effect_name = true;
        return;
    }
    bool may_name_effect = at_effect_name;
    at_effect_name = false;
    setting found{};
    bool is_setting = split_setting(line.bytes, line.length, &found);
    if (is_setting && may_name_effect && names_effect(found, format)) {
        append_place(" ");
        append_place(found.value, found.value_length);
    }
    const unsigned char *value = is_setting ? found.value : line.bytes;
    size_t length = is_setting ? found.value_length : line.length;
    bool hex_text = is_setting && reading_of(found, format) == FIELD_READ_WIDE;
    if (!hex_text && !may_hold_path(value, length))
        return;
    begin_value(is_setting ? &found : nullptr, format);
    list_value_piece(value, length);
    end_value();
}

// A line too long to be read whole, of which `first` holds the first
// bytes, read in pieces to its end, wherever it lies.
void list_long_line(input_stream *in, text_format format, const text_line &first)
{
    at_effect_name = false;
    setting found{};
    bool is_setting = split_setting(first.bytes, first.length, &found);
    begin_value(is_setting ? &found : nullptr, format);
    list_value_piece(is_setting ? found.value : first.bytes,
                     is_setting ? found.value_length : first.length);
    consume(in, first.length);
    for (bool last = false; !last;) {
        const unsigned char *bytes = nullptr;
        size_t length = next_line_piece(in, &bytes, &last);
        list_value_piece(bytes, length);
        consume(in, length);
    }
    end_value();
}

// Lists a line the input stands at the start of, and consumes it.
void list_line(input_stream *in, text_format format, const text_line &line)
{
    if (!line.whole) {
        list_long_line(in, format, line);
        return;
    }
    list_whole_line(format, line);
    consume(in, line.length + line.end_length);
}

constexpr line_mark AVIUTL2_MARKS[] = {{':', nullptr}, {'\\', nullptr}, {'[', "["}};
constexpr line_mark OBJECT_FILE_MARKS[] = {
    {':', nullptr}, {'\\', nullptr}, {'[', "["}, {'x', "text="}};

// Whole lines, which the input stands at the start of: those that hold a
// mark, and each one after a section.
void list_lines(input_stream *in, text_format format, const unsigned char *bytes, size_t length)
{
    marked_lines lines{};
    if (format == TEXT_AVIUTL2)
        start_marked_lines(&lines, bytes, length, AVIUTL2_MARKS, std::size(AVIUTL2_MARKS));
    else
        start_marked_lines(&lines, bytes, length, OBJECT_FILE_MARKS, std::size(OBJECT_FILE_MARKS));
    const unsigned char *at = bytes; // where the input stands
    text_line line{};
    for (;;) {
        bool taken =
            at_effect_name ? next_whole_line(&lines, &line) : next_marked_line(&lines, &line);
        if (!taken)
            break;
        consume(in, static_cast<size_t>(line.bytes - at));
        list_line(in, format, line);
        at = line.next;
    }
    consume(in, static_cast<size_t>(bytes + length - at));
}

} // namespace

list_result list_text_file(const input_start &start, FILE *in, text_format format,
                           path_listing listing)
{
    input_stream input{};
    start_input(&input, in, start);
    encoding = text_encoding_of(&input, format);
    pass_byte_order_mark(&input);
    start_scanning(&scanner, listing);
    place[0] = '\0';
    place_length = 0;
    set_section(&scanner, place, encoding);
    at_effect_name = false;
    for (;;) {
        const unsigned char *lines = nullptr;
        size_t length = ready_lines(&input, &lines);
        if (length > 0) {
            list_lines(&input, format, lines, length);
            continue;
        }
        // A line the block holds only in part, or the file's last.
        text_line line{};
        if (!next_line(&input, &line))
            break;
        list_line(&input, format, line);
    }
    end_text(&scanner);
    return input_failed(input) ? LIST_READ_FAILED : LIST_DONE;
}

list_result list_aviutl2_file(const input_start &start, FILE *in, path_listing listing)
{
    return list_text_file(start, in, TEXT_AVIUTL2, listing);
}

list_result list_object_file(const input_start &start, FILE *in, path_listing listing)
{
    return list_text_file(start, in, TEXT_OBJECT_FILE, listing);
}
