// The paths the program is given, as each system names its files: 8-bit
// text on Linux; on Windows UTF-16, whose file calls take every name the
// system can hold, with nothing converted on the way. A path's length is
// counted in these units; one that does not fit its buffer is refused,
// never cut.
#pragma once

#include <cstddef>
#include <cstring>
#include <cwchar>

#ifdef _WIN32
using path_char = wchar_t;
#else
using path_char = char;
#endif

// Room for a path and its terminating zero, in units.
constexpr size_t PATH_CAPACITY = 260;

inline size_t path_length(const char *path)
{
    return strlen(path);
}

inline size_t path_length(const wchar_t *path)
{
    return wcslen(path);
}

// Copies `path` into a path buffer; false, leaving the buffer empty, when
// it does not fit.
inline bool copy_path(path_char *buffer, const path_char *path)
{
    size_t length = path_length(path);
    if (length >= PATH_CAPACITY) {
        buffer[0] = 0;
        return false;
    }
    memcpy(buffer, path, (length + 1) * sizeof *path);
    return true;
}

// Appends the ASCII text `suffix` to the path in a buffer; false, leaving
// it as it was, when the two do not fit.
inline bool append_to_path(path_char *buffer, const char *suffix)
{
    size_t length = path_length(buffer);
    size_t added = strlen(suffix);
    if (length + added >= PATH_CAPACITY)
        return false;
    for (size_t index = 0; index <= added; ++index)
        buffer[length + index] = static_cast<path_char>(suffix[index]);
    return true;
}
