// The anonymised copy of an AviUtl project file.
//
// A project file keeps the path it was last saved under in two places: a
// 260-byte field right after the 300-byte header, and the first 260 bytes
// that its packed stream unpacks to. The copy blanks both and keeps every
// other byte as it was. docs/format.md describes the layout.
#pragma once

#include "../streams/copy_results.h"
#include "../streams/input_block.h"
#include "../streams/tail_copy.h"

#include <cstdio>

// The layout by byte offset from the start of the file.
constexpr long HEADER_LENGTH = 300;                                // copied unchanged
constexpr long BLANK_FIELD_LENGTH = 260;                           // written as zeros
constexpr long RECORD_OFFSET = HEADER_LENGTH + BLANK_FIELD_LENGTH; // the packed stream

// What a file without the signature gets in place of the record at
// RECORD_OFFSET: a literal of one zero byte, then the header of a run of 259.
constexpr unsigned char REPLACEMENT_RECORD[] = {0x01, 0x00, 0x80, 0x03, 0x01, 0x00};

// The first bytes of a project file this tool knows the packed stream of:
// the text and its terminating zero.
constexpr char SIGNATURE[] = "AviUtl ProjectFile version 0.18";
constexpr long SIGNATURE_LENGTH = sizeof SIGNATURE;

// How many unpacked bytes at the start of the packed stream hold the path.
constexpr long PACKED_NAME_LENGTH = 260;

// Writes the anonymised copy of `in` to `out`: rewrite_head, then copy_rest.
// Both streams must be open in binary mode, `in` just after `start`; they
// stay open.
rewrite_result rewrite_project(const input_start &start, FILE *in, FILE *out);

// Writes the changed head of the copy: the header, the blank field and the
// blanked start of the packed stream. On REWRITE_DONE the input is left
// where the unchanged rest of the file begins.
rewrite_result rewrite_head(const input_start &start, FILE *in, FILE *out);

// rewrite_head as each kind's copy is made: it never goes back in the
// output, and its report says nothing that its result does not.
rewrite_result copy_project_head(const input_start &start, FILE *in, FILE *out, bool rewinds,
                                 media_report *report);

// The parts of rewrite_head, for a copy that changes its header: writing the
// given HEADER_LENGTH bytes of header and the blank field, and the copy from
// RECORD_OFFSET on of a file that has (or has not) the signature.
rewrite_result write_header(FILE *out, const unsigned char *header);
rewrite_result rewrite_record(FILE *in, FILE *out, bool has_signature);

// What the copy writes in place of the ops at RECORD_OFFSET that unpack to
// the path, and where, counted from RECORD_OFFSET, the copy of the input
// goes on after them.
struct name_blanking {
    unsigned char bytes[12];
    size_t length;
    long resume;
    long must_hold; // the stream rule holds only for a file that reaches here
};

// How many bytes from RECORD_OFFSET on always hold the ops that unpack to
// the path, but for the payload of the last of them.
constexpr size_t NAME_OPS_SPAN = 2048;

// Plans the blanking from the first `length` bytes from RECORD_OFFSET (at
// most NAME_OPS_SPAN; fewer only when the file ends there) of a file with or
// without the signature: the stream rule, or the byte rule for a file
// without the signature, ops cut short, or the short shape. When the file
// does not reach `must_hold`, byte_rule_blanking is the plan instead.
name_blanking plan_name_blanking(const unsigned char *ops, size_t length, bool has_signature);
name_blanking byte_rule_blanking(const unsigned char *ops, size_t length);
