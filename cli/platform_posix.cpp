// Linux: files by descriptor, so that the output can be told apart from the
// input before it is truncated, and the rest spliced by the kernel.
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the pipe between the two files holds: page references, not copies.
// The output is shifted against the input by the change in the record's
// length, and such a shifted copy runs near the speed of an aligned one only
// with many pages moved per call.
constexpr int PIPE_CAPACITY = 1 << 20;

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

} // namespace

void prepare_console()
{
}

bool is_switch_start(char c)
{
    return c == '-';
}

backup_result make_backup(const char *path, const char *backup)
{
    struct stat status {};
    if (stat(path, &status) != 0 || !S_ISREG(status.st_mode))
        return BACKUP_NO_INPUT;
    if (renameat2(AT_FDCWD, path, AT_FDCWD, backup, RENAME_NOREPLACE) == 0)
        return BACKUP_MADE;
    if (errno == EINVAL || errno == ENOSYS)
        return link_backup(path, backup);
    if (errno == ENOENT) // moved away since it was looked at
        return BACKUP_NO_INPUT;
    return errno == EEXIST ? BACKUP_EXISTS : BACKUP_FAILED;
}

FILE *open_input(const char *path)
{
    int descriptor = open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return nullptr;
    struct stat status {};
    FILE *stream = nullptr;
    if (fstat(descriptor, &status) == 0 && !S_ISDIR(status.st_mode))
        stream = fdopen(descriptor, "rb");
    if (stream == nullptr)
        close(descriptor);
    return stream;
}

bool open_output(const char *path, FILE *input, output_file *output)
{
    int descriptor = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return false;
    struct stat input_status {};
    struct stat status {};
    bool usable = fstat(fileno(input), &input_status) == 0 && fstat(descriptor, &status) == 0 &&
                  !same_file(input_status, status);
    output->removable = usable && S_ISREG(status.st_mode);
    // Only a file with bytes to lose is truncated: a truncation also asks the
    // file system to write the new content out when the file is closed.
    if (output->removable && status.st_size > 0)
        usable = ftruncate(descriptor, 0) == 0;
    output->stream = usable ? fdopen(descriptor, "wb") : nullptr;
    if (output->stream == nullptr)
        close(descriptor);
    return output->stream != nullptr;
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
