// Reading the files' text by characters, for printing it as Unicode: the
// two-byte code pages (CP932, and GBK from the Chinese build) and UTF-8.
#pragma once

#include "encoding.h"

#include <cstddef>

// What stands for a byte or pair that is no character.
constexpr unsigned REPLACEMENT_CHARACTER = 0xFFFD;

// The Unicode character at the start of `text` (`length` bytes, at least
// one), and in `width` how many bytes it takes. A byte or pair with no
// character gives U+FFFD.
unsigned decode_cp932(const unsigned char *text, size_t length, size_t *width);
unsigned decode_gbk(const unsigned char *text, size_t length, size_t *width);
unsigned decode_utf8(const unsigned char *text, size_t length, size_t *width);

// The same, for text in `encoding`.
unsigned decode_character(const unsigned char *text, size_t length, text_encoding encoding,
                          size_t *width);
