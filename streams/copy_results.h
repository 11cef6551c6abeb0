// What a copy of any kind of file ends with, and what it found of the file.
#pragma once

enum rewrite_result {
    REWRITE_DONE,        // the copy is complete
    REWRITE_NOT_PROJECT, // too short for a project file, or not seekable: copied as far as it goes
    REWRITE_READ_FAILED, // the input reported an error other than its end
    REWRITE_WRITE_FAILED // the output refused a byte
};

// What a copy found of the file, for the run to report.
struct media_report {
    bool has_signature; // the file is what its kind expects; without it, the plain copy alone
    bool all_blanked;   // every part that may name a file was followed and rewritten
};
