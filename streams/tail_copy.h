// The plain copy of what is left of an input: the part of every kind of
// file that no rule changes.
#pragma once

#include "copy_results.h"

#include <cstdio>

// Copies the input from where it stands to its end, in blocks.
rewrite_result copy_rest(FILE *in, FILE *out);
