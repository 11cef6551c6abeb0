// A second, plain reading of which paths a listing finds, written from the
// rule's description and independent of the scanner: position by position,
// every reading of each text, one path at a time.
#pragma once

#include "media_model.h"

#include <vector>

// The paths a listing must find in a file, in the order they begin: every
// field's text and old bytes, each stretch of bytes between fields, and
// each section, each a text of its own; a file that does not split into
// sections as one text. Each path as the file holds it (UTF-16LE in the wide
// readings, Lua-escaped in script parameters).
std::vector<bytes> paths_in(const bytes &file);
