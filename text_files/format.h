// The INI-like text files AviUtl users share besides projects: AviUtl2's
// projects (.aup2) and aliases (.object, .effect), in UTF-8, and the object
// files (.exo, .exa) of the 1.x timeline plugin, in CP932. Every line is a
// `[section]` or a `key=value` setting; nothing counts lengths, so a value
// can change length freely.
#pragma once

#include "../code_pages/encoding.h"
#include "../streams/input_block.h"

#include <cstddef>

enum text_format {
    TEXT_NONE,        // not one of these files
    TEXT_AVIUTL2,     // an AviUtl2 project or alias
    TEXT_OBJECT_FILE, // an object file of the 1.x timeline plugin
};

// Which of these files begins with `bytes` (`length` of them; `whole` when
// they are the whole file), by its first line, after a UTF-8 byte order
// mark if any: `[project]`, `[Object]`, `[Object.N]`, `[Effect.N]` or `[N]`
// for AviUtl2; `[exedit]`, `[vo]`, `[ao]`, `[v]` or `[a]`, or one of these
// and `.N`, for an object file.
// The mark a UTF-8 file may begin with.
constexpr unsigned char BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};

text_format text_format_of(const unsigned char *bytes, size_t length, bool whole);

// Whether a file that begins with `start` is an AviUtl2 file, or an object
// file.
bool begins_aviutl2_file(const input_start &start);
bool begins_object_file(const input_start &start);

// Whether `text` of `length` bytes is `word`; whether it is ASCII digits,
// at least one, as section numbers are.
bool is_word(const unsigned char *text, size_t length, const char *word);
bool is_digits(const unsigned char *text, size_t length);

// The encoding of a text file of `format` that begins with `bytes` (as many
// as its reader holds at its start; `whole` when they are the whole file).
// AviUtl2 files are UTF-8. Object files are CP932, the Japanese build's,
// but for the Chinese build's, which are GBK: told by an effect named with
// one of that build's names (`_name=视频文件`) on a line that lies whole
// in `bytes`.
text_encoding encoding_of(text_format format, const unsigned char *bytes, size_t length,
                          bool whole);
