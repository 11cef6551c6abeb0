// Reading the two-byte code pages of the files' text (CP932, and GBK from
// the Chinese build) by characters, for printing it as Unicode.
#pragma once

#include <cstddef>

// The Unicode character at the start of `text` (`length` bytes, at least
// one), and in `width` how many bytes it takes. A byte or pair with no
// character gives U+FFFD.
unsigned decode_cp932(const unsigned char *text, size_t length, size_t *width);
unsigned decode_gbk(const unsigned char *text, size_t length, size_t *width);
