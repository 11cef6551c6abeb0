// The listing of every absolute path a text file holds, in file order, each
// with its place: the section as the editor names it, and the setting's key.
#pragma once

#include "../path_rules/path_scan.h"
#include "../streams/input_block.h"
#include "format.h"

#include <cstdio>

// Lists the paths of the text file open as `in`, just after `start`,
// through `listing`, reading it once, front to back. Text settings are
// listed too: an object file's `text=`, hex of UTF-16LE text, up to its
// first 0; AviUtl2's with their escapes undone. LIST_DONE, or
// LIST_READ_FAILED.
list_result list_text_file(const input_start &start, FILE *in, text_format format,
                           path_listing listing);

// The listing of an AviUtl2 file, and of an object file, as each kind's
// listing is made.
list_result list_aviutl2_file(const input_start &start, FILE *in, path_listing listing);
list_result list_object_file(const input_start &start, FILE *in, path_listing listing);
