// The anonymised copy of a project file, written front to back.
//
// The header is read byte by byte: it is small, and its bytes decide what
// the copy holds. The ops that unpack to the path are planned from the bytes
// that hold them. The rest is copied unchanged, in blocks.
#include "plain_copy.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char BLANK_FIELD[BLANK_FIELD_LENGTH] = {};

// What the blanked path unpacks from: a literal of one zero byte, then a run
// of 259 zeros.
constexpr unsigned char BLANK_NAME_OPS[] = {0x01, 0x00, 0x80, 0x03, 0x01, 0x00, 0x00};

// An op's header byte: the top bit tells a run from a literal, the low seven
// bits hold a short count, or zero when three count bytes follow.
constexpr unsigned RUN_BIT = 0x80;
constexpr long SHORT_COUNT_MASK = 0x7F;
constexpr size_t LONG_COUNT_BYTES = 3;

// The bytes of a record after its count byte, besides the counted ones: the
// header and three count bytes of the run that follows the literal.
constexpr long RECORD_TAIL_LENGTH = 4;

rewrite_result copy_header(const input_start &start, FILE *in, FILE *out, bool *has_signature)
{
    *has_signature = true;
    for (long offset = 0; offset < HEADER_LENGTH; ++offset) {
        size_t index = static_cast<size_t>(offset);
        int byte = index < start.length ? start.bytes[index] : getc(in);
        if (byte == EOF)
            return ferror(in) ? REWRITE_READ_FAILED : REWRITE_NOT_PROJECT;
        if (putc(byte, out) == EOF)
            return REWRITE_WRITE_FAILED;
        if (offset < SIGNATURE_LENGTH && byte != static_cast<unsigned char>(SIGNATURE[offset]))
            *has_signature = false;
    }
    return REWRITE_DONE;
}

rewrite_result write_bytes(FILE *out, const unsigned char *bytes, size_t length)
{
    return fwrite(bytes, 1, length, out) == length ? REWRITE_DONE : REWRITE_WRITE_FAILED;
}

void add_bytes(name_blanking *blanking, const unsigned char *bytes, size_t length)
{
    memcpy(blanking->bytes + blanking->length, bytes, length);
    blanking->length += length;
}

// Adds the header of an op of `count` unpacked bytes, in its short form when
// the count fits seven bits.
void add_op_header(name_blanking *blanking, bool is_run, long count)
{
    unsigned char kind = is_run ? RUN_BIT : 0;
    if (count <= SHORT_COUNT_MASK) {
        unsigned char header = static_cast<unsigned char>(kind | count);
        add_bytes(blanking, &header, 1);
        return;
    }
    unsigned char header[] = {kind, static_cast<unsigned char>(count & 0xFF),
                              static_cast<unsigned char>((count >> 8) & 0xFF),
                              static_cast<unsigned char>((count >> 16) & 0xFF)};
    add_bytes(blanking, header, sizeof header);
}

// An op that unpacks to part of the path, as read from the bytes at `at`.
struct name_op {
    bool is_run;
    long count;          // unpacked bytes
    unsigned char value; // a run's byte
    size_t end;          // where its header and payload end, or would
};

// Reads the op at `at`; false when the bytes end inside its header.
bool read_name_op(const unsigned char *ops, size_t length, size_t at, name_op *op)
{
    if (at >= length)
        return false;
    unsigned header = ops[at++];
    op->is_run = (header & RUN_BIT) != 0;
    op->count = static_cast<long>(header & SHORT_COUNT_MASK);
    if (op->count == 0) {
        if (at + LONG_COUNT_BYTES > length)
            return false;
        for (size_t index = 0; index < LONG_COUNT_BYTES; ++index)
            op->count |= static_cast<long>(ops[at + index]) << (8 * index);
        at += LONG_COUNT_BYTES;
    }
    if (op->is_run && at >= length)
        return false;
    op->value = op->is_run ? ops[at] : 0;
    op->end = at + (op->is_run ? 1 : static_cast<size_t>(op->count));
    return true;
}

// The stream rule: the ops that unpack to the path give way to ops of 260
// zeros, and the part of the last op that lies past the path is kept as an op
// of its own, a literal's bytes copied from where they stand.
name_blanking stream_rule_blanking(const name_op &last, long excess, size_t last_end)
{
    name_blanking blanking{{}, 0, static_cast<long>(last_end), static_cast<long>(last_end)};
    add_bytes(&blanking, BLANK_NAME_OPS, sizeof BLANK_NAME_OPS);
    if (excess == 0)
        return blanking;
    add_op_header(&blanking, last.is_run, excess);
    if (last.is_run)
        add_bytes(&blanking, &last.value, 1);
    else
        blanking.resume = static_cast<long>(last_end) - excess;
    return blanking;
}

} // namespace

name_blanking byte_rule_blanking(const unsigned char *ops, size_t length)
{
    // The record is taken to be a literal of `count` bytes followed by a long
    // run, and the copy goes on from the run's byte; for a file that ends at
    // RECORD_OFFSET, from there.
    name_blanking blanking{{}, 0, 0, 0};
    add_bytes(&blanking, REPLACEMENT_RECORD, sizeof REPLACEMENT_RECORD);
    if (length > 0)
        blanking.resume = 1 + ops[0] + RECORD_TAIL_LENGTH;
    return blanking;
}

name_blanking plan_name_blanking(const unsigned char *ops, size_t length, bool has_signature)
{
    if (length == 0 || !has_signature)
        return byte_rule_blanking(ops, length);
    long unpacked = 0;
    size_t at = 0;
    for (int index = 0;; ++index) {
        name_op op{};
        if (!read_name_op(ops, length, at, &op))
            return byte_rule_blanking(ops, length); // cut before the path ends
        long needed = PACKED_NAME_LENGTH - unpacked;
        long excess = op.count > needed ? op.count - needed : 0;
        // A literal's part of the path must be there; what lies past the
        // path is the rest of the file's, checked against its end.
        if (!op.is_run && op.end - static_cast<size_t>(excess) > length)
            return byte_rule_blanking(ops, length);
        unpacked += op.count;
        if (unpacked < PACKED_NAME_LENGTH) {
            at = op.end;
            continue;
        }
        // A short literal, then a long run ending the path: the byte rule
        // gives the same copy.
        bool short_shape = index == 1 && ops[0] != 0 && (ops[0] & RUN_BIT) == 0 &&
                           ops[at] == RUN_BIT && excess == 0;
        if (short_shape)
            return byte_rule_blanking(ops, length);
        return stream_rule_blanking(op, excess, op.end);
    }
}

rewrite_result write_header(FILE *out, const unsigned char *header)
{
    rewrite_result result = write_bytes(out, header, HEADER_LENGTH);
    return result == REWRITE_DONE ? write_bytes(out, BLANK_FIELD, sizeof BLANK_FIELD) : result;
}

rewrite_result rewrite_record(FILE *in, FILE *out, bool has_signature)
{
    if (fseek(in, RECORD_OFFSET, SEEK_SET) != 0)
        return REWRITE_NOT_PROJECT;
    unsigned char ops[NAME_OPS_SPAN];
    size_t length = fread(ops, 1, sizeof ops, in);
    if (ferror(in))
        return REWRITE_READ_FAILED;
    name_blanking blanking = plan_name_blanking(ops, length, has_signature);
    // A literal's bytes past the path must all be in the file.
    if (blanking.must_hold > static_cast<long>(length)) {
        clearerr(in);
        if (fseek(in, RECORD_OFFSET + blanking.must_hold - 1, SEEK_SET) != 0)
            return REWRITE_READ_FAILED;
        int last = getc(in);
        if (last == EOF && ferror(in))
            return REWRITE_READ_FAILED;
        if (last == EOF)
            blanking = byte_rule_blanking(ops, length);
    }
    clearerr(in);
    if (fseek(in, RECORD_OFFSET + blanking.resume, SEEK_SET) != 0)
        return REWRITE_READ_FAILED;
    return write_bytes(out, blanking.bytes, blanking.length);
}

rewrite_result rewrite_head(const input_start &start, FILE *in, FILE *out)
{
    bool has_signature = false;
    rewrite_result result = copy_header(start, in, out, &has_signature);
    if (result == REWRITE_DONE)
        result = write_bytes(out, BLANK_FIELD, sizeof BLANK_FIELD);
    return result == REWRITE_DONE ? rewrite_record(in, out, has_signature) : result;
}

rewrite_result copy_project_head(const input_start &start, FILE *in, FILE *out, bool /* rewinds */,
                                 media_report *report)
{
    *report = {true, true};
    return rewrite_head(start, in, out);
}

rewrite_result rewrite_project(const input_start &start, FILE *in, FILE *out)
{
    rewrite_result result = rewrite_head(start, in, out);
    return result == REWRITE_DONE ? copy_rest(in, out) : result;
}
