// The listing of every absolute path a project file holds, in file order:
// each section is searched as far as its layout can be followed, field by
// field, and the rest of it as the bytes it unpacks to; where even its ops
// cannot be read, the rest of the file as raw bytes.
#pragma once

#include "../path_rules/path_scan.h"
#include "../streams/input_block.h"

#include <cstdio>

// Lists the paths of the file open as `in`, just after `start`, through
// `listing`. It is read once, front to back: a pipe is listed as a file is.
list_result list_paths(const input_start &start, FILE *in, path_listing listing);
