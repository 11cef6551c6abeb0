// Linux: files by descriptor, so that the output can be told apart from the
// input before it is truncated, and the rest spliced by the kernel.
#include "platform.h"

#include "../code_pages/characters.h"
#include "../streams/tail_copy.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the pipe between the two files holds: page references, not copies.
// The output is shifted against the input by the change in the record's
// length, and such a shifted copy runs near the speed of an aligned one only
// with many pages moved per call.
constexpr int PIPE_CAPACITY = 1 << 20;

// The output stream's buffer.
constexpr size_t OUTPUT_BUFFER_SIZE = size_t{256} * 1024;

// The permission bits a new file takes from its original.
constexpr mode_t PERMISSION_BITS = S_IRWXU | S_IRWXG | S_IRWXO;

bool same_file(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Where the system cannot rename without replacing, a second name is made
// for the file and its first name removed; the link refuses an existing name.
backup_result link_backup(const char *path, const char *backup)
{
    if (link(path, backup) != 0)
        return errno == EEXIST ? BACKUP_EXISTS : BACKUP_FAILED;
    if (unlink(path) == 0)
        return BACKUP_MADE;
    unlink(backup);
    return BACKUP_FAILED;
}

backup_result move_to_backup(const char *path, const char *backup)
{
    if (renameat2(AT_FDCWD, path, AT_FDCWD, backup, RENAME_NOREPLACE) == 0)
        return BACKUP_MADE;
    if (errno == EINVAL || errno == ENOSYS)
        return link_backup(path, backup);
    return errno == EEXIST ? BACKUP_EXISTS : BACKUP_FAILED;
}

// A new file at `path`, never through a link, with the permission bits of
// the file open as `input`, whatever the umask.
int create_new_file(const char *path, FILE *input)
{
    struct stat input_status {};
    if (fstat(fileno(input), &input_status) != 0)
        return -1;
    int descriptor =
        open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (descriptor < 0)
        return -1;
    if (fchmod(descriptor, input_status.st_mode & PERMISSION_BITS) == 0)
        return descriptor;
    close(descriptor);
    unlink(path);
    return -1;
}

// The file at `path`, made when there is none; `created` tells whether this
// open made it. A name that holds a link is followed, as a user who names a
// link as the output means its target.
int open_or_create(const char *path, bool *created)
{
    int descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    *created = descriptor >= 0;
    if (descriptor < 0 && errno == EEXIST)
        descriptor = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    return descriptor;
}

// Gives the output a buffer of its own: what the copy writes in pieces goes
// to the file in few large writes, each of which costs a call into the
// system. Refused, the stream keeps its smaller one: slower, not wrong.
void gather_output(FILE *stream)
{
    static char buffer[OUTPUT_BUFFER_SIZE];
    (void)setvbuf(stream, buffer, _IOFBF, sizeof buffer);
}

bool is_regular(FILE *stream, struct stat *status)
{
    return fstat(fileno(stream), status) == 0 && S_ISREG(status->st_mode);
}

// Moves the input from `from` to its end into the output at `to` through the
// pipe. False, with nothing moved, when the kernel cannot splice these files.
bool move_through_pipe(int in, off_t from, int out, off_t to, const int pipe_ends[2],
                       rewrite_result *result)
{
    bool moved = false;
    for (;;) {
        ssize_t taken = splice(in, &from, pipe_ends[1], nullptr, PIPE_CAPACITY, SPLICE_F_MOVE);
        if (taken <= 0) {
            *result = taken == 0 ? REWRITE_DONE : REWRITE_READ_FAILED;
            return taken == 0 || moved || errno != EINVAL;
        }
        for (; taken > 0; moved = true) {
            ssize_t put =
                splice(pipe_ends[0], nullptr, out, &to, static_cast<size_t>(taken), SPLICE_F_MOVE);
            if (put <= 0) {
                *result = REWRITE_WRITE_FAILED;
                return put == 0 || moved || errno != EINVAL;
            }
            taken -= put;
        }
    }
}

// The rest of the input, from `from`, spliced by the kernel into the output
// at `to`. False, with nothing moved, when the kernel cannot do it.
bool splice_rest(int in, off_t from, int out, off_t to, rewrite_result *result)
{
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0)
        return false;
    // A smaller pipe is slower, not wrong: a refusal of the size is passed over.
    fcntl(pipe_ends[1], F_SETPIPE_SZ, PIPE_CAPACITY);
    bool spliced = move_through_pipe(in, from, out, to, pipe_ends, result);
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    return spliced;
}

// Text to print, gathered and written in one piece.
struct printed {
    char bytes[4096];
    size_t length;
};

void flush_printed(printed *out)
{
    (void)fwrite(out->bytes, 1, out->length, stdout);
    out->length = 0;
}

void put_byte(printed *out, unsigned byte)
{
    out->bytes[out->length++] = static_cast<char>(byte);
}

void put_utf8(printed *out, unsigned code)
{
    if (code < 0x80) {
        put_byte(out, code);
    } else if (code < 0x800) {
        put_byte(out, 0xC0 | code >> 6);
        put_byte(out, 0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        put_byte(out, 0xE0 | code >> 12);
        put_byte(out, 0x80 | (code >> 6 & 0x3F));
        put_byte(out, 0x80 | (code & 0x3F));
    } else {
        put_byte(out, 0xF0 | code >> 18);
        put_byte(out, 0x80 | (code >> 12 & 0x3F));
        put_byte(out, 0x80 | (code >> 6 & 0x3F));
        put_byte(out, 0x80 | (code & 0x3F));
    }
}

constexpr unsigned REPLACEMENT = REPLACEMENT_CHARACTER;

void put_ascii(printed *out, const unsigned char *text, size_t length)
{
    while (length > 0) {
        if (out->length == sizeof out->bytes)
            flush_printed(out);
        size_t taken = std::min(length, sizeof out->bytes - out->length);
        memcpy(out->bytes + out->length, text, taken);
        out->length += taken;
        text += taken;
        length -= taken;
    }
}

// A character, or a control character escaped.
void put_character(printed *out, unsigned code)
{
    // Room for the longest a character takes, escaped or not.
    if (out->length + 4 > sizeof out->bytes)
        flush_printed(out);
    bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
    if (!control) {
        put_utf8(out, code);
        return;
    }
    constexpr char HEX[] = "0123456789ABCDEF";
    put_byte(out, '\\');
    put_byte(out, 'x');
    put_byte(out, static_cast<unsigned char>(HEX[code >> 4]));
    put_byte(out, static_cast<unsigned char>(HEX[code & 0xF]));
}

void print_narrow(printed *out, const unsigned char *text, size_t length, text_encoding encoding)
{
    size_t width = 0;
    for (size_t at = 0; at < length; at += width) {
        // Printable ASCII is itself in every encoding here: it goes as it stands.
        size_t ascii = at;
        while (ascii < length && text[ascii] >= 0x20 && text[ascii] < 0x7F)
            ++ascii;
        put_ascii(out, text + at, ascii - at);
        at = ascii;
        if (at == length)
            break;
        put_character(out, decode_character(text + at, length - at, encoding, &width));
    }
}

// UTF-16LE, with a lone surrogate shown as U+FFFD.
void print_utf16(printed *out, const unsigned char *text, size_t length)
{
    for (size_t at = 0; at + 1 < length; at += 2) {
        unsigned unit = text[at] | static_cast<unsigned>(text[at + 1]) << 8;
        unsigned next =
            at + 3 < length ? (text[at + 2] | static_cast<unsigned>(text[at + 3]) << 8) : 0;
        bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && next >= 0xDC00 && next <= 0xDFFF) {
            put_character(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
            at += 2;
            continue;
        }
        put_character(out, unit >= 0xD800 && unit <= 0xDFFF ? REPLACEMENT : unit);
    }
}

} // namespace

void print_file_text(const unsigned char *text, size_t length, bool wide, text_encoding encoding)
{
    // Static: a buffer made anew for each piece of text would cost more than
    // the text.
    static printed out;
    out.length = 0;
    if (wide)
        print_utf16(&out, text, length);
    else
        print_narrow(&out, text, length, encoding);
    flush_printed(&out);
}

int64_t input_size(FILE *in)
{
    struct stat status {};
    return is_regular(in, &status) ? static_cast<int64_t>(status.st_size) : -1;
}

void prepare_process()
{
    // Past a file size limit the kernel would end the process by this signal,
    // leaving an incomplete output and no word; ignored, the write fails and
    // the run reports it.
    (void)signal(SIGXFSZ, SIG_IGN); // refused only for an invalid signal
}

path_char **program_arguments(int argc, char **argv, int *count)
{
    *count = argc;
    return argv;
}

bool is_switch_start(path_char c)
{
    return c == '-';
}

bool path_is_exact(const path_char * /* path: taken as given bytes */)
{
    return true;
}

typed_line read_typed_line(path_char *path)
{
    return read_byte_line(stdin, path, PATH_CAPACITY);
}

void print_path(const path_char *path)
{
    print_file_text(reinterpret_cast<const unsigned char *>(path), strlen(path), false,
                    ENCODING_UTF8);
}

console_facts read_console_facts()
{
    // A terminal is no window of its own that closes with the run.
    return {0, false, false};
}

void wait_for_enter()
{
}

FILE *open_input(const path_char *path, bool regular_only)
{
    // Without waiting, a FIFO opens at once, and is then refused as no
    // regular file.
    int flags = O_RDONLY | O_CLOEXEC | (regular_only ? O_NONBLOCK : 0);
    int descriptor = open(path, flags);
    if (descriptor < 0)
        return nullptr;
    struct stat status {};
    FILE *stream = nullptr;
    bool usable = fstat(descriptor, &status) == 0 &&
                  (regular_only ? S_ISREG(status.st_mode) : !S_ISDIR(status.st_mode));
    if (usable)
        stream = fdopen(descriptor, "rb");
    if (stream == nullptr)
        close(descriptor);
    return stream;
}

backup_result make_backup(FILE *input, const path_char *path, const path_char *backup)
{
    struct stat opened {};
    if (fstat(fileno(input), &opened) != 0)
        return BACKUP_FAILED;
    backup_result result = move_to_backup(path, backup);
    if (result != BACKUP_MADE)
        return result;
    // The name may have been given to another file since the input was
    // opened: what was moved must be the open file, followed as an open
    // follows it, so that a link to the project is moved as today.
    struct stat moved {};
    if (stat(backup, &moved) != 0 || !same_file(opened, moved))
        return BACKUP_FAILED;
    return BACKUP_MADE;
}

bool open_output(const path_char *path, FILE *input, bool create_new, output_file *output)
{
    *output = {nullptr, -1, false, false};
    bool created = create_new;
    int descriptor = create_new ? create_new_file(path, input) : open_or_create(path, &created);
    if (descriptor < 0)
        return false;
    struct stat input_status {};
    struct stat status {};
    bool usable = fstat(fileno(input), &input_status) == 0 && fstat(descriptor, &status) == 0 &&
                  !same_file(input_status, status);
    output->is_regular = usable && S_ISREG(status.st_mode);
    // Only a file with bytes to lose is truncated: a truncation also asks the
    // file system to write the new content out when the file is closed.
    bool emptied = output->is_regular && status.st_size > 0;
    if (emptied)
        usable = ftruncate(descriptor, 0) == 0;
    output->made = output->is_regular && (created || emptied);
    if (usable)
        output->spare = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    output->stream = usable && output->spare >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (output->stream != nullptr) {
        gather_output(output->stream);
        return true;
    }
    if (output->spare >= 0)
        close(output->spare);
    close(descriptor);
    return false;
}

void discard_written(const output_file &output, const path_char *path)
{
    if (output.is_regular)
        (void)ftruncate(output.spare, 0);
    struct stat opened {};
    struct stat named {};
    bool same =
        fstat(output.spare, &opened) == 0 && lstat(path, &named) == 0 && same_file(opened, named);
    if (output.made && same)
        (void)unlink(path);
    close(output.spare);
}

bool end_output_here(FILE *stream)
{
    off_t end = ftello(stream);
    struct stat status {};
    if (fflush(stream) != 0 || end < 0 || fstat(fileno(stream), &status) != 0)
        return false;
    return status.st_size == end || ftruncate(fileno(stream), end) == 0;
}

void close_spare(const output_file &output)
{
    close(output.spare);
}

rewrite_result copy_to_end(FILE *in, FILE *out)
{
    struct stat in_status {};
    struct stat out_status {};
    if (!is_regular(in, &in_status) || !is_regular(out, &out_status))
        return copy_rest(in, out);
    if (fflush(out) != 0)
        return REWRITE_WRITE_FAILED;
    // The kernel copies from the input's logical position, which the stream's
    // read-ahead has left behind; a file that claims no more bytes than that
    // (a pseudo-file, say) is left to the block copy.
    off_t from = ftello(in);
    off_t to = ftello(out);
    if (from < 0 || to < 0 || in_status.st_size <= from)
        return copy_rest(in, out);
    rewrite_result result = REWRITE_DONE;
    if (splice_rest(fileno(in), from, fileno(out), to, &result))
        return result;
    // Nothing was moved: the block copy starts where the kernel would have.
    if (fseeko(in, from, SEEK_SET) != 0)
        return REWRITE_READ_FAILED;
    return copy_rest(in, out);
}
