// The listing of every absolute path a text file holds, in file order, each
// with its place: the section as the editor names it, and the setting's key.
#pragma once

#include "../path_rules/path_scan.h"
#include "../project/input.h"
#include "format.h"

#include <cstdio>

enum text_list_result {
    TEXT_LISTED,
    TEXT_LIST_READ_FAILED,
};

// Lists the paths of the text file open as `in`, just after `start`,
// through `listing`, reading it once, front to back. Text settings are
// listed too: an object file's `text=`, hex of UTF-16LE text, up to its
// first 0.
text_list_result list_text_file(const input_start &start, FILE *in, text_format format,
                                path_listing listing);
