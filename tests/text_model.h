// A second, plain reading of the rules of a text file's copy, written from
// their description over whole byte arrays, independent of the copy that
// reads lines from a block: what the copy of a given AviUtl2 file or object
// file must be. The tests and the fuzz target check copies with it.
#pragma once

#include "layout_model.h"

struct model_text_copy {
    bytes copy;
    bool all_rewritten; // false: a long line that may name a file was left as it stands
};

// The copy of `file`, an AviUtl2 file (`aviutl2`) or an object file.
model_text_copy model_copy_text(const bytes &file, bool aviutl2);

// Whether an object file is read as GBK: an effect named with the Chinese
// build's name on a line that ends within the file's first 256 KiB.
bool model_reads_gbk(const bytes &file);
