// The INI-like text files AviUtl users share besides projects: AviUtl2's
// projects (.aup2) and aliases (.object, .effect), in UTF-8, and the object
// files (.exo, .exa) of the 1.x timeline plugin, in CP932. Every line is a
// `[section]` or a `key=value` setting; nothing counts lengths, so a value
// can change length freely.
#pragma once

#include "../path_rules/encoding.h"

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

text_encoding encoding_of(text_format format);
