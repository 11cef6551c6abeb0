// A second, plain reading of the whole project file over byte arrays,
// independent of the walkers: its sections split apart, where its text
// fields lie, and what a copy with the media folders blanked may change.
// The tests and the fuzz target check copies with it.
#pragma once

#include "layout_model.h"

#include <string>
#include <vector>

// A stretch of the file: raw bytes, or a packed stream and what it unpacks to.
struct model_section {
    size_t begin; // in the file
    size_t end;
    bool packed;
    bytes data; // unpacked, for a packed section
    enum { RAW, HANDLE, TIMELINE, OTHER } kind;
    bool gbk; // a timeline record of the Chinese build, its text GBK
};

// Splits a file into its sections; false when it does not hold them all.
bool split_project(const bytes &file, std::vector<model_section> *sections);

// A text field in a section's unpacked bytes (or in the raw header).
struct model_field {
    enum { TEXT, WIDE_TEXT, PATH, SCRIPT } kind; // WIDE_TEXT: UTF-16LE
    size_t offset;
    size_t size;
    long object; // the timeline object it belongs to, or -1
    long effect; // the effect-type index whose extra data holds it, or -1
};

// The text fields of a handle's or a timeline record's unpacked bytes, as
// far as its layout (the current or the older one) can be followed.
std::vector<model_field> handle_fields();
std::vector<model_field> timeline_fields(const bytes &record);

// Checks a copy made with the media folders blanked against the original:
// outside the text fields every section is the anonymised copy's, a changed
// section unpacks to as many bytes as the original's, and in a changed
// section every field is blank after its terminator and every path field
// holds no folder. Empty when it holds, or what is wrong.
std::string check_media_copy(const bytes &original, const bytes &copy);

// A timeline plugin's backup: its 36-byte header and its record as it
// stands, the size there the rest of the file's. Its copy with the media
// folders blanked has the same length and header, and a record blanked as a
// project file's is.
bool is_backup(const bytes &file);

// Whether a backup's record is the Chinese build's, its text GBK: in the
// current layout, its first effect type is named 视频文件 in GBK within the
// backup's first 256 KiB.
bool backup_is_gbk(const bytes &backup);
std::string check_backup_copy(const bytes &original, const bytes &copy);

// What is wrong with a record a copy has blanked, or empty: a field of it
// holds old bytes, a path field a folder, or script parameters a quoted path
// with its folders.
std::string check_blanked_record(const bytes &record, bool gbk);

// What the files' packer makes of `content`, read plainly from its
// description: a changed stream is packed so. With a `shortest_run` longer
// than four, shorter runs stay in the literals, as that packer never leaves
// them: a stream another program might write.
bytes pack_greedily(const bytes &content, size_t shortest_run = 4);

// A file's first timeline record (a RAW section when it has none), its
// unpacked bytes, and the file with them replaced (packed plainly, or as
// the files are, its size the new record's), for planting text in a real
// file.
model_section timeline_section(const bytes &file);
bytes timeline_of(const bytes &file);
bytes with_timeline(const bytes &file, const bytes &record, bool greedily = false);
// The same with the record's ops given.
bytes with_timeline(const bytes &file, const bytes &record, const bytes &packed);

// A packed stream of `content`, plainly: one literal op per 100 bytes.
bytes pack_plainly(const bytes &content);
