// The anonymised copy of a project file, written front to back.
//
// The head is read byte by byte: it is small, and its bytes decide what the
// copy holds. The rest is copied unchanged, in blocks.
#include "rewrite.h"

namespace {

constexpr unsigned char BLANK_FIELD[BLANK_FIELD_LENGTH] = {};

// What the blanked path unpacks from: a literal of one zero byte, then a run
// of 259 zeros.
constexpr unsigned char BLANK_NAME_OPS[] = {0x01, 0x00, 0x80, 0x03, 0x01, 0x00, 0x00};

// An op's header byte: the top bit tells a run from a literal, the low seven
// bits hold a short count, or zero when three count bytes follow.
constexpr int RUN_BIT = 0x80;
constexpr long SHORT_COUNT_MASK = 0x7F;
constexpr int LONG_COUNT_BYTES = 3;

// The bytes of a record after its count byte, besides the counted ones: the
// header and three count bytes of the run that follows the literal.
constexpr long RECORD_TAIL_LENGTH = 4;

constexpr size_t COPY_BLOCK_SIZE = size_t{64} * 1024;

// Reading the ops that unpack to the path either completes, meets the end of
// the input first (the file is cut), or meets a read error.
enum decode_result { DECODED, DECODE_CUT, DECODE_FAILED };

struct packed_op {
    int header;
    bool is_run;
    long count; // unpacked bytes
    int value;  // a run's byte
};

// The ops that unpack to the path, as far as the copy needs them.
struct name_ops {
    packed_op last;   // the op that reaches the end of the path
    long excess;      // how many of its unpacked bytes lie past the path
    bool short_shape; // a short literal, then a long run ending the path
};

decode_result next_byte(FILE *in, int *byte)
{
    *byte = getc(in);
    if (*byte != EOF)
        return DECODED;
    return ferror(in) ? DECODE_FAILED : DECODE_CUT;
}

rewrite_result copy_header(FILE *in, FILE *out, bool *has_signature)
{
    *has_signature = true;
    for (long offset = 0; offset < HEADER_LENGTH; ++offset) {
        int byte = getc(in);
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

// The byte rule: the record at RECORD_OFFSET is taken to be a literal of
// `count` bytes followed by a long run, and is replaced by REPLACEMENT_RECORD;
// the copy goes on from the run's byte. `count` is EOF for a file that ends
// at RECORD_OFFSET.
rewrite_result replace_record(FILE *in, FILE *out, int count)
{
    if (count != EOF) {
        long rest = RECORD_OFFSET + 1 + count + RECORD_TAIL_LENGTH;
        clearerr(in);
        if (fseek(in, rest, SEEK_SET) != 0)
            return REWRITE_READ_FAILED;
    }
    return write_bytes(out, REPLACEMENT_RECORD, sizeof REPLACEMENT_RECORD);
}

// Reads an op from its header byte on: the long count, and a run's byte.
decode_result read_op(FILE *in, int header, packed_op *op)
{
    op->header = header;
    op->is_run = (header & RUN_BIT) != 0;
    op->count = header & SHORT_COUNT_MASK;
    op->value = 0;
    decode_result result = DECODED;
    int count_bytes = op->count == 0 ? LONG_COUNT_BYTES : 0;
    for (int index = 0; index < count_bytes; ++index) {
        int byte = 0;
        result = next_byte(in, &byte);
        if (result != DECODED)
            return result;
        op->count |= static_cast<long>(byte) << (8 * index);
    }
    if (op->is_run)
        result = next_byte(in, &op->value);
    return result;
}

// Passes over the part of a literal that belongs to the path, and makes sure
// the `excess` bytes after it are all there, leaving the input before them.
decode_result skip_literal(FILE *in, long name_part, long excess)
{
    int byte = 0;
    for (long index = 0; index < name_part; ++index) {
        decode_result result = next_byte(in, &byte);
        if (result != DECODED)
            return result;
    }
    if (excess == 0)
        return DECODED;
    if (fseek(in, excess - 1, SEEK_CUR) != 0)
        return DECODE_FAILED;
    decode_result result = next_byte(in, &byte);
    if (result != DECODED)
        return result;
    return fseek(in, -excess, SEEK_CUR) == 0 ? DECODED : DECODE_FAILED;
}

// Reads the op whose header byte is `header`, passing over the part of a
// literal that belongs to the path; `needed` bytes of the path are to come.
decode_result read_name_op(FILE *in, int header, long needed, packed_op *op, long *excess)
{
    decode_result result = read_op(in, header, op);
    if (result != DECODED)
        return result;
    *excess = op->count > needed ? op->count - needed : 0;
    return op->is_run ? DECODED : skip_literal(in, op->count - *excess, *excess);
}

bool is_short_literal(int header)
{
    return header != 0 && (header & RUN_BIT) == 0;
}

// Reads the ops from RECORD_OFFSET until they cover the path; `first` is the
// header byte of the first, already read.
decode_result read_name_ops(FILE *in, int first, name_ops *ops)
{
    long unpacked = 0;
    int header = first;
    for (int index = 0;; ++index) {
        decode_result result = index == 0 ? DECODED : next_byte(in, &header);
        packed_op op{};
        long excess = 0;
        if (result == DECODED)
            result = read_name_op(in, header, PACKED_NAME_LENGTH - unpacked, &op, &excess);
        if (result != DECODED)
            return result;
        unpacked += op.count;
        if (unpacked >= PACKED_NAME_LENGTH) {
            bool short_shape =
                index == 1 && is_short_literal(first) && header == RUN_BIT && excess == 0;
            *ops = {op, excess, short_shape};
            return DECODED;
        }
    }
}

// Writes the header of an op of `count` unpacked bytes, in its short form
// when the count fits seven bits.
rewrite_result write_op_header(FILE *out, bool is_run, long count)
{
    unsigned char kind = is_run ? RUN_BIT : 0;
    if (count <= SHORT_COUNT_MASK) {
        unsigned char header = static_cast<unsigned char>(kind | count);
        return write_bytes(out, &header, 1);
    }
    unsigned char header[] = {kind, static_cast<unsigned char>(count & 0xFF),
                              static_cast<unsigned char>((count >> 8) & 0xFF),
                              static_cast<unsigned char>((count >> 16) & 0xFF)};
    return write_bytes(out, header, sizeof header);
}

// The stream rule: the ops that unpack to the path give way to ops of 260
// zeros, and the part of the last op that lies past the path is kept as an op
// of its own. The input already stands where the copy goes on.
rewrite_result blank_name_ops(FILE *out, const name_ops &ops)
{
    rewrite_result result = write_bytes(out, BLANK_NAME_OPS, sizeof BLANK_NAME_OPS);
    if (result != REWRITE_DONE || ops.excess == 0)
        return result;
    result = write_op_header(out, ops.last.is_run, ops.excess);
    if (result != REWRITE_DONE || !ops.last.is_run)
        return result;
    unsigned char value = static_cast<unsigned char>(ops.last.value);
    return write_bytes(out, &value, 1);
}

// Blanks the path in a packed stream whose first op header is `first`. A
// stream cut before the path ends, and the short shape, take the byte rule.
rewrite_result blank_packed_name(FILE *in, FILE *out, int first)
{
    name_ops ops{};
    decode_result result = read_name_ops(in, first, &ops);
    if (result == DECODE_FAILED)
        return REWRITE_READ_FAILED;
    if (result == DECODE_CUT || ops.short_shape)
        return replace_record(in, out, first);
    return blank_name_ops(out, ops);
}

} // namespace

rewrite_result write_header(FILE *out, const unsigned char *header)
{
    rewrite_result result = write_bytes(out, header, HEADER_LENGTH);
    return result == REWRITE_DONE ? write_bytes(out, BLANK_FIELD, sizeof BLANK_FIELD) : result;
}

rewrite_result rewrite_record(FILE *in, FILE *out, bool has_signature)
{
    if (fseek(in, RECORD_OFFSET, SEEK_SET) != 0)
        return REWRITE_NOT_PROJECT;
    int first = getc(in);
    if (first == EOF && ferror(in))
        return REWRITE_READ_FAILED;
    if (first == EOF || !has_signature)
        return replace_record(in, out, first);
    return blank_packed_name(in, out, first);
}

rewrite_result rewrite_head(FILE *in, FILE *out)
{
    bool has_signature = false;
    rewrite_result result = copy_header(in, out, &has_signature);
    if (result == REWRITE_DONE)
        result = write_bytes(out, BLANK_FIELD, sizeof BLANK_FIELD);
    return result == REWRITE_DONE ? rewrite_record(in, out, has_signature) : result;
}

rewrite_result copy_rest(FILE *in, FILE *out)
{
    unsigned char block[COPY_BLOCK_SIZE];
    for (;;) {
        size_t length = fread(block, 1, sizeof block, in);
        if (length > 0 && fwrite(block, 1, length, out) != length)
            return REWRITE_WRITE_FAILED;
        if (length < sizeof block)
            return ferror(in) ? REWRITE_READ_FAILED : REWRITE_DONE;
    }
}

rewrite_result rewrite_project(FILE *in, FILE *out)
{
    rewrite_result result = rewrite_head(in, out);
    return result == REWRITE_DONE ? copy_rest(in, out) : result;
}
