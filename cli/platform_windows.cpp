// Windows: share modes keep one file from being both input and output, the
// system's own move makes the backup, and a path is used only when the ANSI
// code page holds it exactly.
#include "platform.h"

#include "../streams/tail_copy.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

// The C runtime would otherwise expand wildcards in the arguments; paths are
// taken as they are given.
extern "C" {
int _dowildcard = 0;
}

// The runtime's own split of the wide command line, by the same rules as the
// 8-bit one that main() receives.
struct _startupinfo {
    int newmode; // cppcheck-suppress unusedStructMember ; read by the runtime
};
extern "C" int __wgetmainargs(int *argc, wchar_t ***argv, wchar_t ***env, int expand_wildcards,
                              _startupinfo *info);

namespace {

// Where a file lives: two open handles name the same file when these agree.
struct file_identity {
    DWORD volume;
    DWORD index_high;
    DWORD index_low;
};

bool identify(HANDLE handle, file_identity *identity)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information))
        return false;
    *identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
                 information.nFileIndexLow};
    return true;
}

// The identity of the file at `path`; with `follow` false, of a link itself.
bool identify_path(const char *path, bool follow, file_identity *identity)
{
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool known = identify(handle, identity);
    CloseHandle(handle);
    return known;
}

bool same_file(const file_identity &a, const file_identity &b)
{
    return a.volume == b.volume && a.index_high == b.index_high && a.index_low == b.index_low;
}

HANDLE handle_of(FILE *stream)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

// A stream over an open handle, which it then owns; null, with the handle
// closed, when the runtime refuses.
FILE *stream_over(HANDLE handle, int flags, const char *mode)
{
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE *stream = _fdopen(descriptor, mode);
    if (stream == nullptr)
        _close(descriptor);
    return stream;
}

// Converts wide text to the ANSI code page into `out` (room for `capacity`
// bytes, terminating zero included), refusing every character the code page
// lacks instead of taking a look-alike. False when it cannot be held exactly
// or does not fit.
bool to_ansi_exactly(const wchar_t *text, char *out, int capacity)
{
    UINT code_page = GetACP();
    BOOL used_default = FALSE;
    // UTF-8 holds every character; it takes neither option, and refuses only
    // what is no character at all.
    bool utf8 = code_page == CP_UTF8;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    int length = WideCharToMultiByte(code_page, flags, text, -1, out, capacity, nullptr,
                                     utf8 ? nullptr : &used_default);
    return length > 0 && !used_default;
}

// The program's arguments as the wide command line holds them; null when the
// runtime cannot give them.
wchar_t **wide_arguments(int *count)
{
    static wchar_t **arguments = nullptr;
    static int argument_count = 0;
    if (arguments == nullptr) {
        wchar_t **environment = nullptr;
        _startupinfo info{0};
        if (__wgetmainargs(&argument_count, &arguments, &environment, 0, &info) != 0)
            arguments = nullptr;
    }
    *count = argument_count;
    return arguments;
}

// Reads the rest of a console line into `line` (room for `capacity` units),
// without its line end, reading it to its end whatever it holds. A 0 unit
// cannot be part of a path: cut there, it would name another file.
typed_line read_console_units(HANDLE console, wchar_t *line, size_t capacity)
{
    size_t length = 0;
    typed_line result = TYPED_LINE_READ;
    for (;;) {
        wchar_t unit = 0;
        DWORD read = 0;
        if (!ReadConsoleW(console, &unit, 1, &read, nullptr) || read == 0 || unit == L'\n')
            break;
        if (unit == L'\r')
            continue;
        if (unit == L'\0')
            result = TYPED_LINE_NOT_EXACT;
        else if (length + 1 >= capacity)
            result = result == TYPED_LINE_READ ? TYPED_LINE_TOO_LONG : result;
        else
            line[length++] = unit;
    }
    line[length] = L'\0';
    return result;
}

// How many UTF-16 units of text are converted and printed at a time.
constexpr size_t PRINTED_PIECE = 512;

bool is_control(unsigned code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

// CP932 or GBK text, as it stands: it reads right under its code page. Its
// control characters (never the second byte of a character) are escaped.
void print_code_page_text(const unsigned char *text, size_t length)
{
    size_t from = 0;
    for (size_t at = 0; at < length; ++at) {
        if (text[at] >= 0x20 && text[at] != 0x7F)
            continue;
        (void)fwrite(text + from, 1, at - from, stdout);
        (void)printf("\\x%02X", text[at]);
        from = at + 1;
    }
    (void)fwrite(text + from, 1, length - from, stdout);
}

// UTF-8 text as UTF-16 units, at most `capacity`; what is not UTF-8 becomes
// U+FFFD.
size_t utf8_to_units(const unsigned char *text, size_t length, wchar_t *units, size_t capacity)
{
    if (length == 0)
        return 0;
    int count = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char *>(text),
                                    static_cast<int>(length), units, static_cast<int>(capacity));
    return count > 0 ? static_cast<size_t>(count) : 0;
}

// How many of the first `length` bytes of UTF-8 text to take as a piece:
// at most PRINTED_PIECE (each gives at most one unit), ending where a
// character does.
size_t utf8_piece(const unsigned char *text, size_t length)
{
    if (length <= PRINTED_PIECE)
        return length;
    size_t end = PRINTED_PIECE;
    while (end > PRINTED_PIECE - 4 && (text[end] & 0xC0) == 0x80)
        --end;
    return end;
}

// How many of the first `count` units of UTF-16LE text to take as a piece:
// at most PRINTED_PIECE, a surrogate pair kept whole.
size_t utf16_piece(const unsigned char *text, size_t count)
{
    if (count <= PRINTED_PIECE)
        return count;
    unsigned last = text[2 * (PRINTED_PIECE - 1)] | text[2 * (PRINTED_PIECE - 1) + 1] << 8;
    return last >= 0xD800 && last <= 0xDBFF ? PRINTED_PIECE - 1 : PRINTED_PIECE;
}

// Unicode text in the ANSI code page, every character it lacks as '?',
// never a look-alike, and each control character escaped.
void print_units(const wchar_t *units, size_t count)
{
    UINT code_page = GetACP();
    bool utf8 = code_page == CP_UTF8;
    size_t from = 0;
    for (size_t at = 0; at <= count; ++at) {
        bool control = at < count && is_control(static_cast<unsigned>(units[at]));
        if (at < count && !control)
            continue;
        char converted[PRINTED_PIECE * 4];
        int written =
            at == from ? 0
                       : WideCharToMultiByte(code_page, utf8 ? 0 : WC_NO_BEST_FIT_CHARS,
                                             units + from, static_cast<int>(at - from), converted,
                                             sizeof converted, utf8 ? nullptr : "?", nullptr);
        (void)fwrite(converted, 1, written > 0 ? static_cast<size_t>(written) : 0, stdout);
        if (control)
            (void)printf("\\x%02X", static_cast<unsigned>(units[at]));
        from = at + 1;
    }
}

} // namespace

void prepare_process()
{
    // Text mode is the runtime's default for standard output; it is set here
    // so that no start-up option can change how lines end. Should it fail,
    // the output is still written, with LF line ends.
    _setmode(_fileno(stdout), _O_TEXT);
}

bool is_switch_start(char c)
{
    return c == '-' || c == '/';
}

bool argument_is_exact(int index)
{
    int count = 0;
    wchar_t **arguments = wide_arguments(&count);
    // Split differently, the two lines cannot be matched argument by
    // argument: a look-alike quote or blank has changed the split.
    if (arguments == nullptr || count != __argc || index >= count)
        return false;
    char held[MAX_PATH + 1];
    return to_ansi_exactly(arguments[index], held, sizeof held) && strcmp(held, __argv[index]) == 0;
}

typed_line read_console_line(char *path, size_t capacity)
{
    HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(console, &mode))
        return TYPED_LINE_NOT_CONSOLE;
    wchar_t line[MAX_PATH + 1];
    path[0] = '\0';
    typed_line read = read_console_units(console, line, sizeof line / sizeof line[0]);
    if (read != TYPED_LINE_READ)
        return read;
    if (to_ansi_exactly(line, path, static_cast<int>(capacity)))
        return TYPED_LINE_READ;
    // Too long for the buffer, or a character the code page lacks.
    path[0] = '\0';
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? TYPED_LINE_TOO_LONG : TYPED_LINE_NOT_EXACT;
}

FILE *open_input(const char *path, bool regular_only)
{
    // Others may read it, and move it (the backup is such a move), but not
    // write it; a directory does not open without backup semantics.
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    if (regular_only && GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return nullptr;
    }
    return stream_over(handle, _O_RDONLY, "rb");
}

backup_result make_backup(FILE *input, const char *path, const char *backup)
{
    // Taken before the move: an open handle may not tell its volume once its
    // file has moved.
    file_identity opened{};
    if (!identify(handle_of(input), &opened))
        return BACKUP_FAILED;
    if (!MoveFileExA(path, backup, 0)) {
        DWORD error = GetLastError();
        return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? BACKUP_EXISTS
                                                                           : BACKUP_FAILED;
    }
    file_identity moved{};
    if (!identify_path(backup, true, &moved) || !same_file(opened, moved))
        return BACKUP_FAILED;
    return BACKUP_MADE;
}

bool open_output(const char *path, FILE * /* input: refused by its share mode */, bool create_new,
                 output_file *output)
{
    *output = {nullptr, -1, false, false};
    HANDLE handle =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, create_new ? CREATE_NEW : OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool created = create_new || GetLastError() != ERROR_ALREADY_EXISTS;
    output->is_regular = GetFileType(handle) == FILE_TYPE_DISK;
    LARGE_INTEGER size{};
    bool usable = !output->is_regular || GetFileSizeEx(handle, &size);
    bool emptied = usable && output->is_regular && size.QuadPart > 0;
    if (emptied)
        usable = SetEndOfFile(handle) != 0; // the position is at the start
    output->made = output->is_regular && (created || emptied);
    HANDLE spare = INVALID_HANDLE_VALUE;
    if (usable && !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &spare, 0,
                                   FALSE, DUPLICATE_SAME_ACCESS))
        usable = false;
    if (!usable) {
        CloseHandle(handle);
        return false;
    }
    output->spare = _open_osfhandle(reinterpret_cast<intptr_t>(spare), _O_WRONLY | _O_BINARY);
    if (output->spare < 0) {
        CloseHandle(spare);
        CloseHandle(handle);
        return false;
    }
    output->stream = stream_over(handle, _O_WRONLY, "wb");
    if (output->stream != nullptr) {
        // Written in few large pieces, each of which costs a call into the
        // system. Refused, the stream keeps its smaller buffer: slower, not
        // wrong.
        static char buffer[size_t{256} * 1024];
        (void)setvbuf(output->stream, buffer, _IOFBF, sizeof buffer);
        return true;
    }
    _close(output->spare);
    return false;
}

void discard_written(const output_file &output, const char *path)
{
    HANDLE spare = reinterpret_cast<HANDLE>(_get_osfhandle(output.spare));
    LARGE_INTEGER start{};
    if (output.is_regular && SetFilePointerEx(spare, start, nullptr, FILE_BEGIN))
        (void)SetEndOfFile(spare);
    file_identity opened{};
    file_identity named{};
    bool same =
        identify(spare, &opened) && identify_path(path, false, &named) && same_file(opened, named);
    // The file was opened sharing nothing: its name can go only once closed.
    _close(output.spare);
    if (output.made && same)
        (void)DeleteFileA(path);
}

bool end_output_here(FILE *stream)
{
    int64_t end = _ftelli64(stream);
    if (fflush(stream) != 0 || end < 0)
        return false;
    return _filelengthi64(_fileno(stream)) == end || _chsize_s(_fileno(stream), end) == 0;
}

void close_spare(const output_file &output)
{
    _close(output.spare);
}

int64_t input_size(FILE *in)
{
    HANDLE handle = handle_of(in);
    LARGE_INTEGER size{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size))
        return -1;
    return size.QuadPart;
}

void print_file_text(const unsigned char *text, size_t length, bool wide, text_encoding encoding)
{
    if (!wide && encoding != ENCODING_UTF8) {
        print_code_page_text(text, length);
        return;
    }
    wchar_t units[PRINTED_PIECE];
    size_t at = 0;
    size_t end = wide ? length / 2 * 2 : length;
    while (at < end) {
        size_t taken =
            wide ? 2 * utf16_piece(text + at, (end - at) / 2) : utf8_piece(text + at, end - at);
        size_t count = wide ? taken / 2 : utf8_to_units(text + at, taken, units, PRINTED_PIECE);
        for (size_t index = 0; wide && index < count; ++index)
            units[index] =
                static_cast<wchar_t>(text[at + 2 * index] | text[at + 2 * index + 1] << 8);
        print_units(units, count);
        at += taken;
    }
}

rewrite_result copy_to_end(FILE *in, FILE *out)
{
    return copy_rest(in, out);
}
