// Windows: share modes keep one file from being both input and output, and
// the system's own move makes the backup.
#include "platform.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <windows.h>

// The C runtime would otherwise expand wildcards in the arguments; paths are
// taken as they are given.
extern "C" {
int _dowildcard = 0;
}

namespace {

bool is_directory(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

void prepare_console()
{
    // Text mode is the runtime's default for standard output; it is set here
    // so that no start-up option can change how lines end. Should it fail,
    // the output is still written, with LF line ends.
    _setmode(_fileno(stdout), _O_TEXT);
}

bool is_switch_start(char c)
{
    return c == '-' || c == '/';
}

backup_result make_backup(const char *path, const char *backup)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || is_directory(attributes))
        return BACKUP_NO_INPUT;
    if (MoveFileExA(path, backup, 0))
        return BACKUP_MADE;
    DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? BACKUP_EXISTS
                                                                       : BACKUP_FAILED;
}

FILE *open_input(const char *path)
{
    if (is_directory(GetFileAttributesA(path)))
        return nullptr;
    return _fsopen(path, "rb", _SH_DENYWR);
}

bool open_output(const char *path, FILE * /* input: refused by its share mode */,
                 output_file *output)
{
    output->stream = _fsopen(path, "wb", _SH_DENYRW);
    if (output->stream == nullptr)
        return false;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(output->stream)));
    output->removable = GetFileType(handle) == FILE_TYPE_DISK;
    return true;
}

rewrite_result copy_to_end(FILE *in, FILE *out)
{
    return copy_rest(in, out);
}
