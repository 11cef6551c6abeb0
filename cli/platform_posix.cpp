// Linux: files by descriptor, so that the output can be told apart from the
// input before it is truncated, and the kernel's own copy for the rest.
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How much one call asks the kernel to copy.
constexpr size_t KERNEL_COPY_CHUNK = size_t{1} << 30;

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
    if (output->removable)
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
    ssize_t copied = 0;
    do {
        copied = copy_file_range(fileno(in), &from, fileno(out), &to, KERNEL_COPY_CHUNK, 0);
    } while (copied > 0);
    if (copied == 0)
        return REWRITE_DONE;
    // The kernel would not copy (another file system, say, or an error): the
    // block copy goes on from where it stopped, and meets a lasting error
    // itself.
    if (fseeko(in, from, SEEK_SET) != 0)
        return REWRITE_READ_FAILED;
    if (fseeko(out, to, SEEK_SET) != 0)
        return REWRITE_WRITE_FAILED;
    return copy_rest(in, out);
}
