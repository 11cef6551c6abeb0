// Windows: every file is named through the system's UTF-16 calls, so that a
// path is used exactly as given, whatever the ANSI code page holds; share
// modes keep one file from being both input and output, and the system's
// own move makes the backup.
#include "platform.h"

#include "../streams/tail_copy.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

// The C runtime would otherwise expand wildcards in the arguments; paths are
// taken as they are given.
extern "C" {
int _dowildcard = 0;
}

// The runtime's own split of the wide command line, by the rules that split
// the 8-bit one.
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
bool identify_path(const wchar_t *path, bool follow, file_identity *identity)
{
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle = CreateFileW(path, FILE_READ_ATTRIBUTES,
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

bool is_high_surrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool is_low_surrogate(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
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

// Reads a line of redirected input as bytes in the ANSI code page into
// `path`, converted to UTF-16 only where that is exact. Its line end is LF
// or CR LF.
typed_line read_redirected_line(wchar_t *path)
{
    // Room for every byte of the longest path, in any code page.
    char line[PATH_CAPACITY * 4];
    path[0] = L'\0';
    typed_line read = read_byte_line(stdin, line, sizeof line);
    if (read != TYPED_LINE_READ || line[0] == '\0')
        return read;
    int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, line, -1, path,
                                    static_cast<int>(PATH_CAPACITY));
    if (units > 0)
        return TYPED_LINE_READ;
    path[0] = L'\0';
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? TYPED_LINE_TOO_LONG : TYPED_LINE_NOT_EXACT;
}

} // namespace

void prepare_process()
{
    // Text mode is the runtime's default for standard output; it is set here
    // so that no start-up option can change how lines end. Should it fail,
    // the output is still written, with LF line ends.
    _setmode(_fileno(stdout), _O_TEXT);
}

path_char **program_arguments(int /* argc */, char ** /* argv: in the ANSI code page */, int *count)
{
    wchar_t **arguments = nullptr;
    wchar_t **environment = nullptr;
    _startupinfo info{0};
    if (__wgetmainargs(count, &arguments, &environment, 0, &info) != 0)
        return nullptr;
    return arguments;
}

bool is_switch_start(path_char c)
{
    return c == L'-' || c == L'/';
}

bool path_is_exact(const path_char *path)
{
    for (const wchar_t *unit = path; *unit != L'\0'; ++unit) {
        if (is_high_surrogate(*unit) && is_low_surrogate(unit[1]))
            ++unit;
        else if (is_high_surrogate(*unit) || is_low_surrogate(*unit))
            return false;
    }
    return true;
}

typed_line read_typed_line(path_char *path)
{
    HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(console, &mode))
        return read_redirected_line(path);
    typed_line read = read_console_units(console, path, PATH_CAPACITY);
    if (read == TYPED_LINE_READ && !path_is_exact(path))
        read = TYPED_LINE_NOT_EXACT;
    if (read != TYPED_LINE_READ)
        path[0] = L'\0';
    return read;
}

FILE *open_input(const path_char *path, bool regular_only)
{
    // Others may read it, and move it (the backup is such a move), but not
    // write it; a directory does not open without backup semantics.
    HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    if (regular_only && GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return nullptr;
    }
    return stream_over(handle, _O_RDONLY, "rb");
}

backup_result make_backup(FILE *input, const path_char *path, const path_char *backup)
{
    // Taken before the move: an open handle may not tell its volume once its
    // file has moved.
    file_identity opened{};
    if (!identify(handle_of(input), &opened))
        return BACKUP_FAILED;
    if (!MoveFileExW(path, backup, 0)) {
        DWORD error = GetLastError();
        return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? BACKUP_EXISTS
                                                                           : BACKUP_FAILED;
    }
    file_identity moved{};
    if (!identify_path(backup, true, &moved) || !same_file(opened, moved))
        return BACKUP_FAILED;
    return BACKUP_MADE;
}

bool open_output(const path_char *path, FILE * /* input: refused by its share mode */,
                 bool create_new, output_file *output)
{
    *output = {nullptr, -1, false, false};
    HANDLE handle =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, create_new ? CREATE_NEW : OPEN_ALWAYS,
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

void discard_written(const output_file &output, const path_char *path)
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
        (void)DeleteFileW(path);
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

rewrite_result copy_to_end(FILE *in, FILE *out)
{
    return copy_rest(in, out);
}
