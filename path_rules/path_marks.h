// The marks of a path: every path holds a ':' (after a drive letter) or a
// '\' (a separator, or the start of a share), so the scanner looks only
// around them, and a text with neither holds no path.
#pragma once

#include <cstddef>

// Where the first ':' or '\' lies in `length` bytes, or `length` when
// neither is there. Most bytes are neither: the search reads many at a time.
size_t find_mark(const unsigned char *bytes, size_t length);
